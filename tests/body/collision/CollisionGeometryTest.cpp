#include "body/collision/CollisionGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace vex::collision;

namespace {

D3DXMATRIX Identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

void ExpectVec(const D3DXVECTOR3& v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

} // namespace

TEST(QueryBounds, SphereBoundsWithIdentityAreCentrePlusMinusRadius)
{
    const QueryBox box = SphereQueryBounds(Identity(), {1, 2, 3}, 0.5f);
    EXPECT_EQ(box.min, D3DXVECTOR3(0.5f, 1.5f, 2.5f));
    EXPECT_EQ(box.max, D3DXVECTOR3(1.5f, 2.5f, 3.5f));
}

TEST(QueryBounds, SphereBoundsAreShiftedIntoATranslatedObjectsSpace)
{
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 10, 0, 0);
    const QueryBox box = SphereQueryBounds(m, {1, 2, 3}, 0.5f);
    ExpectVec(box.min, -9.5f, 1.5f, 2.5f);
    ExpectVec(box.max, -8.5f, 2.5f, 3.5f);
}

TEST(QueryBounds, BoxBoundsWithIdentityAreHalfTheLengths)
{
    const double lengths[3] = {2, 4, 6};
    const QueryBox box = BoxQueryBounds(Identity(), Identity(), lengths);
    EXPECT_EQ(box.min, D3DXVECTOR3(-1, -2, -3));
    EXPECT_EQ(box.max, D3DXVECTOR3(1, 2, 3));
}

TEST(QueryBounds, RotatedBoxBoundsHoldEveryCornerInTheObjectsSpace)
{
    const double lengths[3] = {1, 2, 3};
    D3DXMATRIX rotation, translation, boxMatrix, object;
    D3DXMatrixRotationYawPitchRoll(&rotation, 0.3f, 0.7f, -0.4f);
    D3DXMatrixTranslation(&translation, 2, -1, 5);
    D3DXMatrixMultiply(&boxMatrix, &rotation, &translation);
    D3DXMatrixRotationY(&object, 1.1f);
    object._41 = 3;
    const QueryBox box = BoxQueryBounds(object, boxMatrix, lengths);
    D3DXMATRIX inverse;
    ASSERT_NE(D3DXMatrixInverse(&inverse, nullptr, &object), nullptr);
    for (int i = 0; i < 8; ++i) {
        const D3DXVECTOR3 corner((i & 1) ? 0.5f : -0.5f, (i & 2) ? 1.0f : -1.0f, (i & 4) ? 1.5f : -1.5f);
        D3DXVECTOR3 world, local;
        D3DXVec3TransformCoord(&world, &corner, &boxMatrix);
        D3DXVec3TransformCoord(&local, &world, &inverse);
        EXPECT_LE(box.min.x, local.x + 1e-4f);
        EXPECT_LE(box.min.y, local.y + 1e-4f);
        EXPECT_LE(box.min.z, local.z + 1e-4f);
        EXPECT_GE(box.max.x, local.x - 1e-4f);
        EXPECT_GE(box.max.y, local.y - 1e-4f);
        EXPECT_GE(box.max.z, local.z - 1e-4f);
    }
}

// An object scaled to zero along one direction (then turned and moved) is a flat mesh: every local point
// the matrix carries into the world query box lies in the local box, which spans all of the squashed
// direction. Scaled to zero along two, its triangles have no area and the box is empty.
TEST(QueryBounds, FlattenedObjectMatrixBoundsEveryLocalPointCarriedIntoTheQuery)
{
    D3DXMATRIX flat, turn, flatTurned;
    D3DXMatrixScaling(&flat, 2, 0, 0.5f);
    D3DXMatrixRotationYawPitchRoll(&turn, 0.4f, 0.3f, -0.2f);
    D3DXMatrixMultiply(&flatTurned, &flat, &turn);
    flatTurned._41 = 1;
    flatTurned._42 = -2;
    flatTurned._43 = 0.5f;
    D3DXMATRIX boxMatrix;
    D3DXMatrixRotationYawPitchRoll(&boxMatrix, -0.3f, 0.6f, 0.1f);
    boxMatrix._41 = 1.2f;
    boxMatrix._42 = -1.9f;
    boxMatrix._43 = 0.4f;
    const double lengths[3] = {1, 0.5, 2};
    const D3DXVECTOR3 centre(1.2f, -1.9f, 0.4f);
    const QueryBox sphere = SphereQueryBounds(flatTurned, centre, 0.7f),
                   box = BoxQueryBounds(flatTurned, boxMatrix, lengths);
    for (const QueryBox& bounds : {sphere, box}) {
        EXPECT_LE(bounds.min.y, -1e30f);
        EXPECT_GE(bounds.max.y, 1e30f);
        EXPECT_LT(bounds.max.x - bounds.min.x, 10);
        EXPECT_LT(bounds.max.z - bounds.min.z, 10);
    }
    D3DXMATRIX worldToBox;
    ASSERT_NE(D3DXMatrixInverse(&worldToBox, nullptr, &boxMatrix), nullptr);
    int inSphere = 0, inBox = 0;
    for (float x = -3; x <= 3; x += 0.05f) {
        for (float z = -6; z <= 6; z += 0.05f) {
            D3DXVECTOR3 world, inBoxFrame;
            const D3DXVECTOR3 local(x, 7, z);
            D3DXVec3TransformCoord(&world, &local, &flatTurned);
            D3DXVec3TransformCoord(&inBoxFrame, &world, &worldToBox);
            if (std::fabs(world.x - centre.x) <= 0.7f && std::fabs(world.y - centre.y) <= 0.7f &&
                std::fabs(world.z - centre.z) <= 0.7f) {
                ++inSphere;
                EXPECT_TRUE(x >= sphere.min.x && x <= sphere.max.x && z >= sphere.min.z && z <= sphere.max.z)
                    << x << " " << z;
            }
            if (std::fabs(inBoxFrame.x) <= 0.5f && std::fabs(inBoxFrame.y) <= 0.25f && std::fabs(inBoxFrame.z) <= 1) {
                ++inBox;
                EXPECT_TRUE(x >= box.min.x && x <= box.max.x && z >= box.min.z && z <= box.max.z) << x << " " << z;
            }
        }
    }
    EXPECT_GT(inSphere, 100);
    EXPECT_GT(inBox, 100);

    D3DXMATRIX line;
    D3DXMatrixScaling(&line, 1, 0, 0);
    const QueryBox empty = SphereQueryBounds(line, {0, 0, 0}, 1);
    EXPECT_GT(empty.min.x, empty.max.x);
    EXPECT_GT(empty.min.y, empty.max.y);
    EXPECT_GT(empty.min.z, empty.max.z);
}

TEST(PointBehindPlane, PointOnThePlaneIsNotBehind)
{
    EXPECT_FALSE(PointBehindPlane({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.3f, 0.2f, 0}));
    EXPECT_TRUE(PointBehindPlane({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.3f, 0.2f, -0.001f}));
    EXPECT_FALSE(PointBehindPlane({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.3f, 0.2f, 0.001f}));
}

TEST(PointBehindPlane, EdgePlaneSeparatesInsideFromOutsideOfTheTriangle)
{
    // Triangle (0,0,0), (1,0,0), (0,0,1) faces -y; edge A->B with c = B - N.
    const D3DXVECTOR3 a(0, 0, 0), b(1, 0, 0), n(0, -1, 0);
    EXPECT_TRUE(PointBehindPlane(a, b, b - n, {0.5f, 3, -0.5f}));
    EXPECT_FALSE(PointBehindPlane(a, b, b - n, {0.2f, 3, 0.2f}));
}

TEST(PointBehindPlane, DegeneratePlaneContainsNothing)
{
    EXPECT_FALSE(PointBehindPlane({0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, -5, 0}));
}

struct SegmentCase {
    D3DXVECTOR3 point;
    D3DXVECTOR3 closest;
};

class PointSegmentDistanceRegions : public testing::TestWithParam<SegmentCase> {};

TEST_P(PointSegmentDistanceRegions, DirectionRunsFromTheClosestPointAndHasTheDistanceAsLength)
{
    const D3DXVECTOR3 a(1, 0, 0), b(3, 0, 0);
    D3DXVECTOR3 direction;
    const float d = PointSegmentDistance(a, b, GetParam().point, direction);
    const D3DXVECTOR3 expected = GetParam().point - GetParam().closest;
    EXPECT_NEAR(d, D3DXVec3Length(&expected), 1e-5f);
    ExpectVec(direction, expected.x, expected.y, expected.z);
}

INSTANTIATE_TEST_SUITE_P(Regions, PointSegmentDistanceRegions,
                         testing::Values(SegmentCase{{0, 1, 0}, {1, 0, 0}},   // before the start
                                         SegmentCase{{5, 0, 2}, {3, 0, 0}},   // beyond the end
                                         SegmentCase{{2, 3, 4}, {2, 0, 0}},   // over the middle
                                         SegmentCase{{2, 0, 0}, {2, 0, 0}})); // on the segment

TEST(PointSegmentDistance, ZeroLengthSegmentMeasuresToItsPoint)
{
    D3DXVECTOR3 direction;
    EXPECT_NEAR(PointSegmentDistance({1, 1, 1}, {1, 1, 1}, {1, 4, 5}, direction), 5.0f, 1e-5f);
    ExpectVec(direction, 0, 3, 4);
}

TEST(RayThroughTriangle, AcceptsBothWindingsAndRaysThroughAnEdge)
{
    const D3DXVECTOR3 v0(0, 0, 0), e1(2, 0, 0), e2(0, 0, 2);
    const D3DXVECTOR3 centre(0.5f, 1, 0.5f), deep(0.5f, -1, 0.5f);
    EXPECT_TRUE(RayThroughTriangle(deep, centre, e1, e2, v0));
    EXPECT_TRUE(RayThroughTriangle(deep, centre, e2, e1, v0));
    // Exactly over the edge z = 0 and over the hypotenuse x + z = 2.
    EXPECT_TRUE(RayThroughTriangle({1, -1, 0}, {1, 1, 0}, e1, e2, v0));
    EXPECT_TRUE(RayThroughTriangle({1, -1, 1}, {1, 1, 1}, e1, e2, v0));
    EXPECT_FALSE(RayThroughTriangle({1.5f, -1, 1}, {1.5f, 1, 1}, e1, e2, v0));
    EXPECT_FALSE(RayThroughTriangle({-0.1f, -1, 0.5f}, {-0.1f, 1, 0.5f}, e1, e2, v0));
}

TEST(RayThroughTriangle, RejectsATriangleSeenEdgeOnEvenWithTheRayInItsPlane)
{
    EXPECT_FALSE(RayThroughTriangle({3, 0, 0.5f}, {-1, 0, 0.5f}, {2, 0, 0}, {0, 0, 2}, {0, 0, 0}));
}

TEST(SphereSegmentPush, KeepsTheLongestPushAndReportsEveryContact)
{
    D3DXVECTOR3 push;
    // Radius 1, distance 0.7: push 0.3 up.
    EXPECT_TRUE(SphereSegmentPush({-1, 0, 0}, {1, 0, 0}, {0, 0.7f, 0}, 1, push));
    ExpectVec(push, 0, 0.3f, 0);
    // Distance 0.8 from a second segment: push 0.2, shorter, so the first stays.
    EXPECT_TRUE(SphereSegmentPush({-1, -0.1f, 0}, {1, -0.1f, 0}, {0, 0.7f, 0}, 1, push));
    ExpectVec(push, 0, 0.3f, 0);
    EXPECT_FALSE(SphereSegmentPush({-1, 5, 0}, {1, 5, 0}, {0, 0.7f, 0}, 1, push));
    ExpectVec(push, 0, 0.3f, 0);
}

TEST(SphereSegmentPush, TouchingExactlyIsAContactWithoutPush)
{
    D3DXVECTOR3 push;
    EXPECT_TRUE(SphereSegmentPush({-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, 1, push));
    EXPECT_EQ(push, D3DXVECTOR3(0, 0, 0));
}

TEST(SphereSegmentPush, EndPointGivesAVertexPushAwayFromIt)
{
    D3DXVECTOR3 push;
    EXPECT_TRUE(SphereSegmentPush({0, 0, 0}, {1, 0, 0}, {-0.6f, 0.8f, 0}, 1.5f, push));
    ExpectVec(push, -0.6f * 0.5f, 0.8f * 0.5f, 0);
}

TEST(Slab, RightTriangleSlabCoversTheTriangleAndIsCentredOnItsPlane)
{
    const Slab slab = SlabFromTriangle({0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 0, 1});
    EXPECT_NEAR(slab.centre[0], 1, 1e-6);
    EXPECT_NEAR(slab.centre[1], 0.5, 1e-6);
    EXPECT_NEAR(slab.centre[2], 0, 1e-6);
    EXPECT_NEAR(slab.sides[0], 2, 1e-6);
    EXPECT_EQ(slab.sides[1], static_cast<double>(0.01f));
    EXPECT_NEAR(slab.sides[2], 1, 1e-6);
    ExpectVec(slab.axes[0], 1, 0, 0);
    ExpectVec(slab.axes[1], 0, 0, 1);
    ExpectVec(slab.axes[2], 0, 1, 0); // in the plane, across the edge, towards the apex
}

TEST(Slab, LargeTriangleSlabOnItsHypotenuse)
{
    const Slab slab = SlabFromTriangle({-5, 0, 5}, {5, 0, -5}, {-5, 0, -5}, {0, 1, 0});
    EXPECT_NEAR(slab.centre[0], -2.5, 1e-5);
    EXPECT_NEAR(slab.centre[1], 0, 1e-5);
    EXPECT_NEAR(slab.centre[2], -2.5, 1e-5);
    EXPECT_NEAR(slab.sides[0], 14.1421356, 1e-5);
    EXPECT_NEAR(slab.sides[2], 7.0710678, 1e-5);
}

TEST(Slab, ObtuseApexBeyondTheEdgeShiftsTheCentreByHalfTheVectorFromTheNearerEnd)
{
    // Apex projects beyond the end (t = 3 > 2) and before the start (t = -1 < 0).
    const Slab beyond = SlabFromTriangle({0, 0, 0}, {2, 0, 0}, {3, 0, 1}, {0, -1, 0});
    EXPECT_NEAR(beyond.centre[0], 1 + 0.5, 1e-6);
    EXPECT_NEAR(beyond.centre[2], 0.5, 1e-6);
    EXPECT_NEAR(beyond.sides[2], std::sqrt(2.0), 1e-6);
    const Slab before = SlabFromTriangle({0, 0, 0}, {2, 0, 0}, {-1, 0, 1}, {0, -1, 0});
    EXPECT_NEAR(before.centre[0], 1 - 0.5, 1e-6);
    EXPECT_NEAR(before.centre[2], 0.5, 1e-6);
    EXPECT_NEAR(before.sides[2], std::sqrt(2.0), 1e-6);
}

TEST(OdeRotation, FromTheAxesGivesWhatTheSlabMatrixGives)
{
    const Slab slab =
        SlabFromTriangle({0.3f, -1, 2}, {2.1f, 0.4f, 1.7f}, {1, 2.5f, -0.6f}, Normalised({0.2f, 1, 0.3f}));
    double fromMatrix[12], fromAxes[12];
    OdeRotationFromMatrix(SlabAxesMatrix(slab), fromMatrix);
    OdeRotationFromAxes(slab.axes[0], slab.axes[1], slab.axes[2], fromAxes);
    EXPECT_EQ(std::memcmp(fromMatrix, fromAxes, sizeof fromAxes), 0);
}

TEST(OdeRotation, ColumnsOfTheOdeRotationAreTheRowsOfTheEngineMatrix)
{
    D3DXMATRIX m;
    D3DXMatrixRotationYawPitchRoll(&m, 0.4f, -0.2f, 1.3f);
    double R[12];
    OdeRotationFromMatrix(m, R);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(R[4 * j + i], m.m[i][j]);
    EXPECT_EQ(R[3], 0);
    EXPECT_EQ(R[7], 0);
    EXPECT_EQ(R[11], 0);
}
