// The runner as a user meets it: the vexhost executable, its exit status, its messages and its files.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1; ///< exit status, or 128 + signal
    std::string out;
    std::string err;
};

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Runner : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(::testing::TempDir()) / (std::string("vexhost_") + info->name() + "_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    /// Starts vexhost with args, its output going to files; returns the child's pid.
    pid_t Start(const std::vector<std::string>& args)
    {
        const std::string exe = std::string(VEX_PLUGIN_DIR) + "/vexhost";
        const std::string outPath = (dir_ / "stdout.txt").string(), errPath = (dir_ / "stderr.txt").string();
        const pid_t pid = fork();
        if (pid == 0) {
            if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr))
                _exit(127);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(exe.c_str()));
            for (const std::string& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(127);
        }
        return pid;
    }

    Result Finish(pid_t pid)
    {
        int raw = 0;
        waitpid(pid, &raw, 0);
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        r.out = ReadAll(dir_ / "stdout.txt");
        r.err = ReadAll(dir_ / "stderr.txt");
        return r;
    }

    Result Run(const std::vector<std::string>& args) { return Finish(Start(args)); }

    std::string Write(const char* name, const std::string& text)
    {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

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
    for (const char* file : {"trajectory.csv", "matrices.csv", "scene.vxp", "demo-scene.json"})
        EXPECT_TRUE(fs::exists(dir_ / "out" / file)) << file;
}

TEST_F(Runner, BadSceneGivesStatusTwoAndOneLineNamingFileFieldAndProblem)
{
    const std::string scene = Write("bad.json", R"({"channels": [{"name": "a", "type": "Matrix", "settings": {"matrix": "up"}}]})");
    const Result r = Run({"run", scene, "--out", Path("out")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "vexhost: " + scene + ": channels[0].settings.matrix: expected 16 numbers or {position, rotation, "
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

TEST_F(Runner, HelpOnEachCommandExitsZero)
{
    for (const char* command : {"demo", "run", "load", "inspect"}) {
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

// Ctrl-C ends a long run between frames with status 130, keeping and naming the partial outputs.
TEST_F(Runner, CtrlCStopsWithStatus130AndKeepsPartialOutputs)
{
    const pid_t pid = Start({"demo", "--frames", "10000000", "--out", Path("out")});
    // The demo writes its scene file before it starts the frames; wait for it (bounded), then interrupt.
    for (int i = 0; i < 400 && !fs::exists(dir_ / "out" / "demo-scene.json"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(pid, SIGINT);
    const Result r = Finish(pid);
    EXPECT_EQ(r.status, 130) << r.out << r.err;
    EXPECT_NE(r.out.find("kept partial outputs"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir_ / "out" / "trajectory.csv"));
    EXPECT_TRUE(fs::exists(dir_ / "out" / "scene.vxp"));
}

} // namespace
