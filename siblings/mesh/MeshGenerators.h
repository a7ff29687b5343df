#pragma once
// Triangle meshes as plain data, and the generators and OBJ reader that make them. Shared by the mesh
// channel, the shadow scene and the runner.
//
// Winding: (v1 - v0) x (v2 - v0) points to the front side, which is the side the normals face.

#include "host/siblings/MeshData.h"
#include "platform/D3DXMath.h"

#include <string>
#include <vector>

namespace vex {

/// Texture-coordinate set of generated meshes meant for ordinary texturing.
inline constexpr int kTextureSet = 0;
/// Texture-coordinate set of generated meshes laid out for light maps: every triangle inside [0, 1]²,
/// no two overlapping.
inline constexpr int kLightMapSet = 1;
/// Empty border around each chart of a light-map layout, in uv units: keeps the texels of neighbouring
/// charts apart at the light-map sizes in use (32 to 512 texels).
inline constexpr float kChartMargin = 1.0f / 64.0f;
/// Largest grid, in cells per side; larger requests are refused rather than allocated.
inline constexpr int kMaxGridCells = 1024;
/// Largest sphere tessellation, in slices and in stacks.
inline constexpr int kMaxSphereSegments = 512;
/// Largest mesh accepted from a file or stored data, in vertices and in indices.
inline constexpr size_t kMaxMeshVertices = size_t(1) << 24;
inline constexpr size_t kMaxMeshIndices = size_t(3) << 24;
/// Most texture-coordinate sets per vertex (Direct3D 8 has eight).
inline constexpr size_t kMaxTexCoordSets = 8;

/// A flat grid of cellsX by cellsZ cells in the plane y = 0, sizeX by sizeZ, centred at the origin,
/// facing +Y. Sets 0 and 1: the planar layout, (0, 0) at the (-x, -z) corner. False for cell counts
/// outside 1..kMaxGridCells or sizes that are not finite and positive.
bool GenerateGrid(int cellsX, int cellsZ, float sizeX, float sizeZ, MeshData& out);

/// An axis-aligned box of the given edge lengths centred at the origin, four vertices per face with the
/// face normal. Set 0: each face covers [0, 1]²; set 1: the faces as charts of a 3 by 2 atlas.
bool GenerateBox(float sizeX, float sizeY, float sizeZ, MeshData& out);

/// A latitude-longitude sphere (slices around Y, stacks from +Y to -Y) centred at the origin; the seam
/// column is duplicated and each pole has one vertex per slice. Set 0: (slice / slices, stack / stacks);
/// set 1: the same layout shrunk into [kChartMargin, 1 - kChartMargin]². Slices 3..512, stacks 2..512.
bool GenerateSphere(float radius, int slices, int stacks, MeshData& out);

/// Reads a Wavefront OBJ file (triangulated); one vertex per distinct position/uv/normal triple. Set 0
/// holds the file's uv (v flipped so that v grows downwards) when every corner has one. Missing normals
/// are computed from the faces. False with a message naming the problem; out is then empty.
bool LoadObjMesh(const std::string& path, MeshData& out, std::string* error);

/// Sizes agree, indices are in range and a multiple of three. False with a message otherwise.
bool ValidateMesh(const MeshData& mesh, std::string* error);

/// Unit normals per vertex from the area-weighted normals of the faces that use it ((0, 1, 0) for a
/// vertex no face with area uses).
std::vector<D3DXVECTOR3> ComputeVertexNormals(const std::vector<D3DXVECTOR3>& positions,
                                              const std::vector<int>& indices);

} // namespace vex
