#include "siblings/octree/ShadowScene.h"

#include "common/SceneLimits.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

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

/// The segment direction dir meets the back side of triangle prim of mesh.
bool MeetsBackSide(const ShadowMesh& mesh, unsigned prim, const float dir[3])
{
    const float* v = &mesh.positions[size_t(prim) * 9];
    const float e1[3] = {v[3] - v[0], v[4] - v[1], v[5] - v[2]};
    const float e2[3] = {v[6] - v[0], v[7] - v[1], v[8] - v[2]};
    const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
    return n[0] * dir[0] + n[1] * dir[1] + n[2] * dir[2] > 0;
}

/// Embree's ray packets of each width, so that one routine fills and traces any of them.
template <int Width, class Ray, void (*Occluded)(const int*, RTCScene, RTCIntersectContext*, Ray*)> struct PacketKind {
    static constexpr int kWidth = Width;
    using RayType = Ray;
    static void Trace(const int* valid, RTCScene scene, RTCIntersectContext* context, Ray* rays)
    {
        Occluded(valid, scene, context, rays);
    }
};
using Packet4 = PacketKind<4, RTCRay4, rtcOccluded4>;
using Packet8 = PacketKind<8, RTCRay8, rtcOccluded8>;
using Packet16 = PacketKind<16, RTCRay16, rtcOccluded16>;

/// Lane k of a packet: the ray, every mask bit, time 0.
template <class Rays>
void SetLane(Rays& rays, int k, float ox, float oy, float oz, float dx, float dy, float dz, float tnear, float tfar)
{
    rays.org_x[k] = ox;
    rays.org_y[k] = oy;
    rays.org_z[k] = oz;
    rays.dir_x[k] = dx;
    rays.dir_y[k] = dy;
    rays.dir_z[k] = dz;
    rays.tnear[k] = tnear;
    rays.tfar[k] = tfar;
    rays.time[k] = 0;
    rays.mask[k] = ~0u;
    rays.id[k] = static_cast<unsigned>(k); // the filter finds the lane's state by it
    rays.flags[k] = 0;
}

/// The widest packet the device traces natively; 1 when it has none (segments then go one by one).
int NativePacketWidth()
{
    static const int width = [] {
        RTCDevice device = ShadowScene::Device();
        if (!device)
            return 1;
        for (auto [property, w] : {std::pair{RTC_DEVICE_PROPERTY_NATIVE_RAY16_SUPPORTED, 16},
                                   std::pair{RTC_DEVICE_PROPERTY_NATIVE_RAY8_SUPPORTED, 8},
                                   std::pair{RTC_DEVICE_PROPERTY_NATIVE_RAY4_SUPPORTED, 4}})
            if (rtcGetDeviceProperty(device, property))
                return w;
        return 1;
    }();
    return width;
}

/// One lane of a packet over a scene with semi-transparent casters: its first two counted candidate hits.
/// Two factors multiply to the same product in either order, so up to two hits the answer does not depend
/// on the order the traversal found them in; a lane that meets a third is traced again on its own.
struct PacketLane {
    struct Hit {
        unsigned geometry;
        float t;
        const ShadowMaterial* material;
    };
    Hit hits[2];
    int hitCount = 0;
    bool retrace = false;      ///< a third hit: the order could matter
    bool fullyBlocked = false; ///< an opaque black hit: nothing passes, whatever else lies there
};

struct PacketContext {
    RTCIntersectContext base; // first member: the filter casts the context back to this
    bool cull = false;
    PacketLane lanes[16];
};

/// Packet filter for scenes with semi-transparent casters: drops what Trace's filter drops (back sides
/// when culling, clear casters) and keeps the rest per lane for PacketLaneAnswer.
void SemiTransparentPacketFilter(const RTCFilterFunctionNArguments* args)
{
    auto* context = reinterpret_cast<PacketContext*>(args->context);
    const auto* mesh = static_cast<const ShadowMesh*>(args->geometryUserPtr);
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] == 0)
            continue;
        PacketLane& lane = context->lanes[RTCRayN_id(args->ray, args->N, i) % 16];
        const float dir[3] = {RTCRayN_dir_x(args->ray, args->N, i), RTCRayN_dir_y(args->ray, args->N, i),
                              RTCRayN_dir_z(args->ray, args->N, i)};
        const unsigned prim = RTCHitN_primID(args->hit, args->N, i);
        if ((context->cull && MeetsBackSide(*mesh, prim, dir)) || mesh->material.opacity <= 0) {
            args->valid[i] = 0;
            continue;
        }
        if (mesh->material.IsOpaqueBlack()) {
            lane.fullyBlocked = true;
            continue; // accepted: the lane ends
        }
        if (lane.hitCount == 2) {
            lane.retrace = true;
            continue; // accepted: the lane ends, to be traced on its own
        }
        lane.hits[lane.hitCount++] = {RTCHitN_geomID(args->hit, args->N, i), RTCRayN_tfar(args->ray, args->N, i),
                                      &mesh->material};
        args->valid[i] = 0; // look for further hits
    }
}

/// A semi-transparent lane's answer from at most two hits, folded as Trace's filter folds them.
bool FoldLaneHits(const PacketLane& lane, float sameCrossing, float colour[4])
{
    BlockerAccumulator blockers;
    for (int h = 0; h < lane.hitCount; ++h) {
        const PacketLane::Hit& hit = lane.hits[h];
        if (h == 1 && hit.geometry == lane.hits[0].geometry && std::fabs(lane.hits[0].t - hit.t) <= sameCrossing)
            break; // the same crossing as the first
        blockers.Add(*hit.material);
        if (blockers.Dark())
            break;
    }
    if (lane.fullyBlocked)
        blockers.SetFullyBlocked();
    if (blockers.Empty())
        return false;
    blockers.Write(colour);
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
    translucentCasters_ =
        std::any_of(meshes_.begin(), meshes_.end(), [](const auto& m) { return !m->material.IsOpaqueBlack(); });
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

namespace {

/// Bounds of every vertex given to the scene, for the self-hit distance.
struct SceneBounds {
    float lo[3] = {INFINITY, INFINITY, INFINITY};
    float hi[3] = {-INFINITY, -INFINITY, -INFINITY};

    void Add(const std::vector<float>& positions)
    {
        for (size_t i = 0; i + 2 < positions.size(); i += 3)
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], positions[i + k]);
                hi[k] = std::max(hi[k], positions[i + k]);
            }
    }

    /// A fraction of the scene's size or of its distance from the origin, whichever is larger: the
    /// rounding of a hit point grows with both.
    float SelfHitDistance() const
    {
        float diagonal2 = 0, largest = 0;
        for (int k = 0; k < 3; ++k) {
            diagonal2 += (hi[k] - lo[k]) * (hi[k] - lo[k]);
            largest = std::max({largest, std::fabs(lo[k]), std::fabs(hi[k])});
        }
        return std::max(kMinSelfHitDistance, kSelfHitFraction * std::max(std::sqrt(diagonal2), largest));
    }
};

/// Gives Embree its own copy of a mesh's `count` triangles (its loads may read past the last vertex, which
/// our vectors do not allow) and attaches it; false when Embree has no memory for the buffers.
bool AttachTriangles(RTCDevice device, RTCScene scene, ShadowMesh& mesh, size_t count)
{
    RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
    auto* vertices = static_cast<float*>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), count * 3));
    auto* indices = static_cast<unsigned*>(
        rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), count));
    if (!vertices || !indices) {
        rtcReleaseGeometry(geometry);
        return false;
    }
    std::memcpy(vertices, mesh.positions.data(), count * 9 * sizeof(float));
    for (size_t i = 0; i < count * 3; ++i)
        indices[i] = static_cast<unsigned>(i);
    rtcSetGeometryUserData(geometry, &mesh);
    rtcCommitGeometry(geometry);
    rtcAttachGeometry(scene, geometry);
    rtcReleaseGeometry(geometry);
    return true;
}

} // namespace

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

    SceneBounds bounds;
    size_t triangles = 0;
    for (ShadowMesh& source : meshes) {
        auto mesh = std::make_unique<ShadowMesh>(std::move(source));
        const size_t count = std::min<size_t>(mesh->positions.size() / 9, kMaxTrianglesPerMesh);
        mesh->positions.resize(count * 9);
        if (count > 0 && !AttachTriangles(device, scene, *mesh, count))
            return Abandon(scene, "Shadow scene: out of memory for the triangles", error);
        bounds.Add(mesh->positions);
        triangles += count;
        meshes_.push_back(std::move(mesh));
    }

    rtcCommitScene(scene);
    if (rtcGetDeviceError(device) != RTC_ERROR_NONE)
        return Abandon(scene, "Shadow scene: building the ray-tracing scene failed", error);
    scene_ = scene;
    triangleCount_ = triangles;
    NoteMaterials();
    if (triangles > 0)
        selfHitDistance_ = bounds.SelfHitDistance();
    return true;
}

bool ShadowScene::Abandon(RTCScene scene, const char* why, std::string* error)
{
    rtcReleaseScene(scene);
    meshes_.clear();
    if (error)
        *error = why;
    return false;
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

        if (context->cull && MeetsBackSide(*mesh, prim, context->dir)) {
            reject();
            continue;
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

bool ShadowScene::SegmentRay(const float origin[3], const float target[3], RTCRay& ray) const
{
    if (!scene_ || !origin || !target || !TraceableEnds(origin, target))
        return false;
    const float dir[3] = {target[0] - origin[0], target[1] - origin[1], target[2] - origin[2]};
    const float length = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
    // Segments shorter than the self-hit distance at both ends have nothing between their ends.
    if (!(length > 2 * selfHitDistance_))
        return false;
    const float endLimit = selfHitDistance_ / length;

    ray = RTCRay{};
    ray.org_x = origin[0];
    ray.org_y = origin[1];
    ray.org_z = origin[2];
    ray.dir_x = dir[0];
    ray.dir_y = dir[1];
    ray.dir_z = dir[2];
    ray.tnear = endLimit;    // the sample's own surface
    ray.tfar = 1 - endLimit; // a surface the light sits on
    ray.mask = ~0u;
    return true;
}

bool ShadowScene::Trace(const float origin[3], const float target[3], bool cull, float colour[4]) const
{
    RTCRay ray;
    if (!SegmentRay(origin, target, ray))
        return false;

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
    context.dir[0] = ray.dir_x;
    context.dir[1] = ray.dir_y;
    context.dir[2] = ray.dir_z;
    context.sameCrossing = ray.tnear;
    context.cull = cull;
    rtcOccluded1(scene_, &context.base, &ray);
    if (context.blockers.Empty())
        return false;
    context.blockers.Write(colour);
    return true;
}

// ---------------------------------------------------------------------------------------------------
// Batched tracing
//
// A packet traversal finds a segment's hits in another order than a traversal of its own. With opaque
// black casters only, an answer is "some counted hit exists", whatever the order. Semi-transparent
// casters fold their hits in the order found: up to two hits the product is the same either way (and an
// opaque black hit makes it nothing), so such lanes are answered from the packet; a lane with a third hit
// is traced again on its own, with Trace's own order.

void ShadowScene::CullFilter(const RTCFilterFunctionNArguments* args)
{
    const auto* mesh = static_cast<const ShadowMesh*>(args->geometryUserPtr);
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] == 0)
            continue;
        const float dir[3] = {RTCRayN_dir_x(args->ray, args->N, i), RTCRayN_dir_y(args->ray, args->N, i),
                              RTCRayN_dir_z(args->ray, args->N, i)};
        if (MeetsBackSide(*mesh, RTCHitN_primID(args->hit, args->N, i), dir))
            args->valid[i] = 0;
    }
}

// Segments go in packets in their own order, a packet's lanes set side by side so that the compiler can
// take the lengths and end limits of all lanes at once; the arithmetic is Trace's, operation for operation
// (and IEEE square roots and quotients are the same whether one or several are taken at once).
template <class Packet>
void ShadowScene::TracePackets(const ShadowSegment* segments, size_t count, bool cull, float* colours,
                               bool* blocked) const
{
    constexpr int kWidth = Packet::kWidth;
    static_assert(kWidth <= 16, "PacketContext holds 16 lanes");
    PacketContext context;
    rtcInitIntersectContext(&context.base);
    context.cull = cull;
    if (translucentCasters_)
        context.base.filter = &SemiTransparentPacketFilter;
    else if (cull)
        context.base.filter = &ShadowScene::CullFilter;
    typename Packet::RayType rays; // every lane is written before a trace: no need to clear ~1 KB a call
    alignas(64) int valid[kWidth];
    float length[kWidth];
    for (size_t first = 0; first < count; first += kWidth) {
        const int lanes = static_cast<int>(std::min<size_t>(kWidth, count - first));
        const ShadowSegment* segment = segments + first;
        for (int k = 0; k < lanes; ++k) {
            const float* o = segment[k].origin;
            const float* t = segment[k].target;
            SetLane(rays, k, o[0], o[1], o[2], t[0] - o[0], t[1] - o[1], t[2] - o[2], 0, 0);
        }
        for (int k = 0; k < lanes; ++k)
            length[k] = std::sqrt(rays.dir_x[k] * rays.dir_x[k] + rays.dir_y[k] * rays.dir_y[k] +
                                  rays.dir_z[k] * rays.dir_z[k]);
        for (int k = 0; k < lanes; ++k) {
            rays.tnear[k] = selfHitDistance_ / length[k];
            rays.tfar[k] = 1 - rays.tnear[k];
        }
        bool any = false;
        for (int k = 0; k < kWidth; ++k) {
            const bool traced =
                k < lanes && TraceableEnds(segment[k].origin, segment[k].target) && length[k] > 2 * selfHitDistance_;
            valid[k] = traced ? -1 : 0;
            any = any || traced;
            if (!traced) // idle lanes get a harmless ray, so that full-width arithmetic sees sane numbers
                SetLane(rays, k, 0, 0, 0, 1, 1, 1, 0, 0);
        }
        std::fill(context.lanes, context.lanes + kWidth, PacketLane{});
        if (any)
            Packet::Trace(valid, scene_, &context.base, &rays);
        for (int k = 0; k < lanes; ++k) {
            float* colour = colours + 4 * (first + k);
            blocked[first + k] = false;
            if (valid[k] == 0)
                continue;
            const PacketLane& lane = context.lanes[k];
            if (!translucentCasters_ || lane.fullyBlocked) {
                if (!(rays.tfar[k] < 0))
                    continue;
                colour[0] = colour[1] = colour[2] = 0;
                colour[3] = 1;
                blocked[first + k] = true;
            } else if (lane.retrace) {
                blocked[first + k] = Trace(segment[k].origin, segment[k].target, cull, colour);
            } else {
                blocked[first + k] = FoldLaneHits(lane, rays.tnear[k], colour);
            }
        }
    }
}

void ShadowScene::TraceMany(const ShadowSegment* segments, size_t count, bool cull, float* colours, bool* blocked) const
{
    if (!scene_) {
        std::fill(blocked, blocked + count, false);
        return;
    }
    const int width = count < 2 ? 1 : NativePacketWidth();
    if (width == 16)
        TracePackets<Packet16>(segments, count, cull, colours, blocked);
    else if (width == 8)
        TracePackets<Packet8>(segments, count, cull, colours, blocked);
    else if (width == 4)
        TracePackets<Packet4>(segments, count, cull, colours, blocked);
    else
        for (size_t i = 0; i < count; ++i)
            blocked[i] = Trace(segments[i].origin, segments[i].target, cull, colours + 4 * i);
}

} // namespace vex::octree
