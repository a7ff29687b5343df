// Faults met through the host with the real plug-ins: saves that cannot be written, and projects that
// name a type no library provides, link to a channel they do not hold, or need a library that is gone.
// Each gives one clear error and leaves what was there (file, graph) as it was. The lower-level cases
// (half-written files, damaged bytes, broken libraries) are covered with the host's own test channels.
#include "host/ProjectFile.h"
#include "host/TavFileSaver.h"
#include "tests/body/BodyScene.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace vex::test {
namespace {

fs::path FreshFolder(const char* what)
{
    std::random_device rd;
    const fs::path folder = fs::temp_directory_path() / ("vex-fault-" + std::string(what) + "-" +
                                                         std::to_string(::getpid()) + "-" + std::to_string(rd()));
    fs::create_directories(folder);
    return folder;
}

std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(vex::ReadFileBytes(path.string(), bytes, &error)) << error;
    return bytes;
}

std::vector<std::string> Listing(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

/// A folder nobody may add files to, for as long as it lives. Root ignores permission bits, so as root
/// the folder is made immutable instead (where the file system supports that).
class SealedFolder {
public:
    explicit SealedFolder(const fs::path& folder) : folder_(folder)
    {
        if (::geteuid() == 0)
            sealed_ = std::system(("chattr +i '" + folder.string() + "' 2>/dev/null").c_str()) == 0;
        else
            sealed_ = ::chmod(folder.c_str(), 0555) == 0;
    }
    ~SealedFolder()
    {
        if (!sealed_)
            return;
        if (::geteuid() == 0)
            (void)std::system(("chattr -i '" + folder_.string() + "'").c_str());
        else
            ::chmod(folder_.c_str(), 0755);
    }
    SealedFolder(const SealedFolder&) = delete;
    SealedFolder& operator=(const SealedFolder&) = delete;
    bool Sealed() const { return sealed_; }

private:
    fs::path folder_;
    bool sealed_ = false;
};

/// A world, a falling box with its start matrix and enable value: every kind of plug-in a scene needs.
class FaultScene : public testing::Test {
protected:
    void SetUp() override
    {
        folder = FreshFolder("scene");
        body = scene.AddBody("box", MakeItem(kShapeBox), Translation(0, 3, 0));
        scene.AddEnable(body, 1.0f);
        scene.RunFrames(3);
    }
    void TearDown() override { fs::remove_all(folder); }

    /// The graph as it stands: channel objects in order.
    std::vector<Tav_Channel*> Graph() { return scene.host.GetChannels(); }

    BodyScene scene;
    Tvc_ODE_BodyCollision* body = nullptr;
    fs::path folder;
};

TEST_F(FaultScene, SaveIntoAFolderThatTakesNoFilesFailsAndKeepsThePreviousFile)
{
    const fs::path path = folder / "scene.vxp";
    std::string error;
    ASSERT_TRUE(scene.host.SaveProject(path.string(), &error)) << error;
    const std::vector<uint8_t> previous = ReadBytes(path);
    body->GetGeometryItem(0)->size = D3DXVECTOR3(2, 2, 2); // the next save would differ
    {
        SealedFolder sealed(folder);
        if (!sealed.Sealed())
            GTEST_SKIP() << "cannot make a folder unwritable here";
        error.clear();
        EXPECT_FALSE(scene.host.SaveProject(path.string(), &error));
        EXPECT_NE(error.find("scene.vxp"), std::string::npos) << error;
        EXPECT_NE(error.find("cannot"), std::string::npos) << error;
    }
    EXPECT_EQ(ReadBytes(path), previous);
    EXPECT_EQ(Listing(folder), std::vector<std::string>{"scene.vxp"}) << "no temporary file left";
    // The scene goes on and saves once the folder takes files again.
    scene.RunFrames(2);
    EXPECT_TRUE(scene.host.SaveProject(path.string(), &error)) << error;
    EXPECT_NE(ReadBytes(path), previous);
    EXPECT_TRUE(scene.messages.empty()) << scene.messages.front();
}

TEST_F(FaultScene, SaveOntoAFullDeviceFailsAndLeavesTheDevice)
{
    struct stat before {};
    if (::stat("/dev/full", &before) != 0 || !S_ISCHR(before.st_mode))
        GTEST_SKIP() << "no /dev/full here";
    std::string error;
    EXPECT_FALSE(scene.host.SaveProject("/dev/full", &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
    struct stat after {};
    ASSERT_EQ(::stat("/dev/full", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_rdev, before.st_rdev);
    scene.RunFrames(2);
    EXPECT_TRUE(scene.host.SaveProject((folder / "after.vxp").string(), &error)) << error;
}

// --- Loading -------------------------------------------------------------------------------------------

/// A change to a saved project that makes it unloadable, and the text the error must hold.
struct LoadFault {
    const char* name;
    void (*spoil)(ProjectData&);
    const char* expected;
};

size_t IndexOf(const ProjectData& project, const std::string& name)
{
    for (size_t i = 0; i < project.channels.size(); ++i)
        if (project.channels[i].name == name)
            return i;
    ADD_FAILURE() << "no channel " << name;
    return 0;
}

const LoadFault kLoadFaults[] = {
    {"UnknownTypeGuid",
     [](ProjectData& p) { p.channels[IndexOf(p, "box")].type = GuidFromText("0BADF00D-0000-4000-8000-0000000000AA"); },
     "0BADF00D-0000-4000-8000-0000000000AA.so not found"},
    {"LinkToAMissingChannel", [](ProjectData& p) { p.links.front().child = static_cast<uint32_t>(p.channels.size()); },
     "names channel"},
    {"LinkFromAMissingChannel",
     [](ProjectData& p) { p.links.back().parent = static_cast<uint32_t>(p.channels.size() + 7); }, "names channel"},
};

class LoadFaults : public FaultScene, public testing::WithParamInterface<LoadFault> {};

TEST_P(LoadFaults, GiveOneClearErrorAndKeepTheRunningScene)
{
    const fs::path path = folder / "scene.vxp";
    std::string error;
    ASSERT_TRUE(scene.host.SaveProject(path.string(), &error)) << error;
    ProjectData project;
    ASSERT_TRUE(vex::DecodeProject(ReadBytes(path), project, &error)) << error;
    ASSERT_FALSE(project.links.empty());
    GetParam().spoil(project);
    const std::vector<uint8_t> bytes = vex::EncodeProject(project);
    ASSERT_TRUE(TavFileSaver::WriteFileAtomically(path.string(), bytes, &error)) << error;

    const std::vector<Tav_Channel*> before = Graph();
    const D3DXMATRIX pose = body->GetOldMatrix();
    error.clear();
    EXPECT_FALSE(scene.host.LoadProject(path.string(), &error));
    EXPECT_NE(error.find(GetParam().expected), std::string::npos) << error;
    EXPECT_NE(error.find("scene.vxp"), std::string::npos) << error;
    EXPECT_TRUE(scene.messages.empty()) << "the error comes once, as the result: " << scene.messages.front();
    EXPECT_EQ(Graph(), before);
    // The old scene still runs: the box keeps falling from where it was.
    scene.RunFrames(5);
    EXPECT_LT(body->GetOldMatrix()._42, pose._42);
    EXPECT_EQ(scene.world->GetRegisteredBodyCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Projects, LoadFaults, testing::ValuesIn(kLoadFaults),
                         [](const testing::TestParamInfo<LoadFault>& info) { return std::string(info.param.name); });

/// A plug-in folder holding every library of the build but one, and no search path from the environment.
class FolderWithout {
public:
    explicit FolderWithout(const char* missingGuid) : folder_(FreshFolder("plugins"))
    {
        for (const auto& entry : fs::directory_iterator(VEX_PLUGIN_DIR))
            if (entry.path().extension() == ".so" && entry.path().stem() != missingGuid)
                // Links, not copies: a library already loaded from the build is then the same object.
                fs::create_symlink(fs::absolute(entry.path()), folder_ / entry.path().filename());
        if (const char* path = std::getenv("VEX_PLUGIN_PATH"))
            savedPath_ = path;
        ::unsetenv("VEX_PLUGIN_PATH");
    }
    ~FolderWithout()
    {
        if (!savedPath_.empty())
            ::setenv("VEX_PLUGIN_PATH", savedPath_.c_str(), 1);
        fs::remove_all(folder_);
    }
    FolderWithout(const FolderWithout&) = delete;
    FolderWithout& operator=(const FolderWithout&) = delete;
    std::string Path() const { return folder_.string(); }

private:
    fs::path folder_;
    std::string savedPath_;
};

TEST_F(FaultScene, ProjectNeedingALibraryThatIsGoneGivesOneErrorNamingIt)
{
    const fs::path path = folder / "scene.vxp";
    std::string error;
    ASSERT_TRUE(scene.host.SaveProject(path.string(), &error)) << error;

    FolderWithout plugins(guids::kValue);
    Vexcore other({plugins.Path()});
    std::vector<std::string> messages;
    other.SetMessageSink([&](const std::string& text) { messages.push_back(text); });
    std::string otherError;
    ASSERT_NE(other.AddChannel(Guid(guids::kMatrix), "kept", &otherError), nullptr) << otherError;
    const std::vector<Tav_Channel*> before = other.GetChannels();

    EXPECT_FALSE(other.LoadProject(path.string(), &otherError));
    EXPECT_NE(otherError.find(std::string(guids::kValue) + ".so not found"), std::string::npos) << otherError;
    EXPECT_NE(otherError.find("'box enable'"), std::string::npos) << otherError;
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(other.GetChannels(), before);
    other.RunFrame();
}

TEST_F(FaultScene, BodyWhoseDampingLibraryIsGoneSaysSoOnceAndStillFalls)
{
    FolderWithout plugins(guids::kDampingFactor);
    Vexcore other({plugins.Path()});
    std::vector<std::string> messages;
    other.SetMessageSink([&](const std::string& text) { messages.push_back(text); });
    std::string error;
    ASSERT_NE(other.AddChannel(Guid(guids::kWorld), "world", &error), nullptr) << error;
    auto* box = static_cast<Tvc_ODE_BodyCollision*>(other.AddChannel(Guid(guids::kBody), "box", &error));
    ASSERT_NE(box, nullptr) << error;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(std::string(guids::kDampingFactor) + ".so not found"), std::string::npos) << messages[0];
    EXPECT_EQ(box->dampingFactorChannel, nullptr);
    box->SetAngularVelocityDampenValue(0.5f); // applies with factor 1 without the channel
    for (int i = 0; i < 30; ++i)
        other.RunFrame();
    EXPECT_LT(box->GetOldMatrix()._42, -0.1f);
    EXPECT_EQ(messages.size(), 1u);
}

} // namespace
} // namespace vex::test
