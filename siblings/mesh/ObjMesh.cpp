#include "siblings/mesh/MeshGenerators.h"

#include "host/ProjectFile.h"

#include <tiny_obj_loader.h>

#include <cmath>
#include <map>
#include <tuple>

namespace vex {

namespace {

/// Which optional attributes every corner has: uv and normal are kept only when all corners have one.
struct CornerAttributes {
    bool allUv = true;
    bool allNormals = true;
};

/// Reads the file and parses its text; materials are not used, so no other file is opened.
bool ParseObjFile(const std::string& path, tinyobj::ObjReader& reader, std::string& why)
{
    tinyobj::ObjReaderConfig config;
    config.triangulate = true;
    config.vertex_color = false;
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, bytes, &why, kMaxObjBytes))
        return false;
    if (reader.ParseFromString(std::string(bytes.begin(), bytes.end()), std::string(), config))
        return true;
    why = reader.Error().empty() ? "cannot read the file" : reader.Error();
    return false;
}

/// Empty when every position and texture coordinate is finite, else what is wrong.
std::string CheckCoordinates(const tinyobj::attrib_t& attrib)
{
    for (float c : attrib.vertices)
        if (!std::isfinite(c))
            return "a vertex coordinate is not a finite number";
    for (float c : attrib.texcoords)
        if (!std::isfinite(c))
            return "a texture coordinate is not a finite number";
    return {};
}

/// Every face a triangle, every corner naming an existing position (and uv and normal when it names
/// them), at least one and not too many corners. Empty when so, else what is wrong.
std::string CheckCorners(const tinyobj::ObjReader& reader, CornerAttributes& use)
{
    const tinyobj::attrib_t& attrib = reader.GetAttrib();
    const size_t positionCount = attrib.vertices.size() / 3;
    const size_t normalCount = attrib.normals.size() / 3;
    const size_t uvCount = attrib.texcoords.size() / 2;
    size_t corners = 0;
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        for (unsigned char faceSize : shape.mesh.num_face_vertices)
            if (faceSize != 3)
                return "a face could not be triangulated";
        for (const tinyobj::index_t& idx : shape.mesh.indices) {
            if (idx.vertex_index < 0 || static_cast<size_t>(idx.vertex_index) >= positionCount)
                return "a face refers to a missing vertex";
            if (idx.texcoord_index >= 0 && static_cast<size_t>(idx.texcoord_index) >= uvCount)
                return "a face refers to a missing texture coordinate";
            if (idx.normal_index >= 0 && static_cast<size_t>(idx.normal_index) >= normalCount)
                return "a face refers to a missing normal";
            use.allUv = use.allUv && idx.texcoord_index >= 0;
            use.allNormals = use.allNormals && idx.normal_index >= 0;
        }
        corners += shape.mesh.indices.size();
    }
    if (corners == 0)
        return "no faces";
    if (corners > kMaxMeshIndices)
        return "too many faces";
    return {};
}

/// One vertex per distinct (position, uv, normal) corner, in first-use order, with the indices naming
/// them. Returns false when a given normal has no usable length (the caller then computes normals).
bool WeldCorners(const tinyobj::ObjReader& reader, const CornerAttributes& use, MeshData& out,
                 std::vector<D3DXVECTOR2>& uvs)
{
    const tinyobj::attrib_t& attrib = reader.GetAttrib();
    std::map<std::tuple<int, int, int>, int> vertexOf;
    bool normalsUsable = use.allNormals;
    for (const tinyobj::shape_t& shape : reader.GetShapes())
        for (const tinyobj::index_t& idx : shape.mesh.indices) {
            const auto key = std::make_tuple(idx.vertex_index, use.allUv ? idx.texcoord_index : -1,
                                             use.allNormals ? idx.normal_index : -1);
            auto [it, inserted] = vertexOf.try_emplace(key, static_cast<int>(out.positions.size()));
            if (inserted) {
                const float* p = &attrib.vertices[3 * static_cast<size_t>(idx.vertex_index)];
                out.positions.emplace_back(p[0], p[1], p[2]);
                if (use.allNormals) {
                    const float* n = &attrib.normals[3 * static_cast<size_t>(idx.normal_index)];
                    const D3DXVECTOR3 normal(n[0], n[1], n[2]);
                    const float length = D3DXVec3Length(&normal);
                    // A zero or broken normal is replaced by the computed ones.
                    if (!(length > 0.0f) || !std::isfinite(length))
                        normalsUsable = false;
                    out.normals.push_back(length > 0.0f ? normal / length : normal);
                }
                if (use.allUv) {
                    const float* t = &attrib.texcoords[2 * static_cast<size_t>(idx.texcoord_index)];
                    uvs.emplace_back(t[0], 1.0f - t[1]);
                }
            }
            out.indices.push_back(it->second);
        }
    return normalsUsable;
}

} // namespace

// Read and parse -> finite coordinates -> well-formed corners -> weld corners into vertices -> limits.
bool LoadObjMesh(const std::string& path, MeshData& out, std::string* error)
{
    out = MeshData{};
    auto fail = [&](const std::string& text) {
        out = MeshData{};
        if (error)
            *error = text;
        return false;
    };

    tinyobj::ObjReader reader;
    std::string why;
    if (!ParseObjFile(path, reader, why))
        return fail(why);
    CornerAttributes use;
    if (!(why = CheckCoordinates(reader.GetAttrib())).empty() || !(why = CheckCorners(reader, use)).empty())
        return fail(why);
    std::vector<D3DXVECTOR2> uvs;
    const bool normalsUsable = WeldCorners(reader, use, out, uvs);
    if (out.positions.size() > kMaxMeshVertices)
        return fail("too many vertices");
    if (!normalsUsable)
        out.normals = ComputeVertexNormals(out.positions, out.indices);
    if (use.allUv)
        out.texCoordSets.push_back(std::move(uvs));
    return true;
}

} // namespace vex
