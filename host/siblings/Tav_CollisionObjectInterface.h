#pragma once
// A collision object ("DX8 CollisionObject"): a triangle mesh in its local space and a local-to-world
// matrix. The body channel's mesh colliders query it.

#include "host/Tav_Channel.h"
#include "platform/D3DXMath.h"

class Tav_CollisionObjectInterface : public Tav_Channel {
public:
    // Slots after the twelve Tav_Channel ones, in this order.
    /// Local-to-world matrix (row vectors).
    virtual D3DXMATRIX GetCollisionMatrix() = 0;
    /// Appends an opaque handle for every polygon that may meet the local-space box [low, high].
    virtual bool GetPolygonsInBox(Tav_List* list, D3DXVECTOR3* low, D3DXVECTOR3* high) = 0;
    /// Nine floats (x, y, z of three vertices, local space), or null to skip the polygon. Valid until the
    /// next call. Front side: (v1 - v0) x (v2 - v0).
    virtual float* GetPolygonVertices(void* polygon) = 0;
};
