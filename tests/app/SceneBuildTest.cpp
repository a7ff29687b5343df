#include "app/InputError.h"
#include "app/Scene.h"
#include "app/Trajectory.h"
#include "body/Tvc_ODE_BodyCollision.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_LightInterface.h"
#include "host/siblings/Tav_MeshInterface.h"
#include "host/siblings/Tav_ValueInterface.h"
#include "host/siblings/Tvc_MatrixChannel.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/world/Tvc_ODE_World.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>

namespace vex::app {
namespace {

class SceneBuild : public ::testing::Test {
protected:
    SceneBuild()
    {
        host.SetMessageSink([this](const std::string& text) { messages += text + "\n"; });
    }

    BuiltScene Build(const std::string& text) { return BuildScene(host, ParseScene(text, "t.json")); }

    /// The InputError that building the scene raises (fails the test when it builds).
    InputError BuildError(const std::string& text)
    {
        try {
            Build(text);
        } catch (const InputError& e) {
            return e;
        }
        ADD_FAILURE() << "built: " << text;
        return InputError("", "", "");
    }

    static std::string WorldAnd(const std::string& channels)
    {
        return R"({"channels": [{"name": "world", "type": "ODE World"}, )" + channels + "]}";
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
    std::string messages;
};

TEST_F(SceneBuild, TypesResolveByNameOrGuidAndLinksConnect)
{
    const BuiltScene built = Build(WorldAnd(R"(
        {"name": "start", "type": "5b90e3c1-2a4f-4e88-9d17-60c3a8f2b5e4"},
        {"name": "on", "type": "Value", "settings": {"value": 1}},
        {"name": "box", "type": "ODE Body", "links": [{"position": 0, "channel": "start"}, {"position": 1, "channel": "on"}]})"));
    ASSERT_EQ(built.channels.size(), 4u);
    Tav_Channel* box = host.FindChannel("box");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetChild(0), host.FindChannel("start"));
    EXPECT_EQ(box->GetChild(1), host.FindChannel("on"));
    EXPECT_EQ(static_cast<Tav_ValueInterface*>(host.FindChannel("on"))->GetReal(), 1.0f);
}

// Worked example: scale 2, then 90 degrees about y, then a move by (1, 2, 3) takes the point (1, 0, 0)
// to (0, 0, -2) + (1, 2, 3) = (1, 2, 1).
TEST_F(SceneBuild, MatrixFromPositionRotationAndScale)
{
    Build(R"({"channels": [{"name": "m", "type": "Matrix",
              "settings": {"matrix": {"position": [1, 2, 3], "rotation": [0, 90, 0], "scale": 2}}}]})");
    const D3DXMATRIX m = static_cast<Tvc_MatrixChannel*>(host.FindChannel("m"))->GetMatrix();
    D3DXVECTOR3 point(1, 0, 0), out;
    D3DXVec3TransformCoord(&out, &point, &m);
    EXPECT_NEAR(out.x, 1.0f, 1e-5f);
    EXPECT_NEAR(out.y, 2.0f, 1e-5f);
    EXPECT_NEAR(out.z, 1.0f, 1e-5f);
}

TEST_F(SceneBuild, MatrixFromSixteenNumbersIsTakenAsRows)
{
    Build(R"({"channels": [{"name": "m", "type": "Matrix",
              "settings": {"matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 4,5,6,1]}}]})");
    const D3DXMATRIX m = static_cast<Tvc_MatrixChannel*>(host.FindChannel("m"))->GetMatrix();
    EXPECT_EQ(m._41, 4.0f);
    EXPECT_EQ(m._42, 5.0f);
    EXPECT_EQ(m._43, 6.0f);
}

TEST_F(SceneBuild, BodyAndWorldSettingsReachTheChannels)
{
    const BuiltScene built = Build(R"({"channels": [
        {"name": "world", "type": "ODE World", "settings": {"stepSize": 0.01, "gravity": [0, -3, 0], "solverIterations": 7}},
        {"name": "b", "type": "ODE Body", "settings": {"angularDamping": 0.5, "autoRest": true, "items": [
            {"shape": "sphere", "radius": 0.5, "mass": 2, "name": "left", "offset": [-1, 0, 0], "rotation": [10, 20, 30], "friction": 0.9},
            {"shape": "sphere", "radius": 0.5, "mass": 2, "offset": [1, 0, 0], "rotation": [10, 20, 30], "bounce": 0.3}]}}]})");
    EXPECT_DOUBLE_EQ(built.frameSeconds, 0.01f);
    auto* world = static_cast<Tvc_ODE_World*>(host.FindChannel("world"));
    EXPECT_EQ(world->GetGravity(), D3DXVECTOR3(0, -3, 0));
    EXPECT_EQ(world->GetSolverIterations(), 7);
    auto* body = static_cast<Tvc_ODE_BodyCollision*>(host.FindChannel("b"));
    EXPECT_EQ(body->GetAngularVelocityDampenValue(), 0.5f);
    EXPECT_TRUE(body->GetIfDynamicDisableForces());
    ASSERT_EQ(body->GetGeometryCount(), 2);
    const ODE_GeometryItem* left = body->GetGeometryItem(0);
    const ODE_GeometryItem* right = body->GetGeometryItem(1);
    EXPECT_EQ(left->kind, kShapeSphere);
    EXPECT_STREQ(left->name, "left");
    EXPECT_EQ(left->auxValue1, 0.9f);
    EXPECT_EQ(right->offset, D3DXVECTOR3(1, 0, 0));
    EXPECT_EQ(right->auxValue2, 0.3f);
    // Stored as (about y, about x, about z) in radians.
    const float r = std::numbers::pi_v<float> / 180.0f;
    EXPECT_FLOAT_EQ(right->rotation.x, 20 * r);
    EXPECT_FLOAT_EQ(right->rotation.y, 10 * r);
    EXPECT_FLOAT_EQ(right->rotation.z, 30 * r);
}

struct BadBuild {
    const char* label;
    std::string channels; ///< after the world channel
    const char* field;
    const char* problem;
};

std::ostream& operator<<(std::ostream& out, const BadBuild& c) { return out << c.label; }

class SceneBuildRejects : public SceneBuild, public ::testing::WithParamInterface<BadBuild> {};

TEST_P(SceneBuildRejects, WithFieldAndProblem)
{
    const InputError e = BuildError(WorldAnd(GetParam().channels));
    EXPECT_EQ(e.File(), "t.json");
    EXPECT_EQ(e.Field(), GetParam().field);
    EXPECT_NE(e.Problem().find(GetParam().problem), std::string::npos) << e.what();
}

const BadBuild kBadBuilds[] = {
    {"UnknownType", R"({"name": "x", "type": "Banana"})", "channels[1].type", "unknown channel type \"Banana\""},
    {"UnknownGuid", R"({"name": "x", "type": "01234567-89AB-CDEF-0123-456789ABCDEF"})", "channels[1].type",
     "unknown channel type"},
    {"UnknownMatrixSetting", R"({"name": "m", "type": "Matrix", "settings": {"matrx": [1]}})",
     "channels[1].settings.matrx", "unknown field"},
    {"MatrixFifteenNumbers",
     R"({"name": "m", "type": "Matrix", "settings": {"matrix": [1,2,3,4,5,6,7,8,9,10,11,12,13,14,15]}})",
     "channels[1].settings.matrix", "an array of 15"},
    {"MatrixElementText", R"({"name": "m", "type": "Matrix", "settings": {"matrix": {"position": [0, "up", 0]}}})",
     "channels[1].settings.matrix.position[1]", "expected a number, found a string"},
    {"MatrixUnknownPart", R"({"name": "m", "type": "Matrix", "settings": {"matrix": {"pos": [0, 1, 0]}}})",
     "channels[1].settings.matrix.pos", "unknown field"},
    {"ValueText", R"({"name": "v", "type": "Value", "settings": {"value": "high"}})", "channels[1].settings.value",
     "expected a number, found a string"},
    {"ValueTooLarge", R"({"name": "v", "type": "Value", "settings": {"value": 1e300}})", "channels[1].settings.value",
     "out of range"},
    {"BodyFlagNotBool", R"({"name": "b", "type": "ODE Body", "settings": {"dynamic": 1}})",
     "channels[1].settings.dynamic", "expected true or false"},
    {"BodyUnknownShape", R"({"name": "b", "type": "ODE Body", "settings": {"items": [{"shape": "cone"}]}})",
     "channels[1].settings.items[0].shape", "unknown shape \"cone\""},
    {"BodyItemWithoutShape", R"({"name": "b", "type": "ODE Body", "settings": {"items": [{"mass": 1}]}})",
     "channels[1].settings.items[0].shape", "missing"},
    {"BodyNegativeSize",
     R"({"name": "b", "type": "ODE Body", "settings": {"items": [{"shape": "box", "size": [1, -1, 1]}]}})",
     "channels[1].settings.items[0].size[1]", "outside"},
    {"BodyNameTooLong",
     R"({"name": "b", "type": "ODE Body", "settings": {"items": [{"shape": "box", "name": "0123456789012345678901234567890123456789"}]}})",
     "channels[1].settings.items[0].name", "longer than 39 bytes"},
    {"BodyItemsNotArray",
     R"({"name": "w2", "type": "Matrix"}, {"name": "b", "type": "ODE Body", "settings": {"items": 5}})",
     "channels[2].settings.items", "expected an array of shapes, found a number"},
    {"SettingsOnTypeWithoutSettings", R"({"name": "k", "type": "Damping Factor", "settings": {"value": 2}})",
     "channels[1].settings.value", "unknown field"},
    {"LinkWrongType",
     R"({"name": "v", "type": "Value"}, {"name": "b", "type": "ODE Body", "links": [{"position": 0, "channel": "v"}]})",
     "channels[2].links[0]", "takes \"Matrix\""},
    {"MapSamplesNotPowerOfFour", R"({"name": "t", "type": "DX8 TextureLighting", "settings": {"samples": 8}})",
     "channels[1].settings.samples", "1, 4, 16 or 64"},
    {"MapSizeTooLarge", R"({"name": "t", "type": "DX8 TextureLighting", "settings": {"size": 100000}})",
     "channels[1].settings.size", "from 1 to 4096"},
    {"CollisionTwoSources",
     R"({"name": "c", "type": "DX8 CollisionObject", "settings": {"grid": {"cells": [1, 1], "size": [1, 1]}, "obj": "x.obj"}})",
     "channels[1].settings.grid", "only one of"},
    {"CollisionGridZeroCells",
     R"({"name": "c", "type": "DX8 CollisionObject", "settings": {"grid": {"cells": [0, 1], "size": [1, 1]}}})",
     "channels[1].settings.grid.cells[0]", "outside"},
    {"CollisionTrianglesCut",
     R"({"name": "c", "type": "DX8 CollisionObject", "settings": {"triangles": [0, 0, 0, 1, 0, 0, 0, 1]}})",
     "channels[1].settings.triangles", "nine numbers per triangle"},
    {"MeshObjMissing", R"({"name": "m", "type": "DX8 Mesh", "settings": {"obj": "no/such/file.obj"}})",
     "channels[1].settings.obj", "refused by the mesh"},
    {"MeshShapeWithoutForm", R"({"name": "m", "type": "DX8 Mesh", "settings": {"shapes": [{"offset": [0, 0, 0]}]}})",
     "channels[1].settings.shapes[0].box", "missing"},
    {"LightUnknownType", R"({"name": "l", "type": "DX8 Light", "settings": {"type": "neon"}})",
     "channels[1].settings.type", "unknown light type \"neon\""},
    {"LightZeroDirection", R"({"name": "l", "type": "DX8 Light", "settings": {"direction": [0, 0, 0]}})",
     "channels[1].settings.direction", "needs a length"},
    {"LightNegativeAttenuation", R"({"name": "l", "type": "DX8 Light", "settings": {"attenuation": [1, -0.5, 0]}})",
     "channels[1].settings.attenuation[1]", "outside"},
    {"SurfaceStageSetTooHigh", R"({"name": "s", "type": "DX8 Surface", "settings": {"stageSets": [1, 9]}})",
     "channels[1].settings.stageSets[1]", "from 0 to 7"},
    // The shadow a 3D object casts is the shadow scene's setting: the old names point there.
    {"ObjectShadowTintPointsToShadowScene",
     R"({"name": "o", "type": "DX8 3D Object", "settings": {"shadowTint": [0, 0.5, 0]}})",
     "channels[1].settings.shadowTint",
     "unknown field: a shadow's tint is set on the \"DX8 OctTree\" that links this "
     "object: \"objects\": [{\"tint\": ...}, ...]"},
    {"ObjectShadowOpacityPointsToShadowScene",
     R"({"name": "o", "type": "DX8 3D Object", "settings": {"shadowOpacity": 0.5}})",
     "channels[1].settings.shadowOpacity", "unknown field: a shadow's opacity is set on the \"DX8 OctTree\""},
    {"ObjectOtherSetting", R"({"name": "o", "type": "DX8 3D Object", "settings": {"tint": [1, 0, 0]}})",
     "channels[1].settings.tint", "unknown field"},
    {"ShadowSceneObjectOpacityAboveOne",
     R"({"name": "s", "type": "DX8 OctTree", "settings": {"objects": [{}, {"opacity": 1.5}]}})",
     "channels[1].settings.objects[1].opacity", "outside"},
    {"ShadowSceneObjectUnknownField",
     R"({"name": "s", "type": "DX8 OctTree", "settings": {"objects": [{"shadowTint": [1, 0, 0]}]}})",
     "channels[1].settings.objects[0].shadowTint", "unknown field"},
    {"LinkPositionMissing",
     R"({"name": "m", "type": "Matrix"}, {"name": "b", "type": "ODE Body", "links": [{"position": 7, "channel": "m"}]})",
     "channels[2].links[0]", "does not exist"},
};

INSTANTIATE_TEST_SUITE_P(Cases, SceneBuildRejects, ::testing::ValuesIn(kBadBuilds),
                         [](const ::testing::TestParamInfo<BadBuild>& info) { return std::string(info.param.label); });

// A mesh made of shapes places each as a body places its items: a 1 x 2 x 1 box at offset (2, 0, 0) turned
// 90 degrees about z spans x from 1 to 3 and y from -0.5 to 0.5; a sphere of radius 0.5 at (-2, 0, 0)
// reaches x = -2.5.
TEST_F(SceneBuild, MeshShapesArePlacedLikeBodyItems)
{
    Build(R"({"channels": [{"name": "m", "type": "DX8 Mesh", "settings": {"shapes": [
        {"box": [1, 2, 1], "offset": [2, 0, 0], "rotation": [0, 0, 90]},
        {"sphere": {"radius": 0.5, "slices": 8, "stacks": 4}, "offset": [-2, 0, 0]}]}}]})");
    auto* mesh = static_cast<Tav_MeshInterface*>(host.FindChannel("m"));
    ASSERT_GT(mesh->GetIndexCount(), 36);
    float low = 1e9f, high = -1e9f, boxLowY = 1e9f, boxHighY = -1e9f;
    for (int i = 0; i < mesh->GetIndexCount(); ++i) {
        D3DXVECTOR3 p;
        p = *mesh->GetVertexPosition(&p, mesh->GetVertexIndex(i));
        low = std::min(low, p.x);
        high = std::max(high, p.x);
        if (p.x > 0) {
            boxLowY = std::min(boxLowY, p.y);
            boxHighY = std::max(boxHighY, p.y);
        }
    }
    EXPECT_NEAR(low, -2.5f, 1e-5f);
    EXPECT_NEAR(high, 3.0f, 1e-5f); // the box's 2-long y edge lies along x after the turn
    EXPECT_NEAR(boxLowY, -0.5f, 1e-5f);
    EXPECT_NEAR(boxHighY, 0.5f, 1e-5f);
    EXPECT_TRUE(mesh->HasTexCoordSet(0));
}

TEST_F(SceneBuild, LightSettingsConvertDegreesAndType)
{
    Build(R"({"channels": [{"name": "l", "type": "DX8 Light", "settings": {"type": "spot", "position": [1, 2, 3],
        "direction": [0, -4, 3], "diffuse": [0.5, 0.25, 1], "theta": 30, "phi": 60, "attenuation": [1, 0.5, 0]}}]})");
    auto* light = static_cast<Tav_LightInterface*>(host.FindChannel("l"));
    D3DLIGHT8 scratch;
    const D3DLIGHT8 l = *light->GetLight(&scratch);
    EXPECT_EQ(light->GetLightType(), 1);
    EXPECT_EQ(l.Position, D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(l.Diffuse.g, 0.25f);
    EXPECT_FLOAT_EQ(l.Theta, std::numbers::pi_v<float> / 6);
    EXPECT_FLOAT_EQ(l.Phi, std::numbers::pi_v<float> / 3);
    EXPECT_EQ(l.Attenuation1, 0.5f);
    // A scene's direction of any length arrives as a unit vector: the cone test compares against unit vectors.
    EXPECT_FLOAT_EQ(l.Direction.y, -0.8f);
    EXPECT_FLOAT_EQ(l.Direction.z, 0.6f);
}

// A deferred light map is built and checked with the scene but joins the graph, and the links that lead
// to it, only when the pending channels are added.
TEST_F(SceneBuild, DeferredLightMapJoinsTheGraphLater)
{
    const Scene scene = ParseScene(R"({"channels": [
        {"name": "mesh", "type": "DX8 Mesh", "settings": {"grid": {"cells": [2, 2], "size": [4, 4]}}},
        {"name": "surface", "type": "DX8 Surface", "links": [{"position": 0, "channel": "mesh"}, {"position": 2, "channel": "map"}]},
        {"name": "object", "type": "DX8 3D Object", "links": [{"position": 1, "channel": "surface"}]},
        {"name": "map", "type": "DX8 TextureLighting", "settings": {"size": [16, 8], "samples": 4},
         "links": [{"position": 0, "channel": "object"}]}]})",
                                   "t.json");
    BuiltScene built = BuildScene(host, scene, BuildOptions{true});
    ASSERT_EQ(built.pending.size(), 1u);
    EXPECT_EQ(host.FindChannel("map"), nullptr);
    Tav_Channel* surface = host.FindChannel("surface");
    EXPECT_EQ(surface->GetChildLinkPositionCount(2), 0);
    Tav_Channel* map = built.pending[0].channel.get();
    EXPECT_EQ(map->GetChild(0), host.FindChannel("object"));
    const std::vector<Tav_Channel*> added = AddPendingChannels(host, scene, built);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0], map);
    EXPECT_EQ(host.FindChannel("map"), map);
    EXPECT_EQ(surface->GetChildFromLinkPosition(2, 0), map);
    EXPECT_NE(host.GetChannelByGuid(Guid(guids::kDevice), 0), nullptr); // light maps need a device
}

// The scenes shipped in examples/ stay valid as the settings grow.
TEST(ExampleScenes, EveryExampleBuilds)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VEX_SOURCE_DIR) + "/examples")) {
        if (entry.path().extension() != ".json")
            continue;
        Vexcore host({VEX_PLUGIN_DIR});
        host.SetMessageSink([](const std::string&) {});
        EXPECT_NO_THROW(BuildScene(host, ReadSceneFile(entry.path().string()), BuildOptions{true})) << entry.path();
        ++count;
    }
    EXPECT_GE(count, 2);
}

TEST_F(SceneBuild, BodyBeforeWorldIsRefused)
{
    const InputError e =
        BuildError(R"({"channels": [{"name": "b", "type": "ODE Body"}, {"name": "w", "type": "ODE World"}]})");
    EXPECT_EQ(e.Field(), "channels[0].type");
    EXPECT_NE(e.Problem().find("listed before it"), std::string::npos) << e.what();
}

TEST_F(SceneBuild, WorldValuesOutsideItsRangeAreRefused)
{
    const InputError e =
        BuildError(R"({"channels": [{"name": "w", "type": "ODE World", "settings": {"contactsPerPair": 500}}]})");
    EXPECT_EQ(e.Field(), "channels[0].settings.contactsPerPair");
}

// A body whose shapes put the mass centre off its origin runs: it keeps its shapes where the items put
// them, so the falling body's output matrix still starts at its start pose.
TEST_F(SceneBuild, OffCentreCompoundBodyRunsFromItsStartPose)
{
    Build(WorldAnd(R"({"name": "s", "type": "Matrix", "settings": {"matrix": {"position": [0, 5, 0]}}},
        {"name": "b", "type": "ODE Body", "settings": {"items": [
        {"shape": "box", "mass": 1}, {"shape": "sphere", "mass": 3, "offset": [1, 0, 0], "rotation": [0, 0, 30]}]},
        "links": [{"position": 0, "channel": "s"}]})"));
    host.RunFrame();
    const D3DXMATRIX m = static_cast<Tvc_MatrixChannel*>(host.FindChannel("b"))->GetMatrix();
    EXPECT_NEAR(m._41, 0.0f, 1e-5f);
    EXPECT_NEAR(m._42, 5.0f, 1e-5f);
}

// A body whose motion overflowed (and was put back at its start) or that left the world stands still, but
// the summary names it instead of counting it as at rest.
TEST_F(SceneBuild, BodiesThatBlewUpOrLeftTheWorldAreNamedNotCountedAtRest)
{
    std::string channels = R"({"name": "g", "type": "ODE World", "settings": {"gravity": [0, 0, 0]}})";
    int x = 0;
    for (const std::string name : {"calm", "boom", "far"})
        channels += R"(, {"name": ")" + name + R"(.start", "type": "Matrix", "settings": {"matrix": {"position": [)" +
                    std::to_string(x += 5) + R"(, 0, 0]}}}, {"name": ")" + name +
                    R"(", "type": "ODE Body", "links": [{"position": 0, "channel": ")" + name + R"(.start"}]})";
    Build(R"({"channels": [)" + channels + "]}");
    host.RunFrame();
    auto body = [&](const char* name) {
        return static_cast<Tvc_ODE_BodyCollision*>(host.FindChannel(name))->GetBodyID();
    };
    dBodySetLinearVel(body("boom"), 1e31, 0, 0);
    dBodySetPosition(body("far"), 0, -2e8, 0);
    host.RunFrame();
    host.RunFrame();
    const RestCount rest = CountBodiesAtRest(host);
    EXPECT_EQ(rest.dynamic, 3);
    EXPECT_EQ(rest.atRest, 1);
    EXPECT_EQ(rest.reset, std::vector<std::string>{"boom"});
    EXPECT_EQ(rest.outside, std::vector<std::string>{"far"});
}

} // namespace
} // namespace vex::app
