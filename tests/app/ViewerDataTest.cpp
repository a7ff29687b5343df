#include "app/ViewerData.h"
#include "app/InputError.h"
#include "app/Scene.h"
#include "app/Viewer.h"
#include "host/Vexcore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

namespace vex::app {
namespace {

/// `frames` frames of two bodies; body "b" rises 0.5 m per frame.
std::string Csv(int frames)
{
    std::string text = "frame,time,name,x,y,z,qw,qx,qy,qz\n";
    for (int f = 0; f < frames; ++f) {
        const std::string head = std::to_string(f + 1) + "," + std::to_string(f * 0.25) + ",";
        text += head + "a,1,2,3,1,0,0,0\n";
        text += head + "b,0," + std::to_string(f * 0.5) + ",0,1,0,0,0\n";
    }
    return text;
}

nlohmann::json Frames(const std::string& csv, const std::string& file, size_t stride, const std::string& final)
{
    std::istringstream lines(csv);
    return ViewerFrames(lines, file, stride, final);
}

const char* kFinalAsLast = "frame,time,name,x,y,z,qw,qx,qy,qz\n0,0,a,1,2,3,1,0,0,0\n0,0,b,0,4.500000,0,1,0,0,0\n";

// Thinning keeps every Nth frame and always the last, whatever N does to the count.
TEST(ViewerFrames, KeepEveryNthFrameAndAlwaysTheLast)
{
    struct Case {
        size_t stride;
        std::vector<int> kept;
    };
    for (const Case& c : {Case{1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}, Case{3, {1, 4, 7, 10}}, Case{4, {1, 5, 9, 10}},
                          Case{20, {1, 10}}}) {
        const nlohmann::json t = Frames(Csv(10), "t.csv", c.stride, kFinalAsLast);
        EXPECT_EQ(t["frames"].get<std::vector<int>>(), c.kept) << "stride " << c.stride;
        ASSERT_EQ(t["poses"].size(), c.kept.size() * 2 * 7);
        // Body b of the last kept frame: y = 0.5 per frame.
        EXPECT_DOUBLE_EQ(t["poses"][(c.kept.size() - 1) * 14 + 7 + 1].get<double>(), 4.5);
        EXPECT_EQ(t["recorded"], 10);
    }
}

// A bake evaluates one frame after the recorded ones; the page must end on the poses the run ended with.
TEST(ViewerFrames, FinalPosesThatDifferFollowAsOneMoreFrame)
{
    const std::string moved = "frame,time,name,x,y,z,qw,qx,qy,qz\n0,0,a,1,2,3,1,0,0,0\n0,0,b,0,4.75,0,1,0,0,0\n";
    const nlohmann::json t = Frames(Csv(10), "t.csv", 4, moved);
    EXPECT_EQ(t["frames"].get<std::vector<int>>(), (std::vector<int>{1, 5, 9, 11}));
    EXPECT_DOUBLE_EQ(t["times"].back().get<double>(), 2.5);
    EXPECT_DOUBLE_EQ(t["poses"][3 * 14 + 8].get<double>(), 4.75);
}

TEST(ViewerFrames, MalformedRowOrMissingBodyNamesTheFileAndLine)
{
    std::string bad = Csv(3);
    bad.insert(bad.find("2,0.250000,a"), "2,0.25,a,1,2\n");
    EXPECT_THROW(Frames(bad, "t.csv", 1, kFinalAsLast), InputError);
    std::string short3 = Csv(3);
    short3.erase(short3.rfind("3,0.500000,b"));
    EXPECT_THROW(Frames(short3, "t.csv", 1, kFinalAsLast), InputError);
}

// What the page draws comes from the built channels: a compound body's shapes at their offsets and
// rotations, meshes in world space with the body-placed ones left out, lamps with type and cone.
TEST(ViewerSceneData, ShapesMeshesAndLampsAsTheChannelsHoldThem)
{
    Vexcore host{{VEX_PLUGIN_DIR}};
    BuildScene(host, ParseScene(R"({"channels": [
      {"name": "world", "type": "ODE World"},
      {"name": "arm", "type": "ODE Body", "settings": {"items": [
        {"shape": "box", "size": [2, 0.5, 0.5], "offset": [1, 0, 0], "rotation": [0, 0, 90]},
        {"shape": "sphere", "radius": 0.3}, {"shape": "plane"}]}},
      {"name": "arm.mesh", "type": "DX8 Mesh", "settings": {"box": [1, 1, 1]}},
      {"name": "arm.surface", "type": "DX8 Surface", "links": [{"position": 0, "channel": "arm.mesh"}]},
      {"name": "arm.object", "type": "DX8 3D Object",
       "links": [{"position": 0, "channel": "arm"}, {"position": 1, "channel": "arm.surface"}]},
      {"name": "pose", "type": "Matrix", "settings": {"matrix": {"position": [0, 5, 0]}}},
      {"name": "tile.mesh", "type": "DX8 Mesh", "settings": {"grid": {"cells": [1, 1], "size": [2, 2]}}},
      {"name": "tile.surface", "type": "DX8 Surface", "links": [{"position": 0, "channel": "tile.mesh"}]},
      {"name": "tile", "type": "DX8 3D Object",
       "links": [{"position": 0, "channel": "pose"}, {"position": 1, "channel": "tile.surface"}]},
      {"name": "spot", "type": "DX8 Light",
       "settings": {"type": "spot", "position": [1, 2, 3], "direction": [0, -1, 0], "phi": 40}}]})",
                                "t.json"));
    const nlohmann::json data = ViewerSceneData(host);
    ASSERT_EQ(data["bodies"].size(), 1u);
    const nlohmann::json& shapes = data["bodies"][0]["shapes"];
    ASSERT_EQ(shapes.size(), 2u);
    // Turned 90 degrees about z, the box's x axis lies along y (the sign is the body's own angle convention,
    // which its collision geometry uses too); turned first and then moved, its centre sits at the offset.
    const std::vector<double> box = shapes[0]["matrix"].get<std::vector<double>>();
    const std::vector<double> xAxis(box.begin(), box.begin() + 3), centre(box.begin() + 12, box.begin() + 15);
    EXPECT_NEAR(xAxis[0], 0, 1e-6);
    EXPECT_NEAR(std::abs(xAxis[1]), 1, 1e-6);
    EXPECT_EQ(centre, (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(shapes[0]["box"], nlohmann::json({2, 0.5, 0.5}));
    EXPECT_EQ(shapes[1]["sphere"], 0.3);
    EXPECT_EQ(data["planes"].size(), 1u);
    // Only the tile: the box mesh rides on the body, whose shapes stand for it.
    ASSERT_EQ(data["meshes"].size(), 1u);
    EXPECT_EQ(data["meshes"][0]["name"], "tile");
    const std::vector<double> positions = data["meshes"][0]["positions"].get<std::vector<double>>();
    ASSERT_FALSE(positions.empty());
    for (size_t i = 1; i < positions.size(); i += 3)
        EXPECT_EQ(positions[i], 5.0);
    ASSERT_EQ(data["lamps"].size(), 1u);
    EXPECT_EQ(data["lamps"][0]["type"], "spot");
    EXPECT_EQ(data["lamps"][0]["position"], nlohmann::json({1, 2, 3}));
    EXPECT_NEAR(data["lamps"][0]["outer"].get<double>(), 40 * 3.14159265 / 180, 1e-5);
}

// A name holding "</script>" must not end the element that carries the data.
TEST(ViewerPage, DataCannotCloseItsScriptElement)
{
    const std::string page = ComposeViewerPage(R"({"title":"</script><script>alert(1)</script>"})");
    EXPECT_EQ(page.find("</script><script>alert"), std::string::npos);
    EXPECT_NE(page.find(R"(\u003c/script>\u003cscript>alert(1))"), std::string::npos);
}

} // namespace
} // namespace vex::app
