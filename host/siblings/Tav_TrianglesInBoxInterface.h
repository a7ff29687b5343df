#pragma once
// An extension a collision object may offer besides Tav_CollisionObjectInterface: the box query's
// triangles as their vertices, written straight into the caller's array. The colliders need the vertices
// of every candidate, and fetching them handle by handle (GetPolygonVertices) costs a call and a copy per
// triangle, about as much as a resting box's quick tests on it. Callers find it with dynamic_cast on the
// collision object and use GetPolygonsInBox and GetPolygonVertices when it is absent.

#include "platform/D3DXMath.h"

class Tav_TrianglesInBoxInterface {
public:
    virtual ~Tav_TrianglesInBoxInterface() = default;

    /// The triangles GetPolygonsInBox(list, low, high) lists, in the same order: the vertices of the first
    /// `capacity` of them (nine floats each, in the object's local space, as GetPolygonVertices gives
    /// them) written to out, nothing beyond. Returns how many the query holds, which may be more than
    /// capacity (ask again with room for all); -1 for a null low or high, or a null out with room.
    virtual int GetTrianglesInBox(const D3DXVECTOR3* low, const D3DXVECTOR3* high, float* out, int capacity) = 0;
};
