#include "siblings/mesh/MeshGenerators.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vex {

namespace {

bool PositiveFinite(float v) { return std::isfinite(v) && v > 0.0f; }

} // namespace

bool GenerateGrid(int cellsX, int cellsZ, float sizeX, float sizeZ, MeshData& out)
{
    out = MeshData{};
    if (cellsX < 1 || cellsZ < 1 || cellsX > kMaxGridCells || cellsZ > kMaxGridCells || !PositiveFinite(sizeX) ||
        !PositiveFinite(sizeZ))
        return false;
    const int columns = cellsX + 1;
    out.texCoordSets.resize(2);
    for (int j = 0; j <= cellsZ; ++j)
        for (int i = 0; i <= cellsX; ++i) {
            const float u = static_cast<float>(i) / static_cast<float>(cellsX);
            const float v = static_cast<float>(j) / static_cast<float>(cellsZ);
            out.positions.emplace_back((u - 0.5f) * sizeX, 0.0f, (v - 0.5f) * sizeZ);
            out.normals.emplace_back(0.0f, 1.0f, 0.0f);
            out.texCoordSets[kTextureSet].emplace_back(u, v);
            out.texCoordSets[kLightMapSet].emplace_back(u, v);
        }
    for (int j = 0; j < cellsZ; ++j)
        for (int i = 0; i < cellsX; ++i) {
            const int a = j * columns + i; // (i, j)
            const int b = a + columns;     // (i, j + 1)
            const int c = a + 1;           // (i + 1, j)
            const int d = b + 1;           // (i + 1, j + 1)
            out.indices.insert(out.indices.end(), {a, b, c, c, b, d});
        }
    return true;
}

bool GenerateBox(float sizeX, float sizeY, float sizeZ, MeshData& out)
{
    out = MeshData{};
    if (!PositiveFinite(sizeX) || !PositiveFinite(sizeY) || !PositiveFinite(sizeZ))
        return false;
    const float hx = sizeX * 0.5f, hy = sizeY * 0.5f, hz = sizeZ * 0.5f;
    struct Face {
        D3DXVECTOR3 normal, centre, u, v; // u x v points along the normal
    };
    const Face faces[6] = {
        {{1, 0, 0}, {hx, 0, 0}, {0, 0, -hz}, {0, hy, 0}}, {{-1, 0, 0}, {-hx, 0, 0}, {0, 0, hz}, {0, hy, 0}},
        {{0, 1, 0}, {0, hy, 0}, {hx, 0, 0}, {0, 0, -hz}}, {{0, -1, 0}, {0, -hy, 0}, {hx, 0, 0}, {0, 0, hz}},
        {{0, 0, 1}, {0, 0, hz}, {hx, 0, 0}, {0, hy, 0}},  {{0, 0, -1}, {0, 0, -hz}, {-hx, 0, 0}, {0, hy, 0}},
    };
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    // Light-map atlas: 3 columns by 2 rows of charts, each shrunk by the margin on every side.
    const float cellW = 1.0f / 3.0f, cellH = 0.5f;
    out.texCoordSets.resize(2);
    for (int f = 0; f < 6; ++f) {
        const Face& face = faces[f];
        const int base = static_cast<int>(out.positions.size());
        const float cellU = static_cast<float>(f % 3) * cellW, cellV = static_cast<float>(f / 3) * cellH;
        for (const auto& c : corners) {
            out.positions.push_back(face.centre + face.u * c[0] + face.v * c[1]);
            out.normals.push_back(face.normal);
            const float u = (c[0] + 1.0f) * 0.5f, v = (1.0f - c[1]) * 0.5f;
            out.texCoordSets[kTextureSet].emplace_back(u, v);
            out.texCoordSets[kLightMapSet].emplace_back(cellU + kChartMargin + u * (cellW - 2 * kChartMargin),
                                                        cellV + kChartMargin + v * (cellH - 2 * kChartMargin));
        }
        out.indices.insert(out.indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
    }
    return true;
}

bool GenerateSphere(float radius, int slices, int stacks, MeshData& out)
{
    out = MeshData{};
    if (!PositiveFinite(radius) || slices < 3 || stacks < 2 || slices > kMaxSphereSegments ||
        stacks > kMaxSphereSegments)
        return false;
    const int columns = slices + 1;
    out.texCoordSets.resize(2);
    const float pi = std::numbers::pi_v<float>;
    for (int st = 0; st <= stacks; ++st) {
        const float phi = pi * static_cast<float>(st) / static_cast<float>(stacks);
        for (int sl = 0; sl <= slices; ++sl) {
            const float theta = 2.0f * pi * static_cast<float>(sl) / static_cast<float>(slices);
            D3DXVECTOR3 n(std::sin(phi) * std::cos(theta), std::cos(phi), std::sin(phi) * std::sin(theta));
            if (st == 0 || st == stacks)
                n = D3DXVECTOR3(0.0f, st == 0 ? 1.0f : -1.0f, 0.0f);
            out.positions.push_back(n * radius);
            out.normals.push_back(n);
            // A pole vertex serves the one triangle of its slice: put it mid-slice.
            const bool pole = st == 0 || st == stacks;
            const float u =
                std::min(1.0f, (static_cast<float>(sl) + (pole ? 0.5f : 0.0f)) / static_cast<float>(slices));
            const float v = static_cast<float>(st) / static_cast<float>(stacks);
            out.texCoordSets[kTextureSet].emplace_back(u, v);
            out.texCoordSets[kLightMapSet].emplace_back(kChartMargin + u * (1.0f - 2 * kChartMargin),
                                                        kChartMargin + v * (1.0f - 2 * kChartMargin));
        }
    }
    for (int st = 0; st < stacks; ++st)
        for (int sl = 0; sl < slices; ++sl) {
            const int a = st * columns + sl, b = a + 1, c = a + columns, d = c + 1;
            if (st == 0)
                out.indices.insert(out.indices.end(), {a, d, c}); // a is the pole vertex of this slice
            else if (st == stacks - 1)
                out.indices.insert(out.indices.end(), {a, b, c}); // c is the pole vertex of this slice
            else
                out.indices.insert(out.indices.end(), {a, b, c, b, d, c});
        }
    return true;
}

bool ValidateMesh(const MeshData& mesh, std::string* error)
{
    auto fail = [&](const char* text) {
        if (error)
            *error = text;
        return false;
    };
    const size_t n = mesh.positions.size();
    if (mesh.normals.size() != n)
        return fail("normal count differs from position count");
    if (mesh.texCoordSets.size() > kMaxTexCoordSets)
        return fail("too many texture-coordinate sets");
    for (const auto& set : mesh.texCoordSets)
        if (set.size() != n)
            return fail("texture-coordinate count differs from position count");
    if (mesh.indices.size() % 3 != 0)
        return fail("index count is not a multiple of 3");
    for (int index : mesh.indices)
        if (index < 0 || static_cast<size_t>(index) >= n)
            return fail("index out of range");
    return true;
}

std::vector<D3DXVECTOR3> ComputeVertexNormals(const std::vector<D3DXVECTOR3>& positions,
                                              const std::vector<int>& indices)
{
    std::vector<D3DXVECTOR3> normals(positions.size());
    for (size_t t = 0; t + 2 < indices.size(); t += 3) {
        const D3DXVECTOR3& p0 = positions[indices[t]];
        const D3DXVECTOR3 e1 = positions[indices[t + 1]] - p0, e2 = positions[indices[t + 2]] - p0;
        D3DXVECTOR3 n;
        D3DXVec3Cross(&n, &e1, &e2); // length is twice the area: larger faces weigh more
        for (int k = 0; k < 3; ++k)
            normals[indices[t + k]] += n;
    }
    for (D3DXVECTOR3& n : normals) {
        const float length = D3DXVec3Length(&n);
        n = length > 0.0f && std::isfinite(length) ? n / length : D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    }
    return normals;
}

} // namespace vex
