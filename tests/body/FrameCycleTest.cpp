// The body channel's frame rules: world lookup, enable value, render count, rest detection, damping and
// static bodies following their start matrix.
#include "tests/body/BodyScene.h"

#include <cmath>
#include <limits>

namespace vex::test {
namespace {

/// A value channel that counts how often it is read.
class CountingValue : public Tav_ValueInterface {
public:
    CountingValue()
    {
        ChannelType type{};
        std::strncpy(type.name, "Value", sizeof type.name - 1);
        type.typeGuid = Guid(guids::kValue);
        type.baseTypeGuid = Guid(guids::kValue);
        SetChannelTypeRecord(type);
    }
    float GetReal() override
    {
        ++reads;
        return value;
    }
    void SetReal(float v) override { value = v; }

    float value = 1.0f;
    int reads = 0;
};

bool SameMatrix(const D3DXMATRIX& a, const D3DXMATRIX& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

TEST(BodyWithoutWorld, ShowsOneMessageAndPassesItsStartMatrixThrough)
{
    BodyScene scene(false);
    Tvc_ODE_BodyCollision* body = scene.AddBody("body");
    ASSERT_EQ(scene.messages.size(), 1u);
    EXPECT_NE(scene.messages[0].find("no world"), std::string::npos) << scene.messages[0];
    scene.AddStart(body, Translation(1, 2, 3));
    scene.RunFrames(5); // the host has meanwhile added a world for the body's dependency
    EXPECT_TRUE(SameMatrix(body->GetOldMatrix(), Translation(1, 2, 3)));
    EXPECT_EQ(body->GetBodyID(), nullptr);
    EXPECT_FALSE(body->initialised);
    EXPECT_EQ(scene.messages.size(), 1u);
}

TEST(BodyChannel, DeclaresTheWorldTypeAsItsOnlyDependency)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("body");
    Tav_List list;
    body->DoDependencyInit(&list);
    ASSERT_EQ(list.GetItemCount(), 1);
    auto* guid = static_cast<_GUID*>(list.GetItem(0));
    EXPECT_EQ(*guid, Guid(guids::kWorld));
    delete guid;
    EXPECT_EQ(scene.world->GetRegisteredBodyCount(), 1);
}

struct EnableCase {
    const char* name;
    float value;
    bool runs;
};

class EnableValue : public testing::TestWithParam<EnableCase> {};

TEST_P(EnableValue, RunsTheBodyFromOneUpwardsOnly)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("body", MakeItem(kShapeBox), Translation(0, 3, 0));
    Tav_ValueInterface* enable = scene.AddEnable(body, 1.0f);
    scene.RunFrames(1);
    ASSERT_NE(body->GetBodyID(), nullptr);

    enable->SetReal(GetParam().value);
    scene.RunFrames(1);
    EXPECT_EQ(body->GetBodyID() != nullptr, GetParam().runs);
    EXPECT_EQ(body->GetIfRunningDynamics(), GetParam().runs);
    if (!GetParam().runs) {
        // Released once; the disabled body shows its start matrix.
        EXPECT_FALSE(body->initialised);
        EXPECT_EQ(body->GetGeometryItem(0)->geom, nullptr);
        EXPECT_TRUE(SameMatrix(body->GetOldMatrix(), Translation(0, 3, 0)));
        EXPECT_TRUE(body->resting);
        // Back at 1.0 the body is rebuilt at the start matrix.
        enable->SetReal(1.0f);
        scene.RunFrames(1);
        EXPECT_NE(body->GetBodyID(), nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, EnableValue,
                         testing::Values(EnableCase{"ExactlyOne", 1.0f, true},
                                         EnableCase{"JustBelowOne", 0.999f, false},
                                         EnableCase{"NaN", std::numeric_limits<float>::quiet_NaN(), false},
                                         EnableCase{"Large", 1e30f, true}),
                         [](const testing::TestParamInfo<EnableCase>& info) { return info.param.name; });

TEST(EnableValue, IsNeverReadForAStaticBody)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("body");
    body->SetIfUseDynamics(false);
    auto* counting = new CountingValue;
    scene.host.AdoptChannel(counting, "counting");
    scene.Link(body, counting, 1);
    scene.RunFrames(3);
    EXPECT_EQ(counting->reads, 0);
    EXPECT_FALSE(body->GetIfRunningDynamics());
}

// A floating body (no gravity) evaluated frame by frame without stepping the world.
class FloatingBody : public testing::Test {
protected:
    void SetUp() override
    {
        scene.world->SetGravity(D3DXVECTOR3(0, 0, 0));
        body = scene.AddBody("body", MakeItem(kShapeBox), Translation(0, 1, 0));
        Evaluate();
        ASSERT_NE(body->GetBodyID(), nullptr);
    }
    /// One evaluation in a new frame, at the given tick.
    D3DXMATRIX Evaluate(DWORD tick = 0)
    {
        vex::SetManualTickCount(tick);
        scene.host.AdvanceFrame();
        return body->GetMatrix();
    }
    void SetAngularVelocity(double x, double y, double z) { dBodySetAngularVel(body->GetBodyID(), x, y, z); }
    D3DXVECTOR3 AngularVelocity() { return body->GetAngularVelocityVector(); }

    BodyScene scene;
    Tvc_ODE_BodyCollision* body = nullptr;
};

TEST_F(FloatingBody, SecondEvaluationInOneFrameStepsNoRule)
{
    body->SetIfDynamicDisableForces(true);
    body->SetAngularVelocityDampenValue(0.5f);
    SetAngularVelocity(0, 0, 2);
    const D3DXMATRIX first = Evaluate();
    body->SetPenetrationOfBody(0.5f);
    dBodySetPosition(body->GetBodyID(), 7, 7, 7);
    const D3DXMATRIX second = body->GetMatrix(); // same frame: CheckRenderCount says no
    EXPECT_TRUE(SameMatrix(first, second));
    EXPECT_FLOAT_EQ(body->penetration, 0.5f);
    EXPECT_FLOAT_EQ(AngularVelocity().z, 1.0f); // damped once, by the first evaluation only
}

struct DampingCase {
    const char* name;
    float setting;  // d
    float factor;   // k
    float expected; // angular speed after one evaluation, from 2
};

class Damping : public FloatingBody, public testing::WithParamInterface<DampingCase> {};

TEST_P(Damping, TurnsAngularVelocityIntoWPlusKTimesDwMinusW)
{
    body->SetAngularVelocityDampenValue(GetParam().setting);
    ASSERT_NE(body->dampingFactorChannel, nullptr);
    body->dampingFactorChannel->SetReal(GetParam().factor);
    SetAngularVelocity(0, 2, 0);
    Evaluate();
    EXPECT_FLOAT_EQ(AngularVelocity().y, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Damping,
                         testing::Values(DampingCase{"OffWhateverTheFactor", 0.0f, 0.7f, 2.0f},
                                         DampingCase{"OneLeavesItUnchanged", 1.0f, 0.7f, 2.0f},
                                         DampingCase{"HalfWithFactorOne", 0.5f, 1.0f, 1.0f},
                                         DampingCase{"HalfWithFactorHalf", 0.5f, 0.5f, 1.5f},
                                         DampingCase{"AboveOneSpeedsUp", 1.5f, 1.0f, 3.0f}),
                         [](const testing::TestParamInfo<DampingCase>& info) { return info.param.name; });

struct StillCase {
    const char* name;
    float penetration;
    float worldFactor;
    float angularSpeed;
    bool resting;    // expected after the evaluation
    DWORD restTimer; // expected after it: 1234 untouched, 5000 restarted
    bool restingBefore = false;
    bool detection = true; // SetIfDynamicDisableForces
    float damping = 0;     // angular damping setting, with factor 1
};

class RestTest : public FloatingBody, public testing::WithParamInterface<StillCase> {};

// One evaluation at tick 5000 with the rest timer last restarted at 1234 (so a still body has waited long
// enough): whether the body rests after it, and whether the timer was restarted.
TEST_P(RestTest, CountsABodyAsStillOnlyInShallowSlowContact)
{
    const StillCase& c = GetParam();
    body->SetIfDynamicDisableForces(c.detection);
    body->SetAngularVelocityDampenValue(c.damping);
    body->dampingFactorChannel->SetReal(1);
    scene.world->SetWorldFactor(c.worldFactor);
    body->resting = c.restingBefore;
    body->restTimer = 1234;
    SetAngularVelocity(c.angularSpeed, 0, 0);
    body->SetPenetrationOfBody(c.penetration);
    Evaluate(5000);
    EXPECT_EQ(body->resting, c.resting);
    EXPECT_EQ(body->restTimer, c.restTimer);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RestTest,
    testing::Values(StillCase{"ShallowAndTurningSlowly", 0.0005f, 1.0f, 0.005f, true, 1234},
                    StillCase{"AngularSpeedExactlyAtLimit", 0.0005f, 1.0f, 0.01f, true, 1234},
                    StillCase{"TurningTooFast", 0.0005f, 1.0f, 0.02f, false, 5000},
                    StillCase{"TooDeep", 0.5f, 0.01f, 0.0f, false, 5000},
                    StillCase{"NoContact", 0.0f, 1.0f, 0.0f, false, 1234},
                    StillCase{"NoContactWhileTurningKeepsResting", 0.0f, 1.0f, 0.02f, true, 1234, true},
                    StillCase{"FactorScalesDepth", 0.05f, 0.01f, 0.0f, true, 1234},
                    StillCase{"DetectionOffIgnoresMotionInContact", 0.0005f, 1.0f, 0.02f, true, 1234, true, false},
                    StillCase{"DetectionOffIgnoresStillness", 0.0005f, 1.0f, 0.0f, false, 1234, false, false},
                    // Damping would bring the speed under the limit: the test sees it undamped.
                    StillCase{"DampingComesAfterTheTest", 0.0005f, 1.0f, 0.015f, false, 5000, true, true, 0.5f}),
    [](const testing::TestParamInfo<StillCase>& info) { return info.param.name; });

class RestTimer : public FloatingBody, public testing::WithParamInterface<DWORD> {};

TEST_P(RestTimer, PinsTheBodyOnlyAfterMoreThanOneSecondOfStillness)
{
    const DWORD elapsed = GetParam();
    body->SetIfDynamicDisableForces(true);
    // Moving in contact at tick 20000: not resting, timer restarted.
    SetAngularVelocity(0, 0, 1);
    body->SetPenetrationOfBody(0.0005f);
    Evaluate(20000);
    ASSERT_FALSE(body->resting);
    // Still in contact, `elapsed` ms later, while sliding (linear speed is not part of the test).
    SetAngularVelocity(0, 0, 0);
    dBodySetLinearVel(body->GetBodyID(), 1, 0, 0);
    body->SetPenetrationOfBody(0.0005f);
    Evaluate(20000 + elapsed);
    const bool pinned = elapsed > 1000;
    EXPECT_EQ(body->resting, pinned);
    EXPECT_EQ(body->GetLinearVelocityVector().x, pinned ? 0.0f : 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Elapsed, RestTimer, testing::Values(DWORD{999}, DWORD{1000}, DWORD{1001}, DWORD{60000}));

TEST_F(FloatingBody, RestTimerMeasuresAcrossTheTickWrap)
{
    body->SetIfDynamicDisableForces(true);
    SetAngularVelocity(0, 0, 1);
    body->SetPenetrationOfBody(0.0005f);
    Evaluate(0xFFFFFF00u);
    SetAngularVelocity(0, 0, 0);
    body->SetPenetrationOfBody(0.0005f);
    Evaluate(0x000002F0u); // 1008 ms later, after the 32-bit wrap
    EXPECT_TRUE(body->resting);
}

// The pin holds the body at the matrix it last output (not at its start matrix), however far the world
// moved it since.
TEST_F(FloatingBody, FirstStillFrameInContactPinsAtOnceBecauseRestingStartsTrue)
{
    body->SetIfDynamicDisableForces(true);
    ASSERT_TRUE(body->resting);
    dBodySetPosition(body->GetBodyID(), 3, 1, 0);
    EXPECT_EQ(Evaluate(50)._41, 3.0f); // no contact: not pinned
    dBodySetPosition(body->GetBodyID(), 7, 7, 7);
    dBodySetLinearVel(body->GetBodyID(), 0, -3, 0);
    body->SetPenetrationOfBody(0.0005f);
    const D3DXMATRIX out = Evaluate(100);
    EXPECT_EQ(body->GetLinearVelocityVector().y, 0.0f);
    EXPECT_TRUE(SameMatrix(out, Translation(3, 1, 0)));
}

TEST_F(FloatingBody, PenetrationIsClearedByEveryEvaluation)
{
    body->SetPenetrationOfBody(0.2f);
    body->SetPenetrationOfBody(0.5f);
    body->SetPenetrationOfBody(0.3f);
    EXPECT_FLOAT_EQ(body->penetration, 0.5f);
    Evaluate();
    EXPECT_EQ(body->penetration, 0.0f);
    body->SetPenetrationOfBody(-1.0f);
    body->SetPenetrationOfBody(0.0f);
    body->SetPenetrationOfBody(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(body->penetration, 0.0f);
}

TEST_F(FloatingBody, DisableForcesFollowsTheStartMatrixFromTheNextEvaluationOn)
{
    dBodySetLinearVel(body->GetBodyID(), 0, 2, 0);
    dBodySetPosition(body->GetBodyID(), 4, 4, 4);
    body->SetIfDisableForces(true);
    EXPECT_EQ(dBodyGetPosition(body->GetBodyID())[0], 4.0); // the setter only stores
    const D3DXMATRIX out = Evaluate();
    EXPECT_TRUE(SameMatrix(out, Translation(0, 1, 0)));
    EXPECT_EQ(body->GetLinearVelocityVector().y, 0.0f);
}

TEST_F(FloatingBody, FrozenWorldKeepsThePreviousMatrix)
{
    const D3DXMATRIX before = body->GetOldMatrix();
    dBodySetPosition(body->GetBodyID(), 4, 4, 4);
    scene.world->SetIfFrozen(true);
    EXPECT_TRUE(SameMatrix(Evaluate(), before));
    scene.world->SetIfFrozen(false);
    EXPECT_EQ(Evaluate()._41, 4.0f);
}

TEST(StaticBody, MovesItsGeomsOnlyWhenTheStartMatrixChanges)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("body");
    body->SetIfUseDynamics(false);
    Tvc_MatrixChannel* start = scene.AddStart(body, Translation(1, 0, 0));
    scene.RunFrames(1);
    dGeomID geom = body->GetGeometryItem(0)->geom;
    ASSERT_NE(geom, nullptr);
    EXPECT_EQ(dGeomGetPosition(geom)[0], 1.0);

    dGeomSetPosition(geom, 9, 9, 9); // a change the channel must not undo while the start stays put
    scene.RunFrames(2);
    EXPECT_EQ(dGeomGetPosition(geom)[0], 9.0);
    EXPECT_TRUE(SameMatrix(body->GetOldMatrix(), Translation(1, 0, 0)));

    start->SetMatrix(Translation(2, 0, 0));
    scene.RunFrames(1);
    EXPECT_EQ(dGeomGetPosition(geom)[0], 2.0);
    EXPECT_EQ(dGeomGetPosition(geom)[1], 0.0);
    EXPECT_TRUE(SameMatrix(body->GetOldMatrix(), Translation(2, 0, 0)));
    EXPECT_TRUE(SameMatrix(body->GetMatrix(), Translation(2, 0, 0)));
}

TEST(StaticBody, WithoutStartMatrixOutputsIdentity)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("body");
    body->SetIfUseDynamics(false);
    scene.RunFrames(1);
    EXPECT_TRUE(SameMatrix(body->GetMatrix(), IdentityMatrix()));
}

/// Claims the matrix type, so a declared matrix link takes it, but is no matrix channel.
class NotAMatrix : public Tav_ValueInterface {
public:
    NotAMatrix()
    {
        ChannelType type{};
        type.typeGuid = Guid(guids::kMatrix);
        type.baseTypeGuid = Guid(guids::kMatrix);
        SetChannelTypeRecord(type);
    }
    float GetReal() override { return 0.0f; }
    void SetReal(float) override {}
};

TEST(StaticBody, StartLinkOfAnotherClassCountsAsMissing)
{
    NotAMatrix impostor; // outlives the scene, which unlinks it
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("body");
    body->SetIfUseDynamics(false);
    ASSERT_GE(body->SetChild(&impostor, 0, -1), 0);
    scene.RunFrames(1);
    EXPECT_TRUE(SameMatrix(body->GetMatrix(), IdentityMatrix()));
}

TEST(EmptyBody, OutputsItsStartMatrixAndBuildsNothing)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("body", MakeItem(kShapeBox), Translation(0, 2, 0));
    scene.RunFrames(1);
    ASSERT_NE(body->GetBodyID(), nullptr);
    body->RemoveGeometryItem(0);
    scene.RunFrames(1);
    // Removal does not release: the body runs on, but its pose is read from a first item that is gone.
    EXPECT_TRUE(SameMatrix(body->GetOldMatrix(), IdentityMatrix()));
    body->Release();
    scene.RunFrames(1);
    EXPECT_EQ(body->GetBodyID(), nullptr);
    EXPECT_TRUE(SameMatrix(body->GetOldMatrix(), Translation(0, 2, 0)));
}

} // namespace
} // namespace vex::test
