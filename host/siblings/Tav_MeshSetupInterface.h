#pragma once
// Where a mesh channel's triangles come from, as the runner sets them. Each setter replaces the mesh and
// returns false (mesh left empty) when the source is not usable. Implemented by the mesh channel beside
// Tav_MeshInterface; found with dynamic_cast.

#include "host/siblings/MeshData.h"

#include <string>

class Tav_MeshSetupInterface {
public:
    virtual bool SetGrid(int cellsX, int cellsZ, float sizeX, float sizeZ) = 0;
    virtual bool SetBox(float sizeX, float sizeY, float sizeZ) = 0;
    virtual bool SetSphere(float radius, int slices, int stacks) = 0;
    virtual bool LoadObj(const std::string& path) = 0;
    virtual bool SetData(vex::MeshData data) = 0;

protected:
    ~Tav_MeshSetupInterface() = default;
};
