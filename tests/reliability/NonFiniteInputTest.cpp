// Non-finite input never reaches ODE (which stops the process on some of it): a body with such input builds
// nothing, holds its last finite output, says so once and starts again when the input is finite; a body
// whose own motion overflows is reset to its start position.
#include "body/BodySoundness.h"
#include "siblings/collisionobject/Tvc_DX8_CollisionObject.h"
#include "tests/body/BodyScene.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>
#include <limits>
#include <random>

namespace vex::test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool SameMatrix(const D3DXMATRIX& a, const D3DXMATRIX& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

bool Finite(const D3DXMATRIX& m)
{
    for (float v : m.m[0])
        if (!std::isfinite(v))
            return false;
    for (int r = 1; r < 4; ++r)
        for (float v : m.m[r])
            if (!std::isfinite(v))
                return false;
    return true;
}

int CountContaining(const std::vector<std::string>& messages, const char* text)
{
    int count = 0;
    for (const std::string& m : messages)
        count += m.find(text) != std::string::npos ? 1 : 0;
    return count;
}

constexpr const char* kInputMessage = "not a finite number or is out of range; the body is not simulated";
constexpr const char* kResetMessage = "it is reset to its start position";

/// A falling body (one item of `kind`) with its start matrix, enable value and damping setting at hand.
struct FallingBody {
    explicit FallingBody(uint8_t kind = kShapeBox)
    {
        body = scene.AddBody("body", MakeItem(kind), Translation(0, 5, 0));
        start = static_cast<Tvc_MatrixChannel*>(body->GetChild(0));
    }
    int Geoms() { return dSpaceGetNumGeoms(scene.world->GetSpace()); }

    BodyScene scene;
    Tvc_ODE_BodyCollision* body = nullptr;
    Tvc_MatrixChannel* start = nullptr;
};

/// One kind of bad input: `spoil` writes the value v into it, `mend` puts a finite value back.
struct InputCase {
    const char* name;
    uint8_t kind;
    std::function<void(FallingBody&, float v)> spoil;
    std::function<void(FallingBody&)> mend;
};

D3DXMATRIX WithEntry(int row, int column, float v)
{
    D3DXMATRIX m = Translation(0, 5, 0);
    m.m[row][column] = v;
    return m;
}

ODE_GeometryItem& Item(FallingBody& f) { return *f.body->GetGeometryItem(0); }

const InputCase kInputCases[] = {
    {"StartTranslation", kShapeBox, [](FallingBody& f, float v) { f.start->SetMatrix(WithEntry(3, 1, v)); },
     [](FallingBody& f) { f.start->SetMatrix(Translation(0, 5, 0)); }},
    {"StartRotation", kShapeBox, [](FallingBody& f, float v) { f.start->SetMatrix(WithEntry(0, 1, v)); },
     [](FallingBody& f) { f.start->SetMatrix(Translation(0, 5, 0)); }},
    {"StartLastColumn", kShapeBox, [](FallingBody& f, float v) { f.start->SetMatrix(WithEntry(3, 3, v)); },
     [](FallingBody& f) { f.start->SetMatrix(Translation(0, 5, 0)); }},
    // Every entry finite, but the row's length (the body's scale) is beyond float range.
    {"StartScaleOverflow", kShapeBox,
     [](FallingBody& f, float) {
         D3DXMATRIX m = Translation(0, 5, 0);
         m._11 = m._12 = 3e38f;
         f.start->SetMatrix(m);
     },
     [](FallingBody& f) { f.start->SetMatrix(Translation(0, 5, 0)); }},
    {"BoxSize", kShapeBox, [](FallingBody& f, float v) { Item(f).size.y = v; },
     [](FallingBody& f) { Item(f).size.y = 1; }},
    // Finite size times finite scale overflows.
    {"BoxSizeTimesScale", kShapeBox,
     [](FallingBody& f, float) {
         Item(f).size.x = 3e38f;
         D3DXMATRIX m = Translation(0, 5, 0);
         m._11 = 2;
         f.start->SetMatrix(m);
     },
     [](FallingBody& f) {
         Item(f).size.x = 1;
         f.start->SetMatrix(Translation(0, 5, 0));
     }},
    {"Mass", kShapeBox, [](FallingBody& f, float v) { Item(f).massValue = v; },
     [](FallingBody& f) { Item(f).massValue = 5; }},
    {"SphereRadius", kShapeSphere, [](FallingBody& f, float v) { Item(f).radius = v; },
     [](FallingBody& f) { Item(f).radius = 1; }},
    {"Offset", kShapeBox, [](FallingBody& f, float v) { Item(f).offset.z = v; },
     [](FallingBody& f) { Item(f).offset.z = 0; }},
    {"Rotation", kShapeSphere, [](FallingBody& f, float v) { Item(f).rotation.x = v; },
     [](FallingBody& f) { Item(f).rotation.x = 0; }},
    {"DampingValue", kShapeBox, [](FallingBody& f, float v) { f.body->SetAngularVelocityDampenValue(v); },
     [](FallingBody& f) { f.body->SetAngularVelocityDampenValue(0.5f); }},
    {"DampingFactor", kShapeBox,
     [](FallingBody& f, float v) {
         f.body->SetAngularVelocityDampenValue(0.5f);
         f.body->dampingFactorChannel->SetReal(v);
     },
     [](FallingBody& f) { f.body->dampingFactorChannel->SetReal(1); }},
};

struct InputParam {
    const InputCase* input;
    float value;
};

void PrintTo(const InputParam& p, std::ostream* os) { *os << p.input->name << " = " << p.value; }
void PrintTo(const struct MotionCase& c, std::ostream* os);

std::string ParamName(const testing::TestParamInfo<InputParam>& info)
{
    const float v = info.param.value;
    return std::string(info.param.input->name) + (std::isnan(v) ? "NaN" : v > 0 ? "PlusInf" : "MinusInf");
}

std::vector<InputParam> AllInputParams()
{
    std::vector<InputParam> params;
    for (const InputCase& c : kInputCases)
        for (float v : {kNaN, kInf, -kInf})
            params.push_back({&c, v});
    return params;
}

class NonFiniteInput : public testing::TestWithParam<InputParam> {};

TEST_P(NonFiniteInput, RunningBodyStopsHoldsItsLastPoseReportsOnceAndRecovers)
{
    const InputParam& p = GetParam();
    FallingBody f(p.input->kind);
    f.scene.RunFrames(10);
    ASSERT_NE(f.body->GetBodyID(), nullptr);
    const D3DXMATRIX lastGood = f.body->GetOldMatrix();
    EXPECT_LT(lastGood._42, 5.0f); // it has been falling
    const size_t messagesBefore = f.scene.messages.size();

    p.input->spoil(f, p.value);
    f.scene.RunFrames(30);
    EXPECT_EQ(f.body->GetBodyID(), nullptr);
    EXPECT_FALSE(f.body->initialised);
    EXPECT_EQ(f.Geoms(), 0);
    EXPECT_TRUE(SameMatrix(f.body->GetOldMatrix(), lastGood));
    EXPECT_TRUE(SameMatrix(f.body->GetMatrix(), lastGood));
    EXPECT_EQ(CountContaining(f.scene.messages, kInputMessage), 1);
    EXPECT_EQ(f.scene.messages.size(), messagesBefore + 1);

    p.input->mend(f);
    f.scene.RunFrames(1);
    ASSERT_NE(f.body->GetBodyID(), nullptr);
    EXPECT_EQ(f.Geoms(), 1);
    // Started afresh at the start matrix: one step of fall below it at most.
    const D3DXMATRIX restarted = f.body->GetOldMatrix();
    EXPECT_TRUE(Finite(restarted));
    EXPECT_NEAR(restarted._42, 5.0f, 0.01f);
    f.scene.RunFrames(20);
    EXPECT_LT(f.body->GetOldMatrix()._42, restarted._42);
    EXPECT_TRUE(Finite(f.body->GetOldMatrix()));
    EXPECT_EQ(f.scene.messages.size(), messagesBefore + 1);

    // A new fault after the recovery is reported again.
    p.input->spoil(f, p.value);
    f.scene.RunFrames(3);
    EXPECT_EQ(CountContaining(f.scene.messages, kInputMessage), 2);
    EXPECT_EQ(f.body->GetBodyID(), nullptr);
}

TEST_P(NonFiniteInput, BodyBadFromTheStartOutputsIdentityAndBuildsNothing)
{
    const InputParam& p = GetParam();
    FallingBody f(p.input->kind);
    p.input->spoil(f, p.value);
    f.scene.RunFrames(5);
    EXPECT_EQ(f.body->GetBodyID(), nullptr);
    EXPECT_EQ(f.Geoms(), 0);
    EXPECT_TRUE(SameMatrix(f.body->GetOldMatrix(), IdentityMatrix()));
    EXPECT_EQ(CountContaining(f.scene.messages, kInputMessage), 1);

    // Building by hand is refused as well.
    f.body->InitializeBody();
    EXPECT_FALSE(f.body->initialised);
    EXPECT_EQ(f.Geoms(), 0);

    p.input->mend(f);
    f.scene.RunFrames(1);
    EXPECT_NE(f.body->GetBodyID(), nullptr);
    EXPECT_NEAR(f.body->GetOldMatrix()._42, 5.0f, 0.01f);
}

INSTANTIATE_TEST_SUITE_P(AllInputs, NonFiniteInput, testing::ValuesIn(AllInputParams()), ParamName);

TEST(NonFiniteSavedItem, LoadsAndWaitsWithOneMessageUntilTheValueIsMended)
{
    const std::string path = testing::TempDir() + "nonfinite-item-" + std::to_string(::getpid()) + ".vxp";
    {
        FallingBody f;
        Item(f).massValue = kNaN;
        Item(f).offset.x = kInf;
        std::string error;
        ASSERT_TRUE(f.scene.host.SaveProject(path, &error)) << error;
    }
    BodyScene scene(false);
    std::string error;
    ASSERT_TRUE(scene.host.LoadProject(path, &error)) << error;
    std::remove(path.c_str());
    auto* body = static_cast<Tvc_ODE_BodyCollision*>(scene.host.FindChannel("body"));
    ASSERT_NE(body, nullptr);
    scene.world = static_cast<Tvc_ODE_World*>(scene.host.FindChannel("world"));
    ASSERT_NE(scene.world, nullptr);
    EXPECT_TRUE(std::isnan(body->GetGeometryItem(0)->massValue)); // kept as saved: the user mends it
    scene.RunFrames(10);
    EXPECT_EQ(body->GetBodyID(), nullptr);
    EXPECT_TRUE(SameMatrix(body->GetOldMatrix(), IdentityMatrix()));
    EXPECT_EQ(CountContaining(scene.messages, kInputMessage), 1);
    EXPECT_EQ(scene.messages.size(), 1u);

    body->GetGeometryItem(0)->massValue = 5;
    body->GetGeometryItem(0)->offset.x = 0;
    scene.RunFrames(10);
    ASSERT_NE(body->GetBodyID(), nullptr);
    EXPECT_LT(body->GetOldMatrix()._42, 5.0f);
    EXPECT_GT(body->GetOldMatrix()._42, 4.0f);
}

TEST(NonFiniteStaticBody, ReleasesItsGeomsWhileTheStartMatrixIsBadAndFollowsItAgainAfterwards)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("floor", MakeItem(kShapeBox), Translation(1, 0, 0));
    body->SetIfUseDynamics(false);
    auto* start = static_cast<Tvc_MatrixChannel*>(body->GetChild(0));
    scene.RunFrames(2);
    ASSERT_EQ(dSpaceGetNumGeoms(scene.world->GetSpace()), 1);

    start->SetMatrix(WithEntry(3, 0, kNaN));
    scene.RunFrames(5);
    EXPECT_EQ(dSpaceGetNumGeoms(scene.world->GetSpace()), 0);
    EXPECT_TRUE(SameMatrix(body->GetOldMatrix(), Translation(1, 0, 0)));
    EXPECT_EQ(CountContaining(scene.messages, kInputMessage), 1);

    start->SetMatrix(Translation(2, 0, 0));
    scene.RunFrames(1);
    ASSERT_EQ(dSpaceGetNumGeoms(scene.world->GetSpace()), 1);
    const dReal* p = dGeomGetPosition(body->GetGeometryItem(0)->geom);
    EXPECT_DOUBLE_EQ(p[0], 2.0);
    EXPECT_TRUE(SameMatrix(body->GetOldMatrix(), Translation(2, 0, 0)));
}

TEST(NonFiniteStaticBody, PlacingGeomsByHandIgnoresABadStartMatrix)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("floor", MakeItem(kShapeBox), Translation(1, 0, 0));
    body->SetIfUseDynamics(false);
    scene.RunFrames(1);
    static_cast<Tvc_MatrixChannel*>(body->GetChild(0))->SetMatrix(WithEntry(1, 1, kInf));
    body->UpdateGeometryPositions();
    const dReal* p = dGeomGetPosition(body->GetGeometryItem(0)->geom);
    EXPECT_DOUBLE_EQ(p[0], 1.0);
    EXPECT_TRUE(SameMatrix(body->GetOldMatrix(), Translation(1, 0, 0)));
}

TEST(NonFiniteWithoutWorld, PassesOnlyFiniteStartMatricesThrough)
{
    BodyScene scene(false);
    Tvc_ODE_BodyCollision* body = scene.AddBody("body");
    Tvc_MatrixChannel* start = scene.AddStart(body, Translation(1, 2, 3));
    // Evaluated directly: the host would add a world for the body's dependency on its first frame.
    scene.host.AdvanceFrame();
    EXPECT_TRUE(SameMatrix(body->GetMatrix(), Translation(1, 2, 3)));
    start->SetMatrix(WithEntry(3, 2, kNaN));
    scene.host.AdvanceFrame();
    EXPECT_TRUE(SameMatrix(body->GetMatrix(), Translation(1, 2, 3)));
}

TEST(NonFiniteDisabledBody, FollowsItsStartMatrixOnlyWhileItIsFinite)
{
    FallingBody f;
    Tav_ValueInterface* enable = f.scene.AddEnable(f.body, 0.0f);
    f.start->SetMatrix(Translation(0, 7, 0));
    f.scene.RunFrames(2);
    EXPECT_TRUE(SameMatrix(f.body->GetOldMatrix(), Translation(0, 7, 0)));
    f.start->SetMatrix(WithEntry(3, 0, kInf));
    f.scene.RunFrames(2);
    EXPECT_TRUE(SameMatrix(f.body->GetOldMatrix(), Translation(0, 7, 0)));
    enable->SetReal(1.0f);
    f.scene.RunFrames(2);
    EXPECT_EQ(f.body->GetBodyID(), nullptr);
    EXPECT_EQ(CountContaining(f.scene.messages, kInputMessage), 1);
}

// --- Finite but degenerate start matrices ------------------------------------------------------------

struct DegenerateCase {
    const char* name;
    D3DXMATRIX start;
};

D3DXMATRIX Rows(D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c)
{
    return D3DXMATRIX(a.x, a.y, a.z, 0, b.x, b.y, b.z, 0, c.x, c.y, c.z, 0, 1, 4, 2, 1);
}

const DegenerateCase kDegenerateCases[] = {
    // An object scaled to nothing along one axis, or along all: ODE cannot make a rotation of such rows.
    {"ZeroFirstRow", Rows({0, 0, 0}, {0, 1, 0}, {0, 0, 1})}, {"ZeroSecondRow", Rows({1, 0, 0}, {0, 0, 0}, {0, 0, 1})},
    {"AllZero", Rows({0, 0, 0}, {0, 0, 0}, {0, 0, 0})},      {"ParallelRows", Rows({1, 0, 0}, {2, 0, 0}, {0, 0, 1})},
    {"FlatColumns", Rows({1, 1, 0}, {1, 1, 0}, {0, 0, 1})},
};

void PrintTo(const DegenerateCase& c, std::ostream* os) { *os << c.name; }

class DegenerateStart : public testing::TestWithParam<DegenerateCase> {};

TEST_P(DegenerateStart, BodyStartsAtItsTranslationAndKeepsTheScaleInItsOutput)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* body = scene.AddBody("body", MakeItem(kShapeSphere), GetParam().start);
    body->SetIfDisableForces(true); // placed at the start matrix every frame
    scene.RunFrames(3);
    ASSERT_NE(body->GetBodyID(), nullptr);
    const D3DXMATRIX out = body->GetOldMatrix();
    EXPECT_TRUE(Finite(out));
    EXPECT_NEAR(out._41, 1.0f, 1e-5f);
    EXPECT_NEAR(out._42, 4.0f, 1e-5f);
    EXPECT_NEAR(out._43, 2.0f, 1e-5f);
    // A zero row of the input stays a zero row of the output.
    for (int r = 0; r < 3; ++r) {
        const D3DXVECTOR3 in(GetParam().start.m[r][0], GetParam().start.m[r][1], GetParam().start.m[r][2]);
        const D3DXVECTOR3 row(out.m[r][0], out.m[r][1], out.m[r][2]);
        EXPECT_NEAR(D3DXVec3Length(&row), D3DXVec3Length(&in), 1e-5f) << "row " << r;
    }
    const dReal* q = dBodyGetQuaternion(body->GetBodyID());
    EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-9);
    EXPECT_TRUE(scene.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Matrices, DegenerateStart, testing::ValuesIn(kDegenerateCases),
                         [](const testing::TestParamInfo<DegenerateCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(PlaceableRotation, LeavesRotationsAsTheyAreAndMakesAnyOtherRowsARotation)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> angle(-4, 4);
    std::uniform_int_distribution<int> pick(0, 7);
    for (int n = 0; n < 2000; ++n) {
        ODE_GeometryItem item;
        item.rotation = D3DXVECTOR3(angle(random), angle(random), angle(random));
        const D3DXMATRIX m = item.GetRotationMatrix();
        dReal R[12];
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                R[4 * r + c] = m.m[c][r];
            R[4 * r + 3] = 0;
        }
        dReal original[12];
        std::memcpy(original, R, sizeof R);
        vex::body::MakePlaceableRotation(R);
        for (int i = 0; i < 12; ++i)
            ASSERT_NEAR(R[i], original[i], 1e-6) << "case " << n;

        // Spoil it: zero some rows, copy one onto another.
        const int how = pick(random);
        if (how & 1)
            R[0] = R[1] = R[2] = 0;
        if (how & 2)
            std::memcpy(R + 4, R + 8, 3 * sizeof(dReal));
        if (how & 4)
            R[8] = R[9] = R[10] = 0;
        vex::body::MakePlaceableRotation(R);
        const dReal* a = R;
        const dReal* b = R + 4;
        const dReal* c = R + 8;
        auto dot = [](const dReal* u, const dReal* v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; };
        EXPECT_NEAR(dot(a, a), 1, 1e-9);
        EXPECT_NEAR(dot(b, b), 1, 1e-9);
        EXPECT_NEAR(dot(c, c), 1, 1e-9);
        EXPECT_NEAR(dot(a, b), 0, 1e-9);
        EXPECT_NEAR(dot(a, c), 0, 1e-9);
        // Right-handed: the third row is the cross product of the first two.
        EXPECT_NEAR(c[0], a[1] * b[2] - a[2] * b[1], 1e-9);
    }
}

// --- The body's own motion overflowing ----------------------------------------------------------------

struct MotionCase {
    const char* name;
    std::function<void(dBodyID)> spoil;
};

const MotionCase kMotionCases[] = {
    // One step turns this torque into a quaternion that overflows to zero, which ODE cannot normalise.
    {"ExtremeTorque", [](dBodyID b) { dBodyAddTorque(b, 1e308, 1e308, 0); }},
    {"InfiniteForce", [](dBodyID b) { dBodyAddForce(b, 0, std::numeric_limits<double>::infinity(), 0); }},
    {"NaNAngularVelocity", [](dBodyID b) { dBodySetAngularVel(b, std::nan(""), 0, 0); }},
    {"InfiniteLinearVelocity", [](dBodyID b) { dBodySetLinearVel(b, -std::numeric_limits<double>::infinity(), 0, 0); }},
    {"NaNPosition", [](dBodyID b) { dBodySetPosition(b, 0, std::nan(""), 0); }},
    {"HugeVelocity", [](dBodyID b) { dBodySetLinearVel(b, 1e300, 0, 0); }},
};

void PrintTo(const MotionCase& c, std::ostream* os) { *os << c.name; }

class OverflowingMotion : public testing::TestWithParam<MotionCase> {};

TEST_P(OverflowingMotion, IsResetToTheStartPositionWithOneMessage)
{
    FallingBody f;
    f.scene.RunFrames(20);
    ASSERT_NE(f.body->GetBodyID(), nullptr);
    GetParam().spoil(f.body->GetBodyID());
    f.scene.RunFrames(1);
    const D3DXMATRIX reset = f.body->GetOldMatrix();
    EXPECT_TRUE(Finite(reset));
    EXPECT_NEAR(reset._42, 5.0f, 1e-4f);
    EXPECT_NEAR(reset._41, 0.0f, 1e-4f);
    const D3DXVECTOR3 w = f.body->GetAngularVelocityVector();
    EXPECT_TRUE(std::isfinite(w.x) && std::isfinite(w.y) && std::isfinite(w.z));
    f.scene.RunFrames(30);
    EXPECT_TRUE(Finite(f.body->GetOldMatrix()));
    EXPECT_LT(f.body->GetOldMatrix()._42, reset._42); // falling again
    EXPECT_EQ(CountContaining(f.scene.messages, kResetMessage), 1);

    // The same fault in every frame is still reported once.
    for (int i = 0; i < 10; ++i) {
        GetParam().spoil(f.body->GetBodyID());
        f.scene.RunFrames(1);
        EXPECT_TRUE(Finite(f.body->GetOldMatrix()));
    }
    EXPECT_EQ(CountContaining(f.scene.messages, kResetMessage), 1);
}

INSTANTIATE_TEST_SUITE_P(AllFaults, OverflowingMotion, testing::ValuesIn(kMotionCases),
                         [](const testing::TestParamInfo<MotionCase>& info) { return std::string(info.param.name); });

TEST(OverflowingMotion, IsReportedAgainAfterTheBodyRanSoundForASecond)
{
    FallingBody f;
    f.scene.RunFrames(2);
    dBodySetAngularVel(f.body->GetBodyID(), std::nan(""), 0, 0);
    f.scene.RunFrames(70);
    dBodySetAngularVel(f.body->GetBodyID(), std::nan(""), 0, 0);
    f.scene.RunFrames(1);
    EXPECT_EQ(CountContaining(f.scene.messages, kResetMessage), 2);
}

TEST(WorldStep, LeavesOutBodiesItCannotStepAndStepsTheOthers)
{
    // Bodies that no channel evaluates before the step: the world alone must keep ODE from stopping.
    BodyScene scene;
    Tvc_ODE_BodyCollision* bad = scene.AddBody("bad", MakeItem(kShapeBox), Translation(0, 5, 0));
    Tvc_ODE_BodyCollision* good = scene.AddBody("good", MakeItem(kShapeBox), Translation(0, 5.5f, 0));
    // Overlapping the bad one: a contact between them would wake the bad body and step it after all.
    scene.host.AdvanceFrame();
    bad->GetMatrix();
    good->GetMatrix();
    dBodyAddTorque(bad->GetBodyID(), 1e308, 1e308, 0);
    for (int i = 0; i < 5; ++i)
        scene.world->Step();
    // No contact pushed the good body up: it fell freely for five steps.
    const double fall = 0.5 * 9.81 * std::pow(5.0 / 60.0, 2);
    EXPECT_NEAR(dBodyGetPosition(good->GetBodyID())[1], 5.5 - fall, 0.02);
    EXPECT_DOUBLE_EQ(dBodyGetTorque(bad->GetBodyID())[0], 1e308); // untouched, left for its channel
    EXPECT_TRUE(dBodyIsEnabled(bad->GetBodyID()));
    EXPECT_EQ(CountContaining(scene.messages, "ODE World: a body's motion is not a finite number"), 1);

    // Its channel puts it back at the next frame; the overlapping pair then collides as usual.
    scene.RunFrames(1);
    EXPECT_TRUE(Finite(bad->GetOldMatrix()));
    EXPECT_EQ(CountContaining(scene.messages, kResetMessage), 1);
}

// --- Extreme finite values -------------------------------------------------------------------------------

/// Finite floats across the whole range: zero, denormals, tiny, ordinary and near the largest, either sign.
float ExtremeFloat(std::mt19937& random)
{
    static const float magnitudes[] = {0.0f, 1e-45f, 1e-38f, 1e-20f, 1e-6f, 0.5f,
                                       1.0f, 3.0f,   1e6f,   1e20f,  1e30f, 3.4e38f};
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(magnitudes)) - 1);
    std::uniform_real_distribution<float> jitter(0.5f, 1.0f);
    std::bernoulli_distribution negative(0.25);
    const float v = magnitudes[pick(random)] * jitter(random);
    return negative(random) ? -v : v;
}

TEST(ExtremeFiniteInput, NeverStopsTheProcessAndEveryOutputStaysFinite)
{
    std::mt19937 random(2024);
    int frames = 0, resets = 0, held = 0, built = 0;
    std::bernoulli_distribution often(0.5);
    std::bernoulli_distribution sometimes(0.2);
    for (int n = 0; n < 500; ++n) {
        BodyScene scene;
        Tvc_ODE_BodyCollision* floor = scene.AddBody("floor", MakeItem(kShapeBox), Translation(0, -0.5f, 0));
        floor->GetGeometryItem(0)->size = D3DXVECTOR3(20, 1, 20);
        floor->SetIfUseDynamics(false);
        std::vector<Tvc_ODE_BodyCollision*> bodies;
        for (int b = 0; b < 3; ++b) {
            D3DXMATRIX start = Translation(0, 2, 0);
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 3; ++c)
                    if (sometimes(random))
                        start.m[r][c] = ExtremeFloat(random);
            Tvc_ODE_BodyCollision* body = scene.AddBody("b" + std::to_string(b), MakeItem(kShapeBox), start);
            for (int i = 0; i < 2; ++i) {
                if (i == 1)
                    body->AddGeometryItem();
                ODE_GeometryItem& item = *body->GetGeometryItem(i);
                item.kind = often(random) ? kShapeBox : kShapeSphere;
                float* fields[] = {&item.massValue,  &item.radius,     &item.size.x,    &item.size.y,
                                   &item.size.z,     &item.offset.x,   &item.offset.y,  &item.offset.z,
                                   &item.rotation.x, &item.rotation.y, &item.rotation.z};
                for (float* field : fields)
                    if (sometimes(random))
                        *field = ExtremeFloat(random);
            }
            if (sometimes(random))
                body->SetAngularVelocityDampenValue(ExtremeFloat(random));
            body->SetIfDisableForces(sometimes(random));
            body->SetIfDynamicDisableForces(often(random));
            bodies.push_back(body);
        }
        if (sometimes(random))
            scene.world->SetGravity(D3DXVECTOR3(ExtremeFloat(random), ExtremeFloat(random), 0));
        if (sometimes(random))
            scene.world->SetStepSize(std::fabs(ExtremeFloat(random))); // refused above one second
        for (int f = 0; f < 8; ++f) {
            ++frames;
            scene.RunFrames(1);
            // A step may still overflow a body (huge gravity or step size); its channel resets it at its
            // next evaluation, so only the outputs are checked here.
            for (Tvc_ODE_BodyCollision* body : bodies)
                ASSERT_TRUE(Finite(body->GetOldMatrix())) << "scene " << n << " frame " << f;
        }
        resets += CountContaining(scene.messages, kResetMessage);
        held += CountContaining(scene.messages, kInputMessage);
        for (Tvc_ODE_BodyCollision* body : bodies)
            built += body->initialised ? 1 : 0;
    }
    // The mix reaches every path: bodies built and running, bodies reset, input refused.
    EXPECT_GT(built, 300);
    EXPECT_GT(resets, 20);
    EXPECT_GT(held, 300);
    std::cout << frames << " frames; bodies built " << built << ", resets " << resets << ", refused inputs " << held
              << "\n";
}

TEST(WorldStep, BodiesFarBeyondTheSpaceTheHashCanHoldSitOutCollisionsInsteadOfStoppingTheProcess)
{
    BodyScene scene;
    // Two overlapping boxes 500,000 km out: cell numbers of the hash space would overflow there.
    Tvc_ODE_BodyCollision* far1 = scene.AddBody("far1", MakeItem(kShapeBox), Translation(5e8f, 0, 0));
    Tvc_ODE_BodyCollision* far2 = scene.AddBody("far2", MakeItem(kShapeBox), Translation(5e8f, 0.5f, 0));
    Tvc_ODE_BodyCollision* near1 = scene.AddBody("near1", MakeItem(kShapeBox), Translation(0, 0, 0));
    Tvc_ODE_BodyCollision* near2 = scene.AddBody("near2", MakeItem(kShapeBox), Translation(0, 0.5f, 0));
    scene.RunFrames(10);
    for (Tvc_ODE_BodyCollision* body : {far1, far2, near1, near2})
        EXPECT_TRUE(Finite(body->GetOldMatrix()));
    // The near pair pushed apart; the far pair fell together, untouched by each other.
    EXPECT_GT(near2->GetOldMatrix()._42 - near1->GetOldMatrix()._42, 0.9f);
    EXPECT_FLOAT_EQ(far2->GetOldMatrix()._42 - far1->GetOldMatrix()._42, 0.5f);
    // Every geom takes part again after the pass.
    for (Tvc_ODE_BodyCollision* body : {far1, far2})
        EXPECT_TRUE(dGeomIsEnabled(body->GetGeometryItem(0)->geom));
}

TEST(WorldStep, StepsLongerThanOneSecondAreRefused)
{
    BodyScene scene;
    EXPECT_TRUE(scene.world->SetStepSize(1.0f));
    EXPECT_FALSE(scene.world->SetStepSize(1.5f));
    EXPECT_FALSE(scene.world->SetStepSize(3e38f));
    EXPECT_FLOAT_EQ(scene.world->GetStepSize(), 1.0f);
}

TEST(ExtremeFiniteInput, TinyShapeWhoseInertiaCannotBeInvertedFallsWithTheDefaultMass)
{
    // A box of 1e-32 with a mass of 1e-40: its inertia's determinant underflows, so ODE's inverse would be
    // infinite and the first step would turn the rotation into NaN.
    ODE_GeometryItem speck = MakeItem(kShapeBox);
    speck.size = D3DXVECTOR3(2.7e-32f, 2.7e-32f, 2.7e-32f);
    speck.massValue = 3.4e-41f;
    FallingBody f;
    Item(f) = speck;
    f.body->SetAngularVelocityDampenValue(512);
    f.scene.RunFrames(30);
    ASSERT_NE(f.body->GetBodyID(), nullptr);
    dMass mass;
    dBodyGetMass(f.body->GetBodyID(), &mass);
    EXPECT_DOUBLE_EQ(mass.mass, 1.0); // ODE's default
    EXPECT_TRUE(Finite(f.body->GetOldMatrix()));
    EXPECT_LT(f.body->GetOldMatrix()._42, 4.0f);
    EXPECT_TRUE(f.scene.messages.empty()) << f.scene.messages.front();
}

// --- Meshes with non-finite data ----------------------------------------------------------------------

struct MeshFault {
    const char* name;
    std::function<void(Tvc_DX8_CollisionObject&)> spoil;
};

D3DXMATRIX Scaled(float s)
{
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, s, s, s);
    return m;
}

const MeshFault kMeshFaults[] = {
    {"NaNMatrix", [](Tvc_DX8_CollisionObject& o) { o.SetOwnMatrix(WithEntry(3, 1, kNaN)); }},
    {"InfiniteMatrixScale", [](Tvc_DX8_CollisionObject& o) { o.SetOwnMatrix(Scaled(kInf)); }},
    {"TinyMatrixScale", [](Tvc_DX8_CollisionObject& o) { o.SetOwnMatrix(Scaled(1e-30f)); }},
    {"NaNVertex",
     [](Tvc_DX8_CollisionObject& o) {
         o.SetTriangles({-5, 0, -5, 5, 0, -5, 0, kNaN, 5, -5, 0, -5, 0, 0, 5, 5, 0, -5});
     }},
    {"InfiniteVertex",
     [](Tvc_DX8_CollisionObject& o) {
         o.SetTriangles({-5, 0, -5, 5, 0, -5, 0, 0, kInf, -5, 0, -5, 0, 0, 5, 5, 0, -5});
     }},
};

void PrintTo(const MeshFault& c, std::ostream* os) { *os << c.name; }

class NonFiniteMesh : public testing::TestWithParam<MeshFault> {};

TEST_P(NonFiniteMesh, BodiesFallingOnItStayFinite)
{
    BodyScene scene;
    Tvc_ODE_BodyCollision* floor = scene.AddBody("floor", MakeItem(kShapeMesh), IdentityMatrix());
    auto* mesh = static_cast<Tvc_DX8_CollisionObject*>(scene.Add(guids::kCollisionObject, "mesh"));
    mesh->SetGridSource(4, 4, 10, 10);
    scene.Link(floor, mesh, 2);
    GetParam().spoil(*mesh);
    ODE_GeometryItem ball = MakeItem(kShapeSphere);
    ball.radius = 0.5f;
    Tvc_ODE_BodyCollision* sphere = scene.AddBody("sphere", ball, Translation(0.3f, 1, 0.2f));
    Tvc_ODE_BodyCollision* box = scene.AddBody("box", MakeItem(kShapeBox), Translation(-1.2f, 1, 0.7f));
    for (int i = 0; i < 120; ++i) {
        scene.RunFrames(1);
        ASSERT_TRUE(Finite(sphere->GetOldMatrix())) << "frame " << i;
        ASSERT_TRUE(Finite(box->GetOldMatrix())) << "frame " << i;
        ASSERT_TRUE(vex::body::BodyStateIsSound(sphere->GetBodyID())) << "frame " << i;
        ASSERT_TRUE(vex::body::BodyStateIsSound(box->GetBodyID())) << "frame " << i;
    }
    EXPECT_EQ(CountContaining(scene.messages, kResetMessage), 0);
}

INSTANTIATE_TEST_SUITE_P(Meshes, NonFiniteMesh, testing::ValuesIn(kMeshFaults),
                         [](const testing::TestParamInfo<MeshFault>& info) { return std::string(info.param.name); });

/// A body channel whose colliders answer with fixed records: two finite ones around a non-finite one.
class ScriptedColliders : public Tvc_ODE_BodyCollision {
public:
    unsigned long CollideSphere(dGeomID, unsigned long, dContactGeom* contacts, unsigned long skip) override
    {
        return Write(contacts, skip);
    }
    unsigned long CollideBox(dGeomID, unsigned long, dContactGeom* contacts, unsigned long skip, dGeomID) override
    {
        return Write(contacts, skip);
    }

private:
    static unsigned long Write(dContactGeom* contacts, unsigned long skip)
    {
        const double values[3] = {0.1, std::nan(""), 0.3};
        for (int i = 0; i < 3; ++i) {
            auto* c = reinterpret_cast<dContactGeom*>(reinterpret_cast<char*>(contacts) + i * skip);
            *c = dContactGeom{};
            c->pos[0] = i;
            c->normal[1] = 1;
            c->depth = values[i];
        }
        return 3;
    }
};

TEST(NonFiniteContacts, RecordsFromTheMeshCollidersThatAreNotFiniteAreDropped)
{
    BodyScene scene;
    ScriptedColliders colliders;
    dGeomID mesh = scene.world->CreateMeshGeom(&colliders);
    dGeomID sphere = dCreateSphere(nullptr, 1);
    dGeomID box = dCreateBox(nullptr, 1, 1, 1);
    for (dGeomID shape : {sphere, box}) {
        dContactGeom contacts[8];
        const int count = dCollide(mesh, shape, 8, contacts, sizeof(dContactGeom));
        ASSERT_EQ(count, 2);
        EXPECT_DOUBLE_EQ(contacts[0].depth, 0.1);
        EXPECT_DOUBLE_EQ(contacts[1].depth, 0.3);
        EXPECT_DOUBLE_EQ(contacts[1].pos[0], 2.0);
        EXPECT_EQ(contacts[1].g1, mesh);
        EXPECT_EQ(contacts[1].g2, shape);
    }
    dGeomDestroy(sphere);
    dGeomDestroy(box);
    dSpaceRemove(scene.world->GetSpace(), mesh);
    dGeomDestroy(mesh);
}

// --- ODE's own messages --------------------------------------------------------------------------------

TEST(OdeMessages, WarningsReachTheUserThroughTheHostOfTheNewestWorld)
{
    {
        BodyScene scene;
        dMessage(7, "contact %s", "lost");
        ASSERT_EQ(scene.messages.size(), 1u);
        EXPECT_EQ(scene.messages[0], "ODE: contact lost 7");
    }
    // With that world gone the handler must not reach its host any more (the sanitizer build would see it).
    testing::internal::CaptureStderr();
    dMessage(8, "after %d", 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ODE: after 1 8"), std::string::npos);
}

TEST(OdeMessagesDeathTest, AFailedInternalCheckNamesItselfBeforeTheProcessEnds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            BodyScene scene;
            dDebug(3, "check %s failed", "q");
        },
        "ODE stops the process: check q failed 3");
}

} // namespace
} // namespace vex::test
