#include "siblings/octree/ShadowScene.h"

#include "common/SceneLimits.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vex::octree {

// ---------------------------------------------------------------------------------------------------
// Blocker combination

void BlockerAccumulator::Add(const ShadowMaterial& m)
{
    const float a = std::clamp(m.opacity, 0.0f, 1.0f);
    clear_ *= 1 - a;
    for (int k = 0; k < 3; ++k)
        transmission_[k] *= (1 - a) + a * std::clamp(m.tint[k], 0.0f, 1.0f);
    ++count_;
}

void BlockerAccumulator::SetFullyBlocked()
{
    clear_ = 0;
    transmission_[0] = transmission_[1] = transmission_[2] = 0;
    ++count_;
}

void BlockerAccumulator::Write(float colour[4]) const
{
    if (count_ == 0)
        return;
    const float opacity = 1 - clear_;
    for (int k = 0; k < 3; ++k) {
        // Solve (1 - A) + A * tint = T for the tint; T >= 1 - A always, so the tint lies in [0, 1].
        const float tint = opacity > 0 ? (transmission_[k] - clear_) / opacity : 1.0f;
        colour[k] = std::clamp(tint, 0.0f, 1.0f);
    }
    colour[3] = opacity;
}

// ---------------------------------------------------------------------------------------------------
// Device

namespace {

struct DeviceHolder {
    RTCDevice device = nullptr;
    std::string error;

    DeviceHolder()
    {
        device = rtcNewDevice(nullptr);
        if (!device)
            error = "Shadow scene: the ray-tracing device could not be created";
    }
    ~DeviceHolder()
    {
        // Scenes hold their own reference, so one still alive keeps the device until it goes.
        if (device)
            rtcReleaseDevice(device);
    }
};

/// Per-query state handed to the filter: Embree passes the context pointer through unchanged.
struct TraceContext {
    RTCIntersectContext base; // first member: the filter casts the context back to this
    float dir[3];
    float sameCrossing; ///< ray parameter within which two hits of one mesh are one crossing
    bool cull;
    BlockerAccumulator blockers;
    /// Crossings counted so far: a hit of the same mesh at the same distance (a shared edge, or a
    /// triangle reached again through another tree node) is the same crossing.
    struct Crossing {
        unsigned geometry;
        float t;
    };
    Crossing seen[kMaxBlockers];
    int seenCount = 0;
};

/// All six coordinates finite and within the tracer's bound: the ray tracer cannot take a segment
/// whose ends are huge (it stops the process), so such a segment is answered as unblocked.
bool TraceableEnds(const float a[3], const float b[3])
{
    for (int k = 0; k < 3; ++k)
        if (!(std::fabs(a[k]) <= limits::kMaxTraceCoordinate) || !(std::fabs(b[k]) <= limits::kMaxTraceCoordinate))
            return false;
    return true;
}

} // namespace

RTCDevice ShadowScene::Device(std::string* error)
{
    static DeviceHolder holder;
    if (!holder.device && error)
        *error = holder.error;
    return holder.device;
}

// ---------------------------------------------------------------------------------------------------
// Scene

ShadowScene::ShadowScene() = default;

ShadowScene::~ShadowScene() { Clear(); }

void ShadowScene::Clear()
{
    if (scene_)
        rtcReleaseScene(scene_);
    scene_ = nullptr;
    meshes_.clear();
    triangleCount_ = 0;
    selfHitDistance_ = kMinSelfHitDistance;
    translucentCasters_ = false;
}

void ShadowScene::NoteMaterials()
{
    translucentCasters_ = std::any_of(meshes_.begin(), meshes_.end(),
                                      [](const auto& m) { return !m->material.IsOpaqueBlack(); });
}

bool ShadowScene::HasSameGeometry(const std::vector<ShadowMesh>& meshes) const
{
    if (meshes.size() != meshes_.size())
        return false;
    for (size_t i = 0; i < meshes.size(); ++i)
        if (!meshes_[i]->SameGeometry(meshes[i]))
            return false;
    return true;
}

void ShadowScene::UpdateMaterials(const std::vector<ShadowMesh>& meshes)
{
    for (size_t i = 0; i < meshes.size() && i < meshes_.size(); ++i)
        meshes_[i]->material = meshes[i].material;
    NoteMaterials();
}

bool ShadowScene::Build(std::vector<ShadowMesh> meshes, std::string* error)
{
    Clear();
    RTCDevice device = Device(error);
    if (!device)
        return false;

    RTCScene scene = rtcNewScene(device);
    if (!scene) {
        if (error)
            *error = "Shadow scene: the scene could not be created";
        return false;
    }
    // The filter is set per query, and only when a query needs one: opaque casters without culling are
    // traced at Embree's plain speed.
    rtcSetSceneFlags(scene, RTC_SCENE_FLAG_CONTEXT_FILTER_FUNCTION);

    float lo[3] = {INFINITY, INFINITY, INFINITY};
    float hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    size_t triangles = 0;
    for (ShadowMesh& source : meshes) {
        auto mesh = std::make_unique<ShadowMesh>(std::move(source));
        const size_t count = std::min<size_t>(mesh->positions.size() / 9, kMaxTrianglesPerMesh);
        mesh->positions.resize(count * 9);
        if (count > 0) {
            RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
            // Embree's own copies: its loads may read past the last vertex, which our vectors do not allow.
            auto* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(
                geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), count * 3));
            auto* indices = static_cast<unsigned*>(rtcSetNewGeometryBuffer(
                geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), count));
            if (!vertices || !indices) {
                rtcReleaseGeometry(geometry);
                rtcReleaseScene(scene);
                meshes_.clear();
                if (error)
                    *error = "Shadow scene: out of memory for the triangles";
                return false;
            }
            std::memcpy(vertices, mesh->positions.data(), count * 9 * sizeof(float));
            for (size_t i = 0; i < count * 3; ++i)
                indices[i] = static_cast<unsigned>(i);
            for (size_t i = 0; i < count * 3; ++i)
                for (int k = 0; k < 3; ++k) {
                    lo[k] = std::min(lo[k], mesh->positions[i * 3 + k]);
                    hi[k] = std::max(hi[k], mesh->positions[i * 3 + k]);
                }
            rtcSetGeometryUserData(geometry, mesh.get());
            rtcCommitGeometry(geometry);
            rtcAttachGeometry(scene, geometry);
            rtcReleaseGeometry(geometry);
            triangles += count;
        }
        meshes_.push_back(std::move(mesh));
    }

    rtcCommitScene(scene);
    if (rtcGetDeviceError(device) != RTC_ERROR_NONE) {
        rtcReleaseScene(scene);
        meshes_.clear();
        if (error)
            *error = "Shadow scene: building the ray-tracing scene failed";
        return false;
    }
    scene_ = scene;
    triangleCount_ = triangles;
    NoteMaterials();

    if (triangles > 0) {
        float diagonal2 = 0, largest = 0;
        for (int k = 0; k < 3; ++k) {
            diagonal2 += (hi[k] - lo[k]) * (hi[k] - lo[k]);
            largest = std::max({largest, std::fabs(lo[k]), std::fabs(hi[k])});
        }
        selfHitDistance_ = std::max(kMinSelfHitDistance, kSelfHitFraction * std::max(std::sqrt(diagonal2), largest));
    }
    return true;
}

// ---------------------------------------------------------------------------------------------------
// Tracing
//
// One rtcOccluded1 per segment, its ends pulled in by the self-hit distance. Without culling and with
// opaque black casters only, the first hit settles it. Otherwise a filter sees every candidate hit: it
// drops those that do not count (back sides when culling, clear casters, a crossing already counted),
// folds semi-transparent ones into the accumulator and rejects them so the traversal goes on, and accepts
// (ending the traversal) only once nothing more can pass. The filter runs with the ray's tfar set to the
// candidate's distance (Embree restores it when the candidate is rejected).

void ShadowScene::OccludedFilter(const RTCFilterFunctionNArguments* args)
{
    auto* context = reinterpret_cast<TraceContext*>(args->context);
    const auto* mesh = static_cast<const ShadowMesh*>(args->geometryUserPtr);
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] == 0)
            continue;
        const unsigned prim = RTCHitN_primID(args->hit, args->N, i);
        const float t = RTCRayN_tfar(args->ray, args->N, i);
        auto reject = [&] { args->valid[i] = 0; };

        if (context->cull) {
            const float* v = &mesh->positions[size_t(prim) * 9];
            const float e1[3] = {v[3] - v[0], v[4] - v[1], v[5] - v[2]};
            const float e2[3] = {v[6] - v[0], v[7] - v[1], v[8] - v[2]};
            const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                e1[0] * e2[1] - e1[1] * e2[0]};
            if (n[0] * context->dir[0] + n[1] * context->dir[1] + n[2] * context->dir[2] > 0) {
                reject(); // the segment meets its back side
                continue;
            }
        }
        const ShadowMaterial& material = mesh->material;
        if (material.opacity <= 0) {
            reject();
            continue;
        }
        if (material.IsOpaqueBlack()) {
            context->blockers.SetFullyBlocked();
            continue; // accepted: the traversal ends
        }
        const unsigned geometry = RTCHitN_geomID(args->hit, args->N, i);
        const TraceContext::Crossing* begin = context->seen;
        const TraceContext::Crossing* end = begin + context->seenCount;
        if (std::find_if(begin, end, [&](const TraceContext::Crossing& c) {
                return c.geometry == geometry && std::fabs(c.t - t) <= context->sameCrossing;
            }) != end) {
            reject();
            continue;
        }
        if (context->seenCount == kMaxBlockers) {
            context->blockers.SetFullyBlocked();
            continue;
        }
        context->seen[context->seenCount++] = {geometry, t};
        context->blockers.Add(material);
        if (!context->blockers.Dark())
            reject(); // light still passes: look for further blockers
    }
}

bool ShadowScene::Trace(const float origin[3], const float target[3], bool cull, float colour[4]) const
{
    if (!scene_ || !origin || !target || !TraceableEnds(origin, target))
        return false;
    const float dir[3] = {target[0] - origin[0], target[1] - origin[1], target[2] - origin[2]};
    const float length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    // Segments shorter than the self-hit distance at both ends have nothing between their ends.
    if (!(length > 2 * selfHitDistance_))
        return false;
    const float endLimit = selfHitDistance_ / length;

    RTCRay ray{};
    ray.org_x = origin[0];
    ray.org_y = origin[1];
    ray.org_z = origin[2];
    ray.dir_x = dir[0];
    ray.dir_y = dir[1];
    ray.dir_z = dir[2];
    ray.tnear = endLimit;    // the sample's own surface
    ray.tfar = 1 - endLimit; // a surface the light sits on
    ray.mask = ~0u;

    if (!cull && !translucentCasters_) {
        // Opaque black casters only: any hit settles it, and Embree marks one by setting tfar to -inf.
        RTCIntersectContext plain;
        rtcInitIntersectContext(&plain);
        rtcOccluded1(scene_, &plain, &ray);
        if (!(ray.tfar < 0))
            return false;
        colour[0] = colour[1] = colour[2] = 0;
        colour[3] = 1;
        return true;
    }

    TraceContext context;
    rtcInitIntersectContext(&context.base);
    context.base.filter = &ShadowScene::OccludedFilter;
    std::copy(dir, dir + 3, context.dir);
    context.sameCrossing = endLimit;
    context.cull = cull;
    rtcOccluded1(scene_, &context.base, &ray);
    if (context.blockers.Empty())
        return false;
    context.blockers.Write(colour);
    return true;
}

} // namespace vex::octree
