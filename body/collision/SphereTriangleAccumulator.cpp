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
      centreSize_(simd::Float4::Splat(std::max({std::fabs(centre.x), std::fabs(centre.y), std::fabs(centre.z)})))
{
}

void SphereTriangleAccumulator::AddTriangle(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c)
{
    const float v[10] = {a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, 0};
    AddMeasured(v, 1);
}

void SphereTriangleAccumulator::AddTriangles(const float* triangles, size_t count)
{
    // The quick rejections change no state, so those of four triangles (the last one to three together)
    // are worked out side by side and the pushes follow in order.
    for (size_t i = 0; i < count; i += 4)
        AddMeasured(triangles + 9 * i, static_cast<int>(std::min<size_t>(4, count - i)));
}

// count (1 to 4) triangles at v, nine floats each and a readable one after the last.
void SphereTriangleAccumulator::AddMeasured(const float* v, int count)
{
    FourMeasures lanes;
    MeasureFour(TriangleLanes::Load(v, count), lanes);
    for (int i = 0; i < count; ++i) {
        // A triangle whose bounds lie farther than the radius from the centre is farther than the radius
        // everywhere: neither its face nor its edges can push. Skipping it changes no result.
        if (BoundsTooFar(lanes.gapSquared[i], lanes.size[i]))
            continue;
        const Reach reach{lanes.kk[i],
                          lanes.e1e1[i],
                          lanes.e2e2[i],
                          lanes.h[i],
                          {lanes.s[0][i], lanes.s[1][i], lanes.s[2][i]},
                          {lanes.mm[0][i], lanes.mm[1][i], lanes.mm[2][i]}};
        if (quickRejections_ && SurelyOutOfReach(reach, lanes.size[i]))
            continue;
        auto vector = [&](const float(&x)[3][4]) { return D3DXVECTOR3(x[0][i], x[1][i], x[2][i]); };
        const float* w = v + 9 * i;
        const D3DXVECTOR3 a(w[0], w[1], w[2]), b(w[3], w[4], w[5]), c(w[6], w[7], w[8]);
        AddPushes(a, b, c, vector(lanes.e1), vector(lanes.e2), vector(lanes.n), lanes.gapSquared[i], lanes.size[i]);
    }
}

// The quick rejections' measures and what the pushes take, of up to four triangles side by side.
void SphereTriangleAccumulator::MeasureFour(const TriangleLanes& t, FourMeasures& lanes) const
{
    using simd::Float4, simd::Min, simd::Max, simd::Abs;
    const Vec3<Float4> centre = {Float4::Splat(centre_.x), Float4::Splat(centre_.y), Float4::Splat(centre_.z)};
    // The bounds: outside on an axis by gap > 0, inside by 0.
    const Vec3<Float4> low = {Min(Min(t.a.x, t.b.x), t.c.x), Min(Min(t.a.y, t.b.y), t.c.y),
                              Min(Min(t.a.z, t.b.z), t.c.z)};
    const Vec3<Float4> high = {Max(Max(t.a.x, t.b.x), t.c.x), Max(Max(t.a.y, t.b.y), t.c.y),
                               Max(Max(t.a.z, t.b.z), t.c.z)};
    const Vec3<Float4> gap = {Max(Max(low.x - centre.x, centre.x - high.x), Float4::Zero()),
                              Max(Max(low.y - centre.y, centre.y - high.y), Float4::Zero()),
                              Max(Max(low.z - centre.z, centre.z - high.z), Float4::Zero())};
    auto magnitude = [&](Float4 lo, Float4 hi) { return Max(Max(Abs(lo), Abs(hi)), centreSize_); };
    const Float4 size =
        Max(Max(magnitude(low.x, high.x), magnitude(low.z, high.z)), Max(magnitude(low.y, high.y), centreSize_));
    const Float4 gapSquared = (gap.x * gap.x + gap.z * gap.z) + gap.y * gap.y;

    const Vec3<Float4> e1 = t.b - t.a, e2 = t.c - t.a, k = Cross(e1, e2), n = Normalised(k);
    auto storeVector = [](const Vec3<Float4>& x, float(&out)[3][4]) {
        x.x.Store(out[0]);
        x.y.Store(out[1]);
        x.z.Store(out[2]);
    };
    gapSquared.Store(lanes.gapSquared);
    size.Store(lanes.size);
    storeVector(e1, lanes.e1);
    storeVector(e2, lanes.e2);
    storeVector(n, lanes.n);
    Dot(k, k).Store(lanes.kk);
    Dot(e1, e1).Store(lanes.e1e1);
    Dot(e2, e2).Store(lanes.e2e2);
    Dot(k, centre - t.a).Store(lanes.h);
    const Vec3<Float4>* const corner[3] = {&t.a, &t.b, &t.c};
    for (int e = 0; e < 3; ++e) {
        const Vec3<Float4>& from = *corner[e];
        const Vec3<Float4> m = Cross(*corner[e == 2 ? 0 : e + 1] - from, k);
        Dot(m, centre - from).Store(lanes.s[e]);
        Dot(m, m).Store(lanes.mm[e]);
    }
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
// nor an edge can push. Most candidates of a query are rejected here, before any product. size: the
// largest magnitude of the centre's and the triangle's coordinates; gapSquared: the square of the
// distance from the centre to the triangle's bounding box (NaN coordinates give a NaN gap, whose test
// fails, so such a triangle is left to the exact tests).
inline bool SphereTriangleAccumulator::BoundsTooFar(float gapSquared, float size) const
{
    const float reach = radius_ * (1 + kSignCertainty) + kSignCertainty * size;
    return gapSquared > reach * reach;
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
inline bool SphereTriangleAccumulator::SurelyOutOfReach(const Reach& r, float size) const
{
    const double kk = r.kk;
    if (!(kk > static_cast<double>(kWellShaped) * r.e1e1 * r.e2e2))
        return false;
    const double reach = radius_ * (1 + kSignCertainty) + kSignCertainty * size;
    const double h = r.h; // |k| times the distance off the plane
    // (reach^2 - distance^2) |k|^2; negative when the plane alone is out of reach.
    const double inPlane = reach * reach * kk - h * h;
    for (int e = 0; e < 3; ++e) {
        const double s = r.s[e];
        // s / |m| > root(inPlane) / |k|, squared and multiplied out.
        if (s > 0 && s * s * kk > inPlane * r.mm[e])
            return true;
    }
    return false;
}

} // namespace vex::collision
