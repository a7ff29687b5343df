#pragma once
// The AABB tree's box query narrowed by an oriented box: a tilted box resting on a mesh needs the few
// triangles near it, not all those under its axis-aligned bounds (several times as many on a floor).
//
// Narrowed for the body's box collider, which tests a box not against a triangle but against a thin
// slab built on one of its edges (whichever lies nearest the box centre), as long as the edge and as wide
// as the apex lies from it: such a slab reaches past its triangle. So each triangle counts with the faces
// of all three of its possible slabs; their thickness is the caller's to add to the box, as for the box
// query.

#include "siblings/collisionobject/AabbTree.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vex {

/// A box in the tree's space: centre, three unit axes (rows) and the half lengths along them.
struct OrientedBox {
    float centre[3];
    float axes[3][3];
    float half[3];
};

/// The faces of a triangle's three slabs, the slab on edge i -> i + 1 when radius[i] < 0 being the
/// rectangle whose far corners are the edge's ends moved by apex - foot, foot = vertex i + lambda[i]
/// (vertex i+1 - vertex i) the apex's foot on the edge; otherwise (the foot beyond an end, lambda 0 or 1
/// naming it) lying within radius[i] of the edge's middle moved by half of apex - foot. Worked out per
/// query rather than stored: a table beside the triangles would cost a cache miss per triangle.
struct SlabShape {
    SlabShape() = default;
    explicit SlabShape(const float* v);

    /// Given the vertices' projections p onto some axis, the span [low, high] of the vertices' and the
    /// slab faces' projections.
    void Span(const float* p, float& low, float& high) const
    {
        low = std::min({p[0], p[1], p[2]});
        high = std::max({p[0], p[1], p[2]});
        for (int e = 0; e < 3; ++e) {
            const int j = e == 2 ? 0 : e + 1, k = e == 0 ? 2 : e - 1;
            const float edge = p[j] - p[e];
            const float offset = p[k] - (p[e] + lambda[e] * edge);
            if (radius[e] < 0) {
                low = std::min({low, p[e] + offset, p[j] + offset});
                high = std::max({high, p[e] + offset, p[j] + offset});
            } else {
                const float middle = 0.5f * (p[e] + p[j] + offset);
                low = std::min(low, middle - radius[e]);
                high = std::max(high, middle + radius[e]);
            }
        }
    }

    float lambda[3] = {};
    float radius[3] = {};
};

/// The largest coordinate magnitude of the tree's triangles: the scale of their rounding.
float CoordinateScale(const AabbTree& tree);

/// One query's box with what its triangle tests share.
class OrientedBoxTest {
public:
    /// meshScale: CoordinateScale of the mesh.
    OrientedBoxTest(const OrientedBox& box, float meshScale);

    /// False only when triangle v (nine floats) and its slabs lie apart from the box along one of the
    /// box's axes or the triangle's normal, by more than the rounding of this test and of the collider's:
    /// a triangle whose slab may touch the box is never dropped. NaN never counts as apart.
    bool MayMeet(const float* v) const
    {
        // The slabs reach past the vertices, so an axis where the vertices meet the box cannot part them;
        // the slabs are worked out only once an axis is found where the vertices lie apart.
        SlabShape slabs;
        bool slabsKnown = false;
        for (int i = 0; i < 3; ++i) {
            const float* a = box_.axes[i];
            float p[3];
            for (int j = 0; j < 3; ++j)
                p[j] = a[0] * v[3 * j] + a[1] * v[3 * j + 1] + a[2] * v[3 * j + 2] - along_[i];
            const float limit = box_.half[i] + slack_;
            if (!(std::min({p[0], p[1], p[2]}) > limit || std::max({p[0], p[1], p[2]}) < -limit))
                continue;
            if (!slabsKnown) {
                slabs = SlabShape(v);
                slabsKnown = true;
            }
            float low, high;
            slabs.Span(p, low, high);
            if (low > limit || high < -limit)
                return false;
        }
        return MayMeetPlane(v);
    }

private:
    /// The normal: the box reaches the triangle's plane (a degenerate triangle, whose normal is zero,
    /// always passes).
    bool MayMeetPlane(const float* v) const;

    OrientedBox box_;
    float along_[3]; ///< the centre along each box axis
    float slack_;    ///< rounding allowance, in length
};

/// Appends to out the triangles tree.Query(low, high) visits, in the same order, less those OrientedBoxTest
/// finds apart. meshScale: CoordinateScale of the tree. (Tree nodes are not tested against the oriented
/// box: grown by the reach of their triangles' slabs, few of them would lie apart from it.)
void QueryOrientedBox(const AabbTree& tree, float meshScale, const float low[3], const float high[3],
                      const OrientedBox& box, std::vector<uint32_t>& out);

} // namespace vex
