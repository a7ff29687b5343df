#pragma once
// The exact stage's first step for the free primitives: a triangle's three edges side by side, one per
// lane (AB, BC, CA), each with its distance to the box centre and its slab; the collider then takes the
// nearest edge's. The same code as PointSegmentDistanceOnly and SlabFromTriangle (EdgeSlab.h), so the
// same bits.

#include "body/collision/BoxPlaneReach.h"

namespace vex::collision {

struct EdgeSlabs {
    float distance[4];
    float length[4];
    float width[4];
    float centre[3][4];
    float along[3][4];  ///< unit edge direction
    float across[3][4]; ///< unit normal x along
    int apart = 0;      ///< bit e: edge e's slab lies beyond the reach (when checked)

    /// The slab of edge `lane`, as CreateSlab gives it.
    void Take(int lane, const D3DXVECTOR3& normal, double* outCentre, double* outRotation, double* outSides) const;
};

/// The three edges of the triangle a, b, c (unit normal `normal`) against point. reach: when given (its
/// plane's reach known and not empty), also marks the slabs whose bounds miss it.
void ComputeEdgeSlabs(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& point,
                      const D3DXVECTOR3& normal, const PlaneReach* reach, EdgeSlabs& out);

} // namespace vex::collision
