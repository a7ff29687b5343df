#pragma once
// Where a collision object's mesh comes from, as the runner sets it. Each setter rebuilds the mesh at
// once and returns false (mesh left empty) when the source is not usable. Implemented by the collision
// object channel beside Tav_CollisionObjectInterface; found with dynamic_cast.

#include "platform/D3DXMath.h"

#include <string>
#include <vector>

class Tav_CollisionObjectSetupInterface {
public:
    virtual bool SetGridSource(int cellsX, int cellsZ, float sizeX, float sizeZ) = 0;
    virtual bool SetHeightFieldSource(int cellsX, int cellsZ, float sizeX, float sizeZ, float amplitude,
                                      float frequencyX, float frequencyZ) = 0;
    virtual bool SetObjSource(const std::string& path) = 0;
    /// Nine floats per triangle.
    virtual bool SetTriangles(const std::vector<float>& triangles) = 0;
    /// The object's own matrix, used when no matrix channel is linked.
    virtual void SetOwnMatrix(const D3DXMATRIX& m) = 0;

protected:
    ~Tav_CollisionObjectSetupInterface() = default;
};
