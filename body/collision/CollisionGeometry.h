#pragma once
// Small geometric routines of the mesh colliders, as free functions over D3DX vectors (single precision),
// so they can be tested and timed without a host, ODE world or channel.

#include "platform/D3DXMath.h"

#include <cmath>

namespace vex::collision {

// Inline forms of the D3DX vector helpers, operation for operation the same (so the same bits), that the
// colliders call once per triangle and edge.
inline float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(const D3DXVECTOR3& v) { return std::sqrt(Dot(v, v)); }
/// Unit vector; the zero vector stays zero.
inline D3DXVECTOR3 Normalised(const D3DXVECTOR3& v)
{
    const float length = Length(v);
    return length > 0 ? v / length : D3DXVECTOR3();
}

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
/// of half-size halfSize about centre. An object matrix that cannot be inverted gives an empty box.
QueryBox SphereQueryBounds(const D3DXMATRIX& objectMatrix, const D3DXVECTOR3& centre, float halfSize);

/// The local-space box around an oriented box (boxMatrix: box frame to world, full edge lengths).
QueryBox BoxQueryBounds(const D3DXMATRIX& objectMatrix, const D3DXMATRIX& boxMatrix, const double* lengths);

/// True when point lies strictly behind the plane through a, b, c (normal (b - a) x (c - a)).
bool PointBehindPlane(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c, const D3DXVECTOR3& point);

/// Distance from point to the segment a-b; outDirection gets the vector from the closest point to point.
float PointSegmentDistance(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& point,
                           D3DXVECTOR3& outDirection);

/// Whether the ray from centre through deepPoint passes through the triangle (vertex0, vertex0 + edge1,
/// vertex0 + edge2), edges included. Möller–Trumbore with both windings accepted; no distance limit.
bool RayThroughTriangle(const D3DXVECTOR3& deepPoint, const D3DXVECTOR3& centre, const D3DXVECTOR3& edge1,
                        const D3DXVECTOR3& edge2, const D3DXVECTOR3& vertex0);

/// Sphere against the segment a-b and its end points: false when they do not touch. When they do and
/// the push out of the segment is longer than ioPush, ioPush becomes it.
bool SphereSegmentPush(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& centre, float radius,
                       D3DXVECTOR3& ioPush);

/// The thin box that stands for a triangle in the box test: built on the edge edgeStart -> edgeEnd, as
/// thick as the slab constant, as deep as the triangle's height over that edge.
struct Slab {
    double centre[3];
    /// Slab axes in world space: along the edge, the triangle normal, in-plane across the edge.
    D3DXVECTOR3 axes[3];
    double sides[3];
};

Slab SlabFromTriangle(const D3DXVECTOR3& edgeStart, const D3DXVECTOR3& edgeEnd, const D3DXVECTOR3& apex,
                      const D3DXVECTOR3& normal);

/// The engine matrix whose rows are the slab axes (fourth row (0, 0, 0, 1)).
D3DXMATRIX SlabAxesMatrix(const Slab& slab);

/// ODE rotation (three rows of four) from an engine matrix: column i of the result is row i of m.
void OdeRotationFromMatrix(const D3DXMATRIX& m, double* outR);

} // namespace vex::collision
