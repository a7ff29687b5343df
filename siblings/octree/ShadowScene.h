#pragma once
// World-space triangle scene for shadow segment queries, on Embree 3. No channel types here: the octree
// channel gathers the triangles, this class answers "what lies between these two points".

#include "siblings/octree/OctTreeConstants.h"

#include <embree3/rtcore.h>

#include <memory>
#include <string>
#include <vector>

namespace vex::octree {

/// How one caster dims the light that passes through it: per channel, (1 - opacity) + opacity * tint.
struct ShadowMaterial {
    float tint[3] = {0, 0, 0};
    float opacity = 1;

    bool operator==(const ShadowMaterial&) const = default;
    /// Opaque black: the first such hit settles the query.
    bool IsOpaqueBlack() const { return opacity >= 1 && tint[0] <= 0 && tint[1] <= 0 && tint[2] <= 0; }
};

/// One mesh of the scene: its triangles in world space, nine floats each (v0, v1, v2); the front side is
/// (v1 - v0) x (v2 - v0).
struct ShadowMesh {
    const void* identity = nullptr; ///< the mesh channel the triangles came from
    int objectIndex = -1;           ///< link index of the object that owns the mesh
    std::vector<float> positions;
    ShadowMaterial material;

    /// Same geometry (identity, owner and positions), the material aside.
    bool SameGeometry(const ShadowMesh& other) const
    {
        return identity == other.identity && objectIndex == other.objectIndex && positions == other.positions;
    }
};

/// One segment of a batched query: from origin to target.
struct ShadowSegment {
    float origin[3];
    float target[3];
};

/// Per-channel transmission along a segment and the opacity it stands for.
/// Blockers i with opacity a_i and tint t_i combine as
///   opacity A = 1 - prod(1 - a_i),   transmission T_k = prod((1 - a_i) + a_i * t_ik),
/// and the tint written is the one for which (1 - A) + A * tint_k = T_k, so that the caller's formula
/// gives back the exact product of what each blocker lets through.
class BlockerAccumulator {
public:
    void Add(const ShadowMaterial& m);
    bool Empty() const { return count_ == 0; }
    int Count() const { return count_; }
    /// Nothing more can pass: no light in any channel and no clear share.
    bool Dark() const { return clear_ <= 0 && transmission_[0] <= 0 && transmission_[1] <= 0 && transmission_[2] <= 0; }
    void SetFullyBlocked();
    /// Writes (tint, opacity); leaves colour alone when nothing was added.
    void Write(float colour[4]) const;

private:
    float clear_ = 1;                   ///< prod(1 - a_i)
    float transmission_[3] = {1, 1, 1}; ///< prod((1 - a_i) + a_i * t_ik)
    int count_ = 0;
};

class ShadowScene {
public:
    ShadowScene();
    ~ShadowScene();
    ShadowScene(const ShadowScene&) = delete;
    ShadowScene& operator=(const ShadowScene&) = delete;

    /// Replaces the scene by these meshes and commits it. False with a message when Embree fails (the
    /// scene is then empty: every segment is free).
    bool Build(std::vector<ShadowMesh> meshes, std::string* error);
    /// Same geometry as the scene holds (so a rebuild would give the same scene).
    bool HasSameGeometry(const std::vector<ShadowMesh>& meshes) const;
    /// Takes new materials without touching the geometry; meshes must match HasSameGeometry.
    void UpdateMaterials(const std::vector<ShadowMesh>& meshes);
    void Clear();

    bool IsBuilt() const { return scene_ != nullptr; }
    size_t GetMeshCount() const { return meshes_.size(); }
    /// Mesh i as given to Build (i below GetMeshCount()).
    const ShadowMesh& GetMesh(size_t i) const { return *meshes_[i]; }
    size_t GetTriangleCount() const { return triangleCount_; }
    /// Distance below which hits count as the origin's own surface (or the target's), in world units.
    float GetSelfHitDistance() const { return selfHitDistance_; }
    /// Tests the segment origin -> target; hits within GetSelfHitDistance() of either end do not count.
    /// Blockers seen from their back side are skipped when cull is set. True when something blocks; then
    /// colour receives (red, green, blue, opacity) as the light-map code reads it, otherwise it is left
    /// alone. A segment with an end that is not finite or lies beyond limits::kMaxTraceCoordinate is
    /// answered as unblocked. Thread-safe: reads only.
    bool Trace(const float origin[3], const float target[3], bool cull, float colour[4]) const;
    /// Trace for each of count segments, with the very same answers: blocked[i] is what Trace returns and
    /// colours + 4 i receives what it writes. The segments go to Embree in packets; one whose answer could
    /// depend on the order hits are found in (three semi-transparent hits or more) is traced again alone.
    /// Thread-safe: reads only.
    void TraceMany(const ShadowSegment* segments, size_t count, bool cull, float* colours, bool* blocked) const;

    /// The process-wide Embree device, created on first use; null (with a message) when Embree fails.
    static RTCDevice Device(std::string* error = nullptr);

private:
    /// Per-query filter: culling, semi-transparent and coloured casters.
    static void OccludedFilter(const RTCFilterFunctionNArguments* args);
    /// Packet filter for opaque black casters under culling: drops back-side hits, takes any other.
    static void CullFilter(const RTCFilterFunctionNArguments* args);
    /// The Embree ray of a segment: false when nothing can lie between its ends (see Trace).
    bool SegmentRay(const float origin[3], const float target[3], RTCRay& ray) const;
    template <class Packet>
    void TracePackets(const ShadowSegment* segments, size_t count, bool cull, float* colours, bool* blocked) const;
    void NoteMaterials();
    /// Releases a scene being built and the meshes taken so far; says why in `error`.
    bool Abandon(RTCScene scene, const char* why, std::string* error);

    RTCScene scene_ = nullptr;
    /// Every mesh given to Build, in order; each Embree geometry points at its entry (stable address).
    std::vector<std::unique_ptr<ShadowMesh>> meshes_;
    size_t triangleCount_ = 0;
    float selfHitDistance_ = kMinSelfHitDistance;
    /// Some caster lets light through: every hit must go through the filter, not only under culling.
    bool translucentCasters_ = false;
};

} // namespace vex::octree
