#include "siblings/collisionobject/MeshSources.h"

#include "host/ProjectFile.h"

#include <tiny_obj_loader.h>

#include <cmath>

namespace vex {

std::string CheckGridParameters(const GridParameters& grid)
{
    if (grid.cellsX < 1 || grid.cellsZ < 1)
        return "cell counts must be at least 1";
    if (int64_t{grid.cellsX} * grid.cellsZ > kMaxSurfaceCells)
        return "more than " + std::to_string(kMaxSurfaceCells) + " cells";
    if (!std::isfinite(grid.sizeX) || !std::isfinite(grid.sizeZ) || grid.sizeX <= 0 || grid.sizeZ <= 0)
        return "sizes must be finite and positive";
    if (!std::isfinite(grid.amplitude) || !std::isfinite(grid.frequencyX) || !std::isfinite(grid.frequencyZ))
        return "amplitude and frequencies must be finite";
    return {};
}

std::vector<float> GenerateGridTriangles(const GridParameters& grid)
{
    std::vector<float> triangles;
    if (!CheckGridParameters(grid).empty())
        return triangles;
    const int nx = grid.cellsX + 1;
    const int nz = grid.cellsZ + 1;
    std::vector<float> points(static_cast<size_t>(nx) * nz * 3);
    for (int iz = 0; iz < nz; ++iz) {
        for (int ix = 0; ix < nx; ++ix) {
            const float x = -0.5f * grid.sizeX + grid.sizeX * static_cast<float>(ix) / static_cast<float>(grid.cellsX);
            const float z = -0.5f * grid.sizeZ + grid.sizeZ * static_cast<float>(iz) / static_cast<float>(grid.cellsZ);
            const float y = grid.amplitude == 0.0f
                                ? 0.0f
                                : grid.amplitude * std::sin(x * grid.frequencyX) * std::cos(z * grid.frequencyZ);
            float* p = points.data() + 3 * (static_cast<size_t>(iz) * nx + ix);
            p[0] = x;
            p[1] = y;
            p[2] = z;
        }
    }
    auto point = [&](int ix, int iz) { return points.data() + 3 * (static_cast<size_t>(iz) * nx + ix); };
    auto add = [&](const float* a, const float* b, const float* c) {
        triangles.insert(triangles.end(), a, a + 3);
        triangles.insert(triangles.end(), b, b + 3);
        triangles.insert(triangles.end(), c, c + 3);
    };
    triangles.reserve(static_cast<size_t>(grid.cellsX) * grid.cellsZ * 18);
    for (int iz = 0; iz < grid.cellsZ; ++iz) {
        for (int ix = 0; ix < grid.cellsX; ++ix) {
            // (x0, z0), (x0, z1), (x1, z0) and (x1, z0), (x0, z1), (x1, z1): both face +y.
            add(point(ix, iz), point(ix, iz + 1), point(ix + 1, iz));
            add(point(ix + 1, iz), point(ix, iz + 1), point(ix + 1, iz + 1));
        }
    }
    return triangles;
}

bool LoadObjTriangles(const std::string& path, std::vector<float>& outTriangles, std::string& outError)
{
    outTriangles.clear();
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, bytes, &outError, kMaxObjBytes))
        return false;
    tinyobj::ObjReaderConfig config;
    config.triangulate = true;
    config.vertex_color = false;
    tinyobj::ObjReader reader;
    // Materials are not used: the text alone is parsed, so no other file is opened.
    if (!reader.ParseFromString(std::string(bytes.begin(), bytes.end()), std::string(), config)) {
        outError = reader.Error().empty() ? "cannot be parsed" : "cannot be parsed: " + reader.Error();
        while (!outError.empty() && (outError.back() == '\n' || outError.back() == '\r'))
            outError.pop_back();
        return false;
    }
    const std::vector<float>& vertices = reader.GetAttrib().vertices;
    const size_t vertexCount = vertices.size() / 3;
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        size_t offset = 0;
        for (const unsigned char faceSize : shape.mesh.num_face_vertices) {
            if (offset + faceSize > shape.mesh.indices.size()) {
                outError = "a face refers past the index list";
                outTriangles.clear();
                return false;
            }
            // Triangulation leaves only triangles; anything else (points, lines) is not a surface.
            if (faceSize == 3) {
                for (size_t k = 0; k < 3; ++k) {
                    const int index = shape.mesh.indices[offset + k].vertex_index;
                    if (index < 0 || static_cast<size_t>(index) >= vertexCount) {
                        outError =
                            "a face uses vertex " + std::to_string(index + 1) + " of " + std::to_string(vertexCount);
                        outTriangles.clear();
                        return false;
                    }
                    outTriangles.insert(outTriangles.end(), vertices.begin() + 3 * index,
                                        vertices.begin() + 3 * index + 3);
                }
            }
            offset += faceSize;
        }
    }
    if (outTriangles.empty()) {
        outError = "holds no triangles";
        return false;
    }
    return true;
}

} // namespace vex
