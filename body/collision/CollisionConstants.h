#pragma once
// Numbers the mesh colliders depend on, with their units and the reason for each value.

namespace vex::collision {

/// Least distance, in world units, that a sphere or box centre must lie in front of a triangle's plane for
/// the triangle to count. Triangles are one-sided; this also rejects degenerate triangles, whose normal is
/// the zero vector and whose distance is therefore 0. Single precision, as the colliders compute in float.
inline constexpr float kTriangleFrontEpsilon = 0.0001f;

/// Least determinant, in square world units times world units, of the ray-through-triangle test below
/// which the ray counts as parallel to the triangle (the triangle is seen edge-on).
inline constexpr float kRayParallelEpsilon = 0.0001f;

/// Thickness, in world units, of the thin box ("slab") that stands for a triangle in the box test. It is
/// centred on the triangle's plane, so a box may sink 0.005 into it before reaching the far side. Kept in
/// single precision and widened, so the stored value is 0.009999999776482582.
inline constexpr float kSlabThickness = 0.01f;

/// The sphere collider queries a cube of half-size radius * sqrt(2) around the centre (computed as
/// sqrt(2 r^2) in float): wider than the sphere so that triangles whose bounds barely reach it are found.
inline constexpr float kSphereQueryScaleSquared = 2.0f;

/// Relative margin, a fraction of the box extents projected on the axis, by which an edge-pair axis must
/// beat the best axis so far in the box test. An edge pair whose cross product is parallel to a face axis
/// ties with that face exactly; the slab axes come from single-precision vectors, and their rounding alone
/// (about 1e-7) must not turn such a tie into an edge contact, whose point lies elsewhere.
inline constexpr double kEdgeAxisTieTolerance = 1e-6;

/// ODE keeps the maximum number of contacts in the low 16 bits of the collider flags.
inline constexpr unsigned long kContactCountMask = 0xffffu;

/// Contacts the box test writes per call (one); the local scratch array holds this many records.
inline constexpr int kBoxBoxScratchContacts = 3;

} // namespace vex::collision
