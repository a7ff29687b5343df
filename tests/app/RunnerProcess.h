#pragma once
// Runs the vexhost executable as a user does: its exit status, its messages and its files, in a fresh
// folder per test.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vextest {

namespace fs = std::filesystem;

struct Result {
    int status = -1; ///< exit status, or 128 + signal
    long peakKb = 0; ///< the child's peak resident memory
    std::string out;
    std::string err;
};

inline std::string ReadAll(const fs::path& path)
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
        dir_ =
            fs::path(::testing::TempDir()) / (std::string("vexhost_") + info->name() + "_" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

public:
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
        rusage usage{};
        wait4(pid, &raw, 0, &usage);
        Result r;
        r.peakKb = usage.ru_maxrss;
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

} // namespace vextest
