#include "texlight/ShadowBuffer.h"

#include "host/ChildLink.h"
#include "host/Tav_HostContext.h"
#include "host/siblings/Tav_3DObjectInterface.h"
#include "host/siblings/Tav_InputInterface.h"
#include "host/siblings/Tav_LightInterface.h"
#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/Tav_OctTreeInterface.h"
#include "host/siblings/Tav_ProgressInterface.h"
#include "host/siblings/Tav_SurfaceInterface.h"
#include "host/siblings/TypeGuids.h"
#include "platform/Win32.h"
#include "texlight/ColumnPool.h"
#include "texlight/EdgeFill.h"
#include "texlight/ProgressText.h"
#include "texlight/SampleGrid.h"
#include "texlight/TexLightConstants.h"
#include "texlight/TexelShadowBatch.h"
#include "texlight/Tvc_DX8_TextureShadow.h"
#include "texlight/UVTree.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

using namespace vex::texlight;

namespace {

/// Asks shadow queries of the light-map object's own TraceShadowRay, which resolves scene and mesh anew.
class BufferShadowTracer final : public ShadowTracer {
public:
    explicit BufferShadowTracer(ShadowBuffer* buffer) : buffer_(buffer) {}
    void Trace(const D3DXVECTOR3& origin, const D3DXVECTOR3& target, ShadowColor& colour) override
    {
        const D3DXVECTOR3 direction = target - origin;
        buffer_->TraceShadowRay(&origin, &target, &direction, colour.rgba);
    }

private:
    ShadowBuffer* buffer_;
};

/// The computation's progress display and the input channel whose stop request it watches; both optional.
class ProgressDisplay {
public:
    void Open(Tav_HostContext* host, std::string baseText)
    {
        baseText_ = std::move(baseText);
        owner_.reset(host->CreateChannelByGuid(vex::Guid(vex::guids::kProgress), 0, 0));
        progress_ = vex::AsInterface<Tav_ProgressInterface>(owner_.get());
        input_ = vex::AsInterface<Tav_InputInterface>(host->GetChannelByGuid(vex::Guid(vex::guids::kInput), 0));
        if (progress_) {
            progress_->SetText(baseText_.c_str());
            progress_->Show();
        }
    }

    /// Text with the elapsed time and the fraction of columns done; false when the user asks to stop.
    bool Report(int doneColumns, int columns, DWORD elapsedMs)
    {
        if (progress_) {
            progress_->SetText(ProgressText(baseText_, elapsedMs).c_str());
            progress_->SetProgress(static_cast<float>(doneColumns) / static_cast<float>(columns));
        }
        if (!input_)
            return true;
        channelInternal.SetIgnoreTreeCount(input_, true);
        const unsigned char* state = input_->GetInputState();
        channelInternal.SetIgnoreTreeCount(input_, false);
        return !(state && (state[Tav_InputInterface::kStopByte] & Tav_InputInterface::kStopBit));
    }

private:
    std::unique_ptr<Tav_Channel> owner_;
    Tav_ProgressInterface* progress_ = nullptr;
    Tav_InputInterface* input_ = nullptr;
    std::string baseText_;
};

/// Position of owner among the surface's texture links, or -1.
int TexturePosition(Tav_SurfaceInterface* surface, const Tav_Channel* owner)
{
    const int count = surface->GetChildLinkPositionCount(Tav_SurfaceInterface::kTextureLink);
    for (int i = 0; i < count; ++i)
        if (surface->GetChildFromLinkPosition(Tav_SurfaceInterface::kTextureLink, i) == owner)
            return i;
    return -1;
}

} // namespace

ShadowBuffer::ShadowBuffer(Tav_HostContext* host) : host_(host) { D3DXMatrixIdentity(&worldMatrix_); }

ShadowBuffer::ShadowBuffer(const ShadowBuffer& other)
    : host_(other.host_), width_(other.width_), height_(other.height_), texels_(other.texels_), ready_(other.ready_),
      sampleGridMode_(other.sampleGridMode_), worldMatrix_(other.worldMatrix_)
{
}

ShadowBuffer::~ShadowBuffer() { DeleteUVTree(); }

void ShadowBuffer::SetOwner(Tvc_DX8_TextureShadow* owner) { owner_ = owner; }

bool ShadowBuffer::Calculate(bool placeholder)
{
    if (placeholder) {
        Reset();
        return true;
    }
    return Compute();
}

void ShadowBuffer::FreeStorage()
{
    std::vector<uint8_t>().swap(texels_);
    width_ = 0;
    height_ = 0;
}

void ShadowBuffer::Reset()
{
    ready_ = false;
    FreeStorage();

    int width = owner_ ? owner_->GetDesiredWidth() : 0;
    int height = owner_ ? owner_->GetDesiredHeight() : 0;
    if (width <= 0)
        width = kDefaultLightMapSize;
    if (height <= 0)
        height = kDefaultLightMapSize;
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width > kMaxLightMapSide || height > kMaxLightMapSide) {
        Message(
            ("light map of " + size + " texels is too large (at most " + std::to_string(kMaxLightMapSide) + " a side)")
                .c_str());
        return;
    }
    try {
        texels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * kTexelBytes, 0);
    } catch (const std::bad_alloc&) {
        Message(("light map of " + size + " texels: out of memory").c_str());
        return;
    }
    width_ = width;
    height_ = height;
    FillPlaceholder(texels_.data(), width_, height_);
    ready_ = true;
}

int ShadowBuffer::ClampedAntiAliasMode() const
{
    return std::clamp(owner_ ? owner_->GetAntiAliasMode() : 0, 0, kMaxSampleGridMode);
}

void ShadowBuffer::Message(const char* text) const
{
    if (host_)
        host_->ShowDebugMessage(text);
}

// The computation's checks and messages, texture-coordinate set and storage size: the mesh to light, or
// null when a check fails.
Tav_MeshInterface* ShadowBuffer::ResolveTarget(Tav_3DObjectInterface* object)
{
    if (!object)
        return nullptr;
    D3DXMATRIX scratch;
    if (const D3DXMATRIX* world = object->GetWorldMatrix(&scratch))
        worldMatrix_ = *world;

    const D3DSURFACE_DESC desc = owner_->GetTextureDescription(0);
    if (desc.Width == 0 || desc.Height == 0) {
        Message("desc.Width<=0||desc.Height<=0");
        return nullptr;
    }
    const int surfaceNr = owner_->GetShadowSurfaceNr();
    Tav_Channel* surfaceChannel = object->GetChildFromLinkGuid(vex::Guid(vex::guids::kSurface), surfaceNr);
    if (!surfaceChannel) {
        if (host_)
            host_->ShowDebugMessage("surface==NULL : ", surfaceNr);
        return nullptr;
    }
    if (surfaceChannel->GetChannelType().baseTypeGuid == vex::Guid(vex::guids::kSurface))
        if (auto* surface = vex::AsInterface<Tav_SurfaceInterface>(surfaceChannel))
            AdoptStageTexCoordSet(surface);

    auto* mesh = vex::AsInterface<Tav_MeshInterface>(surfaceChannel->GetChild(0));
    if (!mesh)
        return nullptr;
    if (desc.Width != static_cast<UINT>(width_) || desc.Height != static_cast<UINT>(height_))
        Reset();
    return ready_ ? mesh : nullptr;
}

// Computation in steps: checks, shadow scene, progress display, sampling (soft-shadow table and uv tree),
// the inputs the texel loop reads, the texel loop (progress and stop request on this thread after each
// column, or while workers compute), and the edge fill.
bool ShadowBuffer::Compute()
{
    Tav_3DObjectInterface* object = nullptr;
    Tav_MeshInterface* mesh = CheckTarget(object);
    if (!mesh)
        return false;

    PrepareShadowScene();
    const DWORD start = GetTickCount();
    ProgressDisplay display;
    if (owner_->GetUseProgressBar() && host_)
        display.Open(host_, ProgressBaseText(owner_->GetShadowSurfaceNr(), object->GetSurfaceCount()));
    const int samples = PrepareSampling(mesh);

    // Everything the texel loop reads is fixed for the whole computation: read it once.
    const std::vector<LightSource> lights = ReadLights();
    surfaceMesh_ = mesh;
    Tav_Channel* shadowScene = owner_->GetChild(1);
    const bool cull = owner_->GetUseShadowCulling();
    OctTreeShadowTracer tracer(vex::AsInterface<Tav_OctTreeInterface>(shadowScene), mesh, cull);
    const ColumnInputs inputs{samples,       lights.data(),
                              lights.size(), ReadLightingOptions(),
                              &tracer,       vex::AsInterface<Tav_OctTreeBatchInterface>(shadowScene),
                              mesh,          cull};
    if (!ComputeAllColumns(
            inputs, [&](int doneColumns) { return display.Report(doneColumns, width_, GetTickCount() - start); }))
        return false;

    EdgeFill(texels_.data(), width_, height_);
    return true;
}

Tav_MeshInterface* ShadowBuffer::CheckTarget(Tav_3DObjectInterface*& object)
{
    if (!owner_) {
        Message("textureShadowChannel_==NULL");
        return nullptr;
    }
    object = vex::AsInterface<Tav_3DObjectInterface>(owner_->GetChild(0));
    return ResolveTarget(object);
}

int ShadowBuffer::PrepareSampling(Tav_MeshInterface* mesh)
{
    sampleGridMode_ = ClampedAntiAliasMode();
    const int samples = SampleCount(sampleGridMode_);
    if (samples > 4)
        CreateSoftShadowOffsets();
    BuildUVTree(mesh);
    return samples;
}

// Columns straight into the store on the calling thread, or on workers (host's thread count) each into
// its own column buffer that is copied into the store only once finished, so that a stop leaves every
// column either computed or as it was.
bool ShadowBuffer::ComputeAllColumns(const ColumnInputs& inputs, const std::function<bool(int)>& report)
{
    const int threads = std::clamp(host_ ? host_->GetWorkerThreadCount() : 1, 1, std::max(width_, 1));
    const size_t columnBytes = static_cast<size_t>(height_) * kTexelBytes;
    std::vector<std::vector<uint8_t>> scratch(threads > 1 ? static_cast<size_t>(threads) : 0,
                                              std::vector<uint8_t>(columnBytes));
    auto compute = [&](int worker, int x, const std::atomic<bool>& stop) {
        uint8_t* column = texels_.data() + TexelOffset(x, 0, height_);
        if (threads == 1)
            return ComputeColumn(x, column, nullptr, inputs);
        std::vector<uint8_t>& own = scratch[static_cast<size_t>(worker)];
        std::copy(column, column + columnBytes, own.begin()); // uncovered texels keep their colour bytes
        if (!ComputeColumn(x, own.data(), &stop, inputs))
            return false;
        std::copy(own.begin(), own.end(), column);
        return true;
    };
    return ComputeColumns(width_, threads, compute, report);
}

// One column of the texel loop into `column` (height_ texels). It reads only state that stays fixed during
// the computation, so columns may be computed on several threads at once. With stop given it gives up,
// returning false, as soon as stop is raised. A texel's samples are placed first, so that where the
// shadow scene takes batches their shadow queries go to it together, one batch per light.
bool ShadowBuffer::ComputeColumn(int x, uint8_t* column, const std::atomic<bool>* stop, const ColumnInputs& in)
{
    TexelShadowBatch batch(in.batch, in.tracer, in.receivingMesh, in.cull);
    TexelShadowBatch* batched = in.batch && in.samples >= kMinBatchedSamples ? &batch : nullptr;
    std::vector<LightSample> samples(static_cast<size_t>(in.samples));
    UVTreeNode* lastLeaf = nullptr; // neighbouring samples mostly share a leaf
    for (int y = 0; y < height_; ++y) {
        if (stop && stop->load(std::memory_order_relaxed))
            return false;
        for (int s = 0; s < in.samples; ++s)
            samples[static_cast<size_t>(s)] =
                ComputeSample(mesh_, uvTreeRoot_, worldMatrix_, x, y, width_, height_, sampleGridMode_, s, &lastLeaf);
        if (batched)
            batched->Prepare(samples.data(), in.samples, in.lights, in.lightCount, in.options,
                             softShadowOffsets_.data(), softShadowOffsets_.size());
        ShadeTexel(samples.data(), in, batched, column + static_cast<size_t>(y) * kTexelBytes);
    }
    return true;
}

void ShadowBuffer::ShadeTexel(LightSample* samples, const ColumnInputs& in, TexelShadowBatch* batch,
                              uint8_t* texel) const
{
    ShadowTracer* tracer = batch ? static_cast<ShadowTracer*>(batch) : in.tracer;
    float sum[3] = {0, 0, 0};
    float hits = 0;
    for (int s = 0; s < in.samples; ++s) {
        LightSample& sample = samples[s];
        if (sample.missed)
            continue;
        if (batch)
            batch->BeginSample(s);
        ShadeSampleWithLights(sample, s, in.lights, in.lightCount, in.options, softShadowOffsets_.data(),
                              softShadowOffsets_.size(), tracer);
        sum[0] += sample.colour[0];
        sum[1] += sample.colour[1];
        sum[2] += sample.colour[2];
        hits += 1;
    }
    if (hits > 0) {
        const float inverse = 1.0f / hits;
        for (int k = 0; k < 3; ++k)
            texel[k] = static_cast<uint8_t>(static_cast<int>(sum[k] * inverse));
        texel[3] = kCovered;
    } else {
        texel[3] = kNotCovered;
    }
}

// The owner is one of the surface's textures: its stage is its position among them, after the stages of
// the leading texture channel's textures when the surface has one.
void ShadowBuffer::AdoptStageTexCoordSet(Tav_SurfaceInterface* surface)
{
    int stage = -1;
    if (surface->GetLeadingTextureIndex() == -1) {
        stage = TexturePosition(surface, owner_);
    } else if (Tav_Channel* leading = surface->GetLeadingTextureChannel()) {
        const int position = TexturePosition(surface, owner_);
        if (position >= 0)
            stage = leading->GetChildTypeCount(vex::Guid(vex::guids::kTexture)) + position;
    }
    if (stage >= 0)
        owner_->SetTextureCoordSetUse(surface->GetStageTexCoordSet(stage));
}

std::vector<LightSource> ShadowBuffer::ReadLights() const
{
    std::vector<LightSource> lights;
    if (!owner_)
        return lights;
    const int count = owner_->GetChildLinkPositionCount(3);
    for (int i = 0; i < count; ++i) {
        auto* light = vex::LinkedChild<Tav_LightInterface>(*owner_, 3, i);
        if (!light)
            continue;
        D3DLIGHT8 scratch;
        const D3DLIGHT8* description = light->GetLight(&scratch);
        if (!description)
            continue;
        LightSource source;
        source.light = *description;
        source.type = light->GetLightType();
        lights.push_back(source);
    }
    return lights;
}

LightingOptions ShadowBuffer::ReadLightingOptions() const
{
    LightingOptions options;
    if (!owner_)
        return options;
    options.useOverbright = owner_->GetUseOverbright();
    options.useShadow = owner_->GetUseShadow();
    options.useLighting = owner_->GetUseLighting();
    options.useColorTransparency = owner_->GetUseColorTransparency();
    options.softShadows = ClampedAntiAliasMode() >= kSoftShadowMinMode && owner_->GetSoftUseShadows();
    return options;
}

LightSample ShadowBuffer::GetSample(int x, int y, Tav_MeshInterface* mesh, int sampleIndex)
{
    const int set = owner_ ? owner_->GetTextureCoordSetUse() : 0;
    if (mesh && mesh == mesh_.source && set == mesh_.texCoordSet)
        return ComputeSample(mesh_, uvTreeRoot_, worldMatrix_, x, y, width_, height_, sampleGridMode_, sampleIndex);
    // Another mesh than the tree was built for: search all of its triangles.
    const MeshSnapshot other = ReadMeshSnapshot(mesh, set);
    return ComputeSample(other, nullptr, worldMatrix_, x, y, width_, height_, sampleGridMode_, sampleIndex);
}

D3DXVECTOR3 ShadowBuffer::InterpolateNormal(const D3DXVECTOR3 positions[3], const D3DXVECTOR3 normals[3],
                                            D3DXVECTOR3 point)
{
    return vex::texlight::InterpolateNormal(positions, normals, point);
}

float ShadowBuffer::GetPlaneRatio(D3DXVECTOR3 n, D3DXVECTOR3 point, D3DXVECTOR3 p0, D3DXVECTOR3 p1)
{
    return vex::texlight::GetPlaneRatio(n, point, p0, p1);
}

int ShadowBuffer::GetTexel(int x, int y)
{
    if (x < 0 || x >= width_ || y < 0 || y >= height_)
        return 0;
    const uint8_t* texel = texels_.data() + TexelOffset(x, y, height_);
    return (texel[0] << 16) | (texel[1] << 8) | texel[2];
}

uint8_t ShadowBuffer::GetCoverage(int x, int y) const
{
    if (x < 0 || x >= width_ || y < 0 || y >= height_)
        return kNotCovered;
    return texels_[TexelOffset(x, y, height_) + 3];
}

int ShadowBuffer::GetWidth() { return width_; }

int ShadowBuffer::GetHeight() { return height_; }

int ShadowBuffer::IntersectTriangle(const D3DXVECTOR3* origin, const D3DXVECTOR3* direction, const D3DXVECTOR3* T0,
                                    const D3DXVECTOR3* T1, const D3DXVECTOR3* T2, float* t, float* b1, float* b2)
{
    return vex::texlight::IntersectTriangle(origin, direction, T0, T1, T2, t, b1, b2);
}

void ShadowBuffer::ShadeSample(LightSample* sample, int sampleIndex)
{
    if (!sample)
        return;
    const std::vector<LightSource> lights = ReadLights();
    const LightingOptions options = ReadLightingOptions();
    BufferShadowTracer tracer(this);
    ShadeSampleWithLights(*sample, sampleIndex, lights.data(), lights.size(), options, softShadowOffsets_.data(),
                          softShadowOffsets_.size(), &tracer);
}

D3DXVECTOR3 ShadowBuffer::InterpolateLine(D3DXVECTOR3 from, D3DXVECTOR3 to, float ratio)
{
    return vex::texlight::InterpolateLine(from, to, ratio);
}

ShadowColor ShadowBuffer::GetShadowColor(LightSample* sample, D3DXVECTOR3 target)
{
    ShadowColor colour;
    if (!sample)
        return colour;
    const D3DXVECTOR3 direction = target - sample->position;
    TraceShadowRay(&sample->position, &target, &direction, colour.rgba);
    return colour;
}

void ShadowBuffer::PrepareShadowScene()
{
    if (!owner_)
        return;
    if (auto* octree = vex::AsInterface<Tav_OctTreeInterface>(owner_->GetChild(1)))
        octree->PrepareShadowTree(owner_->GetUseProgressBar());
}

bool ShadowBuffer::TraceShadowRay(const D3DXVECTOR3* origin, const D3DXVECTOR3* target, const D3DXVECTOR3* direction,
                                  float shadowColor[4])
{
    if (!owner_)
        return false;
    auto* octree = vex::AsInterface<Tav_OctTreeInterface>(owner_->GetChild(1));
    Tav_Channel* object = owner_->GetChild(0);
    Tav_Channel* surface =
        object ? object->GetChildFromLinkGuid(vex::Guid(vex::guids::kSurface), owner_->GetShadowSurfaceNr()) : nullptr;
    if (!surface)
        return false;
    // Mesh and culling flag travel with the query: nothing is stored, so queries may run at once.
    Tav_Channel* mesh = surface->GetChild(0);
    if (!mesh || !octree)
        return false;
    return octree->TraceRayWithCulling(origin, target, direction, shadowColor, mesh, owner_->GetUseShadowCulling());
}

void ShadowBuffer::CreateSoftShadowOffsets()
{
    const int mode = ClampedAntiAliasMode();
    if (mode < kSoftShadowMinMode)
        return;
    softShadowOffsets_ = MakeSoftShadowOffsets(mode, owner_->GetSoftShadowRadius());
}

void ShadowBuffer::BuildUVTree(Tav_MeshInterface* mesh)
{
    if (!mesh)
        return;
    DeleteUVTree();
    mesh_ = ReadMeshSnapshot(mesh, owner_ ? owner_->GetTextureCoordSetUse() : 0);
    try {
        uvTreeRoot_ = vex::texlight::BuildUVTree(mesh_);
    } catch (const std::bad_alloc&) {
        // The partly built tree is already freed; samples then test every triangle, with the same result.
        Message("uv tree: out of memory, every sample searches all triangles");
    }
}

void ShadowBuffer::DeleteUVTree()
{
    delete uvTreeRoot_;
    uvTreeRoot_ = nullptr;
}
