#include "host/ProjectFile.h"
#include "host/TavFileSaver.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class SaveFile : public ::testing::Test {
protected:
    SaveFile()
    {
        folder = fs::temp_directory_path() / ("vex-savefile-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    ~SaveFile() override { fs::remove_all(folder); }

    static std::vector<uint8_t> Read(const fs::path& path)
    {
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_TRUE(vex::ReadFileBytes(path.string(), bytes, &error)) << error;
        return bytes;
    }
    static void Write(const fs::path& path, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    /// Every file of the folder: a failed save must leave no temporary file behind.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path folder;
    const std::vector<uint8_t> oldBytes = {'o', 'l', 'd', 0, 1, 2};
};

TEST_F(SaveFile, RawFileHoldsExactlyTheBytesWritten)
{
    const fs::path path = folder / "bitmap.bmp";
    TavFileSaver saver;
    ASSERT_TRUE(saver.OpenSaveFile(path.c_str(), false));
    EXPECT_TRUE(saver.IsFileOpen());
    const uint8_t a[3] = {'B', 'M', 0};
    const uint8_t b[2] = {0xFF, 0x7F};
    saver.SaveDataToFile(a, 3);
    saver.SaveDataToFile(b, 2);
    ASSERT_TRUE(saver.CloseSaveFile()) << saver.GetError();
    EXPECT_FALSE(saver.IsFileOpen());
    EXPECT_EQ(Read(path), std::vector<uint8_t>({'B', 'M', 0, 0xFF, 0x7F}));
    EXPECT_EQ(Files(), std::vector<std::string>{"bitmap.bmp"});
}

TEST_F(SaveFile, RawFileTakesTagsAndSizesAsPlainBytes)
{
    const fs::path path = folder / "raw.bin";
    TavFileSaver saver;
    ASSERT_TRUE(saver.OpenSaveFile(path.c_str(), false));
    saver.SaveTag("AB");
    saver.SaveBlockSize(0x01020304);
    saver.SaveDataToFile("z", 1);
    ASSERT_TRUE(saver.CloseSaveFile());
    EXPECT_EQ(Read(path), std::vector<uint8_t>({'A', 'B', 0, 0, 4, 3, 2, 1, 'z'}));
}

TEST_F(SaveFile, ReplaceOverwritesAndAppendKeepsWhatTheFileHeld)
{
    const fs::path path = folder / "f.bin";
    Write(path, oldBytes);
    TavFileSaver saver;
    ASSERT_TRUE(saver.OpenSaveFile(path.c_str(), true));
    saver.SaveDataToFile("x", 1);
    ASSERT_TRUE(saver.CloseSaveFile());
    std::vector<uint8_t> expected = oldBytes;
    expected.push_back('x');
    EXPECT_EQ(Read(path), expected);
    ASSERT_TRUE(saver.OpenSaveFile(path.c_str(), false));
    saver.SaveDataToFile("y", 1);
    ASSERT_TRUE(saver.CloseSaveFile());
    EXPECT_EQ(Read(path), std::vector<uint8_t>{'y'});
}

TEST_F(SaveFile, UnclosedFileIsDiscardedAndCloseWithoutOpenFails)
{
    const fs::path path = folder / "f.bin";
    Write(path, oldBytes);
    {
        TavFileSaver saver;
        ASSERT_TRUE(saver.OpenSaveFile(path.c_str(), false));
        saver.SaveDataToFile("new", 3);
    }
    EXPECT_EQ(Read(path), oldBytes);
    TavFileSaver saver;
    EXPECT_FALSE(saver.CloseSaveFile());
    EXPECT_FALSE(saver.GetError().empty());
    EXPECT_FALSE(saver.OpenSaveFile("", false));
    EXPECT_FALSE(saver.OpenSaveFile(nullptr, false));
}

TEST_F(SaveFile, MissingFolderOrFileAsFolderFailsWithMessage)
{
    std::string error;
    EXPECT_FALSE(TavFileSaver::WriteFileAtomically((folder / "no" / "such" / "f.bin").string(), oldBytes, &error));
    EXPECT_NE(error.find("f.bin"), std::string::npos) << error;
    Write(folder / "plain", oldBytes);
    error.clear();
    EXPECT_FALSE(TavFileSaver::WriteFileAtomically((folder / "plain" / "f.bin").string(), oldBytes, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Read(folder / "plain"), oldBytes);
    // The kernel's own folders refuse new files even to root.
    error.clear();
    EXPECT_FALSE(TavFileSaver::WriteFileAtomically("/proc/self/vex-project.vxp", oldBytes, &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(SaveFile, FolderAtTargetIsRefusedAndKept)
{
    fs::create_directories(folder / "target" / "inside");
    std::string error;
    EXPECT_FALSE(TavFileSaver::WriteFileAtomically((folder / "target").string(), oldBytes, &error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(folder / "target" / "inside"));
    EXPECT_EQ(Files(), std::vector<std::string>{"target"});
}

TEST_F(SaveFile, WriteFailingHalfwayLeavesOldFileIntactAndNoTemporary)
{
    const fs::path path = folder / "project.vxp";
    Write(path, oldBytes);
    // A file size limit makes the write fail part way (EFBIG), as a full disk would.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool ok = TavFileSaver::WriteFileAtomically(path.string(), std::vector<uint8_t>(100000, 0xAB), &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_EQ(Read(path), oldBytes);
    EXPECT_EQ(Files(), std::vector<std::string>{"project.vxp"});
}

TEST_F(SaveFile, FullDeviceReportsFailureAndStaysADevice)
{
    struct stat before {};
    if (::stat("/dev/full", &before) != 0 || !S_ISCHR(before.st_mode))
        GTEST_SKIP() << "no /dev/full here";
    std::string error;
    EXPECT_FALSE(TavFileSaver::WriteFileAtomically("/dev/full", oldBytes, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    struct stat after {};
    ASSERT_EQ(::stat("/dev/full", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode)) << "the device node must not be replaced by a file";
    EXPECT_EQ(after.st_rdev, before.st_rdev);
    // A device that takes the bytes (the null device) is a successful save.
    EXPECT_TRUE(TavFileSaver::WriteFileAtomically("/dev/null", oldBytes, &error)) << error;
}

TEST_F(SaveFile, SaveThroughSymbolicLinkReplacesTheFileItNames)
{
    const fs::path real = folder / "real.vxp";
    Write(real, oldBytes);
    fs::create_symlink(real, folder / "link.vxp");
    std::string error;
    ASSERT_TRUE(TavFileSaver::WriteFileAtomically((folder / "link.vxp").string(), {'n', 'e', 'w'}, &error)) << error;
    EXPECT_TRUE(fs::is_symlink(folder / "link.vxp"));
    EXPECT_EQ(Read(real), std::vector<uint8_t>({'n', 'e', 'w'}));
}

// Whatever sits at the temporary names (a link to a file elsewhere, a link to nowhere, someone's file) is
// neither followed nor truncated: the save takes a name nobody holds, and the target keeps its permissions.
TEST_F(SaveFile, ThingsPlantedAtTemporaryNamesAreSkippedAndPermissionsKept)
{
    const fs::path target = folder / "scene.vxp";
    Write(target, oldBytes);
    ::chmod(target.c_str(), 0640);
    const fs::path outside = folder / "elsewhere";
    fs::create_directories(outside);
    Write(outside / "victim", oldBytes);
    const std::string prefix = ".scene.vxp.tmp-" + std::to_string(::getpid()) + "-";
    fs::create_symlink(outside / "victim", folder / (prefix + "0"));
    fs::create_symlink(outside / "created", folder / (prefix + "1"));
    Write(folder / (prefix + "2"), oldBytes);

    std::string error;
    ASSERT_TRUE(TavFileSaver::WriteFileAtomically(target.string(), {'n', 'e', 'w'}, &error)) << error;
    EXPECT_EQ(Read(target), std::vector<uint8_t>({'n', 'e', 'w'}));
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_EQ(Read(outside / "victim"), oldBytes);
    EXPECT_FALSE(fs::exists(outside / "created"));
    EXPECT_EQ(Read(folder / (prefix + "2")), oldBytes);
    EXPECT_EQ(Files().size(), 5u) << "the three planted names, the target and the other folder";

    // A new file gets the usual bits: 0666 less the umask.
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(TavFileSaver::WriteFileAtomically((folder / "fresh.csv").string(), oldBytes, &error)) << error;
    ::umask(mask);
    EXPECT_EQ(fs::status(folder / "fresh.csv").permissions() & fs::perms::all, fs::perms(0644));
}

TEST_F(SaveFile, ReadFileBytesRefusesMissingFilesFoldersAndFilesOverTheLimit)
{
    std::vector<uint8_t> bytes = {1};
    std::string error;
    EXPECT_FALSE(vex::ReadFileBytes((folder / "missing").string(), bytes, &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    EXPECT_EQ(bytes, std::vector<uint8_t>{1}) << "untouched on failure";
    EXPECT_FALSE(vex::ReadFileBytes(folder.string(), bytes, &error));
    Write(folder / "f", std::vector<uint8_t>(100, 1));
    EXPECT_FALSE(vex::ReadFileBytes((folder / "f").string(), bytes, &error, 99));
    EXPECT_NE(error.find("larger"), std::string::npos) << error;
    EXPECT_TRUE(vex::ReadFileBytes((folder / "f").string(), bytes, &error, 100));
    EXPECT_EQ(bytes.size(), 100u);
}

} // namespace
