#include "siblings/octree/Tvc_DX8_OctTree.h"

#include "common/PluginEntry.h"
#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/siblings/Tav_3DObjectInterface.h"
#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/Tav_ProgressInterface.h"
#include "host/siblings/TypeGuids.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

using vex::octree::ShadowMaterial;
using vex::octree::ShadowMesh;

namespace {

constexpr const char* kCullingTag = "OTCU";  ///< one byte: the culling flag
constexpr const char* kSettingsTag = "OTSH"; ///< count, then tint r, g, b and opacity per object
constexpr size_t kSettingBytes = 16;
constexpr int kTriangleList = 4; // D3DPT_TRIANGLELIST

bool IsOfType(Tav_Channel* channel, const char* guidText)
{
    const ChannelType record = channel->GetChannelType();
    const _GUID type = vex::Guid(guidText);
    return record.typeGuid == type || record.baseTypeGuid == type;
}

bool Finite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

float Unit(float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f; }

/// Appends the world-space triangles of one triangle-list mesh; triangles with a missing or non-finite
/// vertex are left out.
void AppendTriangles(Tav_MeshInterface* mesh, const D3DXMATRIX& world, std::vector<float>& out)
{
    if (mesh->GetPrimitiveType() != kTriangleList)
        return;
    const long long triangles =
        std::min<long long>(std::max(mesh->GetIndexCount(), 0) / 3, vex::octree::kMaxTrianglesPerMesh);
    out.reserve(out.size() + size_t(std::min<long long>(triangles, 1 << 20)) * 9);
    for (long long t = 0; t < triangles; ++t) {
        D3DXVECTOR3 corners[3];
        bool ok = true;
        for (int c = 0; c < 3 && ok; ++c) {
            D3DXVECTOR3 scratch;
            const D3DXVECTOR3* local = mesh->GetVertexPosition(&scratch, mesh->GetVertexIndex(int(t * 3 + c)));
            ok = local != nullptr;
            if (ok) {
                const D3DXVECTOR3 copy = *local;
                D3DXVec3TransformCoord(&corners[c], &copy, &world);
                ok = Finite(corners[c]);
            }
        }
        if (!ok)
            continue;
        for (const D3DXVECTOR3& p : corners) {
            out.push_back(p.x);
            out.push_back(p.y);
            out.push_back(p.z);
        }
    }
}

} // namespace

Tvc_DX8_OctTree::Tvc_DX8_OctTree()
{
    SetChannelName("DX8 OctTree");
    SetChildCreationCount(1);
    SetChildCreateType(vex::MakeChildCreation("DX8 3D Object", vex::Guid(vex::guids::kObject3D), -1, "Objects"),
                       kObjectsLink);
}

Tvc_DX8_OctTree::~Tvc_DX8_OctTree() = default;

void Tvc_DX8_OctTree::ShowMessage(const char* text)
{
    if (host_)
        host_->ShowDebugMessage(text);
    else
        std::fprintf(stderr, "%s\n", text);
}

// ---------------------------------------------------------------------------------------------------
// Settings

ShadowMaterial Tvc_DX8_OctTree::MaterialOf(int objectIndex) const
{
    if (objectIndex >= 0 && size_t(objectIndex) < settings_.size())
        return settings_[size_t(objectIndex)];
    return ShadowMaterial{};
}

bool Tvc_DX8_OctTree::SetObjectShadowTint(int objectIndex, float red, float green, float blue)
{
    if (objectIndex < 0 || unsigned(objectIndex) >= vex::octree::kMaxStoredObjectSettings)
        return false;
    if (settings_.size() <= size_t(objectIndex))
        settings_.resize(size_t(objectIndex) + 1);
    ShadowMaterial& m = settings_[size_t(objectIndex)];
    m.tint[0] = Unit(red);
    m.tint[1] = Unit(green);
    m.tint[2] = Unit(blue);
    return true;
}

bool Tvc_DX8_OctTree::SetObjectShadowOpacity(int objectIndex, float opacity)
{
    if (objectIndex < 0 || unsigned(objectIndex) >= vex::octree::kMaxStoredObjectSettings)
        return false;
    if (settings_.size() <= size_t(objectIndex))
        settings_.resize(size_t(objectIndex) + 1);
    settings_[size_t(objectIndex)].opacity = Unit(opacity);
    return true;
}

void Tvc_DX8_OctTree::GetObjectShadowTint(int objectIndex, float rgb[3])
{
    const ShadowMaterial m = MaterialOf(objectIndex);
    std::copy(m.tint, m.tint + 3, rgb);
}

float Tvc_DX8_OctTree::GetObjectShadowOpacity(int objectIndex) { return MaterialOf(objectIndex).opacity; }

void Tvc_DX8_OctTree::SetUseCulling(bool useCulling) { useCulling_.store(useCulling, std::memory_order_relaxed); }

bool Tvc_DX8_OctTree::GetUseCulling() { return useCulling_.load(std::memory_order_relaxed); }

int Tvc_DX8_OctTree::GetShadowTriangleCount() { return int(scene_.GetTriangleCount()); }

int Tvc_DX8_OctTree::GetShadowTreeBuildCount() { return buildCount_; }

// ---------------------------------------------------------------------------------------------------
// Scene

std::vector<ShadowMesh> Tvc_DX8_OctTree::GatherMeshes(Tav_ProgressInterface* progress)
{
    std::vector<ShadowMesh> meshes;
    const _GUID surfaceType = vex::Guid(vex::guids::kSurface);
    const int objects = GetChildLinkPositionCount(kObjectsLink);
    for (int i = 0; i < objects; ++i) {
        if (progress)
            progress->SetProgress(float(i) / float(objects));
        Tav_Channel* child = GetChildFromLinkPosition(kObjectsLink, i);
        if (!child || !IsOfType(child, vex::guids::kObject3D))
            continue;
        auto* object = static_cast<Tav_3DObjectInterface*>(child);
        D3DXMATRIX world;
        D3DXMatrixIdentity(&world);
        D3DXMATRIX scratch;
        if (const D3DXMATRIX* m = object->GetWorldMatrix(&scratch))
            world = *m;
        for (int n = 0;; ++n) {
            Tav_Channel* surface = object->GetChildFromLinkGuid(surfaceType, n);
            if (!surface)
                break;
            Tav_Channel* meshChannel = surface->GetChild(0);
            if (!meshChannel || !IsOfType(meshChannel, vex::guids::kMesh))
                continue;
            ShadowMesh mesh;
            mesh.identity = meshChannel;
            mesh.objectIndex = i;
            mesh.material = MaterialOf(i);
            AppendTriangles(static_cast<Tav_MeshInterface*>(meshChannel), world, mesh.positions);
            meshes.push_back(std::move(mesh));
        }
    }
    return meshes;
}

bool Tvc_DX8_OctTree::PrepareShadowTree(bool showProgress)
{
    std::lock_guard<std::mutex> lock(prepareMutex_);
    return PrepareLocked(showProgress);
}

bool Tvc_DX8_OctTree::PrepareLocked(bool showProgress)
{
    // The progress display is a courtesy: without a progress type the scene is built all the same.
    std::unique_ptr<Tav_Channel> progressChannel;
    Tav_ProgressInterface* progress = nullptr;
    if (showProgress && host_) {
        progressChannel.reset(host_->CreateChannelByGuid(vex::Guid(vex::guids::kProgress), 0, 0));
        if (progressChannel && IsOfType(progressChannel.get(), vex::guids::kProgress)) {
            progress = static_cast<Tav_ProgressInterface*>(progressChannel.get());
            progress->SetText("Building shadow scene");
            progress->Show();
        }
    }

    std::vector<ShadowMesh> meshes = GatherMeshes(progress);
    bool ok = true;
    if (scene_.IsBuilt() && scene_.HasSameGeometry(meshes)) {
        scene_.UpdateMaterials(meshes);
    } else {
        std::string error;
        ok = scene_.Build(std::move(meshes), &error);
        ++buildCount_;
        if (!ok)
            ShowMessage(error.c_str());
    }
    if (progress)
        progress->SetProgress(1.0f);
    prepared_.store(true, std::memory_order_release);
    return ok;
}

bool Tvc_DX8_OctTree::TraceRay(const D3DXVECTOR3* origin, const D3DXVECTOR3* target, const D3DXVECTOR3* direction,
                               float shadowColour[4], Tav_Channel* receivingMesh)
{
    return TraceRayWithCulling(origin, target, direction, shadowColour, receivingMesh,
                               useCulling_.load(std::memory_order_relaxed));
}

void Tvc_DX8_OctTree::EnsurePrepared()
{
    if (prepared_.load(std::memory_order_acquire))
        return;
    // A caller that never prepared still gets an answer; the lock keeps concurrent first calls to one build.
    std::lock_guard<std::mutex> lock(prepareMutex_);
    if (!prepared_.load(std::memory_order_relaxed))
        PrepareLocked(false);
}

bool Tvc_DX8_OctTree::TraceRayWithCulling(const D3DXVECTOR3* origin, const D3DXVECTOR3* target,
                                          const D3DXVECTOR3* direction, float shadowColour[4],
                                          Tav_Channel* receivingMesh, bool cull)
{
    if (!origin || !shadowColour || (!target && !direction))
        return false;
    EnsurePrepared();
    // The segment is origin -> target; the direction only stands in for a missing target.
    const D3DXVECTOR3 end = target ? *target : *origin + *direction;
    const float from[3] = {origin->x, origin->y, origin->z};
    const float to[3] = {end.x, end.y, end.z};
    // The receiving mesh needs no special part: the self-hit distance keeps the sample's own surface out,
    // and beyond it the receiver shadows itself like any caster (a wall of the same mesh shadows its floor).
    (void)receivingMesh;
    return scene_.Trace(from, to, cull, shadowColour);
}

// ---------------------------------------------------------------------------------------------------
// Saved data

bool Tvc_DX8_OctTree::SaveChannel(TavFileSaver& saver)
{
    if (!Tav_OctTreeInterface::SaveChannel(saver))
        return false;

    vex::ByteWriter culling;
    culling.Bool(GetUseCulling());
    saver.SaveTag(kCullingTag);
    saver.SaveBlockSize(int(culling.Size()));
    saver.SaveDataToFile(culling.Data().data(), int(culling.Size()));

    vex::ByteWriter settings;
    settings.U32(uint32_t(settings_.size()));
    for (const ShadowMaterial& m : settings_) {
        settings.F32(m.tint[0]);
        settings.F32(m.tint[1]);
        settings.F32(m.tint[2]);
        settings.F32(m.opacity);
    }
    saver.SaveTag(kSettingsTag);
    saver.SaveBlockSize(int(settings.Size()));
    saver.SaveDataToFile(settings.Data().data(), int(settings.Size()));
    return true;
}

bool Tvc_DX8_OctTree::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tav_OctTreeInterface::LoadChannel(loader, group))
        return false;

    if (loader.GetInfoIfTag(kCullingTag)) {
        const int size = loader.GetTagDataSize();
        vex::ByteReader reader(loader.GetTagData(), size > 0 ? size_t(size) : 0);
        bool culling = false;
        if (size != 1 || !reader.Bool(culling)) {
            if (host_)
                host_->ShowDebugMessage("Shadow scene load: chunk OTCU must hold 1 byte, bytes:", size);
            return false;
        }
        SetUseCulling(culling);
    }

    if (loader.GetInfoIfTag(kSettingsTag)) {
        const int size = loader.GetTagDataSize();
        vex::ByteReader reader(loader.GetTagData(), size > 0 ? size_t(size) : 0);
        uint32_t count = 0;
        if (!reader.U32(count) || count > vex::octree::kMaxStoredObjectSettings ||
            reader.Left() != size_t(count) * kSettingBytes) {
            if (host_)
                host_->ShowDebugMessage("Shadow scene load: chunk OTSH has a wrong size, bytes:", size);
            return false;
        }
        std::vector<ShadowMaterial> loaded(count);
        for (ShadowMaterial& m : loaded) {
            float v[4] = {};
            for (float& f : v)
                reader.F32(f);
            for (float f : v)
                if (!std::isfinite(f) || f < 0 || f > 1) {
                    if (host_)
                        host_->ShowDebugMessage("Shadow scene load: chunk OTSH holds a value outside 0 to 1");
                    return false;
                }
            std::copy(v, v + 3, m.tint);
            m.opacity = v[3];
        }
        settings_ = std::move(loaded);
    }
    return true;
}

VEX_CHANNEL_PLUGIN(Tvc_DX8_OctTree, "DX8 OctTree", vex::guids::kOctTree, vex::guids::kOctTree)

void Tvc_DX8_OctTree::TraceRaysWithCulling(int count, const D3DXVECTOR3* origins, const D3DXVECTOR3* targets,
                                           float* shadowColours, bool* blocked, Tav_Channel* receivingMesh, bool cull)
{
    if (count <= 0 || !origins || !targets || !shadowColours)
        return;
    EnsurePrepared();
    (void)receivingMesh; // as for one segment
    // Small batches (a texel's samples towards one light) stay on the stack.
    constexpr int kChunk = 64;
    vex::octree::ShadowSegment segments[kChunk];
    bool answers[kChunk];
    for (int start = 0; start < count; start += kChunk) {
        const int n = std::min(kChunk, count - start);
        for (int i = 0; i < n; ++i) {
            const D3DXVECTOR3& o = origins[start + i];
            const D3DXVECTOR3& t = targets[start + i];
            segments[i] = {{o.x, o.y, o.z}, {t.x, t.y, t.z}};
        }
        scene_.TraceMany(segments, static_cast<size_t>(n), cull, shadowColours + 4 * start, answers);
        if (blocked)
            std::copy(answers, answers + n, blocked + start);
    }
}
