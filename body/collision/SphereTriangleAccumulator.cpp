// The sphere collider's pipeline per triangle up to the exact tests (SpherePushes.cpp), and the choice of
// the contact.
#include "body/collision/SphereTriangleAccumulator.h"

#include <algorithm>
#include <cmath>

namespace vex::collision {
namespace {

/// Least squared sine of a triangle's angle at its first vertex for SurelyOutOfReach to judge it: the
/// cross product's direction is then good to a few 1e-6, far inside the slack.
constexpr float kWellShaped = 1e-2f;

} // namespace

SphereTriangleAccumulator::SphereTriangleAccumulator(const D3DXVECTOR3& centre, float radius,
                                                     const SphereColliderSettings& settings)
    : centre_(centre), radius_(radius), primitives_(settings.primitives),
      quickRejections_(settings.quickRejections && !settings.primitives),
      centreLanes_(simd::Float4::Set(centre.x, centre.y, centre.z, 0)),
      centreSize_(simd::Float4::Splat(std::max({std::fabs(centre.x), std::fabs(centre.y), std::fabs(centre.z)})))
{
}

void SphereTriangleAccumulator::AddTriangle(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c)
{
    const float v[10] = {a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, 0};
    AddTriangle(v);
}

void SphereTriangleAccumulator::AddTriangles(const float* triangles, size_t count)
{
    // The quick rejections are inlined into this loop; the pushes are worked out in a call.
    for (size_t i = 0; i < count; ++i)
        AddTriangle(triangles + 9 * i);
}

// v: nine floats and a readable tenth (the bounds load the vertices four floats at a time).
inline void SphereTriangleAccumulator::AddTriangle(const float* v)
{
    const D3DXVECTOR3 a(v[0], v[1], v[2]), b(v[3], v[4], v[5]), c(v[6], v[7], v[8]);
    // A triangle whose bounds lie farther than the radius from the centre is farther than the radius
    // everywhere: neither its face nor its edges can push. Skipping it changes no result.
    float size, gapSquared;
    if (BoundsOutOfReach(LoadVertex(v), LoadVertex(v + 3), LoadVertex(v + 6), size, gapSquared))
        return;
    const D3DXVECTOR3 e1 = b - a;
    const D3DXVECTOR3 e2 = c - a;
    const D3DXVECTOR3 cross = Cross(e1, e2);
    // The unit normal is worked out alongside the quick rejection rather than after it.
    const D3DXVECTOR3 n = Normalised(cross);
    if (quickRejections_ && SurelyOutOfReach(a, b, c, e1, e2, cross, size))
        return;
    AddPushes(a, b, c, e1, e2, n, gapSquared, size);
}

bool SphereTriangleAccumulator::GetContact(SphereContact& out)
{
    TestPendingEdges(Length(facePush_));
    const float faceLength = Length(facePush_);
    const float edgeLength = Length(edgePush_);
    const D3DXVECTOR3& push = edgeLength > faceLength ? edgePush_ : facePush_;
    if (push.x == 0 && push.y == 0 && push.z == 0)
        return false;
    const float length = Length(push);
    // A push so short that its square underflows has no direction.
    if (!(length > 0) || !std::isfinite(length))
        return false;
    const D3DXVECTOR3 n = push * (1.0f / length);
    out.position = centre_ - n * radius_;
    out.normal = -n;
    out.depth = length;
    return true;
}

// True when the triangle's bounding box lies farther from the centre than the radius (and a margin far
// above the rounding of the exact tests): then so does every point of the triangle, and neither its face
// nor an edge can push. Most candidates of a query are rejected here, before any product. outSize: the
// largest magnitude of the centre's and the triangle's coordinates; outGapSquared: the square of the
// distance from the centre to the triangle's bounding box.
inline bool SphereTriangleAccumulator::BoundsOutOfReach(simd::Float4 va, simd::Float4 vb, simd::Float4 vc,
                                                        float& outSize, float& outGapSquared) const
{
    using simd::Max, simd::Min, simd::Abs;
    const simd::Float4 low = Min(Min(va, vb), vc), high = Max(Max(va, vb), vc);
    // Outside the box on an axis by gap > 0, inside by 0; NaN coordinates give a NaN gap, whose test
    // below fails, so such a triangle is left to the exact tests.
    const simd::Float4 gap = Max(Max(low - centreLanes_, centreLanes_ - high), simd::Float4::Zero());
    outSize = simd::HorizontalMax(Max(Max(Abs(low), Abs(high)), centreSize_)).First();
    outGapSquared = simd::HorizontalSum(gap * gap).First();
    const float reach = radius_ * (1 + kSignCertainty) + kSignCertainty * outSize;
    return outGapSquared > reach * reach;
}

// True when the whole triangle lies clearly farther than the radius from the centre: then neither its
// face nor an edge can push (the tests below would all answer no), and they are not run. With n the unit
// normal, the centre lies h = n.(centre - a) off the plane and, across some edge, s / |m| beyond the
// triangle's side (m = edge x n points out of the triangle in its plane), so its distance to the triangle
// is at least the root of h^2 + (s / |m|)^2. Worked with the unnormalised normal k (every term scaled by
// powers of |k|, in double so that small triangles do not underflow), it needs no root or division. The
// slack is far above the rounding of the exact tests (about 1e-7 of the coordinates); triangles too thin
// for their normal to be trusted are left to the exact tests. size: the largest magnitude of the
// centre's and the triangle's coordinates.
inline bool SphereTriangleAccumulator::SurelyOutOfReach(const D3DXVECTOR3& a, const D3DXVECTOR3& b,
                                                        const D3DXVECTOR3& c, const D3DXVECTOR3& e1,
                                                        const D3DXVECTOR3& e2, const D3DXVECTOR3& k, float size) const
{
    const double kk = Dot(k, k);
    if (!(kk > static_cast<double>(kWellShaped) * Dot(e1, e1) * Dot(e2, e2)))
        return false;
    const double reach = radius_ * (1 + kSignCertainty) + kSignCertainty * size;
    const D3DXVECTOR3 toCentre = centre_ - a;
    const double h = Dot(k, toCentre); // |k| times the distance off the plane
    // (reach^2 - distance^2) |k|^2; negative when the plane alone is out of reach.
    const double inPlane = reach * reach * kk - h * h;
    auto beyond = [&](const D3DXVECTOR3& from, const D3DXVECTOR3& to) {
        const D3DXVECTOR3 m = Cross(to - from, k); // |k| times edge x n
        const double s = Dot(m, centre_ - from);
        // s / |m| > root(inPlane) / |k|, squared and multiplied out.
        return s > 0 && s * s * kk > inPlane * Dot(m, m);
    };
    return beyond(a, b) || beyond(b, c) || beyond(c, a);
}

} // namespace vex::collision
