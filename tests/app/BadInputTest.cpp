// Bad input of every kind the runner reads: each ends at once with status 2 and one line on standard
// error naming the problem, and leaves a good file already in the output folder as it was.

#include "tests/app/RunnerProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using vextest::ReadAll;
using vextest::Result;

/// A ground of two triangles, ten metres square.
const char* kGroundObj = "v -5 0 -5\nv 5 0 -5\nv 5 0 5\nv -5 0 5\nf 1 3 2\nf 1 4 3\n";

/// A scene whose collision object and mesh read an OBJ file next to it, by a scene-relative path.
const char* kObjScene = R"({"frames": 2, "channels": [
  {"name": "world", "type": "ODE World"},
  {"name": "ground.collision", "type": "DX8 CollisionObject", "settings": {"obj": "meshes/ground.obj"}},
  {"name": "ground", "type": "ODE Body", "settings": {"items": [{"shape": "mesh"}]},
   "links": [{"position": 2, "channel": "ground.collision"}]},
  {"name": "ground.mesh", "type": "DX8 Mesh", "settings": {"obj": "meshes/ground.obj"}},
  {"name": "box.start", "type": "Matrix", "settings": {"matrix": {"position": [0, 1, 0]}}},
  {"name": "box", "type": "ODE Body", "links": [{"position": 0, "channel": "box.start"}]}]})";

/// A scene of one channel with the given name, type and settings.
std::string OneChannel(const std::string& name, const std::string& type, const std::string& settings)
{
    return R"({"channels": [{"name": )" + name + R"(, "type": ")" + type + R"(", "settings": )" + settings + "}]}";
}

class BadInput : public vextest::Runner {
public:
    /// The OBJ scene in folder `at` with its mesh; returns the scene's path.
    std::string WriteObjScene(const std::string& at)
    {
        fs::create_directories(dir_ / at / "meshes");
        std::ofstream(dir_ / at / "meshes" / "ground.obj") << kGroundObj;
        std::ofstream(dir_ / at / "scene.json") << kObjScene;
        return (dir_ / at / "scene.json").string();
    }
    /// Runs the OBJ scene and returns the project it saved.
    std::string SavedProject()
    {
        const Result r = Run({"run", WriteObjScene("project"), "--out", Path("project/saved")});
        EXPECT_EQ(r.status, 0) << r.err;
        return Path("project/saved/scene.vxp");
    }
};

struct Case {
    const char* what;
    /// Writes what the case needs and gives the command line (the output folder is added).
    std::function<std::vector<std::string>(BadInput&)> command;
    const char* message; ///< part of the one line on standard error
};

std::vector<std::string> RunScene(BadInput& t, const std::string& text, const char* command = "run")
{
    return {command, t.Write("bad.json", text)};
}

std::vector<Case> Cases()
{
    auto scene = [](std::string text, const char* command = "run") {
        return [text, command](BadInput& t) { return RunScene(t, text, command); };
    };
    std::string deep;
    for (int level = 0; level < 100000; ++level)
        deep += "{\"a\": ";
    deep += "1" + std::string(100000, '}');
    return {
        {"LightBeyondTheWorld", scene(OneChannel("\"lamp\"", "DX8 Light", R"({"position": [1e19, 6, 0]})"), "bake"),
         "channels[0].settings.position[0]: 1e+19 is outside [-1e+06, 1e+06]"},
        {"SettingsNestedDeep", scene(R"({"channels": [{"name": "a", "type": "Matrix", "settings": )" + deep + "}]}"),
         "nested deeper than 64 levels"},
        {"GravityBeyondRange", scene(OneChannel("\"w\"", "ODE World", R"({"gravity": [0, -1e5, 0]})")), "gravity[1]"},
        {"MassBeyondRange", scene(R"({"channels": [{"name": "w", "type": "ODE World"}, {"name": "b", "type": "ODE Body",
               "settings": {"items": [{"shape": "box", "mass": 1e9}]}}]})"),
         "mass: 1e+09 is outside"},
        {"MatrixEntryBeyondRange",
         scene(OneChannel("\"m\"", "Matrix", R"({"matrix": [1,0,0,0, 0,1,0,0, 0,0,1,0, 1e7,0,0,1]})")), "matrix[12]"},
        {"NameWithPathSeparator", scene(OneChannel("\"../out/x\"", "Matrix", "{}")), "holds a path separator"},
        {"NameWithDotDot", scene(OneChannel("\"..x\"", "Matrix", "{}")), "holds \"..\""},
        {"NameOfAnOutput", scene(OneChannel("\"Preview\"", "Matrix", "{}")),
         "the name of one of the runner's own outputs"},
        {"NameWithControlCharacter", scene(OneChannel("\"a\\u0007b\"", "Matrix", "{}")), "\"a\\x07b\" holds a control"},
        {"NameTooLong", scene(OneChannel(std::string(1, '"').append(101, 'n').append(1, '"'), "Matrix", "{}")),
         "longer than 100 bytes"},
        {"BadJson", scene("{\"channels\": [tru]}"),
         "line 1, column 18: bad JSON: syntax error while parsing value - invalid literal near '\"channels\": [tru]}'"},
        {"SceneIsAFolder",
         [](BadInput& t) {
             return std::vector<std::string>{"run", t.Path("")};
         },
         "is a folder"},
        {"SceneIsADevice",
         [](BadInput&) {
             return std::vector<std::string>{"run", "/dev/zero"};
         },
         "not a regular file"},
        {"SceneIsAFifo",
         [](BadInput& t) {
             mkfifo(t.Path("fifo").c_str(), 0600);
             return std::vector<std::string>{"run", t.Path("fifo")};
         },
         "not a regular file"},
        {"ObjIsADevice", scene(OneChannel("\"c\"", "DX8 CollisionObject", R"({"obj": "/dev/zero"})")),
         "refused by the collision object: OBJ file /dev/zero: not a regular file"},
        {"LightMapWithoutObject", scene(OneChannel("\"map\"", "DX8 TextureLighting", "{}"), "bake"),
         "light map \"map\" has no \"DX8 3D Object\" at link 0"},
        {"ProjectWithAFlippedByte",
         [](BadInput& t) {
             const std::string project = t.SavedProject();
             std::fstream file(project, std::ios::in | std::ios::out | std::ios::binary);
             file.seekg(40);
             const char byte = static_cast<char>(file.get() ^ 0x10);
             file.seekp(40);
             file.put(byte);
             return std::vector<std::string>{"load", project};
         },
         "checksum mismatch in bytes "},
        {"ProjectWithADeletedMesh",
         [](BadInput& t) {
             const std::string project = t.SavedProject();
             fs::remove(t.Path("project/meshes/ground.obj"));
             return std::vector<std::string>{"load", project};
         },
         "ground.obj: cannot open: No such file or directory"},
        {"ProjectIsADevice",
         [](BadInput&) {
             return std::vector<std::string>{"load", "/dev/zero"};
         },
         "/dev/zero: not a regular file"},
        {"UnknownCommand", [](BadInput&) { return std::vector<std::string>{"launch"}; }, "unknown command \"launch\""},
    };
}

TEST_F(BadInput, EachGivesStatusTwoAndOneLineAndLeavesTheOutputFolderAlone)
{
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "out");
        std::ofstream(dir_ / "out" / "trajectory.csv") << "good\n";
        std::vector<std::string> command = c.command(*this);
        if (command.front() != "launch")
            command.insert(command.end(), {"--out", Path("out")});
        const Result r = Run(command);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("vexhost: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(ReadAll(dir_ / "out" / "trajectory.csv"), "good\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator{}), 1);
    }
}

// A project refers to its meshes relative to its own folder: the folder can be moved whole.
TEST_F(BadInput, MovedProjectFolderLoadsWithTheSameMatrices)
{
    const std::string project = SavedProject();
    const std::string matrices = ReadAll(dir_ / "project" / "saved" / "matrices.csv");
    fs::rename(dir_ / "project", dir_ / "moved");
    const Result r = Run({"load", Path("moved/saved/scene.vxp"), "--out", Path("loaded")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(dir_ / "loaded" / "matrices.csv"), matrices);
    EXPECT_EQ(r.err, "");
}

} // namespace
