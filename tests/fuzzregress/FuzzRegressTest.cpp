// Every seed and every saved fuzzer finding, run through the entry function of its target. A finding that
// crashes again fails (or aborts) this test; under the sanitizer build the same checks as in fuzzing apply.
#include "fuzz/FuzzEntries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Input {
    std::string target;
    fs::path file;
    void (*run)(const uint8_t*, size_t);
};

std::vector<Input> AllInputs()
{
    std::vector<Input> inputs;
    for (const vex::fuzz::Target& target : vex::fuzz::Targets()) {
        for (const char* kind : {"corpus", "regressions"}) {
            const fs::path folder = fs::path(VEX_SOURCE_DIR) / "fuzz" / kind / target.name;
            if (!fs::is_directory(folder))
                continue;
            std::vector<fs::path> files;
            for (const auto& entry : fs::directory_iterator(folder))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const fs::path& f : files)
                inputs.push_back({target.name, f, target.run});
        }
    }
    return inputs;
}

class FuzzInput : public ::testing::TestWithParam<Input> {};

TEST_P(FuzzInput, RunsWithoutCrashing)
{
    const Input& input = GetParam();
    std::ifstream in(input.file, std::ios::binary);
    ASSERT_TRUE(in) << input.file;
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    input.run(bytes.data(), bytes.size());
}

TEST(FuzzInputs, EveryTargetHasSeeds)
{
    for (const vex::fuzz::Target& target : vex::fuzz::Targets()) {
        const fs::path folder = fs::path(VEX_SOURCE_DIR) / "fuzz" / "corpus" / target.name;
        ASSERT_TRUE(fs::is_directory(folder)) << folder;
        EXPECT_FALSE(fs::is_empty(folder)) << folder;
    }
}

INSTANTIATE_TEST_SUITE_P(Saved, FuzzInput, ::testing::ValuesIn(AllInputs()), [](const auto& info) {
    const fs::path& f = info.param.file;
    std::string name =
        info.param.target + "_" + f.parent_path().parent_path().filename().string() + "_" + f.filename().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
});

} // namespace
