#pragma once
// Small geometric routines of the mesh colliders, as free functions over D3DX vectors (single precision),
// so they can be tested and timed without a host, ODE world or channel. The per-triangle ones are inline:
// the colliders call them for every triangle and edge.

#include "body/collision/CollisionConstants.h"
#include "body/collision/EdgeSlab.h"
#include "platform/D3DXMath.h"
#include "platform/Simd4.h"
#include "platform/VectorOps.h"

#include <cmath>
#include <cstring>

namespace vex::collision {

// The shared vector helpers, visible beside the lane-wise overloads of the same names in this namespace.
using vex::Cross;
using vex::Dot;
using vex::Length;
using vex::Normalised;

/// Normalised(cross) for the cross products of a run of triangles: the triangles of a flat patch often
/// have the very same cross product (bit for bit), whose unit vector is then not worked out again. Two are
/// kept, as a grid's cells alternate two triangles whose cross products differ in the sign of a zero.
class NormalCache {
public:
    D3DXVECTOR3 Normal(const D3DXVECTOR3& cross)
    {
        if (std::memcmp(&cross, &cross_[0], sizeof cross) == 0)
            return normal_[0];
        if (std::memcmp(&cross, &cross_[1], sizeof cross) == 0)
            return normal_[1];
        cross_[1] = cross_[0];
        normal_[1] = normal_[0];
        cross_[0] = cross;
        normal_[0] = Normalised(cross);
        return normal_[0];
    }

    /// The normals of four cross products side by side, as Normal gives them, when each is one the cache
    /// holds (the cache is left as it is); false otherwise.
    bool KnownNormals(const Vec3<simd::Float4>& cross, Vec3<simd::Float4>& normal) const
    {
        using simd::Float4, simd::SameBits;
        auto holds = [&](const D3DXVECTOR3& c) {
            return SameBits(cross.x, Float4::Splat(c.x)) & SameBits(cross.y, Float4::Splat(c.y)) &
                   SameBits(cross.z, Float4::Splat(c.z));
        };
        const simd::Mask4 first = holds(cross_[0]);
        if (simd::Bits(first | holds(cross_[1])) != 0xf)
            return false;
        auto splat = [](const D3DXVECTOR3& v) {
            return Vec3<Float4>{Float4::Splat(v.x), Float4::Splat(v.y), Float4::Splat(v.z)};
        };
        normal = Pick(first, splat(normal_[0]), splat(normal_[1]));
        return true;
    }

private:
    // The zero vector normalises to itself, so the first state is already a consistent pair.
    D3DXVECTOR3 cross_[2] = {{0, 0, 0}, {0, 0, 0}};
    D3DXVECTOR3 normal_[2] = {{0, 0, 0}, {0, 0, 0}};
};

/// Up to four triangles side by side, lane i holding triangle i (unused lanes repeat the last), for the
/// colliders' steps that take four triangles at a time.
struct TriangleLanes {
    Vec3<simd::Float4> a, b, c;

    /// count (1 to 4) triangles of nine floats each at v, followed by one more readable float.
    static TriangleLanes Load(const float* v, int count)
    {
        const float* triangles[4];
        for (int i = 0; i < 4; ++i)
            triangles[i] = v + 9 * (i < count ? i : count - 1);
        return Load(triangles);
    }

    /// Four triangles of nine floats each, each followed by one more readable float.
    static TriangleLanes Load(const float* const (&triangles)[4])
    {
        // Row i: a vertex of triangle i and the float after it; turned, the rows give x, y and z of that
        // vertex of each triangle, and a fourth row unused.
        auto vertex = [&](int corner) {
            auto row = [&](int i) { return simd::Float4::Load(triangles[i] + 3 * corner); };
            simd::Float4 x = row(0), y = row(1), z = row(2), unused = row(3);
            simd::Transpose(x, y, z, unused);
            return Vec3<simd::Float4>{x, y, z};
        };
        return {vertex(0), vertex(1), vertex(2)};
    }
};

/// An axis-aligned box. An empty box has min > max on every axis, so it meets nothing.
struct QueryBox {
    D3DXVECTOR3 min;
    D3DXVECTOR3 max;
};

/// True when m is exactly the identity (all sixteen elements compared).
bool IsIdentity(const D3DXMATRIX& m);

/// The box that holds the eight corners of [low, high] after the transform t (row vectors).
QueryBox TransformedBounds(const D3DXVECTOR3& low, const D3DXVECTOR3& high, const D3DXMATRIX& t);

/// The local-space box, for an object whose local-to-world matrix is objectMatrix, around the world cube
/// of half-size halfSize about centre. An object matrix that flattens the object (a zero scale along one
/// direction) gives a box that spans all of that direction; one that flattens it further (its triangles
/// then have no area) or a singular projective one gives an empty box.
QueryBox SphereQueryBounds(const D3DXMATRIX& objectMatrix, const D3DXVECTOR3& centre, float halfSize);

/// The local-space box around an oriented box (boxMatrix: box frame to world, full edge lengths); a
/// singular object matrix as for SphereQueryBounds.
QueryBox BoxQueryBounds(const D3DXMATRIX& objectMatrix, const D3DXMATRIX& boxMatrix, const double* lengths);

inline Vec3<float> ToVec3(const D3DXVECTOR3& v) { return {v.x, v.y, v.z}; }
inline D3DXVECTOR3 ToD3DX(const Vec3<float>& v) { return {v.x, v.y, v.z}; }

namespace detail {
// Closest point of the segment a-b to point: a before the start, b beyond the end, else the foot.
inline D3DXVECTOR3 ClosestOnSegment(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& point)
{
    return ToD3DX(ClosestOnEdge(MakeEdge(ToVec3(a), ToVec3(b)), ToVec3(point)));
}
} // namespace detail

/// True when point lies strictly behind the plane through a, b, c (normal (b - a) x (c - a)).
inline bool PointBehindPlane(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& point)
{
    D3DXVECTOR3 n = Cross(b - a, c - a);
    // Scaling n does not change the sign of the distance; only where rounding could flip it (the point
    // within a few ulps of the plane) is the normalised distance worked out as below.
    const float raw = Dot(n, point) - Dot(n, a);
    const float scale = std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z);
    const float reach =
        std::fabs(point.x) + std::fabs(point.y) + std::fabs(point.z) + std::fabs(a.x) + std::fabs(a.y) + std::fabs(a.z);
    if (std::fabs(raw) > kSignCertainty * scale * reach)
        return raw < 0;
    n *= 1.0f / Length(n);
    const float distance = Dot(n, point) - Dot(n, a);
    // A zero normal gives NaN here, and NaN < 0 is false: a degenerate plane contains nothing.
    return distance < 0;
}

/// Distance from point to the segment a-b; outDirection gets the vector from the closest point to point.
inline float PointSegmentDistance(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& point,
                                  D3DXVECTOR3& outDirection)
{
    const D3DXVECTOR3 v = point - detail::ClosestOnSegment(a, b, point);
    const float d = Length(v);
    outDirection = Normalised(v) * d;
    return d;
}

/// The distance of PointSegmentDistance alone (the same operations, so the same bits).
inline float PointSegmentDistanceOnly(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& point)
{
    return Length(point - detail::ClosestOnSegment(a, b, point));
}

/// Whether the ray from centre through deepPoint passes through the triangle (vertex0, vertex0 + edge1,
/// vertex0 + edge2), edges included. Möller–Trumbore with both windings accepted; no distance limit.
inline bool RayThroughTriangle(const D3DXVECTOR3& deepPoint, const D3DXVECTOR3& centre, const D3DXVECTOR3& edge1,
                               const D3DXVECTOR3& edge2, const D3DXVECTOR3& vertex0)
{
    const D3DXVECTOR3 d = deepPoint - centre;
    const D3DXVECTOR3 p = Cross(d, edge2);
    float det = Dot(p, edge1);
    D3DXVECTOR3 s;
    // Flipping s with the determinant's sign accepts both windings.
    if (det > 0) {
        s = centre - vertex0;
    } else {
        s = vertex0 - centre;
        det = -det;
    }
    if (det < kRayParallelEpsilon)
        return false;
    const float u = Dot(s, p);
    if (u < 0 || u > det)
        return false;
    const float v = Dot(d, Cross(s, edge1));
    if (v < 0 || u + v > det)
        return false;
    return true;
}

/// The squared distance from point to the segment a-b, without a root (for quick rejections), and the size
/// of the vectors it came from (their coordinates' magnitudes summed), which scales its rounding.
struct RootlessDistance {
    float squared;
    float reach;
};

inline RootlessDistance SegmentDistanceSquared(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& point)
{
    const D3DXVECTOR3 e = b - a;
    const D3DXVECTOR3 w = point - a;
    const float ee = Dot(e, e);
    float t = ee > 0 ? Dot(w, e) / ee : 0.0f;
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    const D3DXVECTOR3 v = w - e * t;
    return {Dot(v, v),
            std::fabs(w.x) + std::fabs(w.y) + std::fabs(w.z) + std::fabs(e.x) + std::fabs(e.y) + std::fabs(e.z)};
}

/// Sphere against the segment a-b and its end points: false when they do not touch. When they do and
/// the push out of the segment is longer than ioPush, ioPush becomes it.
inline bool SphereSegmentPush(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& centre, float radius,
                              D3DXVECTOR3& ioPush)
{
    // Without square roots: a segment clearly farther than the radius gives no contact, whatever rounding
    // the exact computation below would do.
    {
        const RootlessDistance quick = SegmentDistanceSquared(a, b, centre);
        const float margin = radius * (1 + kSignCertainty) + kSignCertainty * quick.reach;
        if (quick.squared > margin * margin)
            return false;
    }
    const D3DXVECTOR3 v = centre - detail::ClosestOnSegment(a, b, centre);
    const float d = Length(v);
    if (radius < d)
        return false;
    const float penetration = radius - d;
    if (Length(ioPush) < penetration)
        ioPush = Normalised(v) * penetration;
    return true;
}

/// The thin box that stands for a triangle in the box test: built on the edge edgeStart -> edgeEnd, as
/// thick as the slab constant, as deep as the triangle's height over that edge.
struct Slab {
    double centre[3];
    /// Slab axes in world space: along the edge, the triangle normal, in-plane across the edge.
    D3DXVECTOR3 axes[3];
    double sides[3];
};

inline Slab SlabFromTriangle(const D3DXVECTOR3& edgeStart, const D3DXVECTOR3& edgeEnd, const D3DXVECTOR3& apex,
                             const D3DXVECTOR3& normal)
{
    const Edge<float> edge = MakeEdge(ToVec3(edgeStart), ToVec3(edgeEnd));
    const EdgeSlabShape<float> shape = SlabOnEdge(edge, ToVec3(apex), ToVec3(normal));
    Slab slab{};
    slab.centre[0] = shape.centre.x;
    slab.centre[1] = shape.centre.y;
    slab.centre[2] = shape.centre.z;
    slab.axes[0] = ToD3DX(edge.unit);
    slab.axes[1] = normal;
    slab.axes[2] = ToD3DX(shape.across);
    slab.sides[0] = edge.length;
    slab.sides[1] = kSlabThickness;
    slab.sides[2] = std::fabs(shape.width);
    return slab;
}

/// The engine matrix whose rows are the slab axes (fourth row (0, 0, 0, 1)).
inline D3DXMATRIX SlabAxesMatrix(const Slab& slab)
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    for (int r = 0; r < 3; ++r) {
        m.m[r][0] = slab.axes[r].x;
        m.m[r][1] = slab.axes[r].y;
        m.m[r][2] = slab.axes[r].z;
    }
    return m;
}

/// ODE rotation (three rows of four) whose column i is axes i: the same numbers as OdeRotationFromMatrix on
/// the matrix whose rows they are, without building it.
inline void OdeRotationFromAxes(const D3DXVECTOR3& axis0, const D3DXVECTOR3& axis1, const D3DXVECTOR3& axis2,
                                double* outR)
{
    const D3DXVECTOR3* const axes[3] = {&axis0, &axis1, &axis2};
    for (int c = 0; c < 3; ++c) {
        outR[c] = axes[c]->x;
        outR[4 + c] = axes[c]->y;
        outR[8 + c] = axes[c]->z;
    }
    outR[3] = outR[7] = outR[11] = 0;
}

/// ODE rotation (three rows of four) from an engine matrix: column i of the result is row i of m.
inline void OdeRotationFromMatrix(const D3DXMATRIX& m, double* outR)
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            outR[4 * r + c] = m.m[c][r];
        outR[4 * r + 3] = 0;
    }
}

} // namespace vex::collision
