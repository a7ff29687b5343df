#pragma once
// Where a collision object's triangles come from: a regular grid, a height field or an OBJ file. All
// produce nine floats per triangle, wound so that (v1 - v0) x (v2 - v0) points up (+y) for the generated
// surfaces.

#include <cstdint>
#include <string>
#include <vector>

namespace vex {

/// A grid of cellsX x cellsZ cells over sizeX x sizeZ, centred on the origin in the xz plane, two
/// triangles per cell. The height field lifts each vertex to
/// y = amplitude * sin(x * frequencyX) * cos(z * frequencyZ); amplitude 0 gives the flat grid.
struct GridParameters {
    int32_t cellsX = 20;
    int32_t cellsZ = 20;
    float sizeX = 20.0f;
    float sizeZ = 20.0f;
    float amplitude = 0.0f;
    float frequencyX = 1.0f;
    float frequencyZ = 1.0f;
};

/// Largest number of cells a generated surface may have (two triangles each, 72 bytes of vertex data):
/// bounds the memory that a corrupt project or a slip of the finger can ask for.
inline constexpr int64_t kMaxSurfaceCells = int64_t{1} << 20;

/// Empty text when the parameters are usable, otherwise what is wrong with them.
std::string CheckGridParameters(const GridParameters& grid);

/// The triangles of a grid or height field (empty when the parameters are not usable).
std::vector<float> GenerateGridTriangles(const GridParameters& grid);

/// Reads the faces of an OBJ file, triangulated. False with a message naming the problem (missing file,
/// parse error, an index outside the vertex list, no faces).
bool LoadObjTriangles(const std::string& path, std::vector<float>& outTriangles, std::string& outError);

} // namespace vex
