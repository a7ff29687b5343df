// Building bodies and geoms from the items: masses, transforms, static geoms and the shapes skipped.
#include "tests/body/BodyScene.h"

#include "siblings/world/MeshGeom.h"

#include <cmath>
#include <numbers>

namespace vex::test {
namespace {

class BodyInitialization : public testing::Test {
protected:
    void SetUp() override
    {
        scene.world->SetGravity(D3DXVECTOR3(0, 0, 0));
        body = scene.AddBody("body");
    }
    dMass BodyMass()
    {
        dMass m;
        dBodyGetMass(body->GetBodyID(), &m);
        return m;
    }
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = nullptr;
};

TEST_F(BodyInitialization, DefaultBoxHasMassFiveAndATransformOnTheBodyWrappingAScaledBox)
{
    D3DXMATRIX start;
    D3DXMatrixScaling(&start, 2, 1, 3);
    scene.AddStart(body, start);
    body->InitializeBody();
    ASSERT_TRUE(body->initialised);
    ASSERT_NE(body->GetBodyID(), nullptr);
    EXPECT_NEAR(BodyMass().mass, 5.0, 1e-9);
    const ODE_GeometryItem* item = body->GetGeometryItem(0);
    EXPECT_EQ(dGeomGetClass(item->geom), dGeomTransformClass);
    EXPECT_EQ(dGeomGetBody(item->geom), body->GetBodyID());
    EXPECT_EQ(dGeomGetData(item->geom), item);
    EXPECT_EQ(dGeomGetData(item->innerGeom), nullptr);
    dVector3 lengths;
    dGeomBoxGetLengths(item->innerGeom, lengths);
    EXPECT_NEAR(lengths[0], 2.0, 1e-6);
    EXPECT_NEAR(lengths[1], 1.0, 1e-6);
    EXPECT_NEAR(lengths[2], 3.0, 1e-6);
    EXPECT_EQ(body->GetTimeStamp(), scene.host.GetFrameCount());
}

TEST_F(BodyInitialization, SphereAndBoxSumToMassEightWithCentreAtThreeEighths)
{
    ODE_GeometryItem sphere = MakeItem(kShapeSphere);
    sphere.radius = 2;
    sphere.massValue = 3;
    sphere.offset = D3DXVECTOR3(1, 0, 0);
    body->SetGeometryItem(sphere, 1); // item 0 stays the default box of mass 5 at the origin
    body->InitializeBody();
    const dMass m = BodyMass();
    EXPECT_NEAR(m.mass, 8.0, 1e-9);
    // The items' masses, in the body frame, put the centre at 3/8 on x.
    const ODE_GeometryItem* item = body->GetGeometryItem(1);
    dMass total = body->GetGeometryItem(0)->mass;
    dMassAdd(&total, &item->mass);
    EXPECT_NEAR(total.c[0], 3.0 / 8.0, 1e-9);
    EXPECT_NEAR(total.c[1], 0.0, 1e-9);
    EXPECT_NEAR(total.c[2], 0.0, 1e-9);
    EXPECT_NEAR(item->mass.mass, 3.0, 1e-9);
    // ODE holds the body at that centre (its mass centred on its origin); shapes and output stay in place.
    EXPECT_NEAR(dBodyGetPosition(body->GetBodyID())[0], 3.0 / 8.0, 1e-9);
    EXPECT_NEAR(m.c[0], 0.0, 1e-9);
    EXPECT_NEAR(dGeomGetPosition(item->innerGeom)[0], 1.0 - 3.0 / 8.0, 1e-9);
    EXPECT_EQ(body->GetBodyMatrix(true), IdentityMatrix());
    // A point at the frame's origin turns about the centre of mass.
    dBodySetAngularVel(body->GetBodyID(), 0, 0, 1);
    const D3DXVECTOR3 v = body->GetBodyGetRelPointVel(D3DXVECTOR3(0, 0, 0));
    EXPECT_NEAR(v.y, -3.0f / 8.0f, 1e-6f);
}

TEST_F(BodyInitialization, TurnedOffsetShapeKeepsItsMassWhereItsGeomIs)
{
    // A box of mass 5 at the origin and a long box of mass 5 at (2, 0, 0) turned 90 degrees about Z:
    // the centre of mass lies halfway between the geoms, and the turned box's inertia is turned with it.
    ODE_GeometryItem bar = MakeItem(kShapeBox);
    bar.size = D3DXVECTOR3(4, 0.5f, 0.5f);
    bar.offset = D3DXVECTOR3(2, 0, 0);
    bar.rotation = D3DXVECTOR3(0, 0, std::numbers::pi_v<float> / 2);
    body->SetGeometryItem(bar, 1);
    body->InitializeBody();
    const ODE_GeometryItem* item = body->GetGeometryItem(1);
    EXPECT_NEAR(item->mass.c[0], 2.0, 1e-6);
    EXPECT_NEAR(item->mass.c[1], 0.0, 1e-6);
    EXPECT_NEAR(item->mass.c[2], 0.0, 1e-6);
    EXPECT_NEAR(dBodyGetPosition(body->GetBodyID())[0], 1.0, 1e-6);
    EXPECT_NEAR(dBodyGetPosition(body->GetBodyID())[1], 0.0, 1e-6);
    // The bar now lies along y: its own inertia about y is the small one, and the move to x = 2 adds
    // m * 2^2 about y and z only (parallel axes), nothing about x.
    const double along = 5.0 / 12.0 * (0.5 * 0.5 + 0.5 * 0.5);
    const double across = 5.0 / 12.0 * (4.0 * 4.0 + 0.5 * 0.5);
    EXPECT_NEAR(item->mass.I[0], across, 1e-4);
    EXPECT_NEAR(item->mass.I[5], along + 20.0, 1e-4);
    EXPECT_NEAR(item->mass.I[10], across + 20.0, 1e-4);
}

TEST_F(BodyInitialization, OffCentreBodyFallsWithoutTurningAndOutputsItsFrame)
{
    ODE_GeometryItem sphere = MakeItem(kShapeSphere);
    sphere.massValue = 3;
    sphere.offset = D3DXVECTOR3(1, 0, 0);
    body->SetGeometryItem(sphere, 1);
    scene.AddStart(body, Translation(0, 10, 0));
    scene.world->SetGravity(D3DXVECTOR3(0, -9.81f, 0));
    scene.RunFrames(30);
    const D3DXMATRIX out = body->GetOldMatrix();
    EXPECT_NEAR(out._41, 0.0f, 1e-5f);
    EXPECT_LT(out._42, 9.0f);
    EXPECT_NEAR(out._11, 1.0f, 1e-6f);
    EXPECT_EQ(body->GetAngularVelocityVector(), D3DXVECTOR3(0, 0, 0));
}

TEST_F(BodyInitialization, APlaneItemMakesTheBodyStaticForGood)
{
    body->SetGeometryItem(MakeItem(kShapePlane), 1);
    body->InitializeBody();
    EXPECT_FALSE(body->GetIfUseDynamics());
    EXPECT_EQ(body->GetBodyID(), nullptr);
    body->RemoveGeometryItem(1);
    body->InitializeBody();
    EXPECT_FALSE(body->GetIfUseDynamics());
    EXPECT_EQ(dGeomGetClass(body->GetGeometryItem(0)->geom), dBoxClass);
    EXPECT_EQ(dGeomGetBody(body->GetGeometryItem(0)->geom), nullptr);
}

TEST_F(BodyInitialization, TwoMeshItemsShareOneMeshGeomBuiltForTheFirst)
{
    body->SetGeometryItem(MakeItem(kShapeMesh), 0);
    body->SetGeometryItem(MakeItem(kShapeMesh), 1);
    body->InitializeBody();
    ASSERT_NE(body->GetGeometryItem(0)->geom, nullptr);
    EXPECT_EQ(vex::world::MeshGeomBody(body->GetGeometryItem(0)->geom), body);
    EXPECT_EQ(body->GetGeometryItem(1)->geom, nullptr);
    EXPECT_TRUE(body->initialised);
}

TEST_F(BodyInitialization, RotatedStaticPlaneTakesTheTurnedYAxisAsNormal)
{
    ODE_GeometryItem plane = MakeItem(kShapePlane);
    plane.rotation = D3DXVECTOR3(0, 0, std::numbers::pi_v<float> / 2);
    body->SetGeometryItem(plane, 0);
    body->InitializeBody();
    dVector4 params;
    dGeomPlaneGetParams(body->GetGeometryItem(0)->geom, params);
    EXPECT_NEAR(params[0], 1.0, 1e-6);
    EXPECT_NEAR(params[1], 0.0, 1e-6);
    EXPECT_NEAR(params[2], 0.0, 1e-6);
    EXPECT_NEAR(params[3], 0.0, 1e-6);
}

TEST_F(BodyInitialization, StaticPlaneFollowsAnOffsetThroughTheStartMatrix)
{
    ODE_GeometryItem plane = MakeItem(kShapePlane);
    plane.offset = D3DXVECTOR3(0, 1, 0);
    body->SetGeometryItem(plane, 0);
    scene.AddStart(body, Translation(0, 2, 0));
    body->InitializeBody();
    dVector4 params;
    dGeomPlaneGetParams(body->GetGeometryItem(0)->geom, params);
    EXPECT_NEAR(params[1], 1.0, 1e-6);
    EXPECT_NEAR(params[3], 3.0, 1e-6);
}

// A static geom turns by its item's rotation first and then by the start matrix (row vectors), and its
// offset is carried by the start matrix.
TEST_F(BodyInitialization, StaticBoxTurnsByItsOwnRotationThenByTheStartMatrix)
{
    ODE_GeometryItem box = MakeItem(kShapeBox);
    box.rotation = D3DXVECTOR3(0, 0, std::numbers::pi_v<float> / 2); // local y onto +x, as for the plane
    box.offset = D3DXVECTOR3(1, 0, 0);
    body->SetGeometryItem(box, 0);
    body->SetIfUseDynamics(false);
    D3DXMATRIX start;
    D3DXMatrixRotationY(&start, std::numbers::pi_v<float> / 2); // +x onto -z
    start._42 = 2;
    scene.AddStart(body, start);
    body->InitializeBody();
    const dGeomID geom = body->GetGeometryItem(0)->geom;
    ASSERT_NE(geom, nullptr);
    const dReal* R = dGeomGetRotation(geom);
    // Column 1 of the ODE rotation is the geom's local y axis in the world.
    EXPECT_NEAR(R[1], 0.0, 1e-6);
    EXPECT_NEAR(R[5], 0.0, 1e-6);
    EXPECT_NEAR(R[9], -1.0, 1e-6);
    const dReal* p = dGeomGetPosition(geom);
    EXPECT_NEAR(p[0], 0.0, 1e-6);
    EXPECT_NEAR(p[1], 2.0, 1e-6);
    EXPECT_NEAR(p[2], -1.0, 1e-6);
}

// A start matrix's scale sizes a box (see the default box above) but never a sphere, dynamic or static.
TEST_F(BodyInitialization, SphereKeepsItsRadiusUnderAScaledStartMatrix)
{
    ODE_GeometryItem ball = MakeItem(kShapeSphere);
    ball.radius = 0.5f;
    body->SetGeometryItem(ball, 0);
    D3DXMATRIX start;
    D3DXMatrixScaling(&start, 2, 3, 4);
    scene.AddStart(body, start);
    body->InitializeBody();
    EXPECT_NEAR(dGeomSphereGetRadius(body->GetGeometryItem(0)->innerGeom), 0.5, 1e-9);
    body->SetIfUseDynamics(false);
    body->InitializeBody();
    EXPECT_NEAR(dGeomSphereGetRadius(body->GetGeometryItem(0)->geom), 0.5, 1e-9);
}

TEST_F(BodyInitialization, UnknownKindsGetNoGeomOnStaticOrDynamicBodies)
{
    ODE_GeometryItem odd = MakeItem(7);
    body->SetGeometryItem(odd, 1);
    body->InitializeBody();
    EXPECT_NE(body->GetBodyID(), nullptr);
    EXPECT_EQ(body->GetGeometryItem(1)->geom, nullptr);
    EXPECT_NEAR(BodyMass().mass, 5.0, 1e-9);
    body->SetIfUseDynamics(false);
    body->InitializeBody();
    EXPECT_EQ(body->GetGeometryItem(1)->geom, nullptr);
    body->UpdateGeometryPositions();
    body->Release();
}

TEST_F(BodyInitialization, ShapesWithoutMassOrSizeDoNotStopTheProcess)
{
    // Non-finite sizes are refused before anything is built (tests/reliability); zero and negative ones build.
    ODE_GeometryItem flat = MakeItem(kShapeBox);
    flat.size = D3DXVECTOR3(-1, 0, -3);
    flat.massValue = 0;
    body->SetGeometryItem(flat, 0);
    ODE_GeometryItem ball = MakeItem(kShapeSphere);
    ball.radius = -2;
    body->SetGeometryItem(ball, 1);
    body->InitializeBody();
    EXPECT_TRUE(body->initialised);
    scene.RunFrames(2);
}

TEST_F(BodyInitialization, EmptiedListBuildsNothingAndDestroysTheOldObjects)
{
    scene.RunFrames(1);
    ASSERT_NE(body->GetBodyID(), nullptr);
    body->RemoveGeometryItem(0);
    body->InitializeBody();
    EXPECT_EQ(body->GetBodyID(), nullptr);
    EXPECT_FALSE(body->initialised);
    EXPECT_EQ(dSpaceGetNumGeoms(scene.world->GetSpace()), 0);
}

TEST_F(BodyInitialization, RebuildStartsAtRestAtTheStartMatrix)
{
    scene.AddStart(body, Translation(0, 4, 0));
    scene.RunFrames(1);
    dBodySetLinearVel(body->GetBodyID(), 3, 0, 0);
    dBodySetPosition(body->GetBodyID(), 9, 9, 9);
    body->InitializeBody();
    EXPECT_EQ(body->GetLinearVelocityVector(), D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(dBodyGetPosition(body->GetBodyID())[1], 4.0);
}

TEST_F(BodyInitialization, VectorGettersAreZeroOnAStaticBody)
{
    body->SetIfUseDynamics(false);
    scene.RunFrames(1);
    const D3DXVECTOR3 zero(0, 0, 0);
    EXPECT_EQ(body->GetLinearVelocityVector(), zero);
    EXPECT_EQ(body->GetAngularVelocityVector(), zero);
    EXPECT_EQ(body->GetForceVector(), zero);
    EXPECT_EQ(body->GetTorqueVector(), zero);
    EXPECT_EQ(body->GetBodyGetRelPointVel(D3DXVECTOR3(1, 0, 0)), zero);
}

TEST_F(BodyInitialization, RelativePointVelocityOfATurningBody)
{
    scene.RunFrames(1);
    dBodySetAngularVel(body->GetBodyID(), 0, 0, 1);
    dBodySetLinearVel(body->GetBodyID(), 0, 0, 0);
    EXPECT_EQ(body->GetBodyGetRelPointVel(D3DXVECTOR3(0, 0, 0)), D3DXVECTOR3(0, 0, 0));
    const D3DXVECTOR3 v = body->GetBodyGetRelPointVel(D3DXVECTOR3(1, 0, 0));
    EXPECT_NEAR(v.x, 0.0f, 1e-6f);
    EXPECT_NEAR(v.y, 1.0f, 1e-6f);
    EXPECT_NEAR(v.z, 0.0f, 1e-6f);
}

} // namespace
} // namespace vex::test
