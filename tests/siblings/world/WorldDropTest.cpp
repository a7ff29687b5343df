// Bodies falling onto static floors come to rest where they should and then stay put.
#include "tests/body/BodyScene.h"

#include <cmath>
#include <string>

namespace vex::test {
namespace {

constexpr int kFramesPerSecond = 60;

struct DropCase {
    const char* name;
    uint8_t shape;
};

ODE_GeometryItem FallingShape(uint8_t shape)
{
    ODE_GeometryItem item = MakeItem(shape); // box: 1 x 1 x 1, mass 5
    item.radius = 0.5f;
    return item;
}

// Drops the shape from y = 5 and checks it rests with its centre half a unit above the floor within 3 s,
// then moves less than 0.001 in the following 2 s.
void ExpectComesToRest(BodyScene& scene, Tvc_ODE_BodyCollision* falling)
{
    scene.RunFrames(3 * kFramesPerSecond);
    const D3DXMATRIX settled = falling->GetOldMatrix();
    EXPECT_NEAR(settled._42, 0.5f, 0.02f);
    EXPECT_NEAR(settled._41, 0.0f, 0.02f);
    EXPECT_NEAR(settled._43, 0.0f, 0.02f);
    scene.RunFrames(2 * kFramesPerSecond);
    const D3DXMATRIX later = falling->GetOldMatrix();
    const float moved = std::sqrt((later._41 - settled._41) * (later._41 - settled._41) +
                                  (later._42 - settled._42) * (later._42 - settled._42) +
                                  (later._43 - settled._43) * (later._43 - settled._43));
    EXPECT_LT(moved, 0.001f);
    EXPECT_NE(falling->GetBodyID(), nullptr);
    testing::Test::RecordProperty("restHeight", std::to_string(settled._42));
    testing::Test::RecordProperty("movedInTwoSeconds", std::to_string(moved));
}

class DropOntoPlane : public testing::TestWithParam<DropCase> {};

TEST_P(DropOntoPlane, ComesToRestOnTheFloorAndStays)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* floor = scene.AddBody("floor", MakeItem(kShapePlane), IdentityMatrix());
    Tvc_ODE_BodyCollision* falling = scene.AddBody("falling", FallingShape(GetParam().shape), Translation(0, 5, 0));
    ExpectComesToRest(scene, falling);
    EXPECT_FALSE(floor->GetIfUseDynamics());
}

TEST_P(DropOntoPlane, IsStillFallingAfterHalfASecond)
{
    // Guards the test above against a body that never moved: after 0.5 s of free fall it has dropped
    // about g t^2 / 2 = 1.23 (a little less, since the first frame builds the body).
    BodyScene scene;
    scene.AddBody("floor", MakeItem(kShapePlane), IdentityMatrix());
    Tvc_ODE_BodyCollision* falling = scene.AddBody("falling", FallingShape(GetParam().shape), Translation(0, 5, 0));
    scene.RunFrames(kFramesPerSecond / 2);
    EXPECT_NEAR(falling->GetOldMatrix()._42, 5.0f - 1.2f, 0.1f);
}

INSTANTIATE_TEST_SUITE_P(Shapes, DropOntoPlane,
                         testing::Values(DropCase{"Box", kShapeBox}, DropCase{"Sphere", kShapeSphere}),
                         [](const testing::TestParamInfo<DropCase>& info) { return info.param.name; });

} // namespace
} // namespace vex::test
