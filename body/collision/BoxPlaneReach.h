#pragma once
// The quick rejections of the box collider. The part of the box that can reach a slab lying in the plane
// n.x = d is the box cut by the half-space n.x <= d + (half the slab, and a little for rounding); its
// bounds are worked out once per plane (the triangles of a flat patch share one). A slab whose bounds miss
// them is apart from the box, and the box test, which would find a separating axis, is not run. Most
// triangles under a tilted box are rejected so: only those under its lowest corner or edge remain.

#include "body/collision/BoxPrimitives.h"
#include "body/collision/CollisionGeometry.h"
#include "body/collision/EdgeSlab.h"
#include "platform/Simd4.h"

#include <cmath>

namespace vex::collision {

class PlaneReach {
public:
    explicit PlaneReach(const BoxPose& box);

    /// The box's eight corners (bit k of the index: the far side along axis k).
    const double (&Corners() const)[8][3] { return corners_; }

    /// True when the whole box lies above the top of every slab in the plane n.x = d (by more than the
    /// rounding slack of the reach): its lowest point along n, the centre's height less the half sides'.
    bool BoxMissesPlane(const D3DXVECTOR3& n, float d) const
    {
        const double* R = box_.rotation;
        const double half[3] = {box_.lengths[0] * 0.5, box_.lengths[1] * 0.5, box_.lengths[2] * 0.5};
        const double size = half[0] + half[1] + half[2];
        double lowest = n.x * box_.centre[0] + n.y * box_.centre[1] + n.z * box_.centre[2];
        for (int axis = 0; axis < 3; ++axis)
            lowest -= half[axis] * std::fabs(n.x * R[axis] + n.y * R[4 + axis] + n.z * R[8 + axis]);
        return lowest >
               static_cast<double>(d) + 0.5 * static_cast<double>(kSlabThickness) + 2 * kReachMargin * (1 + size);
    }

    /// Whether the plane n.x = d came just before, or is the one whose reach is known: then working out
    /// the reach pays (a flat patch). On uneven ground every triangle has a plane of its own, and the slab
    /// and box test cost less than the reach. A plane met for the first time becomes the one just before.
    bool PlaneComesAgain(const D3DXVECTOR3& n, float d)
    {
        if (IsReachPlane(n, d) || (n == lastNormal_ && d == lastOffset_))
            return true;
        lastNormal_ = n;
        lastOffset_ = d;
        return false;
    }

    /// No part of the box comes near the plane n.x = d (its reach is worked out when the plane is new).
    bool Empty(const D3DXVECTOR3& n, float d)
    {
        if (!(n == reachNormal_ && d == reachOffset_) || !reachValid_) {
            reachNormal_ = n;
            reachOffset_ = d;
            reachValid_ = true;
            Update(n, d);
        }
        return reachEmpty_;
    }

    /// The built slab (ODE centre, rotation and sides) misses the reach of the plane n.x = d.
    bool SlabOutOfReach(const D3DXVECTOR3& n, float d, const double* centre, const double* R, const double* sides);

    /// Before the nearest edge is known, for well-shaped triangles (see WellShaped) in a plane whose reach
    /// is known and not empty: per lane, the first edge (0: AB, 1: BC, 2: CA) whose slab may reach, or 3
    /// when each slab is apart whichever edge turns out nearest to the box centre.
    void FirstReachingEdges(const TriangleLanes& triangles, int (&out)[4]) const;

    /// Whether the plane n.x = d is the one whose reach is known (no state changes).
    bool IsReachPlane(const D3DXVECTOR3& n, float d) const
    {
        return reachValid_ && n == reachNormal_ && d == reachOffset_;
    }
    /// The same for four planes side by side.
    simd::Mask4 AreReachPlane(const Vec3<simd::Float4>& n, simd::Float4 d) const;
    bool ReachEmpty() const { return reachEmpty_; }

    /// Whether the triangle's angle at its first vertex is wide enough for FirstReachingEdges, from the
    /// squared lengths of its edges' cross product and of the two edges from that vertex.
    static bool WellShaped(float crossSquared, float e1Squared, float e2Squared)
    {
        return static_cast<double>(crossSquared) >
               1e-2 * static_cast<double>(e1Squared) * static_cast<double>(e2Squared);
    }

    /// The reach's single-precision bounds along axis k, in all four lanes (for slabs side by side).
    simd::Float4 LowLanes(int k) const { return lowLanes_[k]; }
    simd::Float4 HighLanes(int k) const { return highLanes_[k]; }

private:
    void Update(const D3DXVECTOR3& n, float d);
    simd::Mask4 SlabsApart(const Vec3<simd::Float4>& start, const Vec3<simd::Float4>& end,
                           const Vec3<simd::Float4>& apex, simd::Float4 margin) const;

    BoxPose box_;
    double corners_[8][3];
    D3DXVECTOR3 lastNormal_{NAN, NAN, NAN}; ///< the plane of the previous triangle (NaN: none)
    float lastOffset_ = NAN;
    D3DXVECTOR3 reachNormal_;
    float reachOffset_ = 0;
    bool reachValid_ = false;
    bool reachEmpty_ = true;
    double low_[3] = {};
    double high_[3] = {};
    simd::Float4 lowLanes_[3]; ///< the bounds in single precision, one coordinate in all four lanes
    simd::Float4 highLanes_[3];
};

} // namespace vex::collision
