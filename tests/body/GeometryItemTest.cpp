// Geometry items: defaults, rotation, copies, and the body channel's list operations.
#include "tests/body/BodyScene.h"

#include <cmath>
#include <numbers>

namespace vex::test {
namespace {

constexpr float kHalfPi = std::numbers::pi_v<float> / 2;

D3DXVECTOR3 Turn(ODE_GeometryItem& item, const D3DXVECTOR3& v)
{
    const D3DXMATRIX m = item.GetRotationMatrix();
    D3DXVECTOR3 out;
    D3DXVec3TransformNormal(&out, &v, &m);
    return out;
}

TEST(GeometryItem, DefaultIsAUnitBoxOfMassFiveNamedUnnamed)
{
    ODE_GeometryItem item;
    EXPECT_EQ(item.kind, kShapeBox);
    EXPECT_EQ(item.size, D3DXVECTOR3(1, 1, 1));
    EXPECT_EQ(item.massValue, 5.0f);
    EXPECT_EQ(item.radius, 1.0f);
    EXPECT_STREQ(item.name, "Unnamed");
    EXPECT_TRUE(item.auxFlag);
    EXPECT_EQ(item.auxValue1, 0.5f);
    EXPECT_EQ(item.auxValue2, 0.1f);
    EXPECT_EQ(item.mass.mass, 0.0);
    EXPECT_EQ(item.geom, nullptr);
    EXPECT_EQ(item.owner, nullptr);
}

TEST(GeometryItem, OldLayoutDefaults)
{
    ODE_OLD2GeometryItem old;
    EXPECT_EQ(old.legacyLength, 1.0f);
    EXPECT_EQ(old.legacyAxis, 3);
    EXPECT_EQ(old.legacyFlag, 1);
    EXPECT_EQ(old.legacyPlane[1], 1.0f);
    EXPECT_STREQ(old.name, "Unnamed");
}

struct RotationCase {
    const char* name;
    D3DXVECTOR3 angles;
    D3DXVECTOR3 in;
    D3DXVECTOR3 out;
};

class GetRotationMatrix : public testing::TestWithParam<RotationCase> {};

TEST_P(GetRotationMatrix, TurnsRowVectorsAsTheWorkedExamplesSay)
{
    ODE_GeometryItem item;
    item.rotation = GetParam().angles;
    const D3DXVECTOR3 out = Turn(item, GetParam().in);
    EXPECT_NEAR(out.x, GetParam().out.x, 1e-6f);
    EXPECT_NEAR(out.y, GetParam().out.y, 1e-6f);
    EXPECT_NEAR(out.z, GetParam().out.z, 1e-6f);
    const D3DXMATRIX m = item.GetRotationMatrix();
    EXPECT_NEAR(D3DXMatrixDeterminant(&m), 1.0f, 1e-6f);
    EXPECT_EQ(m._41, 0.0f);
    EXPECT_EQ(m._44, 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Examples, GetRotationMatrix,
                         testing::Values(RotationCase{"AboutYFirstAngle", {kHalfPi, 0, 0}, {1, 0, 0}, {0, 0, 1}},
                                         RotationCase{"AboutZThirdAngle", {0, 0, kHalfPi}, {1, 0, 0}, {0, -1, 0}},
                                         RotationCase{"AboutXSecondAngle", {0, kHalfPi, 0}, {0, 1, 0}, {0, 0, -1}},
                                         // Z first, then X, then Y: (1,0,0) -Z-> (0,-1,0) -X-> (0,0,1) -Y-> (-1,0,0).
                                         RotationCase{
                                             "ZThenXThenY", {kHalfPi, kHalfPi, kHalfPi}, {1, 0, 0}, {-1, 0, 0}},
                                         RotationCase{"Zero", {0, 0, 0}, {0.3f, -2, 5}, {0.3f, -2, 5}}),
                         [](const testing::TestParamInfo<RotationCase>& info) { return info.param.name; });

TEST(GeometryItem, CopiesEveryFieldAndAllFortyNameBytes)
{
    ODE_GeometryItem a;
    a.kind = kShapeSphere;
    a.radius = 2.5f;
    a.offset = D3DXVECTOR3(1, 2, 3);
    std::memset(a.name, 'x', sizeof a.name);
    a.name[39] = 0;
    ODE_GeometryItem b(a);
    EXPECT_EQ(std::memcmp(a.name, b.name, sizeof a.name), 0);
    EXPECT_EQ(b.radius, 2.5f);
    ODE_GeometryItem c;
    c = a;
    EXPECT_EQ(c.offset, a.offset);
    EXPECT_EQ(c.kind, kShapeSphere);
}

class ItemList : public testing::Test {
protected:
    void SetUp() override { body = scene.AddBody("body"); }
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = nullptr;
};

TEST_F(ItemList, NewChannelHoldsOneDefaultItemOwnedByIt)
{
    ASSERT_EQ(body->GetGeometryCount(), 1);
    ODE_GeometryItem* item = body->GetGeometryItem(0);
    ASSERT_NE(item, nullptr);
    EXPECT_STREQ(item->name, "Unnamed");
    EXPECT_EQ(item->owner, body);
    EXPECT_EQ(body->GetGeometryItem(1), nullptr);
    EXPECT_EQ(body->GetGeometryItem(-1), nullptr);
}

TEST_F(ItemList, AddNamesTheNewItemAfterTheCount)
{
    body->AddGeometryItem();
    EXPECT_STREQ(body->GetGeometryItem(1)->name, "New shape (1)");
    body->AddGeometryItem();
    EXPECT_STREQ(body->GetGeometryItem(2)->name, "New shape (2)");
    while (body->GetGeometryCount() > 0)
        body->RemoveGeometryItem(0);
    body->RemoveGeometryItem(0); // empty: nothing happens
    EXPECT_EQ(body->GetGeometryCount(), 0);
    body->AddGeometryItem();
    EXPECT_STREQ(body->GetGeometryItem(0)->name, "New shape (0)");
    EXPECT_EQ(body->GetGeometryItem(0)->owner, body);
}

TEST_F(ItemList, SetAtTheCountAppendsAndTakesOwnership)
{
    ODE_GeometryItem item = MakeItem(kShapeSphere);
    item.owner = reinterpret_cast<Tvc_ODE_BodyCollision*>(&item); // someone else's
    body->SetGeometryItem(item, 1);
    ASSERT_EQ(body->GetGeometryCount(), 2);
    EXPECT_EQ(body->GetGeometryItem(1)->kind, kShapeSphere);
    EXPECT_EQ(body->GetGeometryItem(1)->owner, body);
    item.owner = nullptr;
}

TEST_F(ItemList, SetPastTheEndOrBeforeTheStartChangesNothing)
{
    body->SetGeometryItem(MakeItem(kShapeSphere), 5);
    body->SetGeometryItem(MakeItem(kShapeSphere), -1);
    EXPECT_EQ(body->GetGeometryCount(), 1);
    EXPECT_EQ(body->GetGeometryItem(0)->kind, kShapeBox);
}

TEST_F(ItemList, RemoveOutsideTheListChangesNothing)
{
    body->RemoveGeometryItem(3);
    body->RemoveGeometryItem(-1);
    EXPECT_EQ(body->GetGeometryCount(), 1);
}

// Setting a record copied from a built item must neither free that item's geom (the copy is destroyed
// after the call) nor leave two items sharing one geom. Under the sanitizer build a fault here is a
// use-after-free or double free at the latest when the channel is destroyed.
TEST_F(ItemList, SettingACopyOfABuiltItemLeavesEveryGeomWithOneOwner)
{
    body->SetIfUseDynamics(false);
    body->AddGeometryItem();
    scene.RunFrames(1);
    ODE_GeometryItem* first = body->GetGeometryItem(0);
    ODE_GeometryItem* second = body->GetGeometryItem(1);
    const dGeomID firstGeom = first->geom;
    const dGeomID secondGeom = second->geom;
    ASSERT_NE(firstGeom, nullptr);
    ASSERT_NE(secondGeom, nullptr);

    ODE_GeometryItem copy = *first;
    copy.radius = 7;
    body->SetGeometryItem(copy, 1);
    copy.geom = nullptr; // our local copy must not free item 0's geom either
    EXPECT_EQ(first->geom, firstGeom);
    EXPECT_EQ(second->geom, secondGeom);
    EXPECT_EQ(second->radius, 7.0f);
    EXPECT_EQ(dGeomGetData(firstGeom), first); // still a live geom
    EXPECT_EQ(dGeomGetClass(secondGeom), dBoxClass);
    body->Release();
    EXPECT_EQ(first->geom, nullptr);
}

TEST_F(ItemList, RemovingABuiltItemDestroysItsGeomAtOnceAndLeavesTheBody)
{
    body->AddGeometryItem();
    scene.RunFrames(1);
    const dBodyID bodyID = body->GetBodyID();
    ASSERT_NE(bodyID, nullptr);
    const int before = dSpaceGetNumGeoms(scene.world->GetSpace());
    body->RemoveGeometryItem(1);
    EXPECT_EQ(dSpaceGetNumGeoms(scene.world->GetSpace()), before - 1);
    EXPECT_EQ(body->GetBodyID(), bodyID);
}

} // namespace
} // namespace vex::test
