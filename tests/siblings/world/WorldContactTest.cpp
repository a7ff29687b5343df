// Contacts: friction and bounce from the items, penetration reports to both bodies, and the mesh geom
// handing spheres and boxes (also inside transforms) to the body channel's colliders.
#include "tests/body/BodyScene.h"

#include "siblings/collisionobject/Tvc_DX8_CollisionObject.h"
#include "siblings/world/ContactMaterial.h"
#include "siblings/world/MeshGeom.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace vex::test {
namespace {

struct MaterialCase {
    const char* name;
    float friction1, friction2, bounce1, bounce2;
    double friction, bounce;
};

class CombineMaterials : public testing::TestWithParam<MaterialCase> {};

TEST_P(CombineMaterials, UsesGeometricMeanFrictionAndTheLargerBounce)
{
    const MaterialCase& c = GetParam();
    ODE_GeometryItem a, b;
    a.auxValue1 = c.friction1;
    b.auxValue1 = c.friction2;
    a.auxValue2 = c.bounce1;
    b.auxValue2 = c.bounce2;
    const world::ContactMaterial m = world::CombineMaterials(&a, &b);
    EXPECT_NEAR(m.friction, c.friction, 1e-7);
    EXPECT_NEAR(m.bounce, c.bounce, 1e-7);
    const world::ContactMaterial swapped = world::CombineMaterials(&b, &a);
    EXPECT_EQ(swapped.friction, m.friction);
    EXPECT_EQ(swapped.bounce, m.bounce);
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(Cases, CombineMaterials,
                         testing::Values(MaterialCase{"EqualValuesGiveThatValue", 0.5f, 0.5f, 0.1f, 0.1f, 0.5, 0.1},
                                         MaterialCase{"IceOnRubberIsSlippery", 0.0f, 1.0f, 0.0f, 0.3f, 0.0, 0.3},
                                         MaterialCase{"QuarterAndOne", 0.25f, 1.0f, 0.2f, 0.8f, 0.5, 0.8},
                                         MaterialCase{"BounceLimitedToOne", 1.0f, 1.0f, 3.0f, 0.0f, 1.0, 1.0},
                                         MaterialCase{"NegativeAndNaNCountAsZero", -1.0f, 1.0f, kNaN, -2.0f, 0.0, 0.0}),
                         [](const testing::TestParamInfo<MaterialCase>& info) { return info.param.name; });

TEST(CombineMaterials, GeomsWithoutItemsTakeTheItemDefaults)
{
    const world::ContactMaterial m = world::CombineMaterials(nullptr, nullptr);
    EXPECT_NEAR(m.friction, 0.5, 1e-7);
    EXPECT_NEAR(m.bounce, 0.1, 1e-7);
}

double SlideDistance(float friction)
{
    BodyScene scene;
    ODE_GeometryItem floorItem = MakeItem(kShapePlane);
    floorItem.auxValue1 = friction;
    scene.AddBody("floor", floorItem, IdentityMatrix());
    ODE_GeometryItem crateItem = MakeItem(kShapeBox);
    crateItem.auxValue1 = friction;
    Tvc_ODE_BodyCollision* crate = scene.AddBody("crate", crateItem, Translation(0, 0.5f, 0));
    scene.RunFrames(10);
    dBodySetLinearVel(crate->GetBodyID(), 3, 0, 0);
    scene.RunFrames(60);
    return crate->GetOldMatrix()._41;
}

TEST(ContactSurface, FrictionComesFromTheItems)
{
    const double slippery = SlideDistance(0.0f);
    const double rough = SlideDistance(1.0f);
    EXPECT_NEAR(slippery, 3.0, 0.1); // one second at 3 m/s, nothing holds it back
    // mu = 1: stops after v^2 / (2 mu g) = 9 / 19.62 = 0.46.
    EXPECT_NEAR(rough, 0.46, 0.05);
}

double BounceHeight(float bounce)
{
    BodyScene scene;
    ODE_GeometryItem floorItem = MakeItem(kShapePlane);
    floorItem.auxValue2 = 0;
    scene.AddBody("floor", floorItem, IdentityMatrix());
    ODE_GeometryItem ballItem = MakeItem(kShapeSphere);
    ballItem.radius = 0.5f;
    ballItem.auxValue2 = bounce;
    Tvc_ODE_BodyCollision* ball = scene.AddBody("ball", ballItem, Translation(0, 2.5f, 0));
    scene.RunFrames(45); // falls 2 m in about 0.64 s and hits the floor
    double highest = 0;
    for (int i = 0; i < 60; ++i) {
        scene.RunFrames(1);
        highest = std::max(highest, static_cast<double>(ball->GetOldMatrix()._42));
    }
    return highest;
}

TEST(ContactSurface, BounceIsTheLargerOfTheTwoItems)
{
    EXPECT_LT(BounceHeight(0.0f), 0.6);
    const double bounced = BounceHeight(0.8f);
    // Restitution 0.8 sends it back up to about 0.8^2 of the 2 m fall above its resting height.
    EXPECT_GT(bounced, 0.5 + 0.9);
    EXPECT_LT(bounced, 0.5 + 1.6);
}

// A floor made of a flat grid of triangles in a collision object, linked to a static mesh body.
struct MeshFloor {
    explicit MeshFloor(BodyScene& scene)
    {
        body = scene.AddBody("mesh floor", MakeItem(kShapeMesh), IdentityMatrix());
        object = static_cast<Tvc_DX8_CollisionObject*>(scene.Add(guids::kCollisionObject, "grid"));
        EXPECT_TRUE(object->SetGridSource(8, 8, 20, 20));
        scene.Link(body, object, 2);
    }
    Tvc_ODE_BodyCollision* body = nullptr;
    Tvc_DX8_CollisionObject* object = nullptr;
};

TEST(DropOntoMesh, SphereComesToRestOnTheTrianglesAndStays)
{
    BodyScene scene;
    MeshFloor floor(scene);
    ODE_GeometryItem item = MakeItem(kShapeSphere);
    item.radius = 0.5f;
    Tvc_ODE_BodyCollision* falling = scene.AddBody("falling", item, Translation(0.3f, 5, 0.2f));
    scene.RunFrames(180);
    const D3DXMATRIX settled = falling->GetOldMatrix();
    EXPECT_NEAR(settled._42, 0.5f, 0.02f);
    scene.RunFrames(120);
    const D3DXMATRIX later = falling->GetOldMatrix();
    const float moved =
        std::fabs(later._42 - settled._42) + std::fabs(later._41 - settled._41) + std::fabs(later._43 - settled._43);
    EXPECT_LT(moved, 0.001f);
    testing::Test::RecordProperty("restHeight", std::to_string(settled._42));
    // Both bodies heard of the contact of the last step.
    EXPECT_GT(falling->penetration, 0.0f);
    EXPECT_EQ(falling->penetration, floor.body->penetration);
}

// A box lands on the triangles and stays on them. It need not come to rest flat: the box collider puts
// each triangle's contact on the triangle's slab, not on the box's face, and the normals are tilted by the
// slab's single-precision frame, so a box may end up leaning or creeping (see docs/world-channel.md).
TEST(DropOntoMesh, BoxLandsOnTheTrianglesAndNeverSinksThrough)
{
    BodyScene scene;
    MeshFloor floor(scene);
    Tvc_ODE_BodyCollision* falling = scene.AddBody("falling", MakeItem(kShapeBox), Translation(0.3f, 5, 0.2f));
    float lowest = 5;
    for (int i = 0; i < 300; ++i) {
        scene.RunFrames(1);
        lowest = std::min(lowest, falling->GetOldMatrix()._42);
    }
    EXPECT_GT(lowest, 0.3f);                      // never more than a landing frame's fall into the floor
    EXPECT_LT(falling->GetOldMatrix()._42, 1.0f); // on the floor at the end (a unit box stands at most 0.87 high)
    EXPECT_GT(falling->GetOldMatrix()._42, 0.45f);
}

// dCollide on a dynamic body's transform against the mesh geom, in both orders: the transform's inner
// shape reaches the body's collider at its world pose, and the records follow ODE's convention (normal
// from g2 towards g1).
class MeshContactConvention : public testing::TestWithParam<uint8_t> {};

TEST_P(MeshContactConvention, NormalPointsFromSecondGeomToFirst)
{
    BodyScene scene;
    scene.world->SetGravity(D3DXVECTOR3(0, 0, 0));
    MeshFloor floor(scene);
    ODE_GeometryItem item = MakeItem(GetParam());
    item.radius = 0.5f;
    Tvc_ODE_BodyCollision* shape = scene.AddBody("shape", item, Translation(0.3f, 0.45f, 0.2f));
    scene.RunFrames(1);
    const dGeomID transform = shape->GetGeometryItem(0)->geom;
    const dGeomID mesh = floor.body->GetGeometryItem(0)->geom;
    ASSERT_EQ(world::MeshGeomBody(mesh), floor.body);

    dContactGeom contacts[4];
    const int n = dCollide(transform, mesh, 4, contacts, sizeof(dContactGeom));
    ASSERT_GE(n, 1);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(contacts[i].g1, transform);
        EXPECT_EQ(contacts[i].g2, mesh);
        EXPECT_NEAR(contacts[i].normal[1], 1.0, 1e-3); // pushes the shape (g1) up, out of the floor
        EXPECT_GT(contacts[i].depth, 0.0);
        EXPECT_LT(contacts[i].depth, 0.1);
    }
    const int m = dCollide(mesh, transform, 4, contacts, sizeof(dContactGeom));
    ASSERT_EQ(m, n);
    for (int i = 0; i < m; ++i) {
        EXPECT_EQ(contacts[i].g1, mesh);
        EXPECT_EQ(contacts[i].g2, transform);
        EXPECT_NEAR(contacts[i].normal[1], -1.0, 1e-3);
    }
    EXPECT_EQ(dCollide(transform, mesh, 1, contacts, sizeof(dContactGeom)), 1);
}

INSTANTIATE_TEST_SUITE_P(Shapes, MeshContactConvention, testing::Values(uint8_t{kShapeSphere}, uint8_t{kShapeBox}),
                         [](const testing::TestParamInfo<uint8_t>& info) {
                             return std::string(info.param == kShapeSphere ? "Sphere" : "Box");
                         });

TEST(MeshGeom, MeshGeomsDoNotCollideWithPlanesOrEachOther)
{
    BodyScene scene;
    MeshFloor first(scene);
    MeshFloor second(scene);
    Tvc_ODE_BodyCollision* plane = scene.AddBody("plane", MakeItem(kShapePlane), IdentityMatrix());
    scene.RunFrames(1);
    dContactGeom contacts[4];
    const dGeomID a = first.body->GetGeometryItem(0)->geom;
    EXPECT_EQ(dCollide(a, second.body->GetGeometryItem(0)->geom, 4, contacts, sizeof(dContactGeom)), 0);
    EXPECT_EQ(dCollide(a, plane->GetGeometryItem(0)->geom, 4, contacts, sizeof(dContactGeom)), 0);
    EXPECT_EQ(world::MeshGeomBody(plane->GetGeometryItem(0)->geom), nullptr);
}

} // namespace
} // namespace vex::test
