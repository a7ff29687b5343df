#pragma once
// A triangle mesh as plain data: what the mesh channel holds and what the runner hands it.
//
// Winding: (v1 - v0) x (v2 - v0) points to the front side, which is the side the normals face.

#include "platform/D3DXMath.h"

#include <vector>

namespace vex {

struct MeshData {
    std::vector<D3DXVECTOR3> positions;
    std::vector<D3DXVECTOR3> normals;                   ///< one unit normal per position
    std::vector<std::vector<D3DXVECTOR2>> texCoordSets; ///< each holds one (u, v) per position
    std::vector<int> indices;                           ///< triangle list: three vertex numbers per triangle

    bool Empty() const { return indices.empty(); }
};

} // namespace vex
