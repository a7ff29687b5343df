#pragma once
// The AABB tree's box query narrowed by an oriented box: what a tilted box resting on a mesh needs is the
// few triangles near it, not all those under its axis-aligned bounds (several times as many on a floor).

#include "siblings/collisionobject/AabbTree.h"

#include <cstdint>
#include <vector>

namespace vex {

/// A box in the tree's space: centre, three unit axes (rows) and the half lengths along them.
struct OrientedBox {
    float centre[3];
    float axes[3][3];
    float half[3];
};

/// How far, along each world axis, a slab the body's box collider builds on a triangle of the tree (on
/// any edge: as long as the edge, as wide as the apex lies from it) reaches past the triangle's bounds, at
/// most. The collider tests the box against the slab, not the triangle, so the query must keep a node
/// whose bounds grown by this meet the box. Worked out once per mesh.
void SlabOverhang(const AabbTree& tree, float out[3]);

/// Appends to out the triangles tree.Query(low, high) visits, in the same order, less those whose slabs
/// (any edge) lie apart from the oriented box along one of its axes, or that lie apart from it along their
/// normal. Apart means apart by more than the rounding of the test and of the collider, so a triangle
/// whose slab touches the box is never left out. overhang: SlabOverhang of the tree.
void QueryOrientedBox(const AabbTree& tree, const float overhang[3], const float low[3], const float high[3],
                      const OrientedBox& box, std::vector<uint32_t>& out);

/// The box-axis test of the query for a tree node's bounds grown by overhang (the world axes are Query's).
bool BoundsMayMeetOrientedBox(const OrientedBox& box, const float low[3], const float high[3], const float overhang[3]);
/// The query's test of one triangle (nine floats): its normal, and the box axes against its slabs.
bool TriangleMayMeetOrientedBox(const OrientedBox& box, const float* v);

} // namespace vex
