#pragma once
// Test doubles of the channels the texture-lighting channel talks to, and a scene that wires them up.

#include "host/Tav_HostContext.h"
#include "host/siblings/Tav_3DObjectInterface.h"
#include "host/siblings/Tav_DeviceInterface.h"
#include "host/siblings/Tav_InputInterface.h"
#include "host/siblings/Tav_LightInterface.h"
#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/Tav_OctTreeInterface.h"
#include "host/siblings/Tav_ProgressInterface.h"
#include "host/siblings/Tav_SurfaceInterface.h"
#include "host/siblings/TypeGuids.h"
#include "texlight/ShadowBuffer.h"
#include "texlight/Tvc_DX8_TextureShadow.h"

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace texlight_test {

inline ChannelType Record(const char* name, const char* type, const char* base)
{
    ChannelType record{};
    std::strncpy(record.name, name, sizeof record.name - 1);
    record.typeGuid = vex::Guid(type);
    record.baseTypeGuid = vex::Guid(base);
    return record;
}

class FakeMesh : public Tav_MeshInterface {
public:
    int GetIndexCount() override { return static_cast<int>(indices.size()); }
    int GetVertexIndex(int position) override { return indices[static_cast<size_t>(position)]; }
    D3DXVECTOR3* GetVertexPosition(D3DXVECTOR3* scratch, int vertex) override
    {
        *scratch = positions[static_cast<size_t>(vertex)];
        return scratch;
    }
    D3DXVECTOR3* GetVertexNormal(D3DXVECTOR3* scratch, int vertex) override
    {
        *scratch = normals[static_cast<size_t>(vertex)];
        return scratch;
    }
    float* GetVertexTexCoord(float* scratch, int set, int vertex) override
    {
        const auto& uv = uvs[static_cast<size_t>(set)][static_cast<size_t>(vertex)];
        scratch[0] = uv[0];
        scratch[1] = uv[1];
        ++texCoordReads;
        return scratch;
    }
    int GetPrimitiveType() override { return primitiveType; }
    bool HasTexCoordSet(int set) override { return set >= 0 && set < static_cast<int>(uvs.size()); }

    /// Appends a vertex with its uv in every set given.
    int AddVertex(D3DXVECTOR3 p, D3DXVECTOR3 n, std::vector<std::array<float, 2>> uvPerSet)
    {
        if (uvs.size() < uvPerSet.size())
            uvs.resize(uvPerSet.size());
        for (size_t s = 0; s < uvPerSet.size(); ++s)
            uvs[s].push_back(uvPerSet[s]);
        positions.push_back(p);
        normals.push_back(n);
        return static_cast<int>(positions.size()) - 1;
    }
    void AddTriangle(int a, int b, int c) { indices.insert(indices.end(), {a, b, c}); }

    std::vector<D3DXVECTOR3> positions;
    std::vector<D3DXVECTOR3> normals;
    std::vector<std::vector<std::array<float, 2>>> uvs; ///< [set][vertex]
    std::vector<int> indices;
    int primitiveType = 4;
    int texCoordReads = 0;
};

/// A unit square in the plane y = 0 (x, z in 0..1), facing up, uv = (x, z) in set 0: two triangles.
inline void MakeUnitSquare(FakeMesh& mesh)
{
    const D3DXVECTOR3 up(0, 1, 0);
    const int a = mesh.AddVertex({0, 0, 0}, up, {{0, 0}});
    const int b = mesh.AddVertex({1, 0, 0}, up, {{1, 0}});
    const int c = mesh.AddVertex({1, 0, 1}, up, {{1, 1}});
    const int d = mesh.AddVertex({0, 0, 1}, up, {{0, 1}});
    mesh.AddTriangle(a, b, c);
    mesh.AddTriangle(a, c, d);
}

class FakeSurface : public Tav_SurfaceInterface {
public:
    FakeSurface()
    {
        SetChildCreateType(vex::MakeChildCreation("Mesh", vex::Guid(vex::guids::kMesh), 0, "Mesh"), 0);
        SetChildCreateType(vex::MakeChildCreation("Unused", vex::Guid(vex::guids::kValue), -1, "Unused"), 1);
        SetChildCreateType(vex::MakeChildCreation("DX8 Texture", vex::Guid(vex::guids::kTexture), -1, "Textures"), 2);
    }
    int GetStageTexCoordSet(int stage) override
    {
        return stage >= 0 && stage < static_cast<int>(stageSets.size()) ? stageSets[static_cast<size_t>(stage)] : 0;
    }
    Tav_Channel* GetLeadingTextureChannel() override { return leading; }
    int GetLeadingTextureIndex() override { return leadingIndex; }

    std::vector<int> stageSets;
    Tav_Channel* leading = nullptr;
    int leadingIndex = -1;
};

class FakeObject : public Tav_3DObjectInterface {
public:
    FakeObject() { D3DXMatrixIdentity(&world); }
    D3DXMATRIX* GetWorldMatrix(D3DXMATRIX*) override { return &world; }
    int GetSurfaceCount() override { return surfaceCount; }
    D3DXMATRIX world;
    int surfaceCount = 1;
};

class FakeLight : public Tav_LightInterface {
public:
    D3DLIGHT8* GetLight(D3DLIGHT8* scratch) override
    {
        *scratch = light;
        return scratch;
    }
    int GetLightType() override { return type; }
    D3DLIGHT8 light;
    int type = 2;
};

/// A point light of diffuse (1, 1, 1) at position with attenuation (a0, a1, a2).
inline D3DLIGHT8 PointLight(D3DXVECTOR3 position, float a0, float a1, float a2)
{
    D3DLIGHT8 light;
    light.Diffuse = {1, 1, 1, 1};
    light.Position = position;
    light.Attenuation0 = a0;
    light.Attenuation1 = a1;
    light.Attenuation2 = a2;
    return light;
}

/// A shadow scene whose answer a function gives; counts rays and remembers the culling flag.
class FakeOctTree : public Tav_OctTreeInterface {
public:
    using Answer = std::function<void(const D3DXVECTOR3& origin, const D3DXVECTOR3& target, float colour[4])>;
    bool TraceRay(const D3DXVECTOR3* origin, const D3DXVECTOR3* target, const D3DXVECTOR3* direction, float colour[4],
                  Tav_Channel* receiver) override
    {
        ++rays;
        lastReceiver = receiver;
        lastDirection = *direction;
        if (answer)
            answer(*origin, *target, colour);
        return true;
    }
    bool PrepareShadowTree(bool showProgress) override
    {
        ++prepares;
        lastShowProgress = showProgress;
        return true;
    }
    void SetUseCulling(bool use) override { culling = use; }
    bool TraceRayWithCulling(const D3DXVECTOR3* origin, const D3DXVECTOR3* target, const D3DXVECTOR3* direction,
                             float colour[4], Tav_Channel* receiver, bool cull) override
    {
        culling = cull;
        return TraceRay(origin, target, direction, colour, receiver);
    }

    Answer answer;
    int rays = 0;
    int prepares = 0;
    bool lastShowProgress = false;
    bool culling = false;
    Tav_Channel* lastReceiver = nullptr;
    D3DXVECTOR3 lastDirection;
};

/// The same scene with the batched query too: the same answers, counted apart from the one-by-one rays.
class BatchFakeOctTree : public FakeOctTree, public Tav_OctTreeBatchInterface {
public:
    void TraceRaysWithCulling(int count, const D3DXVECTOR3* origins, const D3DXVECTOR3* targets, float* colours,
                              bool* blocked, Tav_Channel* receiver, bool cull) override
    {
        ++batches;
        batchedRays += count;
        culling = cull;
        lastReceiver = receiver;
        for (int i = 0; i < count; ++i) {
            if (answer)
                answer(origins[i], targets[i], colours + 4 * i);
            if (blocked)
                blocked[i] = true;
        }
    }

    int batches = 0;
    int batchedRays = 0;
};

class FakeProgress : public Tav_ProgressInterface {
public:
    /// Texts and fractions shown by a deleted progress channel end up in these.
    struct Record {
        std::vector<std::string> texts;
        std::vector<float> fractions;
        int deleted = 0;
    };
    FakeProgress(std::function<void(FakeProgress&)> onProgress, Record* record)
        : onProgress_(std::move(onProgress)), record_(record)
    {
    }
    ~FakeProgress() override
    {
        record_->texts = texts;
        record_->fractions = fractions;
        ++record_->deleted;
    }
    void SetText(const char* text) override { texts.emplace_back(text); }
    void Show() override { ++shows; }
    void SetProgress(float fraction) override
    {
        fractions.push_back(fraction);
        if (onProgress_)
            onProgress_(*this);
    }
    std::vector<std::string> texts;
    std::vector<float> fractions;
    int shows = 0;

private:
    std::function<void(FakeProgress&)> onProgress_;
    Record* record_;
};

class FakeInput : public Tav_InputInterface {
public:
    unsigned char* GetInputState() override
    {
        ++queries;
        if (stopAfterQueries >= 0 && queries > stopAfterQueries)
            state[kStopByte] |= kStopBit;
        return nullState ? nullptr : state;
    }
    unsigned char state[kStateSize] = {};
    int queries = 0;
    int stopAfterQueries = -1; ///< raise the stop bit from this query on (-1: never)
    bool nullState = false;
};

class FakeDevice : public Tav_DeviceInterface {
public:
    FakeDevice() : device_(vex::CreateSoftwareDevice()) {}
    ~FakeDevice() override { device_->Release(); }
    IDirect3DDevice8* GetDevice() override { return device_; }

private:
    IDirect3DDevice8* device_;
};

/// Host context: hands out the device and input channels, creates progress channels on request, and
/// collects messages.
class FakeHost : public Tav_HostContext {
public:
    FakeHost()
    {
        ShowDebugMessage.SetSink([this](const std::string& text) { messages.push_back(text); });
    }
    Tav_Channel* CreateChannelByGuid(_GUID type, int, int) override
    {
        if (type == vex::Guid(vex::guids::kProgress) && makeProgress) {
            vex::ScopedConstructionHost scope(this);
            ++progressCreated;
            return new FakeProgress(onProgress, &progressRecord);
        }
        return nullptr;
    }
    Tav_Channel* GetChannelByGuid(_GUID type, int) override
    {
        if (type == vex::Guid(vex::guids::kDevice))
            return device;
        if (type == vex::Guid(vex::guids::kInput))
            return input;
        return nullptr;
    }
    unsigned long GetFrameCount() const override { return frame; }
    void ChannelDestroyed(Tav_Channel*) override {}

    bool HasMessage(const std::string& part) const
    {
        for (const auto& m : messages)
            if (m.find(part) != std::string::npos)
                return true;
        return false;
    }

    std::vector<std::string> messages;
    Tav_Channel* device = nullptr;
    Tav_Channel* input = nullptr;
    bool makeProgress = false;
    std::function<void(FakeProgress&)> onProgress;
    FakeProgress::Record progressRecord;
    int progressCreated = 0;
    unsigned long frame = 1;
};

/// The texture base's members that the channel uses directly; a derived class may name them for any
/// texture channel.
struct BaseAccess : Tvc_DX8_TextureShadow {
    static Tav_Channel*& Parent(Tvc_DX8_Texture& c) { return c.*(&BaseAccess::publicTextureParent); }
    static int& Slot(Tvc_DX8_Texture& c) { return c.*(&BaseAccess::publicTextureSlot); }
    static void FreeBuffer(Tvc_DX8_Texture& c) { (c.*(&BaseAccess::FreeTextureBuffer))(); }
    static IDirect3DTexture8*& Texture(Tvc_DX8_Texture& c) { return c.*(&BaseAccess::texture); }
};

/// A texture-lighting channel linked to an object with one surface (mesh: unit square unless replaced),
/// an octree and lights, all doubles, on a software device.
struct Scene {
    FakeHost host;
    std::unique_ptr<FakeDevice> device;
    std::unique_ptr<FakeObject> object;
    std::unique_ptr<FakeSurface> surface;
    std::unique_ptr<FakeMesh> mesh;
    std::unique_ptr<FakeOctTree> octree;
    std::vector<std::unique_ptr<FakeLight>> lights;
    std::unique_ptr<FakeInput> input;
    std::unique_ptr<Tvc_DX8_TextureShadow> channel;

    explicit Scene(bool withDevice = true, bool batchShadowScene = false)
    {
        const ChannelType deviceType = Record("DX8 Device", vex::guids::kDevice, vex::guids::kDevice);
        if (withDevice) {
            vex::ScopedConstructionHost scope(&host, &deviceType);
            device = std::make_unique<FakeDevice>();
            host.device = device.get();
        }
        const ChannelType objectType = Record("DX8 3D Object", vex::guids::kObject3D, vex::guids::kObject3D);
        const ChannelType surfaceType = Record("Surface", vex::guids::kSurface, vex::guids::kSurface);
        const ChannelType meshType = Record("Mesh", vex::guids::kMesh, vex::guids::kMesh);
        const ChannelType octreeType = Record("DX8 OctTree", vex::guids::kOctTree, vex::guids::kOctTree);
        const ChannelType channelType =
            Record("DX8 TextureLighting", vex::guids::kTextureLighting, vex::guids::kTexture);
        {
            vex::ScopedConstructionHost scope(&host, &objectType);
            object = std::make_unique<FakeObject>();
        }
        {
            vex::ScopedConstructionHost scope(&host, &surfaceType);
            surface = std::make_unique<FakeSurface>();
        }
        {
            vex::ScopedConstructionHost scope(&host, &meshType);
            mesh = std::make_unique<FakeMesh>();
        }
        {
            vex::ScopedConstructionHost scope(&host, &octreeType);
            if (batchShadowScene)
                octree = std::make_unique<BatchFakeOctTree>();
            else
                octree = std::make_unique<FakeOctTree>();
        }
        {
            vex::ScopedConstructionHost scope(&host, &channelType);
            channel = std::make_unique<Tvc_DX8_TextureShadow>();
        }
        MakeUnitSquare(*mesh);
        object->SetChild(surface.get(), -1, -1);
        surface->SetChild(mesh.get(), 0, -1);
        surface->SetChild(channel.get(), 2, -1);
        channel->SetChild(object.get(), 0, -1);
        channel->SetChild(octree.get(), 1, -1);
    }

    ~Scene()
    {
        // The channel goes first: it holds links to the doubles.
        channel.reset();
    }

    FakeLight& AddLight(const D3DLIGHT8& light, int type = 2)
    {
        const ChannelType lightType = Record("DX8 Light", vex::guids::kLight, vex::guids::kLight);
        vex::ScopedConstructionHost scope(&host, &lightType);
        lights.push_back(std::make_unique<FakeLight>());
        lights.back()->light = light;
        lights.back()->type = type;
        channel->SetChild(lights.back().get(), 3, -1);
        return *lights.back();
    }

    FakeInput& AddInput()
    {
        const ChannelType inputType = Record("Input", vex::guids::kInput, vex::guids::kInput);
        vex::ScopedConstructionHost scope(&host, &inputType);
        input = std::make_unique<FakeInput>();
        host.input = input.get();
        return *input;
    }

    /// Gives the channel a texture of the desired size so that the computation can run.
    void MakeTexture(int size)
    {
        channel->SetDesiredWidth(size);
        channel->SetDesiredHeight(size);
        channel->SetTestTexture();
    }

    ShadowBuffer& Buffer() { return *channel->GetShadowBuffer(); }
};

} // namespace texlight_test
