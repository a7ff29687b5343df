#pragma once
// The triangles of a surface's mesh, read once before a computation so that the texel loop does not ask
// the mesh channel for every coordinate of every sample.

#include "platform/D3DXMath.h"

#include <vector>

class Tav_MeshInterface;

namespace vex::texlight {

/// One triangle of an indexed triangle list: texture coordinates in the chosen set, object-space
/// positions and normals of its three vertices.
struct SnapshotTriangle {
    float u[3] = {0, 0, 0};
    float v[3] = {0, 0, 0};
    D3DXVECTOR3 position[3];
    D3DXVECTOR3 normal[3];
    /// Unit vector in the triangle's plane perpendicular to the edge from corner 1 to corner 2, used by the
    /// normal interpolation of every sample on the triangle; valid false for a degenerate triangle.
    D3DXVECTOR3 edgeNormal;
    bool edgeNormalValid = false;
};

struct MeshSnapshot {
    /// False when the mesh is missing, is no triangle list or lacks the set: every sample misses.
    bool usable = false;
    const Tav_MeshInterface* source = nullptr;
    int texCoordSet = 0;
    /// Triangle i starts at position 3 i of the mesh's index list.
    std::vector<SnapshotTriangle> triangles;
};

/// Reads every complete triangle of the mesh (an incomplete last triple is no triangle). A vertex the
/// mesh cannot report reads as zeros.
MeshSnapshot ReadMeshSnapshot(Tav_MeshInterface* mesh, int texCoordSet);

} // namespace vex::texlight
