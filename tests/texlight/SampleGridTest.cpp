#include "texlight/SampleGrid.h"
#include "texlight/MeshSnapshot.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vex::texlight;

namespace {

MeshSnapshot OneTriangle(float u0, float v0, float u1, float v1, float u2, float v2)
{
    MeshSnapshot mesh;
    mesh.usable = true;
    SnapshotTriangle t;
    t.u[0] = u0, t.v[0] = v0, t.u[1] = u1, t.v[1] = v1, t.u[2] = u2, t.v[2] = v2;
    for (int k = 0; k < 3; ++k) {
        t.position[k] = D3DXVECTOR3(t.u[k], 0, t.v[k]);
        t.normal[k] = D3DXVECTOR3(0, 1, 0);
    }
    mesh.triangles.push_back(t);
    return mesh;
}

bool IsUnit(const D3DXVECTOR3& n) { return std::fabs(D3DXVec3Length(&n) - 1.0f) < 1e-5f; }

} // namespace

TEST(SampleGrid, SampleCountsAreFourToTheMode)
{
    EXPECT_EQ(SampleCount(0), 1);
    EXPECT_EQ(SampleCount(1), 4);
    EXPECT_EQ(SampleCount(2), 16);
    EXPECT_EQ(SampleCount(3), 64);
    EXPECT_EQ(SampleGridSide(3), 8);
}

TEST(SampleGrid, ModeOneSamplesOfTheFirstTexelOfATwoByTwoMap)
{
    const float expected[4][2] = {{0.125f, 0.125f}, {0.375f, 0.125f}, {0.125f, 0.375f}, {0.375f, 0.375f}};
    for (int s = 0; s < 4; ++s) {
        float u, v;
        SamplePosition(0, 0, 2, 2, 1, s, u, v);
        EXPECT_FLOAT_EQ(u, expected[s][0]) << s;
        EXPECT_FLOAT_EQ(v, expected[s][1]) << s;
    }
}

// Every sample lies strictly inside its texel, and the n x n samples of a texel are distinct and evenly
// spaced, for every mode and a non-square map.
TEST(SampleGrid, SamplesFillTheirTexelEvenly)
{
    for (int mode = 0; mode <= 3; ++mode) {
        const int n = SampleGridSide(mode);
        for (int x : {0, 3, 6})
            for (int y : {0, 2, 4})
                for (int s = 0; s < SampleCount(mode); ++s) {
                    float u, v;
                    SamplePosition(x, y, 7, 5, mode, s, u, v);
                    EXPECT_GT(u, x / 7.0f);
                    EXPECT_LT(u, (x + 1) / 7.0f);
                    EXPECT_GT(v, y / 5.0f);
                    EXPECT_LT(v, (y + 1) / 5.0f);
                    EXPECT_NEAR(u, (x + (s % n + 0.5) / n) / 7.0, 1e-6);
                    EXPECT_NEAR(v, (y + (s / n + 0.5) / n) / 5.0, 1e-6);
                }
    }
}

TEST(SampleGrid, IntersectTriangleCountsEdgesAndVerticesForBothWindings)
{
    const D3DXVECTOR3 down(0, -1, 0);
    const D3DXVECTOR3 T0(0, 0, 0), T1(1, 0, 0), T2(0, 0, 1);
    struct Case {
        float u, v;
        bool hit;
    };
    const Case cases[] = {
        {0.25f, 0.25f, true}, {0.5f, 0.5f, true}, // inside; on the diagonal edge
        {0.0f, 0.0f, true},   {1.0f, 0.0f, true}, // vertices
        {0.5f, 0.0f, true},   {0.0f, 0.7f, true}, // the two other edges
        {0.6f, 0.6f, false},  {-0.01f, 0.5f, false}, {0.5f, -0.01f, false},
    };
    for (const Case& c : cases) {
        const D3DXVECTOR3 origin(c.u, 1, c.v);
        float t, b1, b2;
        EXPECT_EQ(IntersectTriangle(&origin, &down, &T0, &T1, &T2, &t, &b1, &b2), c.hit ? 1 : 0) << c.u << "," << c.v;
        EXPECT_EQ(IntersectTriangle(&origin, &down, &T0, &T2, &T1, &t, &b1, &b2), c.hit ? 1 : 0) << "reversed";
        if (c.hit) {
            IntersectTriangle(&origin, &down, &T0, &T1, &T2, &t, &b1, &b2);
            EXPECT_FLOAT_EQ(t, 1.0f);
            EXPECT_FLOAT_EQ(b1, c.u);
            EXPECT_FLOAT_EQ(b2, c.v);
        }
    }
}

TEST(SampleGrid, SingleTriangleCoversTenTexelsOfAFourByFourMap)
{
    const MeshSnapshot mesh = OneTriangle(0, 0, 1, 0, 0, 1);
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    int covered = 0;
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y) {
            const LightSample s = ComputeSample(mesh, nullptr, world, x, y, 4, 4, 0, 0);
            const bool inside = (x + 0.5f) / 4 + (y + 0.5f) / 4 <= 1.0f;
            EXPECT_EQ(!s.missed, inside) << x << "," << y;
            covered += !s.missed;
        }
    EXPECT_EQ(covered, 10);
}

// A floor quad whose index list starts 0, 0, 2 (a repeated vertex), or with three collinear texture
// coordinates first: the zero-area triangle covers no sample, so the texels on its line come from the quad
// instead of 0 / 0 barycentrics.
TEST(SampleGrid, ZeroAreaTrianglesCoverNoSample)
{
    for (const float middle : {0.0f, 0.5f}) {
        MeshSnapshot mesh = OneTriangle(0, 0, middle, middle, 1, 1);
        mesh.triangles.push_back(OneTriangle(0, 0, 1, 0, 1, 1).triangles[0]);
        mesh.triangles.push_back(OneTriangle(0, 0, 1, 1, 0, 1).triangles[0]);
        D3DXMATRIX world;
        D3DXMatrixIdentity(&world);
        for (int x = 0; x < 8; ++x)
            for (int y = 0; y < 8; ++y) {
                const LightSample s = ComputeSample(mesh, nullptr, world, x, y, 8, 8, 0, 0);
                ASSERT_FALSE(s.missed) << x << "," << y;
                EXPECT_NEAR(s.position.x, (x + 0.5f) / 8, 1e-6) << middle << " " << x << "," << y;
                EXPECT_NEAR(s.position.z, (y + 0.5f) / 8, 1e-6) << middle << " " << x << "," << y;
            }
    }
}

TEST(SampleGrid, EarlierTriangleWinsOnASharedEdge)
{
    MeshSnapshot mesh = OneTriangle(0, 0, 1, 0, 0, 1);
    mesh.triangles.push_back(OneTriangle(1, 0, 1, 1, 0, 1).triangles[0]);
    mesh.triangles[0].position[0] = D3DXVECTOR3(0, 5, 0); // tells the first triangle's points apart
    float b1, b2;
    EXPECT_EQ(FindCoveringTriangle(mesh, nullptr, 0.5f, 0.5f, b1, b2), 0);
    std::swap(mesh.triangles[0], mesh.triangles[1]);
    EXPECT_EQ(FindCoveringTriangle(mesh, nullptr, 0.5f, 0.5f, b1, b2), 0);
    EXPECT_EQ(FindCoveringTriangle(mesh, nullptr, 0.9f, 0.9f, b1, b2), 0);
    EXPECT_EQ(FindCoveringTriangle(mesh, nullptr, 0.1f, 0.1f, b1, b2), 1);
}

TEST(SampleGrid, UnusableMeshMissesEverySample)
{
    MeshSnapshot mesh = OneTriangle(0, 0, 1, 0, 0, 1);
    mesh.usable = false;
    D3DXMATRIX world;
    D3DXMatrixIdentity(&world);
    EXPECT_TRUE(ComputeSample(mesh, nullptr, world, 0, 0, 4, 4, 0, 0).missed);
}

TEST(SampleGrid, SamplePositionAndNormalGoThroughTheWorldMatrix)
{
    const MeshSnapshot mesh = OneTriangle(0, 0, 1, 0, 0, 1);
    D3DXMATRIX scale, turn, move, world;
    D3DXMatrixScaling(&scale, 2, 2, 2);
    D3DXMatrixRotationZ(&turn, 3.14159265f / 2);
    D3DXMatrixTranslation(&move, 10, 0, 0);
    D3DXMatrixMultiply(&world, &scale, &turn);
    D3DXMatrixMultiply(&world, &world, &move);
    const LightSample s = ComputeSample(mesh, nullptr, world, 0, 0, 4, 4, 0, 0);
    ASSERT_FALSE(s.missed);
    D3DXVECTOR3 expected;
    const D3DXVECTOR3 local(0.125f, 0, 0.125f);
    D3DXVec3TransformCoord(&expected, &local, &world);
    EXPECT_NEAR(s.position.x, expected.x, 1e-5);
    EXPECT_NEAR(s.position.y, expected.y, 1e-5);
    EXPECT_NEAR(s.position.z, expected.z, 1e-5);
    // The up normal turns to -x (rotation about z by 90 degrees) and stays unit length despite the scale.
    EXPECT_NEAR(s.normal.x, -1.0f, 1e-5);
    EXPECT_NEAR(s.normal.y, 0.0f, 1e-5);
    EXPECT_TRUE(IsUnit(s.normal));
}

TEST(InterpolateNormal, GivesTheVertexNormalsAtTheOtherCornersAndBlendsAlongEdges)
{
    const D3DXVECTOR3 P[3] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
    D3DXVECTOR3 N[3] = {{0, 1, 0}, {1, 1, 0}, {0, 1, 1}};
    for (auto& n : N)
        D3DXVec3Normalize(&n, &n);
    const D3DXVECTOR3 at1 = InterpolateNormal(P, N, P[1]);
    const D3DXVECTOR3 at2 = InterpolateNormal(P, N, P[2]);
    EXPECT_NEAR(at1.x, N[1].x, 1e-5);
    EXPECT_NEAR(at1.y, N[1].y, 1e-5);
    EXPECT_NEAR(at2.z, N[2].z, 1e-5);
    // Half way along the edge P1 P2 the normal is the normalised mean of N1 and N2.
    const D3DXVECTOR3 mid = InterpolateNormal(P, N, D3DXVECTOR3(0.5f, 0, 0.5f));
    D3DXVECTOR3 mean = (N[1] + N[2]) * 0.5f;
    D3DXVec3Normalize(&mean, &mean);
    EXPECT_NEAR(mid.x, mean.x, 1e-5);
    EXPECT_NEAR(mid.y, mean.y, 1e-5);
    EXPECT_NEAR(mid.z, mean.z, 1e-5);
    EXPECT_TRUE(IsUnit(mid));
}

// Linear along the edges from the apex, then across: inside the triangle that weighs each vertex normal by
// the point's barycentric coordinate. Points with three different weights catch any swapped weight.
TEST(InterpolateNormal, WeighsEachVertexNormalByItsBarycentricCoordinate)
{
    const D3DXVECTOR3 P[3] = {{0, 0, 0}, {2, 0, 0}, {0.5f, 0, 1}};
    const D3DXVECTOR3 N[3] = {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}};
    const float weights[][2] = {{0.25f, 0.125f}, {0.1f, 0.6f}, {0.5f, 0.2f}};
    for (const auto& b : weights) {
        const D3DXVECTOR3 X = P[0] + (P[1] - P[0]) * b[0] + (P[2] - P[0]) * b[1];
        D3DXVECTOR3 expected = N[0] * (1 - b[0] - b[1]) + N[1] * b[0] + N[2] * b[1];
        D3DXVec3Normalize(&expected, &expected);
        const D3DXVECTOR3 r = InterpolateNormal(P, N, X);
        EXPECT_NEAR(r.x, expected.x, 1e-5) << b[0] << " " << b[1];
        EXPECT_NEAR(r.y, expected.y, 1e-5) << b[0] << " " << b[1];
        EXPECT_NEAR(r.z, expected.z, 1e-5) << b[0] << " " << b[1];
    }
}

TEST(InterpolateNormal, EqualVertexNormalsGiveThatNormalEverywhere)
{
    const D3DXVECTOR3 P[3] = {{0, 0, 0}, {2, 1, 0}, {0, 1, 3}};
    D3DXVECTOR3 n(0.3f, 0.9f, -0.2f);
    D3DXVec3Normalize(&n, &n);
    const D3DXVECTOR3 N[3] = {n, n, n};
    for (float b1 : {0.1f, 0.3f, 0.6f})
        for (float b2 : {0.05f, 0.3f}) {
            const D3DXVECTOR3 X = P[0] + (P[1] - P[0]) * b1 + (P[2] - P[0]) * b2;
            const D3DXVECTOR3 r = InterpolateNormal(P, N, X);
            EXPECT_NEAR(r.x, n.x, 1e-5);
            EXPECT_NEAR(r.y, n.y, 1e-5);
            EXPECT_NEAR(r.z, n.z, 1e-5);
        }
}

TEST(InterpolateNormal, ApexAndDegenerateTrianglesFallBackToAUnitNormalInsteadOfNaN)
{
    const D3DXVECTOR3 P[3] = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}};
    const D3DXVECTOR3 N[3] = {{0, 2, 0}, {1, 1, 0}, {0, 1, 1}};
    const D3DXVECTOR3 atApex = InterpolateNormal(P, N, P[0]);
    EXPECT_FLOAT_EQ(atApex.y, 1.0f);
    EXPECT_TRUE(IsUnit(atApex));

    // All three corners on one line: the apex normal, normalised.
    const D3DXVECTOR3 line[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    const D3DXVECTOR3 onLine = InterpolateNormal(line, N, D3DXVECTOR3(0.5f, 0, 0));
    EXPECT_FLOAT_EQ(onLine.y, 1.0f);

    // A zero apex normal on a proper triangle at its apex: the face normal.
    const D3DXVECTOR3 zeroApex[3] = {{0, 0, 0}, {0, 1, 0}, {0, 1, 0}};
    const D3DXVECTOR3 face = InterpolateNormal(P, zeroApex, P[0]);
    EXPECT_TRUE(IsUnit(face));
    EXPECT_NEAR(std::fabs(face.y), 1.0f, 1e-6);

    // Everything collapsed to a point, zero normals: zero, not NaN.
    const D3DXVECTOR3 point[3] = {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}};
    const D3DXVECTOR3 zeros[3] = {};
    const D3DXVECTOR3 none = InterpolateNormal(point, zeros, point[0]);
    EXPECT_FALSE(std::isnan(none.x) || std::isnan(none.y) || std::isnan(none.z));
}

TEST(InterpolateNormal, PlaneRatioMeasuresTheWayFromTheFirstToTheSecondPoint)
{
    const D3DXVECTOR3 n(0, 0, 1);
    EXPECT_FLOAT_EQ(GetPlaneRatio(n, {5, 3, 1}, {0, 0, 0}, {0, 0, 4}), 0.25f);
    EXPECT_FLOAT_EQ(GetPlaneRatio(n, {0, 0, 6}, {0, 0, 2}, {0, 0, 4}), 2.0f);
    const D3DXVECTOR3 mid = InterpolateLine({0, 0, 0}, {2, 4, 6}, 0.5f);
    EXPECT_EQ(mid, D3DXVECTOR3(1, 2, 3));
}
