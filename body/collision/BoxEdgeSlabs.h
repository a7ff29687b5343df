#pragma once
// The exact stage's first step for the free primitives, for up to four triangles side by side (lane i
// holding triangle i): each edge's distance to the box centre, the nearest edge, and that edge's slab.
// The same code as PointSegmentDistanceOnly and SlabFromTriangle (EdgeSlab.h), so the same bits; the
// distances of a triangle's three edges are worked out in three passes over all four lanes, and only the
// nearest edge's slab in one more.

#include "body/collision/BoxPlaneReach.h"

namespace vex::collision {

struct NearestSlabs {
    int edge[4]; ///< lane i's nearest edge: 0 AB, 1 BC, 2 CA (ties to CA, and to BC over AB)
    float length[4];
    float width[4];
    float centre[3][4];
    float along[3][4];  ///< unit edge direction
    float across[3][4]; ///< unit normal x along
    int apart = 0;      ///< bit i: lane i's slab lies beyond the reach (when checked)

    /// Lane i's slab, as CreateSlab gives it.
    void Take(int lane, const D3DXVECTOR3& normal, double* outCentre, double* outRotation, double* outSides) const;
};

/// The nearest edges of the triangles (unit normals `normal`) to point, and their slabs. reach: when
/// given (its plane's reach known and not empty), also marks the slabs whose bounds miss it.
void ComputeNearestSlabs(const TriangleLanes& triangles, const Vec3<simd::Float4>& normal, const D3DXVECTOR3& point,
                         const PlaneReach* reach, NearestSlabs& out);

} // namespace vex::collision
