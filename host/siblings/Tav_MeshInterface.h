#pragma once
// A mesh: positions, normals, texture-coordinate sets and an index list (child 0 of a surface).
// Results behind returned pointers stay valid only until the next call.

#include "host/Tav_Channel.h"
#include "platform/D3DXMath.h"

class Tav_MeshInterface : public Tav_Channel {
public:
    // Slots after the twelve Tav_Channel ones, in this order.
    virtual int GetIndexCount() = 0;
    virtual int GetVertexIndex(int position) = 0;
    virtual D3DXVECTOR3* GetVertexPosition(D3DXVECTOR3* scratch, int vertex) = 0;
    virtual D3DXVECTOR3* GetVertexNormal(D3DXVECTOR3* scratch, int vertex) = 0;
    /// (u, v) of the vertex in that set; scratch holds two floats.
    virtual float* GetVertexTexCoord(float* scratch, int set, int vertex) = 0;
    /// A D3DPRIMITIVETYPE value; 4 is a triangle list.
    virtual int GetPrimitiveType() = 0;
    virtual bool HasTexCoordSet(int set) = 0;
};
