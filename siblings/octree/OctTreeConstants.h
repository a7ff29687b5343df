#pragma once
// Values that shape how the shadow scene answers a segment query.

namespace vex::octree {

/// Self-hit distance as a fraction of the scene's size (the larger of its bounding-box diagonal and its
/// largest coordinate magnitude): far above float rounding of positions in the scene, far below any
/// feature a light map resolves. Hits this close to either end of a segment do not block: a sample
/// does not shadow itself, nor does a surface that a light sits on.
inline constexpr float kSelfHitFraction = 1e-4f;

/// Smallest self-hit distance (world units), for a scene of zero size.
inline constexpr float kMinSelfHitDistance = 1e-6f;

/// Distinct semi-transparent layers combined along one segment; a segment that crosses more counts as
/// fully blocked (after 64 layers of even 10 % opacity less than 0.2 % of the light would pass).
inline constexpr int kMaxBlockers = 64;

/// Settings records accepted from stored data (one per linked object).
inline constexpr unsigned kMaxStoredObjectSettings = 65536;

/// Triangles taken from one mesh; a larger index count is treated as damaged data.
inline constexpr long long kMaxTrianglesPerMesh = 1ll << 26;

} // namespace vex::octree
