#include "body/collision/CollideSphereVsTriangles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace vex::collision;

namespace {

// One upward-facing triangle around the origin ((v1 - v0) x (v2 - v0) = +y).
const std::vector<float> kUpTriangle = {-3, 0, -3, -3, 0, 3, 3, 0, -3};

void ExpectVec(const D3DXVECTOR3& v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

} // namespace

TEST(CollideSphere, SphereResting0Point9AboveATrianglePushesOutByPoint1)
{
    SphereContact c;
    ASSERT_TRUE(CollideSphereVsTriangles({-1, 0.9f, -1}, 1, kUpTriangle, c));
    ExpectVec(c.normal, 0, -1, 0);
    EXPECT_NEAR(c.depth, 0.1f, 1e-6f);
    ExpectVec(c.position, -1, -0.1f, -1);
}

TEST(CollideSphere, CentreBehindTheFaceGivesNothing)
{
    SphereContact c;
    EXPECT_FALSE(CollideSphereVsTriangles({-1, -0.9f, -1}, 1, kUpTriangle, c));
}

TEST(CollideSphere, CentreWithinTheFrontEpsilonOfThePlaneIsIgnored)
{
    SphereContact c;
    EXPECT_FALSE(CollideSphereVsTriangles({-1, 0.00005f, -1}, 1, kUpTriangle, c));
    EXPECT_TRUE(CollideSphereVsTriangles({-1, 0.0002f, -1}, 1, kUpTriangle, c));
}

TEST(CollideSphere, CentreOverASharedEdgeOfCoplanarTrianglesDoublesTheFacePush)
{
    // Two triangles sharing the edge x = z; the centre projects onto it.
    const std::vector<float> pair = {-3, 0, -3, -3, 0, 3, 3, 0, 3, /**/ -3, 0, -3, 3, 0, 3, 3, 0, -3};
    SphereContact c;
    ASSERT_TRUE(CollideSphereVsTriangles({0.5f, 0.9f, 0.5f}, 1, pair, c));
    ExpectVec(c.normal, 0, -1, 0);
    EXPECT_NEAR(c.depth, 0.2f, 1e-6f);
}

// A floor under the centre pushes (0, 0.5, 0); a slanted triangle whose top vertex lies 0.5 beside the
// centre pushes (-0.5, 0, 0), exactly as long (every value here is exact in binary): the face wins the
// tie. Moved 1 mm towards the vertex, the vertex push is the longer and wins.
TEST(CollideSphere, FacePushWinsATieWithAnEdgePush)
{
    const std::vector<float> triangles = {-5,   -0.25f, -5, -5,   -0.25f, 5,  5,    -0.25f, -5, // floor, facing +y
                                          0.5f, 0.25f,  0,  1.5f, -0.75f, -1, 1.5f, -0.75f, 1};
    SphereContact c;
    ASSERT_TRUE(CollideSphereVsTriangles({0, 0.25f, 0}, 1, triangles, c));
    ExpectVec(c.normal, 0, -1, 0, 0);
    EXPECT_EQ(c.depth, 0.5f);
    ASSERT_TRUE(CollideSphereVsTriangles({0.001f, 0.25f, 0}, 1, triangles, c));
    ExpectVec(c.normal, 1, 0, 0);
    EXPECT_NEAR(c.depth, 0.501f, 1e-6f);
}

TEST(CollideSphere, CornerContactFromOutsidePushesAwayFromTheVertex)
{
    const D3DXVECTOR3 vertex(3, 0, -3);
    const D3DXVECTOR3 centre(3.4f, 0.5f, -3.3f);
    SphereContact c;
    ASSERT_TRUE(CollideSphereVsTriangles(centre, 1, kUpTriangle, c));
    D3DXVECTOR3 away = centre - vertex;
    const float distance = D3DXVec3Length(&away);
    away /= distance;
    ExpectVec(c.normal, -away.x, -away.y, -away.z);
    EXPECT_NEAR(c.depth, 1 - distance, 1e-5f);
    ExpectVec(c.position, centre.x - away.x, centre.y - away.y, centre.z - away.z);
}

TEST(CollideSphere, TangentSphereOverTheInteriorGivesNothing)
{
    SphereContact c;
    EXPECT_FALSE(CollideSphereVsTriangles({-1, 1, -1}, 1, kUpTriangle, c));
}

TEST(CollideSphere, DegenerateTrianglesGiveNothingAndNoNaN)
{
    const std::vector<float> degenerate = {0, 0, 0, 1, 0, 0, 2, 0, 0, /**/ 1, 1, 1, 1, 1, 1, 1, 1, 1};
    SphereContact c;
    EXPECT_FALSE(CollideSphereVsTriangles({0.5f, 0.1f, 0}, 1, degenerate, c));
}

TEST(CollideSphere, SphereInAConcaveCornerIsPushedAlongTheSumOfTheFaceNormals)
{
    // Floor facing +y and wall facing +x meeting along the z axis.
    const std::vector<float> corner = {0, 0, -3, 0, 0, 3, 6, 0, -3, /**/ 0, 0, -3, 0, 6, -3, 0, 0, 3};
    SphereContact c;
    ASSERT_TRUE(CollideSphereVsTriangles({0.8f, 0.9f, 0}, 1, corner, c));
    const float px = 0.2f, py = 0.1f;
    const float length = std::sqrt(px * px + py * py);
    ExpectVec(c.normal, -px / length, -py / length, 0);
    EXPECT_NEAR(c.depth, length, 1e-5f);
}

// The contact follows a rigid motion of the whole scene: depth unchanged, normal and position moved along.
TEST(CollideSphere, ContactIsInvariantUnderRotationAndTranslationOfTheScene)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(-1, 1), angle(-3.1f, 3.1f), radius(0.3f, 1.5f);
    int contacts = 0;
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<float> triangles;
        for (int t = 0; t < 6; ++t)
            for (int k = 0; k < 9; ++k)
                triangles.push_back(unit(rng) * 2);
        const D3DXVECTOR3 centre(unit(rng), unit(rng), unit(rng));
        const float r = radius(rng);
        D3DXMATRIX motion;
        D3DXMatrixRotationYawPitchRoll(&motion, angle(rng), angle(rng), angle(rng));
        motion._41 = unit(rng) * 50;
        motion._42 = unit(rng) * 50;
        motion._43 = unit(rng) * 50;
        std::vector<float> moved(triangles.size());
        for (size_t i = 0; i < triangles.size(); i += 3) {
            D3DXVECTOR3 p(triangles[i], triangles[i + 1], triangles[i + 2]);
            D3DXVec3TransformCoord(&p, &p, &motion);
            moved[i] = p.x;
            moved[i + 1] = p.y;
            moved[i + 2] = p.z;
        }
        D3DXVECTOR3 movedCentre;
        D3DXVec3TransformCoord(&movedCentre, &centre, &motion);
        SphereContact a, b;
        const bool hitA = CollideSphereVsTriangles(centre, r, triangles, a);
        const bool hitB = CollideSphereVsTriangles(movedCentre, r, moved, b);
        ASSERT_EQ(hitA, hitB) << "trial " << trial;
        if (!hitA)
            continue;
        ++contacts;
        EXPECT_NEAR(a.depth, b.depth, 2e-4f);
        EXPECT_NEAR(D3DXVec3Length(&a.normal), 1, 1e-5f);
        D3DXVECTOR3 normal, position;
        D3DXVec3TransformNormal(&normal, &a.normal, &motion);
        D3DXVec3TransformCoord(&position, &a.position, &motion);
        ExpectVec(b.normal, normal.x, normal.y, normal.z, 2e-3f);
        ExpectVec(b.position, position.x, position.y, position.z, 1e-2f);
    }
    EXPECT_GT(contacts, 50);
}
