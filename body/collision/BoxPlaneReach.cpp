#include "body/collision/BoxPlaneReach.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vex::collision {
namespace {

using simd::Float4;
using simd::Mask4;

// The margin of the quick slab tests for each lane's triangle: far above the rounding of the bounds
// below and of the slab itself, and of the additions in the test. Zero for coordinates too large to
// bound safely (and, whatever it is, a NaN coordinate makes every edge's t NaN, which is never apart).
Float4 SlabMargins(const TriangleLanes& t)
{
    using simd::Abs, simd::Max;
    Float4 size = Float4::Splat(1.0f);
    for (const Vec3<Float4>* v : {&t.a, &t.b, &t.c})
        size = Max(size, Max(Max(Abs(v->x), Abs(v->y)), Abs(v->z)));
    const Float4 margin =
        Float4::Splat(0.5f * kSlabThickness) + Float4::Splat(static_cast<float>(kSlabBoundsMargin)) * size;
    return simd::KeepWhere(size < Float4::Splat(1e18f), margin);
}

// |x| + |y| + |z|, added as (|x| + |z|) + |y|.
Float4 OneNorm(const Vec3<Float4>& v) { return (simd::Abs(v.x) + simd::Abs(v.z)) + simd::Abs(v.y); }

} // namespace

PlaneReach::PlaneReach(const BoxPose& box) : box_(box)
{
    // The corners, once: every plane's reach starts from them.
    const double* R = box_.rotation;
    const double half[3] = {box_.lengths[0] * 0.5, box_.lengths[1] * 0.5, box_.lengths[2] * 0.5};
    for (int i = 0; i < 8; ++i) {
        for (int k = 0; k < 3; ++k) {
            corners_[i][k] = box_.centre[k];
            for (int axis = 0; axis < 3; ++axis)
                corners_[i][k] += ((i >> axis) & 1 ? half[axis] : -half[axis]) * R[4 * k + axis];
        }
    }
}

bool PlaneReach::SlabOutOfReach(const D3DXVECTOR3& n, float d, const double* centre, const double* R,
                                const double* sides)
{
    if (Empty(n, d))
        return true;
    for (int k = 0; k < 3; ++k) {
        const double extent = 0.5 * (std::fabs(R[4 * k]) * sides[0] + std::fabs(R[4 * k + 1]) * sides[1] +
                                     std::fabs(R[4 * k + 2]) * sides[2]);
        if (centre[k] - extent > high_[k] || centre[k] + extent < low_[k])
            return true;
    }
    return false;
}

Mask4 PlaneReach::AreReachPlane(const Vec3<Float4>& n, Float4 d) const
{
    if (!reachValid_)
        return simd::NoLanes();
    return (n.x == Float4::Splat(reachNormal_.x)) & (n.y == Float4::Splat(reachNormal_.y)) &
           (n.z == Float4::Splat(reachNormal_.z)) & (d == Float4::Splat(reachOffset_));
}

void PlaneReach::FirstReachingEdges(const TriangleLanes& t, int (&out)[4]) const
{
    const Float4 margin = SlabMargins(t);
    // An edge's slab counts only for the lanes whose edges before it are apart.
    int apart[3] = {simd::Bits(SlabsApart(t.a, t.b, t.c, margin)), 0, 0};
    if (apart[0] != 0)
        apart[1] = simd::Bits(SlabsApart(t.b, t.c, t.a, margin));
    if ((apart[0] & apart[1]) != 0)
        apart[2] = simd::Bits(SlabsApart(t.c, t.a, t.b, margin));
    for (int lane = 0; lane < 4; ++lane) {
        int edge = 0;
        while (edge < 3 && (apart[edge] >> lane) & 1)
            ++edge;
        out[lane] = edge;
    }
}

// The lanes whose slab on edge s -> e (apex opposite) surely misses the reach: bounds that hold the slab,
// worked out without roots and with a margin far above the rounding of either computation. The slab's
// axis across the edge comes from the triangle's normal; the bounds take it to be square to the edge in
// the triangle's plane, which holds to a few 1e-6 for a well-shaped triangle. Where the apex projects
// onto the edge the slab is the rectangle on the edge reaching to the apex; where it projects outside,
// the rectangle centred half way to the apex from the nearer end, as wide as that distance (bounded here
// by its 1-norm). Near the switch the two shapes nearly agree: the first, grown a little, holds either.
Mask4 PlaneReach::SlabsApart(const Vec3<Float4>& s, const Vec3<Float4>& e, const Vec3<Float4>& apex,
                             Float4 margin) const
{
    using simd::Min, simd::Max;
    constexpr float kSwitch = 1e-3f;
    const Vec3<Float4> d = e - s;
    const Float4 t = Dot(apex - s, d) / Dot(d, d);
    const Float4 half = Float4::Splat(0.5f);

    // Whether or not the apex projects just outside the edge, the slab lies within kSwitch times the
    // edge's length of this rectangle (the two shapes agree where the projection meets an end).
    const Vec3<Float4> h = apex - (s + d * t);
    const Vec3<Float4> sh = s + h, eh = e + h;
    const Float4 shift = OneNorm(d) * Float4::Splat(kSwitch);
    const Vec3<Float4> onLow = {Min(Min(s.x, e.x), Min(sh.x, eh.x)) - shift,
                                Min(Min(s.y, e.y), Min(sh.y, eh.y)) - shift,
                                Min(Min(s.z, e.z), Min(sh.z, eh.z)) - shift};
    const Vec3<Float4> onHigh = {Max(Max(s.x, e.x), Max(sh.x, eh.x)) + shift,
                                 Max(Max(s.y, e.y), Max(sh.y, eh.y)) + shift,
                                 Max(Max(s.z, e.z), Max(sh.z, eh.z)) + shift};

    const Mask4 onEdge = (t >= Float4::Splat(-kSwitch)) & (t <= Float4::Splat(1 + kSwitch));
    Vec3<Float4> low = onLow, high = onHigh;
    if (simd::Bits(onEdge) != 0xf) {
        // Projecting outside: the rectangle from the nearer end.
        const Vec3<Float4> toApex = apex - Pick(t < Float4::Zero(), s, e);
        const Vec3<Float4> middle = s + (d + toApex) * half;
        const Float4 across = OneNorm(toApex) * half;
        const Vec3<Float4> grow = {simd::Abs(d.x) * half + across, simd::Abs(d.y) * half + across,
                                   simd::Abs(d.z) * half + across};
        low = Pick(onEdge, onLow, middle - grow);
        high = Pick(onEdge, onHigh, middle + grow);
    }
    const Mask4 apart = (high.x + margin < lowLanes_[0]) | (low.x - margin > highLanes_[0]) |
                        (high.y + margin < lowLanes_[1]) | (low.y - margin > highLanes_[1]) |
                        (high.z + margin < lowLanes_[2]) | (low.z - margin > highLanes_[2]);
    // A zero margin marks coordinates too large to bound; a degenerate edge (t not finite) tells
    // nothing about its slab.
    const Mask4 usable = (margin > Float4::Zero()) & (simd::Abs(t) <= Float4::Splat(std::numeric_limits<float>::max()));
    return apart & usable;
}

// The bounds of the box cut by the plane's half-space: the corners below the level and where the level
// crosses the box's edges, grown by the rounding slack.
void PlaneReach::Update(const D3DXVECTOR3& n, float d)
{
    const double half[3] = {box_.lengths[0] * 0.5, box_.lengths[1] * 0.5, box_.lengths[2] * 0.5};
    const double size = half[0] + half[1] + half[2];
    const double level = static_cast<double>(d) + 0.5 * static_cast<double>(kSlabThickness) + kReachMargin * (1 + size);
    const double(&corner)[8][3] = corners_;
    double above[8];
    for (int i = 0; i < 8; ++i)
        above[i] = n.x * corner[i][0] + n.y * corner[i][1] + n.z * corner[i][2] - level;
    reachEmpty_ = true;
    for (int k = 0; k < 3; ++k) {
        low_[k] = INFINITY;
        high_[k] = -INFINITY;
    }
    auto include = [&](const double* p) {
        reachEmpty_ = false;
        for (int k = 0; k < 3; ++k) {
            low_[k] = std::min(low_[k], p[k]);
            high_[k] = std::max(high_[k], p[k]);
        }
    };
    for (int i = 0; i < 8; ++i) {
        if (above[i] <= 0)
            include(corner[i]);
        // Each of the twelve edges once: from corner i along an axis whose bit i lacks.
        for (int axis = 0; axis < 3; ++axis) {
            const int j = i | (1 << axis);
            if (j == i || (above[i] <= 0) == (above[j] <= 0))
                continue;
            const double t = above[i] / (above[i] - above[j]);
            double p[3];
            for (int k = 0; k < 3; ++k)
                p[k] = corner[i][k] + (corner[j][k] - corner[i][k]) * t;
            include(p);
        }
    }
    if (reachEmpty_)
        return;
    const double grow = kReachMargin * (1 + size);
    float low[3], high[3];
    for (int k = 0; k < 3; ++k) {
        low_[k] -= grow;
        high_[k] += grow;
        // In single precision for the quick test on a triangle's slabs, each bound moved outwards by more
        // than the rounding of the conversion (half a float step, 6e-8 of the value).
        low[k] = static_cast<float>(low_[k] - std::fabs(low_[k]) * 1e-7 - 1e-30);
        high[k] = static_cast<float>(high_[k] + std::fabs(high_[k]) * 1e-7 + 1e-30);
    }
    for (int k = 0; k < 3; ++k) {
        lowLanes_[k] = Float4::Splat(low[k]);
        highLanes_[k] = Float4::Splat(high[k]);
    }
}

} // namespace vex::collision
