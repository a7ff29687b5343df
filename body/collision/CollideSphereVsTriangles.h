#pragma once
// Sphere against world-space triangles: one push-out vector for all triangles the sphere touches. Face
// pushes (centre over a triangle's interior) add up, so a sphere in a concave corner is pushed along the
// sum of the face normals; edge and vertex pushes do not add, only the longest counts, and only when it is
// longer than the summed face push.

#include "body/collision/CollisionConstants.h"
#include "body/collision/CollisionGeometry.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <type_traits>

namespace vex::collision {

/// The one contact of a sphere: normal from the sphere into the mesh, position on the sphere's surface in
/// the direction of the normal, depth the length of the combined push.
struct SphereContact {
    D3DXVECTOR3 position;
    D3DXVECTOR3 normal;
    float depth = 0;
};

/// The primitive tests as free functions; the body channel substitutes its own virtual methods.
struct FreeSpherePrimitives {
    bool RayThroughTriangle(const D3DXVECTOR3& deepPoint, const D3DXVECTOR3& centre, const D3DXVECTOR3& edge1,
                            const D3DXVECTOR3& edge2, const D3DXVECTOR3& vertex0) const
    {
        return collision::RayThroughTriangle(deepPoint, centre, edge1, edge2, vertex0);
    }
    bool PointBehindPlane(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                          const D3DXVECTOR3& point) const
    {
        return collision::PointBehindPlane(a, b, c, point);
    }
    bool SphereSegmentPush(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& centre, float radius,
                           D3DXVECTOR3& ioPush) const
    {
        return collision::SphereSegmentPush(a, b, centre, radius, ioPush);
    }
};

/// Collects the pushes of the triangles offered to it; GetContact combines them.
template <class Primitives = FreeSpherePrimitives>
class SphereTriangleAccumulator {
public:
    SphereTriangleAccumulator(const D3DXVECTOR3& centre, float radius, Primitives primitives = {})
        : centre_(centre), radius_(radius), primitives_(primitives),
          centreLanes_(simd::Float4::Set(centre.x, centre.y, centre.z, 0)),
          centreSize_(simd::Float4::Splat(std::max({std::fabs(centre.x), std::fabs(centre.y), std::fabs(centre.z)})))
    {
    }

    /// One triangle in world space; its front side is (b - a) x (c - a). The quick rejections that most
    /// triangles meet stay inline in the caller's loop; the pushes are worked out in a call.
    void AddTriangle(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c)
    {
        const float v[10] = {a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, 0};
        AddTriangle(v);
    }

    /// The same, as nine floats (x, y, z of each vertex) followed by one more readable float.
    void AddTriangle(const float* v)
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
        if constexpr (std::is_same_v<Primitives, FreeSpherePrimitives>) {
            if (SurelyOutOfReach(a, b, c, e1, e2, cross, size))
                return;
        }
        AddPushes(a, b, c, e1, e2, n, gapSquared, size);
    }

    /// False when nothing pushes the sphere.
    bool GetContact(SphereContact& out)
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

private:
    // gapSquared and size as BoundsOutOfReach gave them.
    __attribute__((noinline)) void AddPushes(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c,
                                             const D3DXVECTOR3& e1, const D3DXVECTOR3& e2, const D3DXVECTOR3& n,
                                             float gapSquared, float size)
    {
        // One-sided: the centre must lie in front of the face; a degenerate triangle (n = 0) never does.
        const float distance = Dot(n, centre_) - Dot(n, a);
        if (!(distance >= kTriangleFrontEpsilon))
            return;
        const float penetration = radius_ - distance;
        if (penetration < 0)
            return;
        const D3DXVECTOR3 deepPoint = centre_ - n * radius_;
        if (primitives_.RayThroughTriangle(deepPoint, centre_, e1, e2, a)) {
            facePush_ += n * penetration;
            // The centre projects into the triangle, so it lies behind none of the edge planes: the edge
            // tests below would all answer no.
            return;
        }
        // Outside the triangle across one or two edges: each edge it lies behind may push it. An edge whose
        // bounds stay farther than the radius from the centre cannot, and is not tested. With the free
        // primitives the edges wait until every face has pushed: an edge push counts only when longer
        // than the faces' sum, and most edges can then be passed over.
        if constexpr (std::is_same_v<Primitives, FreeSpherePrimitives>) {
            // A full list is worked off at once, before this triangle, so the order stays; faces still to come
            // may shorten the sum, so it cannot pass any edge over yet.
            if (pendingCount_ == kMaxPending)
                TestPendingEdges(0);
            float* slot = pending_[pendingCount_++];
            for (const D3DXVECTOR3* v : {&a, &b, &c, &n}) {
                *slot++ = v->x;
                *slot++ = v->y;
                *slot++ = v->z;
            }
            slot[0] = gapSquared;
            slot[1] = size;
            return;
        }
        TestEdge(a, b, n, 0);
        TestEdge(b, c, n, 0);
        TestEdge(c, a, n, 0);
    }

    // The edges of the triangles kept waiting, in the order they came; an edge whose push surely is no
    // longer than faceLength (the faces' final sum, or 0) cannot be the one that counts and is not tested.
    void TestPendingEdges(float faceLength)
    {
        for (int i = 0; i < pendingCount_; ++i) {
            const float* t = pending_[i];
            // Its edges lie in its bounding box: a box surely no nearer than the radius less the longest
            // push so far holds no edge that could count. The slack covers the rounding of the box's
            // distance (a few steps of the coordinates) and of the edge test.
            const float longest = std::max(edgePushLength_, faceLength);
            if (longest > 0) {
                const float needed = radius_ - longest + kSignCertainty * radius_ + 1e-5f * t[13];
                if (needed <= 0 || t[12] > needed * needed)
                    continue;
            }
            const D3DXVECTOR3 a(t[0], t[1], t[2]), b(t[3], t[4], t[5]), c(t[6], t[7], t[8]), n(t[9], t[10], t[11]);
            TestEdge(a, b, n, faceLength);
            TestEdge(b, c, n, faceLength);
            TestEdge(c, a, n, faceLength);
        }
        pendingCount_ = 0;
    }

    // True when the whole triangle lies clearly farther than the radius from the centre: then neither its
    // face nor an edge can push (the tests below would all answer no), and they are not run. With n the
    // unit normal, the centre lies h = n.(centre - a) off the plane and, across some edge, s / |m| beyond
    // the triangle's side (m = edge x n points out of the triangle in its plane), so its distance to the
    // triangle is at least the root of h^2 + (s / |m|)^2. Worked with the unnormalised normal k (every
    // term scaled by powers of |k|, in double so that small triangles do not underflow), it needs no root
    // or division. The slack is far above the rounding of the exact tests (about 1e-7 of the
    // coordinates); triangles too thin for their normal to be trusted are left to the exact tests.
    // size: the largest magnitude of the centre's and the triangle's coordinates.
    bool SurelyOutOfReach(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& e1,
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

    /// Least squared sine of a triangle's angle at its first vertex for SurelyOutOfReach to judge it: the
    /// cross product's direction is then good to a few 1e-6, far inside the slack.
    static constexpr float kWellShaped = 1e-2f;

    // True when the triangle's bounding box lies farther from the centre than the radius (and a margin far
    // above the rounding of the exact tests): then so does every point of the triangle, and neither its
    // face nor an edge can push. Most candidates of a query are rejected here, before any product.
    // outSize: the largest magnitude of the centre's and the triangle's coordinates; outGapSquared: the
    // square of the distance from the centre to the triangle's bounding box.
    bool BoundsOutOfReach(simd::Float4 va, simd::Float4 vb, simd::Float4 vc, float& outSize, float& outGapSquared) const
    {
        using simd::Max, simd::Min, simd::Abs;
        const simd::Float4 low = Min(Min(va, vb), vc), high = Max(Max(va, vb), vc);
        // Outside the box on an axis by gap > 0, inside by 0; NaN coordinates give a NaN gap, whose test
        // below fails, so such a triangle is left to the exact tests.
        const simd::Float4 gap = Max(Max(low - centreLanes_, centreLanes_ - high), simd::Float4::Zero());
        const simd::Float4 size = simd::HorizontalMax(Max(Max(Abs(low), Abs(high)), centreSize_));
        outSize = size.First();
        outGapSquared = simd::HorizontalSum(gap * gap).First();
        const float reach = radius_ * (1 + kSignCertainty) + kSignCertainty * outSize;
        return outGapSquared > reach * reach;
    }

    bool OutsideCube(float a, float b, float centre) const
    {
        return (a < centre - radius_ && b < centre - radius_) || (a > centre + radius_ && b > centre + radius_);
    }

    // faceLength: an edge push no longer than this cannot count (0 while faces may still push).
    void TestEdge(const D3DXVECTOR3& from, const D3DXVECTOR3& to, const D3DXVECTOR3& n, float faceLength)
    {
        if (OutsideCube(from.x, to.x, centre_.x) || OutsideCube(from.y, to.y, centre_.y) ||
            OutsideCube(from.z, to.z, centre_.z))
            return;
        if constexpr (std::is_same_v<Primitives, FreeSpherePrimitives>) {
            if (SurelyNoLongerPush(from, to, std::max(edgePushLength_, faceLength)))
                return;
        }
        if (primitives_.PointBehindPlane(from, to, to - n, centre_)) {
            primitives_.SphereSegmentPush(from, to, centre_, radius_, edgePush_);
            edgePushLength_ = Length(edgePush_);
        }
    }

    // Only the longest edge push is kept, and it counts only when longer than the faces' sum: an edge
    // surely no nearer to the centre than the radius less the longer of the two cannot change the contact,
    // and is not tested (a push replaces the kept one only when longer). The distance is worked out
    // without a root; the slack, as in the segment test's own quick rejection, is far above the rounding
    // of either.
    bool SurelyNoLongerPush(const D3DXVECTOR3& from, const D3DXVECTOR3& to, float longest) const
    {
        if (!(longest > 0))
            return false;
        const RootlessDistance quick = SegmentDistanceSquared(from, to, centre_);
        const float needed = radius_ - longest + kSignCertainty * (radius_ + quick.reach);
        return needed <= 0 || quick.squared > needed * needed;
    }

    /// Triangles whose edges wait, as a, b, c, the unit normal, the square of the centre's distance to the
    /// triangle's bounding box and the coordinates' largest magnitude (fourteen floats; left uninitialised).
    static constexpr int kMaxPending = 32;

    D3DXVECTOR3 centre_;
    float radius_;
    Primitives primitives_;
    D3DXVECTOR3 facePush_;
    D3DXVECTOR3 edgePush_;
    float edgePushLength_ = 0; ///< Length(edgePush_)
    float pending_[kMaxPending][14];
    int pendingCount_ = 0;
    simd::Float4 centreLanes_;
    simd::Float4 centreSize_;
};

/// A sphere against a list of world-space triangles (nine floats each); false when nothing touches it.
bool CollideSphereVsTriangles(const D3DXVECTOR3& centre, float radius, std::span<const float> triangles,
                              SphereContact& out);

} // namespace vex::collision
