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

/// Relative margin, a fraction of the box extents projected on the axis, by which an edge-pair axis must
/// beat the best axis so far in the box test. An edge pair whose cross product is parallel to a face axis
/// ties with that face exactly; the slab axes come from single-precision vectors, and their rounding alone
/// (about 1e-7) must not turn such a tie into an edge contact, whose point lies elsewhere.
inline constexpr double kEdgeAxisTieTolerance = 1e-6;

/// Relative size, against the magnitudes involved, above which a single-precision result is trusted to
/// have its sign (or its side of a threshold) right: far above the rounding of a few operations (about
/// 1e-7 each), so the quick tests that use it agree with the exact ones they stand in front of.
inline constexpr float kSignCertainty = 1e-4f;

/// Two box contacts closer than this, in world units, with normals closer than kRepeatedContactTurn (the
/// length of their difference, unit vectors), are the same contact: the second is not written, so the
/// caller's few places go to contacts that support the box elsewhere. Well below any box size in use.
inline constexpr double kRepeatedContactDistance = 1e-4;
inline constexpr double kRepeatedContactTurn = 1e-3;

/// Most distinct contacts the box collider holds at once before choosing which to write (a box meets a few
/// dozen triangles on a mesh of its own scale). One more thins them to kThinnedBoxCandidates, chosen as
/// the written ones are (the deepest, then a spread), so memory stays fixed whatever the mesh and the
/// deepest contact is never lost; up to the bound nothing is thinned.
inline constexpr unsigned long kMaxBoxCandidates = 64;
inline constexpr unsigned long kThinnedBoxCandidates = 32;
/// A box contact whose normal is within this cosine of a triangle's normal pushes straight out of its face
/// (about 2.6 degrees): the box's other corners sunk into the slab over the triangle support it too.
inline constexpr double kSupportFaceAlignment = 0.999;

/// Slack, relative to (1 + the box's half sizes summed), by which the box collider widens the part of a box
/// that can reach a triangle's slab before rejecting slabs outside it: far above the rounding of the few
/// operations involved, so that no slab the box test would find touching is rejected.
inline constexpr double kReachMargin = 1e-5;

/// Slack, relative to the largest coordinate of a triangle (at least 1), by which the box collider widens
/// the bounds it puts around a triangle's possible slabs before the slab is built: far above the rounding
/// of either the bounds or the slab (about 1e-7 relative), so no slab the later test keeps is rejected.
inline constexpr double kSlabBoundsMargin = 1e-4;

/// ODE keeps the maximum number of contacts in the low 16 bits of the collider flags.
inline constexpr unsigned long kContactCountMask = 0xffffu;

/// Contacts the box test writes per call (one); the local scratch array holds this many records.
inline constexpr int kBoxBoxScratchContacts = 3;

} // namespace vex::collision
