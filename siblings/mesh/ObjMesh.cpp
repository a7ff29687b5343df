#include "siblings/mesh/MeshGenerators.h"

#include "host/ProjectFile.h"

#include <tiny_obj_loader.h>

#include <cmath>
#include <map>
#include <tuple>

namespace vex {

bool LoadObjMesh(const std::string& path, MeshData& out, std::string* error)
{
    out = MeshData{};
    auto fail = [&](const std::string& text) {
        out = MeshData{};
        if (error)
            *error = text;
        return false;
    };

    tinyobj::ObjReaderConfig config;
    config.triangulate = true;
    config.vertex_color = false;
    tinyobj::ObjReader reader;
    std::vector<uint8_t> bytes;
    std::string readError;
    if (!ReadFileBytes(path, bytes, &readError, kMaxObjBytes))
        return fail(readError);
    // Materials are not used: the text alone is parsed, so no other file is opened.
    if (!reader.ParseFromString(std::string(bytes.begin(), bytes.end()), std::string(), config))
        return fail(reader.Error().empty() ? "cannot read the file" : reader.Error());
    const tinyobj::attrib_t& attrib = reader.GetAttrib();
    const size_t positionCount = attrib.vertices.size() / 3;
    const size_t normalCount = attrib.normals.size() / 3;
    const size_t uvCount = attrib.texcoords.size() / 2;
    for (float c : attrib.vertices)
        if (!std::isfinite(c))
            return fail("a vertex coordinate is not a finite number");
    for (float c : attrib.texcoords)
        if (!std::isfinite(c))
            return fail("a texture coordinate is not a finite number");

    // Every corner must name a position; uv and normal are kept only when every corner has one.
    bool allUv = true, allNormals = true;
    size_t corners = 0;
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        for (unsigned char faceSize : shape.mesh.num_face_vertices)
            if (faceSize != 3)
                return fail("a face could not be triangulated");
        for (const tinyobj::index_t& idx : shape.mesh.indices) {
            if (idx.vertex_index < 0 || static_cast<size_t>(idx.vertex_index) >= positionCount)
                return fail("a face refers to a missing vertex");
            if (idx.texcoord_index >= 0 && static_cast<size_t>(idx.texcoord_index) >= uvCount)
                return fail("a face refers to a missing texture coordinate");
            if (idx.normal_index >= 0 && static_cast<size_t>(idx.normal_index) >= normalCount)
                return fail("a face refers to a missing normal");
            allUv = allUv && idx.texcoord_index >= 0;
            allNormals = allNormals && idx.normal_index >= 0;
        }
        corners += shape.mesh.indices.size();
    }
    if (corners == 0)
        return fail("no faces");
    if (corners > kMaxMeshIndices)
        return fail("too many faces");

    std::map<std::tuple<int, int, int>, int> vertexOf;
    std::vector<D3DXVECTOR2> uvs;
    bool normalsUsable = allNormals;
    for (const tinyobj::shape_t& shape : reader.GetShapes())
        for (const tinyobj::index_t& idx : shape.mesh.indices) {
            const auto key = std::make_tuple(idx.vertex_index, allUv ? idx.texcoord_index : -1,
                                             allNormals ? idx.normal_index : -1);
            auto [it, inserted] = vertexOf.try_emplace(key, static_cast<int>(out.positions.size()));
            if (inserted) {
                const float* p = &attrib.vertices[3 * static_cast<size_t>(idx.vertex_index)];
                out.positions.emplace_back(p[0], p[1], p[2]);
                if (allNormals) {
                    const float* n = &attrib.normals[3 * static_cast<size_t>(idx.normal_index)];
                    const D3DXVECTOR3 normal(n[0], n[1], n[2]);
                    const float length = D3DXVec3Length(&normal);
                    // A zero or broken normal is replaced by the computed ones below.
                    if (!(length > 0.0f) || !std::isfinite(length))
                        normalsUsable = false;
                    out.normals.push_back(length > 0.0f ? normal / length : normal);
                }
                if (allUv) {
                    const float* t = &attrib.texcoords[2 * static_cast<size_t>(idx.texcoord_index)];
                    uvs.emplace_back(t[0], 1.0f - t[1]);
                }
            }
            out.indices.push_back(it->second);
        }
    if (out.positions.size() > kMaxMeshVertices)
        return fail("too many vertices");
    if (!normalsUsable)
        out.normals = ComputeVertexNormals(out.positions, out.indices);
    if (allUv)
        out.texCoordSets.push_back(std::move(uvs));
    return true;
}

} // namespace vex
