// The runner as a user meets it: the vexhost executable, its exit status, its messages and its files.

#include "tests/app/RunnerProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using vextest::ReadAll;
using vextest::Result;
using Runner = vextest::Runner;

/// A short scene: a floor and two shapes that fall onto it.
const char* kScene = R"({
  "frames": 90,
  "channels": [
    {"name": "world", "type": "ODE World"},
    {"name": "floor", "type": "ODE Body", "settings": {"items": [{"shape": "plane"}]}},
    {"name": "box.start", "type": "Matrix", "settings": {"matrix": {"position": [0, 2, 0], "rotation": [20, 0, 10]}}},
    {"name": "box", "type": "ODE Body", "settings": {"items": [{"shape": "box", "size": [1, 0.5, 0.8]}]},
     "links": [{"position": 0, "channel": "box.start"}]},
    {"name": "ball.start", "type": "Matrix", "settings": {"matrix": {"position": [1.5, 3, 0]}}},
    {"name": "ball", "type": "ODE Body", "settings": {"items": [{"shape": "sphere", "radius": 0.4}]},
     "links": [{"position": 0, "channel": "ball.start"}]}
  ]
})";

TEST_F(Runner, DemoRunsSavesAndReloadsWithStatusZero)
{
    const Result r = Run({"demo", "--frames", "120", "--out", Path("out")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("ran 120 frames"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("final matrices identical"), std::string::npos) << r.out;
    // The manifest lists every output as it is on disk, and says the run completed.
    const nlohmann::json manifest = nlohmann::json::parse(ReadAll(dir_ / "out" / "run.json"), nullptr, false);
    EXPECT_EQ(manifest["completed"], true) << manifest.dump();
    EXPECT_EQ(manifest["scene"]["file"], Path("out/demo-scene.json"));
    std::set<std::string> listed;
    for (const nlohmann::json& output : manifest["outputs"]) {
        listed.insert(output["file"].get<std::string>());
        EXPECT_EQ(output["bytes"], fs::file_size(dir_ / "out" / output["file"].get<std::string>())) << output.dump();
        EXPECT_EQ(output["sha256"].get<std::string>().size(), 64u);
    }
    for (const char* file :
         {"trajectory.csv", "matrices.csv", "scene.vxp", "demo-scene.json", "lightmap.png", "preview.png"})
        EXPECT_TRUE(fs::exists(dir_ / "out" / file) && listed.count(file)) << file;
    // The demo's light map is 128 x 128: a 24-bit bitmap of 54 header bytes and 384-byte rows.
    EXPECT_EQ(fs::file_size(dir_ / "out" / "lightmap.bmp"), 54u + 128u * 384u);
    EXPECT_NE(r.out.find("baked light map \"lightmap\": 128 x 128 texels, 16 samples per texel, soft shadows"),
              std::string::npos)
        << r.out;
}

/// A floor with a light map, a box above it and one lamp.
const char* kBakeScene = R"({
  "frames": 30,
  "channels": [
    {"name": "world", "type": "ODE World"},
    {"name": "ground", "type": "ODE Body", "settings": {"items": [{"shape": "plane"}]}},
    {"name": "box.start", "type": "Matrix", "settings": {"matrix": {"position": [0, 1, 0]}}},
    {"name": "box", "type": "ODE Body", "links": [{"position": 0, "channel": "box.start"}]},
    {"name": "floor.mesh", "type": "DX8 Mesh", "settings": {"grid": {"cells": [4, 4], "size": [8, 8]}}},
    {"name": "floor.surface", "type": "DX8 Surface", "links": [{"position": 0, "channel": "floor.mesh"}]},
    {"name": "floor", "type": "DX8 3D Object", "links": [{"position": 1, "channel": "floor.surface"}]},
    {"name": "box.mesh", "type": "DX8 Mesh", "settings": {"box": [1, 1, 1]}},
    {"name": "box.surface", "type": "DX8 Surface", "links": [{"position": 0, "channel": "box.mesh"}]},
    {"name": "box.object", "type": "DX8 3D Object",
     "links": [{"position": 0, "channel": "box"}, {"position": 1, "channel": "box.surface"}]},
    {"name": "casters", "type": "DX8 OctTree", "links": [{"position": 0, "channel": "box.object"}]},
    {"name": "lamp", "type": "DX8 Light", "settings": {"position": [0, 6, 0], "attenuation": [1, 0, 0]}},
    {"name": "map", "type": "DX8 TextureLighting", "settings": {"size": 64},
     "links": [{"position": 0, "channel": "floor"}, {"position": 1, "channel": "casters"}, {"position": 3, "channel": "lamp"}]}
  ]
})";

TEST_F(Runner, BakeWritesTheLightMapAtTheRequestedSize)
{
    const std::string scene = Write("bake.json", kBakeScene);
    const Result r = Run({"bake", scene, "--out", Path("o"), "--map-size", "16", "--samples", "4"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("baked light map \"map\": 16 x 16 texels, 4 samples per texel"), std::string::npos) << r.out;
    EXPECT_EQ(fs::file_size(dir_ / "o" / "map.bmp"), 54u + 16u * 48u);
    for (const char* file : {"map.png", "preview.png", "trajectory.csv", "scene.vxp"})
        EXPECT_TRUE(fs::exists(dir_ / "o" / file)) << file;
    // Loading the saved project gives back the very light map that was baked.
    const Result load = Run({"load", Path("o/scene.vxp"), "--out", Path("loaded")});
    ASSERT_EQ(load.status, 0) << load.err;
    EXPECT_EQ(ReadAll(dir_ / "loaded" / "map.bmp"), ReadAll(dir_ / "o" / "map.bmp"));
    // Directly under the lamp the box shadows the floor: the centre of the map is darker than a corner.
    const std::string bmp = ReadAll(dir_ / "o" / "map.bmp");
    auto blue = [&](int x, int y) {
        return static_cast<unsigned char>(bmp[54 + static_cast<size_t>(y) * 48 + static_cast<size_t>(x) * 3]);
    };
    EXPECT_LT(blue(8, 8), blue(1, 1));
}

// The shadow scene's per-object tint reaches the light map: a red glass box over the floor leaves red
// light under it, where the open floor is lit white. (The opacity stays below 1: a caster that lets no
// light through casts a black shadow whatever its tint.)
TEST_F(Runner, ShadowSceneTintColoursTheBakedShadow)
{
    std::string text = kBakeScene;
    const std::string casters = R"("type": "DX8 OctTree",)";
    const size_t at = text.find(casters);
    ASSERT_NE(at, std::string::npos);
    text.insert(at + casters.size(), R"( "settings": {"objects": [{"tint": [1, 0, 0], "opacity": 0.9}]},)");
    const Result r = Run({"bake", Write("tinted.json", text), "--out", Path("o"), "--map-size", "16"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string bmp = ReadAll(dir_ / "o" / "map.bmp");
    ASSERT_EQ(bmp.size(), 54u + 16u * 48u);
    // Bitmap texels are stored blue, green, red.
    auto texel = [&](int x, int y, int channel) {
        return static_cast<int>(static_cast<unsigned char>(
            bmp[54 + static_cast<size_t>(y) * 48 + static_cast<size_t>(x) * 3 + static_cast<size_t>(channel)]));
    };
    const int blue = 0, red = 2;
    EXPECT_GT(texel(8, 8, red), 2 * texel(8, 8, blue) + 20) << "shadow texel is not red";
    EXPECT_LT(texel(8, 8, blue), texel(1, 1, blue) / 2);
    EXPECT_NEAR(texel(1, 1, red), texel(1, 1, blue), 8) << "open floor should be lit white";
}

TEST_F(Runner, BakeWithoutLightMapOrWithBadSamplesGivesStatusTwo)
{
    const std::string scene = Write("scene.json", kScene);
    const Result r = Run({"bake", scene, "--out", Path("o")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "vexhost: " + scene + ": channels: no \"DX8 TextureLighting\" channel to bake\n");
    EXPECT_EQ(Run({"bake", Write("bake.json", kBakeScene), "--samples", "8"}).status, 2);
    EXPECT_EQ(Run({"bake", Write("bake.json", kBakeScene), "--threads", "0"}).status, 2);
}

TEST_F(Runner, BadSceneGivesStatusTwoAndOneLineNamingFileFieldAndProblem)
{
    const std::string scene =
        Write("bad.json", R"({"channels": [{"name": "a", "type": "Matrix", "settings": {"matrix": "up"}}]})");
    const Result r = Run({"run", scene, "--out", Path("out")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "vexhost: " + scene +
                         ": channels[0].settings.matrix: expected 16 numbers or {position, rotation, "
                         "scale}, found a string\n");
    EXPECT_FALSE(fs::exists(dir_ / "out" / "trajectory.csv"));
}

TEST_F(Runner, MissingSceneFileAndBadOptionsGiveStatusTwo)
{
    const Result missing = Run({"run", Path("nothing.json")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find(Path("nothing.json") + ": cannot open"), std::string::npos) << missing.err;
    EXPECT_EQ(Run({"run"}).status, 2);
    EXPECT_EQ(Run({"demo", "--frames", "many"}).status, 2);
    EXPECT_EQ(Run({"launch"}).status, 2);
    EXPECT_EQ(Run({"load", Path("nothing.vxp")}).status, 2);
    const std::string notProject = Write("not.vxp", "hello");
    const Result inspect = Run({"inspect", notProject});
    EXPECT_EQ(inspect.status, 2);
    EXPECT_EQ(inspect.err.rfind("vexhost: " + notProject + ": ", 0), 0u) << inspect.err;
}

// A write that fails is one line naming the file, with status 1; here a folder is in the file's way.
TEST_F(Runner, OutputThatCannotBeWrittenGivesStatusOneAndOneLine)
{
    fs::create_directories(dir_ / "o" / "trajectory.csv" / "inside");
    const Result r = Run({"run", Write("scene.json", kScene), "--frames", "2", "--out", Path("o")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("vexhost: cannot write " + Path("o/trajectory.csv") + ": ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(fs::is_directory(dir_ / "o" / "trajectory.csv" / "inside"));
    const nlohmann::json manifest = nlohmann::json::parse(ReadAll(dir_ / "o" / "run.json"), nullptr, false);
    EXPECT_EQ(manifest["state"], "failed") << manifest.dump();
    EXPECT_EQ(manifest["completed"], false);
}

TEST_F(Runner, HelpOnEachCommandExitsZero)
{
    for (const char* command : {"demo", "run", "bake", "load", "inspect", "view"}) {
        const Result r = Run({command, "--help"});
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(r.out.find("--"), std::string::npos) << command;
    }
}

TEST_F(Runner, RunTwiceWritesIdenticalTrajectories)
{
    const std::string scene = Write("scene.json", kScene);
    ASSERT_EQ(Run({"run", scene, "--out", Path("a")}).status, 0);
    ASSERT_EQ(Run({"run", scene, "--out", Path("b")}).status, 0);
    const std::string a = ReadAll(dir_ / "a" / "trajectory.csv");
    EXPECT_EQ(a, ReadAll(dir_ / "b" / "trajectory.csv"));
    // Header plus one row per body (floor, box, ball) per frame.
    EXPECT_EQ(std::count(a.begin(), a.end(), '\n'), 1 + 3 * 90);
    EXPECT_EQ(a.substr(0, a.find('\n')), "frame,time,name,x,y,z,qw,qx,qy,qz");
    // --every 30 keeps frames 30, 60 and 90, the very rows of the full trajectory.
    ASSERT_EQ(Run({"run", scene, "--out", Path("c"), "--every", "30"}).status, 0);
    std::string kept = "frame,time,name,x,y,z,qw,qx,qy,qz\n";
    std::istringstream rows(a);
    for (std::string row; std::getline(rows, row);)
        if (row.rfind("30,", 0) == 0 || row.rfind("60,", 0) == 0 || row.rfind("90,", 0) == 0)
            kept += row + "\n";
    EXPECT_EQ(ReadAll(dir_ / "c" / "trajectory.csv"), kept);
}

// trajectory.csv streams to disk as the frames run: four times the frames, the same peak memory.
TEST_F(Runner, LongRunKeepsPeakMemoryFlat)
{
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer holds freed memory back in its quarantine, so the peak grows with all that was ever
    // allocated: it measures the sanitizer, not the runner.
    GTEST_SKIP() << "peak memory is not the runner's under AddressSanitizer";
#endif
    std::string channels = R"({"name": "world", "type": "ODE World"},
        {"name": "floor", "type": "ODE Body", "settings": {"items": [{"shape": "plane"}]}})";
    for (int i = 0; i < 30; ++i) {
        const std::string name = std::string("b").append(std::to_string(i));
        channels += R"(, {"name": ")" + name + R"(.start", "type": "Matrix", "settings": {"matrix": {"position": [)" +
                    std::to_string(i % 6 * 1.5) + ", " + std::to_string(1 + i / 6 * 1.2) + R"(, 0]}}},
            {"name": ")" +
                    name + R"(", "type": "ODE Body", "settings": {"items": [{"shape": "sphere", "radius": 0.4}]},
             "links": [{"position": 0, "channel": ")" +
                    name + R"(.start"}]})";
    }
    const std::string scene = Write("many.json", "{\"channels\": [" + channels + "]}");
    const int frames = 2000;
    // The frames alone: the viewer page after them grows with the frames up to its size cap, then stays.
    const Result shorter =
        Run({"run", scene, "--frames", std::to_string(frames), "--out", Path("short"), "--no-viewer"});
    const Result longer =
        Run({"run", scene, "--frames", std::to_string(4 * frames), "--out", Path("long"), "--no-viewer"});
    ASSERT_EQ(shorter.status, 0) << shorter.err;
    ASSERT_EQ(longer.status, 0) << longer.err;
    // Kept in memory, the longer run's 31 bodies x 8000 rows (over 10 MB) would show in its peak.
    EXPECT_GT(fs::file_size(dir_ / "long" / "trajectory.csv"), 10'000'000u);
    EXPECT_LT(static_cast<double>(longer.peakKb), 1.25 * static_cast<double>(shorter.peakKb))
        << shorter.peakKb << " KB for " << frames << " frames, " << longer.peakKb << " KB for four times as many";
}

TEST_F(Runner, LoadReproducesTheFinalMatricesOfRun)
{
    const std::string scene = Write("scene.json", kScene);
    const Result run = Run({"run", scene, "--out", Path("run")});
    ASSERT_EQ(run.status, 0) << run.err;
    const Result load = Run({"load", Path("run/scene.vxp"), "--out", Path("load")});
    ASSERT_EQ(load.status, 0) << load.err;
    const std::string ran = ReadAll(dir_ / "run" / "matrices.csv");
    EXPECT_EQ(std::count(ran.begin(), ran.end(), '\n'), 1 + 5); // three bodies and two start matrices
    EXPECT_EQ(ReadAll(dir_ / "load" / "matrices.csv"), ran);
    // The box has fallen: its final height is well below its start.
    const size_t row = ran.find("\nbox,");
    ASSERT_NE(row, std::string::npos);
    std::vector<float> values;
    std::istringstream fields(ran.substr(row + 5, ran.find('\n', row + 1) - row - 5));
    for (std::string v; std::getline(fields, v, ',');)
        values.push_back(std::stof(v));
    ASSERT_EQ(values.size(), 16u);
    EXPECT_LT(values[13], 1.0f);
    EXPECT_GT(values[13], 0.0f);
}

TEST_F(Runner, ViewWritesThePageForAnOutputFolderOrProjectAndNoViewerSkipsIt)
{
    const std::string scene = Write("scene.json", kScene);
    ASSERT_EQ(Run({"run", scene, "--out", Path("run"), "--no-viewer"}).status, 0);
    EXPECT_FALSE(fs::exists(dir_ / "run" / "viewer.html"));
    const Result folder = Run({"view", Path("run")});
    ASSERT_EQ(folder.status, 0) << folder.err;
    const std::string page = ReadAll(dir_ / "run" / "viewer.html");
    // Self-contained: the bodies' data and the bundled script, no file or address to fetch.
    EXPECT_NE(page.find("\"names\":[\"floor\",\"box\",\"ball\"]"), std::string::npos);
    EXPECT_NE(page.find("vexViewer"), std::string::npos);
    EXPECT_EQ(page.find("<script src"), std::string::npos);
    EXPECT_EQ(page.find("<link"), std::string::npos);
    const Result project = Run({"view", Path("run/scene.vxp"), "--out", Path("page")});
    ASSERT_EQ(project.status, 0) << project.err;
    EXPECT_TRUE(fs::exists(dir_ / "page" / "viewer.html"));
    const Result missing = Run({"view", Path("nowhere")});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1) << missing.err;
}

TEST_F(Runner, InspectListsChannelsLinksAndChunks)
{
    const std::string scene = Write("scene.json", kScene);
    ASSERT_EQ(Run({"run", scene, "--frames", "1", "--out", Path("o")}).status, 0);
    const Result r = Run({"inspect", Path("o/scene.vxp")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("6 channels, 2 links"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("channel 2 \"box.start\": type \"Matrix\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  chunk MXMT 64 bytes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("link \"box\" position 0 <- \"box.start\""), std::string::npos) << r.out;
}

// SIGINT (Ctrl-C), SIGTERM and SIGHUP stop `run` between frames and `bake` inside the light-map computation:
// status 128 + the signal, the partial outputs named, and a manifest that says the run did not complete.
// The project a stopped bake saved does not present its placeholder image as a baked light map.
TEST_F(Runner, StopSignalsGiveTheirStatusAndAnIncompleteManifest)
{
    const std::string scene = Write("scene.json", kScene);
    const std::string bakeScene = Write("bake.json", kBakeScene);
    struct Case {
        int signal;
        bool bake;
    };
    for (const Case c : {Case{SIGINT, false}, Case{SIGTERM, false}, Case{SIGHUP, false}, Case{SIGINT, true},
                         Case{SIGTERM, true}, Case{SIGHUP, true}}) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.bake ? " during bake" : " during run"));
        const fs::path out = dir_ / std::string("o").append(std::to_string(c.signal)).append(c.bake ? "b" : "r");
        // A map far too large to finish quickly: 2048 x 2048 texels with 64 samples each.
        const pid_t pid = c.bake ? Start({"bake", bakeScene, "--frames", "1", "--out", out.string(), "--map-size",
                                          "2048", "--samples", "64"})
                                 : Start({"run", scene, "--frames", "10000000", "--out", out.string()});
        // A run is stopped among its frames (its manifest is written before them), a bake once the light-map
        // computation has shown its progress; both waits are bounded.
        for (int i = 0; i < 600; ++i) {
            // The progress line writes its first line to standard error when the computation starts.
            if (c.bake ? ReadAll(dir_ / "stderr.txt").find(" texels, ") != std::string::npos
                       : fs::exists(out / "run.json"))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(c.bake ? 0 : 300));
        kill(pid, c.signal);
        const Result r = Finish(pid);
        EXPECT_EQ(r.status, 128 + c.signal) << r.out << r.err;
        EXPECT_NE(r.out.find("kept partial outputs: " + (out / "trajectory.csv").string()), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(out / "map.bmp"));

        const nlohmann::json manifest = nlohmann::json::parse(ReadAll(out / "run.json"), nullptr, false);
        ASSERT_TRUE(manifest.is_object()) << ReadAll(out / "run.json");
        EXPECT_EQ(manifest["completed"], false);
        EXPECT_EQ(manifest["status"], 128 + c.signal);
        EXPECT_EQ(manifest["state"], "stopped");
        ASSERT_TRUE(manifest["outputs"].is_array() && !manifest["outputs"].empty()) << manifest.dump();
        EXPECT_EQ(manifest["outputs"][0]["file"], "trajectory.csv");
        EXPECT_EQ(manifest["outputs"][0]["bytes"], fs::file_size(out / "trajectory.csv"));
        if (!c.bake)
            continue;
        const Result load = Run({"load", (out / "scene.vxp").string(), "--out", (out / "loaded").string()});
        EXPECT_EQ(load.status, 0) << load.err;
        EXPECT_NE(load.out.find("light map \"map\" was not baked"), std::string::npos) << load.out;
        EXPECT_FALSE(fs::exists(out / "loaded" / "map.bmp"));
        const Result inspect = Run({"inspect", (out / "scene.vxp").string()});
        EXPECT_NE(inspect.out.find("light map: not baked"), std::string::npos) << inspect.out;
    }
}

// validate builds the whole graph, light maps included, yet runs no frame, computes nothing and writes no
// file; a problem anywhere in the scene is status 2 with the same one line as run.
TEST_F(Runner, ValidateChecksTheWholeSceneWithoutRunningOrWriting)
{
    std::string text = kBakeScene;
    text.insert(text.find('{') + 1, "\"output\": \"" + Path("o") + "\", ");
    // A map that would take minutes to compute: validate must not compute it.
    const std::string small = R"("settings": {"size": 64})";
    text.replace(text.find(small), small.size(), R"("settings": {"size": 1024, "samples": 64})");
    const Result ok = Run({"validate", Write("bake.json", text)});
    ASSERT_EQ(ok.status, 0) << ok.out << ok.err;
    EXPECT_NE(ok.out.find(": 13 channels, "), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("no problems found"), std::string::npos) << ok.out;
    EXPECT_FALSE(fs::exists(dir_ / "o"));

    // A bad link deep in the scene: found while building the graph, not while parsing.
    std::string badLink = text;
    const std::string link = R"({"position": 3, "channel": "lamp"})";
    badLink.replace(badLink.find(link), link.size(), R"({"position": 3, "channel": "box.start"})");
    const std::string bad = Write("bad.json", badLink);
    const Result r = Run({"validate", bad});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_EQ(r.err.rfind("vexhost: " + bad + ": channels[12].links[2]: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(Run({"validate", Path("nothing.json")}).status, 2);
    EXPECT_FALSE(fs::exists(dir_ / "o"));
}

} // namespace
