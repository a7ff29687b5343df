#include "siblings/mesh/MeshGenerators.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <ostream>
#include <string>

namespace {

using vex::MeshData;

struct GeneratorCase {
    const char* name;
    std::function<bool(MeshData&)> make;
};

void PrintTo(const GeneratorCase& c, std::ostream* os) { *os << c.name; }

float Cross2(const D3DXVECTOR2& o, const D3DXVECTOR2& a, const D3DXVECTOR2& b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

/// Separating-axis test for two triangles in the plane: true when their interiors overlap by more than
/// eps (touching along an edge or at a corner is not overlap).
bool InteriorsOverlap(const D3DXVECTOR2 a[3], const D3DXVECTOR2 b[3], float eps)
{
    for (const D3DXVECTOR2* tri : {a, b})
        for (int e = 0; e < 3; ++e) {
            const D3DXVECTOR2 p = tri[e], q = tri[(e + 1) % 3];
            const float nx = -(q.y - p.y), ny = q.x - p.x;
            float minA = std::numeric_limits<float>::max(), maxA = -minA, minB = minA, maxB = -minA;
            for (int k = 0; k < 3; ++k) {
                const float pa = a[k].x * nx + a[k].y * ny, pb = b[k].x * nx + b[k].y * ny;
                minA = std::min(minA, pa), maxA = std::max(maxA, pa);
                minB = std::min(minB, pb), maxB = std::max(maxB, pb);
            }
            const float scale = std::sqrt(nx * nx + ny * ny);
            if (maxA <= minB + eps * scale || maxB <= minA + eps * scale)
                return false;
        }
    return true;
}

TEST(TriangleOverlapCheck, TellsOverlapFromSharedEdge)
{
    const D3DXVECTOR2 a[3] = {{0, 0}, {1, 0}, {0, 1}};
    const D3DXVECTOR2 b[3] = {{1, 0}, {1, 1}, {0, 1}}; // shares the diagonal
    const D3DXVECTOR2 c[3] = {{0.2f, 0.2f}, {2, 0.2f}, {0.2f, 2}};
    EXPECT_FALSE(InteriorsOverlap(a, b, 1e-6f));
    EXPECT_TRUE(InteriorsOverlap(a, c, 1e-6f));
}

class GeneratedMesh : public ::testing::TestWithParam<GeneratorCase> {
protected:
    void SetUp() override { ASSERT_TRUE(GetParam().make(mesh)); }
    MeshData mesh;
};

TEST_P(GeneratedMesh, IsConsistentTriangleList)
{
    std::string error;
    EXPECT_TRUE(vex::ValidateMesh(mesh, &error)) << error;
    EXPECT_GT(mesh.indices.size(), 0u);
    EXPECT_EQ(mesh.indices.size() % 3, 0u);
    EXPECT_EQ(mesh.texCoordSets.size(), 2u);
}

TEST_P(GeneratedMesh, NormalsAreUnitAndWindingFacesThem)
{
    for (const D3DXVECTOR3& n : mesh.normals)
        ASSERT_NEAR(D3DXVec3Length(&n), 1.0f, 1e-5f);
    for (size_t t = 0; t < mesh.indices.size(); t += 3) {
        const D3DXVECTOR3& p0 = mesh.positions[mesh.indices[t]];
        const D3DXVECTOR3 e1 = mesh.positions[mesh.indices[t + 1]] - p0;
        const D3DXVECTOR3 e2 = mesh.positions[mesh.indices[t + 2]] - p0;
        D3DXVECTOR3 face;
        D3DXVec3Cross(&face, &e1, &e2);
        ASSERT_GT(D3DXVec3Length(&face), 0.0f) << "degenerate triangle " << t / 3;
        D3DXVECTOR3 average =
            mesh.normals[mesh.indices[t]] + mesh.normals[mesh.indices[t + 1]] + mesh.normals[mesh.indices[t + 2]];
        ASSERT_GT(D3DXVec3Dot(&face, &average), 0.0f) << "triangle " << t / 3 << " faces away from its normals";
    }
}

TEST_P(GeneratedMesh, LightMapLayoutIsInsideUnitSquareWithoutOverlap)
{
    const auto& uv = mesh.texCoordSets[vex::kLightMapSet];
    for (const D3DXVECTOR2& c : uv) {
        ASSERT_GE(c.x, 0.0f);
        ASSERT_LE(c.x, 1.0f);
        ASSERT_GE(c.y, 0.0f);
        ASSERT_LE(c.y, 1.0f);
    }
    const size_t triangles = mesh.indices.size() / 3;
    std::vector<std::array<D3DXVECTOR2, 3>> tris(triangles);
    double area = 0;
    for (size_t t = 0; t < triangles; ++t) {
        for (int k = 0; k < 3; ++k)
            tris[t][k] = uv[mesh.indices[3 * t + k]];
        const float a = std::abs(Cross2(tris[t][0], tris[t][1], tris[t][2])) * 0.5f;
        ASSERT_GT(a, 0.0f) << "triangle " << t << " has no light-map area";
        area += a;
    }
    EXPECT_LE(area, 1.0 + 1e-5);
    for (size_t i = 0; i < triangles; ++i)
        for (size_t j = i + 1; j < triangles; ++j)
            ASSERT_FALSE(InteriorsOverlap(tris[i].data(), tris[j].data(), 1e-6f)) << "triangles " << i << " and " << j;
}

INSTANTIATE_TEST_SUITE_P(
    Generators, GeneratedMesh,
    ::testing::Values(GeneratorCase{"Grid1x1", [](MeshData& m) { return vex::GenerateGrid(1, 1, 2, 2, m); }},
                      GeneratorCase{"Grid3x2", [](MeshData& m) { return vex::GenerateGrid(3, 2, 6, 1, m); }},
                      GeneratorCase{"Grid16x16", [](MeshData& m) { return vex::GenerateGrid(16, 16, 10, 10, m); }},
                      GeneratorCase{"Cube", [](MeshData& m) { return vex::GenerateBox(1, 1, 1, m); }},
                      GeneratorCase{"FlatBox", [](MeshData& m) { return vex::GenerateBox(4, 0.1f, 2, m); }},
                      GeneratorCase{"CoarsestSphere", [](MeshData& m) { return vex::GenerateSphere(1, 3, 2, m); }},
                      GeneratorCase{"Sphere8x6", [](MeshData& m) { return vex::GenerateSphere(2, 8, 6, m); }},
                      GeneratorCase{"Sphere24x16", [](MeshData& m) { return vex::GenerateSphere(0.5f, 24, 16, m); }}),
    [](const auto& info) { return std::string(info.param.name); });

double SurfaceArea(const MeshData& m)
{
    double area = 0;
    for (size_t t = 0; t < m.indices.size(); t += 3) {
        const D3DXVECTOR3 e1 = m.positions[m.indices[t + 1]] - m.positions[m.indices[t]];
        const D3DXVECTOR3 e2 = m.positions[m.indices[t + 2]] - m.positions[m.indices[t]];
        D3DXVECTOR3 c;
        D3DXVec3Cross(&c, &e1, &e2);
        area += 0.5 * D3DXVec3Length(&c);
    }
    return area;
}

TEST(GenerateGrid, CoversItsRectangleInPlaneYZeroFacingUp)
{
    MeshData m;
    ASSERT_TRUE(vex::GenerateGrid(4, 3, 8, 6, m));
    EXPECT_EQ(m.positions.size(), 5u * 4u);
    EXPECT_EQ(m.indices.size(), 4u * 3u * 6u);
    EXPECT_NEAR(SurfaceArea(m), 48.0, 1e-4);
    for (size_t i = 0; i < m.positions.size(); ++i) {
        EXPECT_EQ(m.positions[i].y, 0.0f);
        EXPECT_LE(std::abs(m.positions[i].x), 4.0f);
        EXPECT_LE(std::abs(m.positions[i].z), 3.0f);
        EXPECT_EQ(m.normals[i], D3DXVECTOR3(0, 1, 0));
    }
    // The planar layout: u follows x and v follows z from the (-x, -z) corner.
    EXPECT_EQ(m.positions[0], D3DXVECTOR3(-4, 0, -3));
    EXPECT_EQ(m.texCoordSets[0][0].x, 0.0f);
    EXPECT_EQ(m.texCoordSets[0].back().x, 1.0f);
    EXPECT_EQ(m.texCoordSets[0].back().y, 1.0f);
}

TEST(GenerateBox, AreaAndVerticesMatchTheBox)
{
    MeshData m;
    ASSERT_TRUE(vex::GenerateBox(1, 2, 3, m));
    EXPECT_EQ(m.positions.size(), 24u);
    EXPECT_EQ(m.indices.size(), 36u);
    EXPECT_NEAR(SurfaceArea(m), 2.0 * (1 * 2 + 2 * 3 + 3 * 1), 1e-4);
    for (const D3DXVECTOR3& p : m.positions) {
        EXPECT_FLOAT_EQ(std::abs(p.x), 0.5f);
        EXPECT_FLOAT_EQ(std::abs(p.y), 1.0f);
        EXPECT_FLOAT_EQ(std::abs(p.z), 1.5f);
    }
}

TEST(GenerateSphere, VerticesLieOnTheSphereAndAreaApproachesFourPiRSquared)
{
    MeshData m;
    ASSERT_TRUE(vex::GenerateSphere(2, 48, 32, m));
    for (size_t i = 0; i < m.positions.size(); ++i) {
        ASSERT_NEAR(D3DXVec3Length(&m.positions[i]), 2.0f, 1e-5f);
        const D3DXVECTOR3 outward = m.positions[i] / 2.0f;
        ASSERT_NEAR(D3DXVec3Dot(&outward, &m.normals[i]), 1.0f, 1e-5f);
    }
    const double exact = 4.0 * std::numbers::pi * 4.0;
    EXPECT_NEAR(SurfaceArea(m), exact, 0.01 * exact);
    EXPECT_LT(SurfaceArea(m), exact); // an inscribed polyhedron
}

TEST(Generators, RefuseParametersOutOfRangeAndLeaveNothing)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    MeshData m;
    auto refused = [&](bool made) { return !made && m.positions.empty() && m.indices.empty(); };
    EXPECT_TRUE(refused(vex::GenerateGrid(0, 1, 1, 1, m)));
    EXPECT_TRUE(refused(vex::GenerateGrid(1, -3, 1, 1, m)));
    EXPECT_TRUE(refused(vex::GenerateGrid(vex::kMaxGridCells + 1, 1, 1, 1, m)));
    EXPECT_TRUE(refused(vex::GenerateGrid(1, 1, 0, 1, m)));
    EXPECT_TRUE(refused(vex::GenerateGrid(1, 1, 1, nan, m)));
    EXPECT_TRUE(refused(vex::GenerateBox(1, -1, 1, m)));
    EXPECT_TRUE(refused(vex::GenerateBox(inf, 1, 1, m)));
    EXPECT_TRUE(refused(vex::GenerateSphere(1, 2, 4, m)));
    EXPECT_TRUE(refused(vex::GenerateSphere(1, 4, 1, m)));
    EXPECT_TRUE(refused(vex::GenerateSphere(1, 4, vex::kMaxSphereSegments + 1, m)));
    EXPECT_TRUE(refused(vex::GenerateSphere(nan, 4, 4, m)));
}

TEST(ComputeVertexNormals, AveragesFacesByAreaAndFallsBackToUp)
{
    // Two triangles folded along the x axis: one in the y = 0 plane facing +Y, one facing +Z.
    const std::vector<D3DXVECTOR3> p = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}};
    const std::vector<int> idx = {0, 1, 2, 0, 2, 3};
    const auto n = vex::ComputeVertexNormals(p, idx);
    const float s = std::sqrt(0.5f);
    EXPECT_NEAR(n[0].y, s, 1e-6f);
    EXPECT_NEAR(n[0].z, s, 1e-6f);
    EXPECT_EQ(n[1], D3DXVECTOR3(0, 1, 0));
    EXPECT_EQ(n[3], D3DXVECTOR3(0, 0, 1));
    EXPECT_EQ(n[4], D3DXVECTOR3(0, 1, 0)); // unused vertex
}

} // namespace
