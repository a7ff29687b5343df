// The world channel's settings, their saved form, and when it steps.
#include "tests/body/BodyScene.h"

#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"

#include <limits>

namespace vex::test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(WorldSettings, DefaultsAreSixtyHertzEarthGravityFactorOneFourContacts)
{
    BodyScene scene;
    Tvc_ODE_World* world = scene.world;
    EXPECT_FLOAT_EQ(world->GetStepSize(), 1.0f / 60.0f);
    EXPECT_EQ(world->GetGravity(), D3DXVECTOR3(0, -9.81f, 0));
    EXPECT_EQ(world->GetWorldFactor(), 1.0f);
    EXPECT_FALSE(world->GetIfFrozen());
    EXPECT_EQ(world->GetContactsPerPair(), 4);
    EXPECT_EQ(world->GetSolverIterations(), 20);
    EXPECT_STREQ(world->GetChannelName(), "ODE World");
}

TEST(WorldSettings, SettersRefuseValuesTheSimulationCannotUse)
{
    BodyScene scene;
    Tvc_ODE_World* world = scene.world;
    EXPECT_FALSE(world->SetStepSize(0));
    EXPECT_FALSE(world->SetStepSize(-0.01f));
    EXPECT_FALSE(world->SetStepSize(kNaN));
    EXPECT_FALSE(world->SetSolverIterations(0));
    EXPECT_FALSE(world->SetContactsPerPair(0));
    EXPECT_FALSE(world->SetContactsPerPair(65));
    EXPECT_FALSE(world->SetGravity(D3DXVECTOR3(0, kNaN, 0)));
    EXPECT_FALSE(world->SetWorldFactor(-1));
    EXPECT_FLOAT_EQ(world->GetStepSize(), 1.0f / 60.0f);
    EXPECT_EQ(world->GetContactsPerPair(), 4);
    EXPECT_TRUE(world->SetStepSize(0.005f));
    EXPECT_TRUE(world->SetContactsPerPair(64));
    EXPECT_TRUE(world->SetWorldFactor(0));
}

TEST(WorldSettings, RoundTripThroughTheSavedSection)
{
    BodyScene scene;
    Tvc_ODE_World* world = scene.world;
    world->SetStepSize(0.01f);
    world->SetSolverIterations(35);
    world->SetGravity(D3DXVECTOR3(1, -3, 0.5f));
    world->SetWorldFactor(0.25f);
    world->SetIfFrozen(true);
    world->SetContactsPerPair(7);
    TavFileSaver saver;
    ASSERT_TRUE(world->SaveChannel(saver));

    auto* other = static_cast<Tvc_ODE_World*>(scene.host.CreateChannelByGuid(Guid(guids::kWorld)));
    ASSERT_NE(other, nullptr);
    TavFileLoader loader(saver.GetBytes());
    ASSERT_TRUE(other->LoadChannel(loader, nullptr));
    EXPECT_EQ(other->GetStepSize(), 0.01f);
    EXPECT_EQ(other->GetSolverIterations(), 35);
    EXPECT_EQ(other->GetGravity(), D3DXVECTOR3(1, -3, 0.5f));
    EXPECT_EQ(other->GetWorldFactor(), 0.25f);
    EXPECT_TRUE(other->GetIfFrozen());
    EXPECT_EQ(other->GetContactsPerPair(), 7);
    delete other;
}

TEST(WorldSettings, BadSavedValuesAreRefusedWithAMessage)
{
    BodyScene scene;
    std::vector<uint8_t> section;
    auto chunk = [&](const char* tag, std::vector<uint8_t> payload) {
        section.insert(section.end(), tag, tag + 4);
        const auto n = static_cast<uint32_t>(payload.size());
        for (int i = 0; i < 4; ++i)
            section.push_back(static_cast<uint8_t>(n >> (8 * i)));
        section.insert(section.end(), payload.begin(), payload.end());
    };
    chunk("WDST", {0x00, 0x00, 0x80, 0xBF}); // -1 s
    chunk("WDCP", {0x00, 0x00, 0x00, 0x80}); // a huge negative count
    chunk("WDGR", {0x00, 0x00});             // cut short
    chunk("WDWF", {0x00, 0x00, 0x00, 0x40}); // 2: fine
    TavFileLoader loader(section);
    ASSERT_TRUE(scene.world->LoadChannel(loader, nullptr));
    EXPECT_FLOAT_EQ(scene.world->GetStepSize(), 1.0f / 60.0f);
    EXPECT_EQ(scene.world->GetContactsPerPair(), 4);
    EXPECT_EQ(scene.world->GetGravity(), D3DXVECTOR3(0, -9.81f, 0));
    EXPECT_EQ(scene.world->GetWorldFactor(), 2.0f);
    EXPECT_EQ(scene.messages.size(), 3u);
}

TEST(WorldStepping, StepsOncePerFrameAfterTheBodiesHaveEvaluated)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("body", MakeItem(kShapeBox), Translation(0, 5, 0));
    scene.RunFrames(1);
    // The body was built and read at its start pose; the step came after.
    EXPECT_EQ(body->GetOldMatrix()._42, 5.0f);
    EXPECT_EQ(scene.world->GetStepCount(), 1u);
    EXPECT_LT(dBodyGetPosition(body->GetBodyID())[1], 5.0);
    scene.world->DoEvent(kTavEventFrameEnd, scene.host.GetFrameCount()); // the same frame again
    EXPECT_EQ(scene.world->GetStepCount(), 1u);
    scene.world->DoEvent(0, scene.host.GetFrameCount() + 1); // another event
    EXPECT_EQ(scene.world->GetStepCount(), 1u);
    scene.RunFrames(1);
    EXPECT_LT(body->GetOldMatrix()._42, 5.0f);
}

TEST(WorldStepping, FrozenWorldNeitherStepsNorMovesBodies)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("body", MakeItem(kShapeBox), Translation(0, 5, 0));
    scene.RunFrames(3);
    const D3DXMATRIX before = body->GetOldMatrix();
    const unsigned long steps = scene.world->GetStepCount();
    scene.world->SetIfFrozen(true);
    scene.RunFrames(5);
    EXPECT_EQ(scene.world->GetStepCount(), steps);
    EXPECT_EQ(body->GetOldMatrix(), before);
}

TEST(WorldStepping, GravityAndStepSizeSetBetweenFramesApplyToTheNextStep)
{
    BodyScene scene;
    scene.world->SetGravity(D3DXVECTOR3(2, 0, 0));
    scene.world->SetStepSize(0.5f);
    Tvc_ODE_BodyCollision* body = scene.AddBody("body", MakeItem(kShapeBox), IdentityMatrix());
    scene.RunFrames(1);
    EXPECT_NEAR(body->GetLinearVelocityVector().x, 1.0f, 1e-5f); // 2 m/s^2 for 0.5 s
}

TEST(WorldRegistration, BodiesRegisterWhileTheyLive)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* a = scene.AddBody("a");
    scene.AddBody("b");
    EXPECT_EQ(scene.world->GetRegisteredBodyCount(), 2);
    scene.host.RemoveChannel(a);
    EXPECT_EQ(scene.world->GetRegisteredBodyCount(), 1);
}

} // namespace
} // namespace vex::test
