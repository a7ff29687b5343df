#pragma once
// A triangle edge's distance to a point and the slab the box test puts on it, written once over the
// number type: float for one edge at a time (the free geometry functions), simd::Float4 for a triangle's
// three edges side by side (the box collider). Either way the same operations in the same order, so the
// same bits.

#include "platform/Simd4.h"

namespace vex::collision {

template <class T> struct Vec3 {
    T x, y, z;
};

template <class T> Vec3<T> operator+(const Vec3<T>& a, const Vec3<T>& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
template <class T> Vec3<T> operator-(const Vec3<T>& a, const Vec3<T>& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
template <class T> Vec3<T> operator*(const Vec3<T>& a, T s) { return {a.x * s, a.y * s, a.z * s}; }
template <class T> T Dot(const Vec3<T>& a, const Vec3<T>& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
template <class T> T Length(const Vec3<T>& v) { return simd::Sqrt(Dot(v, v)); }
template <class T> Vec3<T> Cross(const Vec3<T>& a, const Vec3<T>& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
/// v / d where the mask is set, else zero.
template <class T, class Mask> Vec3<T> DividedWhere(Mask m, const Vec3<T>& v, T d)
{
    return {simd::KeepWhere(m, v.x / d), simd::KeepWhere(m, v.y / d), simd::KeepWhere(m, v.z / d)};
}
/// Unit vector; the zero vector stays zero.
template <class T> Vec3<T> Normalised(const Vec3<T>& v)
{
    const T length = Length(v);
    return DividedWhere(length > simd::Splat<T>(0), v, length);
}
template <class T, class Mask> Vec3<T> Pick(Mask m, const Vec3<T>& yes, const Vec3<T>& no)
{
    return {simd::Select(m, yes.x, no.x), simd::Select(m, yes.y, no.y), simd::Select(m, yes.z, no.z)};
}

/// An edge from start to end, with its length and unit direction (zero for a zero-length edge).
template <class T> struct Edge {
    Vec3<T> start, end, vector, unit;
    T length;
};

template <class T> Edge<T> MakeEdge(const Vec3<T>& start, const Vec3<T>& end)
{
    const Vec3<T> vector = end - start;
    const T length = Length(vector);
    return {start, end, vector, DividedWhere(length > simd::Splat<T>(0), vector, length), length};
}

/// The point nearest to p of the edge: where p projects onto the edge (distance t along it) or else
/// the nearer end. A t that is not a number (a degenerate edge) takes the foot.
template <class T> Vec3<T> NearestOnEdge(const Edge<T>& edge, T t)
{
    const auto before = t < simd::Splat<T>(0);
    const auto past = simd::AndNot(before, t > edge.length);
    return Pick(before, edge.start, Pick(past, edge.end, edge.start + edge.unit * t));
}

template <class T> Vec3<T> ClosestOnEdge(const Edge<T>& edge, const Vec3<T>& point)
{
    return NearestOnEdge(edge, Dot(edge.unit, point - edge.start));
}

/// The slab on an edge, less what the edge itself gives (its unit direction and length): reaching from
/// the edge to the apex's height over it, or, for an obtuse triangle whose apex projects outside the
/// edge, to the apex from the nearer end.
template <class T> struct EdgeSlabShape {
    Vec3<T> centre;
    Vec3<T> across; ///< unit normal x edge direction, in the plane across the edge
    T width;        ///< signed as worked out: the slab's side is its magnitude
};

template <class T> EdgeSlabShape<T> SlabOnEdge(const Edge<T>& edge, const Vec3<T>& apex, const Vec3<T>& normal)
{
    const Vec3<T> h = apex - NearestOnEdge(edge, Dot(apex - edge.start, edge.unit));
    const T half = simd::Splat<T>(0.5f);
    return {edge.start + edge.vector * half + h * half, Normalised(Cross(normal, edge.unit)), Length(h)};
}

} // namespace vex::collision
