#include "body/collision/BoxPlaneReach.h"

#include <algorithm>
#include <cmath>

namespace vex::collision {
namespace {

using simd::Float4;

// The margin of the quick slab tests for a triangle: far above the rounding of the bounds below and of
// the slab itself, and of the additions in the test. Zero for coordinates too large to bound safely.
Float4 SlabMargin(Float4 a, Float4 b, Float4 c)
{
    using simd::Abs, simd::Max;
    const float size = simd::HorizontalMax(Max(Max(Abs(a), Abs(b)), Max(Abs(c), Float4::Splat(1.0f)))).First();
    // Coordinates this small cannot overflow below, so no NaN can slip through the vector minimum and
    // maximum (which would drop it); NaN coordinates fail the comparison and are not filtered either.
    if (!(size < 1e18f))
        return Float4::Zero();
    return Float4::Splat(0.5f * kSlabThickness + static_cast<float>(kSlabBoundsMargin) * size);
}

// |x| + |y| + |z| of a vector whose fourth lane is zero, in every lane.
Float4 OneNorm(Float4 v) { return simd::HorizontalSum(simd::Abs(v)); }

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

bool PlaneReach::SlabsSurelyOutOfReach(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const float* v,
                                       int& outReaching) const
{
    const Float4 va = LoadVertex(v), vb = LoadVertex(v + 3), vc = LoadVertex(v + 6);
    const Float4 margin = SlabMargin(va, vb, vc);
    if (!SlabSurelyOutOfReach(a, b, c, va, vb, vc, margin))
        outReaching = 0;
    else if (!SlabSurelyOutOfReach(b, c, a, vb, vc, va, margin))
        outReaching = 1;
    else if (!SlabSurelyOutOfReach(c, a, b, vc, va, vb, margin))
        outReaching = 2;
    else
        return true;
    return false;
}

// Bounds that hold the slab of edge s -> e (apex opposite), worked out without roots and with a margin
// far above the rounding of either computation. The slab's axis across the edge comes from the
// triangle's normal; the bounds take it to be square to the edge in the triangle's plane, which holds to
// a few 1e-6 for a well-shaped triangle. Where the apex projects onto the edge the slab is the rectangle
// on the edge reaching to the apex; where it projects outside, the rectangle centred half way to the
// apex from the nearer end, as wide as that distance (bounded here by its 1-norm). Near the switch the
// two shapes nearly agree: the first, grown a little, holds either.
bool PlaneReach::SlabSurelyOutOfReach(const D3DXVECTOR3& s3, const D3DXVECTOR3& e3, const D3DXVECTOR3& apex3, Float4 s,
                                      Float4 e, Float4 apex, Float4 margin) const
{
    using simd::Min, simd::Max;
    // A zero margin marks coordinates too large to bound; a degenerate edge (t not finite) tells
    // nothing about its slab.
    if (margin.First() == 0)
        return false;
    const D3DXVECTOR3 d3 = e3 - s3;
    const float t = Dot(apex3 - s3, d3) / Dot(d3, d3);
    if (!std::isfinite(t))
        return false;
    const Float4 half = Float4::Splat(0.5f);
    auto apart = [&](Float4 low, Float4 high) {
        return (simd::Bits((high + margin < lowXyz_) | (low - margin > highXyz_)) & 7) != 0;
    };
    constexpr float kSwitch = 1e-3f;
    const Float4 d = e - s;
    if (t >= -kSwitch && t <= 1 + kSwitch) {
        // Whether or not the apex projects just outside the edge, the slab lies within kSwitch times
        // the edge's length of this rectangle (the two shapes agree where the projection meets an end).
        const Float4 h = apex - (s + d * Float4::Splat(t));
        const Float4 sh = s + h, eh = e + h;
        const Float4 shift = OneNorm(d) * Float4::Splat(kSwitch);
        return apart(Min(Min(s, e), Min(sh, eh)) - shift, Max(Max(s, e), Max(sh, eh)) + shift);
    }
    const Float4 h = apex - (t < 0 ? s : e);
    const Float4 middle = s + (d + h) * half;
    const Float4 grow = simd::Abs(d) * half + OneNorm(h) * half;
    return apart(middle - grow, middle + grow);
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
    float low[4], high[4];
    for (int k = 0; k < 3; ++k) {
        low_[k] -= grow;
        high_[k] += grow;
        // In single precision for the quick test on a triangle's slabs, each bound moved outwards by more
        // than the rounding of the conversion (half a float step, 6e-8 of the value).
        low[k] = static_cast<float>(low_[k] - std::fabs(low_[k]) * 1e-7 - 1e-30);
        high[k] = static_cast<float>(high_[k] + std::fabs(high_[k]) * 1e-7 + 1e-30);
    }
    low[3] = -INFINITY; // the unused lane is never apart
    high[3] = INFINITY;
    lowXyz_ = Float4::Load(low);
    highXyz_ = Float4::Load(high);
    for (int k = 0; k < 3; ++k) {
        lowLanes_[k] = Float4::Splat(low[k]);
        highLanes_[k] = Float4::Splat(high[k]);
    }
}

} // namespace vex::collision
