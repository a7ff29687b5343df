#include "host/ProjectFile.h"
#include "host/ByteIO.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "tests/host/plugins/TestChannels.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using vex::ProjectData;

bool SameProject(const ProjectData& a, const ProjectData& b)
{
    if (a.channels.size() != b.channels.size() || a.links.size() != b.links.size())
        return false;
    for (size_t i = 0; i < a.channels.size(); ++i)
        if (a.channels[i].type != b.channels[i].type || a.channels[i].name != b.channels[i].name ||
            a.channels[i].section != b.channels[i].section)
            return false;
    for (size_t i = 0; i < a.links.size(); ++i)
        if (a.links[i].parent != b.links[i].parent || a.links[i].position != b.links[i].position ||
            a.links[i].child != b.links[i].child)
            return false;
    return true;
}

ProjectData RandomProject(std::mt19937& rng)
{
    std::uniform_int_distribution<int> count(0, 12), length(0, 40), byte(0, 255);
    ProjectData p;
    const int n = count(rng);
    for (int i = 0; i < n; ++i) {
        vex::ProjectChannelRecord c;
        uint8_t guid[16];
        for (uint8_t& g : guid)
            g = static_cast<uint8_t>(byte(rng));
        c.type = vex::GuidFromBytes(guid);
        c.name.resize(static_cast<size_t>(length(rng)));
        for (char& ch : c.name)
            ch = static_cast<char>(byte(rng)); // names are bytes: NULs included
        c.section.resize(static_cast<size_t>(length(rng)));
        for (uint8_t& s : c.section)
            s = static_cast<uint8_t>(byte(rng));
        p.channels.push_back(std::move(c));
    }
    if (n > 0) {
        std::uniform_int_distribution<uint32_t> index(0, static_cast<uint32_t>(n - 1));
        std::uniform_int_distribution<int32_t> position(-1, 5);
        const int links = count(rng);
        for (int i = 0; i < links; ++i)
            p.links.push_back({index(rng), position(rng), index(rng)});
    }
    return p;
}

TEST(ProjectFile, EncodeThenDecodeGivesTheSameProjectOverRandomProjects)
{
    std::mt19937 rng(31);
    for (int round = 0; round < 300; ++round) {
        const ProjectData original = RandomProject(rng);
        ProjectData decoded;
        std::string error;
        ASSERT_TRUE(vex::DecodeProject(vex::EncodeProject(original), decoded, &error)) << error;
        EXPECT_TRUE(SameProject(original, decoded)) << "round " << round;
    }
}

TEST(ProjectFile, ManySmallChannelsDecode)
{
    // Channels with an empty name and section take 24 bytes each: the size check must allow them.
    for (int n : {1, 2, 3, 10, 1000}) {
        ProjectData p;
        p.channels.resize(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            p.channels[static_cast<size_t>(i)].name.assign(static_cast<size_t>(i % 2), 'a');
        ProjectData decoded;
        std::string error;
        EXPECT_TRUE(vex::DecodeProject(vex::EncodeProject(p), decoded, &error)) << n << ": " << error;
        EXPECT_EQ(decoded.channels.size(), static_cast<size_t>(n));
    }
}

/// The same project in the first layout (no writer, no checksum table), as files written before the
/// checksums were; the project's writer must be empty.
std::vector<uint8_t> FirstLayout(std::vector<uint8_t> bytes)
{
    vex::ByteReader tail(bytes.data() + bytes.size() - 8, 4);
    uint32_t tableAt = 0;
    tail.U32(tableAt);
    bytes.resize(tableAt);
    bytes.erase(bytes.begin() + 8, bytes.begin() + 12);
    bytes[4] = 1;
    return bytes;
}

TEST(ProjectFile, BytesOfAOneChannelProject)
{
    ProjectData p;
    p.channels.push_back({vex::GuidFromText("7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417"), "B", {'X', 'Y'}});
    p.channels.push_back({GUID_NULL, "", {}});
    p.links.push_back({0, 2, 1});
    const std::vector<uint8_t> expected = {
        'V',  'X',  'P',  'J',  1,    0,    0,    0,    2,    0,    0,    0,                   // magic, version, count
        0xE0, 0xA5, 0x21, 0x7D, 0x93, 0x4C, 0x1A, 0x4F, 0xB8, 0xE2, 0x3A, 0x6C, 0x0F,          // type GUID ...
        0x95, 0xD4, 0x17,                                                                      // ... of channel 0
        1,    0,    0,    0,    'B',                                                           // name
        2,    0,    0,    0,    'X',  'Y',                                                     // section
        0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, // channel 1: GUID,
        0,    0,    0,    0,    0,    0,    0,    0,                                           // empty name and section
        1,    0,    0,    0,    0,    0,    0,    0,    2,    0,    0,    0,    1,    0, 0, 0}; // one link: 0 -(2)-> 1
    EXPECT_EQ(FirstLayout(vex::EncodeProject(p)), expected);
}

// The example of docs/project-format.md, written before the checksums: still read.
TEST(ProjectFile, FirstLayoutFilesStillDecode)
{
    const std::vector<uint8_t> file = {0x56, 0x58, 0x50, 0x4a, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                                       0x90, 0x04, 0x34, 0xda, 0x67, 0x32, 0xef, 0x4a, 0x8f, 0x90, 0xe7, 0x99,
                                       0x45, 0x76, 0x85, 0x7e, 0x06, 0x00, 0x00, 0x00, 0x65, 0x6e, 0x61, 0x62,
                                       0x6c, 0x65, 0x0c, 0x00, 0x00, 0x00, 0x56, 0x4c, 0x56, 0x4c, 0x04, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x80, 0x3f, 0x00, 0x00, 0x00, 0x00};
    ProjectData out;
    std::string error;
    ASSERT_TRUE(vex::DecodeProject(file, out, &error)) << error;
    EXPECT_EQ(out.version, 1u);
    EXPECT_EQ(out.writer, "");
    ASSERT_EQ(out.channels.size(), 1u);
    EXPECT_EQ(out.channels[0].name, "enable");
}

// Every single-bit flip anywhere in a file of the current layout is refused; past the magic and the
// version, the message names the damaged byte range.
TEST(ProjectFile, EverySingleBitFlipIsRefusedNamingTheByteRange)
{
    ProjectData p;
    p.writer = "Vex test";
    p.channels.push_back({vex::GuidFromText(vextest::kNodeGuid), "root", {'A', 'A', 'A', 'A', 1, 0, 0, 0, 9}});
    p.channels.push_back({vex::GuidFromText(vextest::kLeafGuid), "leaf", {}});
    p.links.push_back({0, 0, 1});
    const std::vector<uint8_t> whole = vex::EncodeProject(p);
    ProjectData out;
    std::string error;
    ASSERT_TRUE(vex::DecodeProject(whole, out, &error)) << error;
    EXPECT_EQ(out.writer, "Vex test");
    for (size_t i = 0; i < whole.size(); ++i)
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<uint8_t> damaged = whole;
            damaged[i] ^= static_cast<uint8_t>(1 << bit);
            ASSERT_FALSE(vex::DecodeProject(damaged, out, &error)) << "byte " << i << " bit " << bit;
            if (i >= 8) {
                EXPECT_NE(error.find("bytes "), std::string::npos) << "byte " << i << ": " << error;
            }
        }
}

std::vector<uint8_t> SampleFile()
{
    ProjectData p;
    p.channels.push_back({vex::GuidFromText(vextest::kNodeGuid), "root", {'A', 'A', 'A', 'A', 1, 0, 0, 0, 9}});
    p.channels.push_back({vex::GuidFromText(vextest::kLeafGuid), "leaf", {}});
    p.links.push_back({0, 0, 1});
    // The structure checks below the checksums, reached by files of the first layout.
    return FirstLayout(vex::EncodeProject(p));
}

TEST(ProjectFile, EveryCutShortFileIsRefusedWithAMessage)
{
    const std::vector<uint8_t> whole = SampleFile();
    for (size_t n = 0; n < whole.size(); ++n) {
        ProjectData out;
        out.channels.resize(1);
        std::string error;
        EXPECT_FALSE(
            vex::DecodeProject(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(n)), out, &error))
            << "cut at " << n;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(out.channels.size(), 1u) << "output untouched on failure";
    }
}

struct Damage {
    const char* what;
    size_t offset; ///< where to write
    std::vector<uint8_t> bytes;
    const char* message; ///< part of the error text
};

class ProjectFileRejects : public ::testing::TestWithParam<Damage> {};

TEST_P(ProjectFileRejects, DamagedFile)
{
    const Damage& d = GetParam();
    std::vector<uint8_t> file = SampleFile();
    if (d.offset == SIZE_MAX)
        file.insert(file.end(), d.bytes.begin(), d.bytes.end());
    else
        std::copy(d.bytes.begin(), d.bytes.end(), file.begin() + static_cast<long>(d.offset));
    ProjectData out;
    std::string error;
    EXPECT_FALSE(vex::DecodeProject(file, out, &error));
    EXPECT_NE(error.find(d.message), std::string::npos) << error;
}

// Offsets in SampleFile: count at 8, channel 0's GUID at 12, name length at 28, section length at 36,
// channel 1 at 49 (name length at 65, section length at 73), link count at 77, the link at 81.
INSTANTIATE_TEST_SUITE_P(
    Cases, ProjectFileRejects,
    ::testing::Values(Damage{"WrongMagic", 0, {'V', 'X', 'P', 'K'}, "not a project file"},
                      Damage{"Version3", 4, {3}, "unsupported project version 3"},
                      Damage{"HugeChannelCount", 8, {0xFF, 0xFF, 0xFF, 0x7F}, "channel count"},
                      Damage{"ThreeChannels", 8, {3}, "channel"},
                      Damage{"HugeNameLength", 28, {0xFF, 0xFF, 0xFF, 0xFF}, "name length"},
                      Damage{"HugeSectionLength", 36, {0xF0, 0xFF, 0xFF, 0xFF}, "section length"},
                      Damage{"HugeLinkCount", 77, {0xFF, 0xFF, 0xFF, 0xFF}, "link count"},
                      Damage{"LinkToMissingChannel", 89, {2}, "link 0 names channel 2 of 2"},
                      Damage{"LinkFromMissingChannel", 81, {0xFF, 0xFF, 0xFF, 0xFF}, "link 0 names channel"},
                      Damage{"TrailingBytes", SIZE_MAX, {0}, "unexpected bytes"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(ProjectFile, OverlongNameIsRefused)
{
    ProjectData p;
    p.channels.push_back({GUID_NULL, std::string(vex::kMaxChannelNameBytes + 1, 'n'), {}});
    ProjectData out;
    std::string error;
    EXPECT_FALSE(vex::DecodeProject(vex::EncodeProject(p), out, &error));
    p.channels[0].name.pop_back();
    EXPECT_TRUE(vex::DecodeProject(vex::EncodeProject(p), out, &error)) << error;
}

class ProjectRoundTrip : public ::testing::Test {
protected:
    ProjectRoundTrip()
    {
        folder = fs::temp_directory_path() / ("vex-project-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
        host.SetMessageSink([this](const std::string& m) { messages.push_back(m); });
    }
    ~ProjectRoundTrip() override { fs::remove_all(folder); }

    static vextest::TestNode* AsNode(Tav_Channel* c) { return static_cast<vextest::TestNode*>(c); }

    vextest::TestNode* AddNode(Vexcore& h, const std::string& name)
    {
        std::string error;
        Tav_Channel* c = h.AddChannel(vex::GuidFromText(vextest::kNodeGuid), name, &error);
        EXPECT_NE(c, nullptr) << error;
        return AsNode(c);
    }
    Tav_Channel* AddLeaf(Vexcore& h, const std::string& name)
    {
        std::string error;
        Tav_Channel* c = h.AddChannel(vex::GuidFromText(vextest::kLeafGuid), name, &error);
        EXPECT_NE(c, nullptr) << error;
        return c;
    }

    /// root -(Leaf)-> leafA, root -(Nodes)-> child, root -(Nodes)-> other, root -(Leaf base)-> leafB
    void BuildGraph(Vexcore& h)
    {
        vextest::TestNode* root = AddNode(h, "root");
        vextest::TestNode* child = AddNode(h, "child");
        vextest::TestNode* other = AddNode(h, "other");
        Tav_Channel* leafA = AddLeaf(h, "leafA");
        Tav_Channel* leafB = AddLeaf(h, "leafB");
        root->SetNumber(-123456);
        root->AddText("first");
        root->AddText("");
        root->AddText("third");
        child->SetNumber(7);
        std::string error;
        ASSERT_TRUE(h.Link(root, leafA, vextest::kNodeLeafLink, &error)) << error;
        ASSERT_TRUE(h.Link(root, child, vextest::kNodeNodesLink, &error)) << error;
        ASSERT_TRUE(h.Link(root, other, vextest::kNodeNodesLink, &error)) << error;
        ASSERT_TRUE(h.Link(root, leafB, vextest::kNodeBaseLink, &error)) << error;
        ASSERT_TRUE(h.Link(child, other, vextest::kNodeNodesLink, &error)) << error;
    }

    void ExpectGraph(Vexcore& h)
    {
        auto* root = AsNode(h.FindChannel("root"));
        auto* child = AsNode(h.FindChannel("child"));
        Tav_Channel* other = h.FindChannel("other");
        Tav_Channel* leafA = h.FindChannel("leafA");
        Tav_Channel* leafB = h.FindChannel("leafB");
        ASSERT_TRUE(root && child && other && leafA && leafB);
        EXPECT_EQ(root->GetNumber(), -123456);
        ASSERT_EQ(root->GetTextCount(), 3);
        EXPECT_STREQ(root->GetText(0), "first");
        EXPECT_STREQ(root->GetText(1), "");
        EXPECT_STREQ(root->GetText(2), "third");
        EXPECT_EQ(child->GetNumber(), 7);
        EXPECT_EQ(root->GetChild(vextest::kNodeLeafLink), leafA);
        ASSERT_EQ(root->GetChildLinkPositionCount(vextest::kNodeNodesLink), 2);
        EXPECT_EQ(root->GetChildFromLinkPosition(vextest::kNodeNodesLink, 0), child);
        EXPECT_EQ(root->GetChildFromLinkPosition(vextest::kNodeNodesLink, 1), other);
        EXPECT_EQ(root->GetChild(vextest::kNodeBaseLink), leafB);
        EXPECT_EQ(child->GetChild(vextest::kNodeNodesLink), other);
    }

    fs::path folder;
    Vexcore host{{VEX_TEST_PLUGIN_DIR}};
    std::vector<std::string> messages;
};

TEST_F(ProjectRoundTrip, GraphWithLinksAndSectionsSurvivesSaveAndLoad)
{
    BuildGraph(host);
    const size_t channels = host.GetChannels().size();
    const std::string path = (folder / "graph.vxp").string();
    std::string error;
    ASSERT_TRUE(host.SaveProject(path, &error)) << error;

    Vexcore loaded{{VEX_TEST_PLUGIN_DIR}};
    ASSERT_TRUE(loaded.LoadProject(path, &error)) << error;
    EXPECT_EQ(loaded.GetChannels().size(), channels);
    ExpectGraph(loaded);

    // Saving the loaded graph gives the same bytes.
    const std::string again = (folder / "again.vxp").string();
    ASSERT_TRUE(loaded.SaveProject(again, &error)) << error;
    std::vector<uint8_t> a, b;
    ASSERT_TRUE(vex::ReadFileBytes(path, a, &error));
    ASSERT_TRUE(vex::ReadFileBytes(again, b, &error));
    EXPECT_EQ(a, b);
}

TEST_F(ProjectRoundTrip, LoadingIntoAHostWithAGraphReplacesIt)
{
    BuildGraph(host);
    const std::string path = (folder / "graph.vxp").string();
    std::string error;
    ASSERT_TRUE(host.SaveProject(path, &error)) << error;
    Vexcore other{{VEX_TEST_PLUGIN_DIR}};
    AddNode(other, "stale")->SetNumber(5);
    ASSERT_TRUE(other.LoadProject(path, &error)) << error;
    EXPECT_EQ(other.FindChannel("stale"), nullptr);
    ExpectGraph(other);
}

/// Bytes that must not load, each with what the error should name.
struct BadProject {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;
};

std::vector<uint8_t> ProjectWith(std::vector<vex::ProjectChannelRecord> channels,
                                 std::vector<vex::ProjectLinkRecord> links)
{
    ProjectData project;
    project.channels = std::move(channels);
    project.links = std::move(links);
    return vex::EncodeProject(project);
}

std::vector<BadProject> BadProjects()
{
    const _GUID node = vex::GuidFromText(vextest::kNodeGuid);
    const _GUID leaf = vex::GuidFromText(vextest::kLeafGuid);
    TavFileSaver failing;
    failing.SaveTag(vextest::kNodeFailTag);
    TavFileSaver throwing;
    throwing.SaveTag(vextest::kNodeThrowTag);
    std::vector<uint8_t> truncated = SampleFile();
    truncated.resize(truncated.size() - 3);
    std::vector<uint8_t> hugeCount = SampleFile();
    hugeCount[8] = hugeCount[9] = hugeCount[10] = 0xFF;
    return {
        {"Empty", {}, "not a project file"},
        {"Truncated", truncated, "at byte"},
        {"WrongMagic", {'P', 'K', 3, 4, 1, 0, 0, 0}, "not a project file"},
        {"HugeCount", hugeCount, "exceeds"},
        {"UnknownType", ProjectWith({{vex::GuidFromText(vextest::kMissingGuid), "ghost", {}}}, {}),
         "A1B2C3D4-00FF-4000-8000-00000000A0FF.so not found"},
        {"NoGetType", ProjectWith({{vex::GuidFromText(vextest::kNoGetTypeGuid), "broken", {}}}, {}), "GetType"},
        {"NullInitDll", ProjectWith({{vex::GuidFromText(vextest::kNullInitDllGuid), "null", {}}}, {}),
         "created no channel"},
        {"CorruptSection", ProjectWith({{node, "root", {'A', 'B', 'C', 'D', 9, 0, 0, 0}}}, {}), "'root'"},
        {"ChannelRefusesItsData", ProjectWith({{node, "root", failing.TakeBytes()}}, {}), "could not load"},
        {"ChannelThrowsWhileLoading", ProjectWith({{node, "root", {}}, {node, "thrower", throwing.TakeBytes()}}, {}),
         "'thrower' failed to load"},
        {"HugeChunkSize", ProjectWith({{node, "root", {'A', 'B', 'C', 'D', 0, 0, 0, 0x80}}}, {}), "'root'"},
        {"LinkOfWrongType", ProjectWith({{node, "root", {}}, {node, "n2", {}}}, {{0, vextest::kNodeLeafLink, 1}}),
         "takes \"Test Leaf\""},
        {"LinkPositionOutOfRange", ProjectWith({{node, "root", {}}, {leaf, "l", {}}}, {{0, 9, 1}}),
         "link position 9 does not exist"},
        {"LinkToItself", ProjectWith({{node, "root", {}}}, {{0, vextest::kNodeNodesLink, 0}}), "its own child"},
    };
}

class ProjectLoadFailure : public ProjectRoundTrip, public ::testing::WithParamInterface<BadProject> {};

TEST_P(ProjectLoadFailure, GivesAClearErrorAndKeepsThePreviousGraph)
{
    BuildGraph(host);
    const std::vector<Tav_Channel*> before = host.GetChannels();
    std::string error;
    EXPECT_FALSE(host.LoadProjectBytes(GetParam().bytes, &error));
    EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
    EXPECT_EQ(host.GetChannels(), before) << "the same channel objects, in the same order";
    ExpectGraph(host);
    // The graph still runs and saves.
    host.RunFrame();
    EXPECT_TRUE(host.SaveProject((folder / "after.vxp").string(), &error)) << error;
}

INSTANTIATE_TEST_SUITE_P(Cases, ProjectLoadFailure, ::testing::ValuesIn(BadProjects()),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(ProjectRoundTrip, LoadProjectNamesTheFileInItsError)
{
    const std::string path = (folder / "bad.vxp").string();
    std::string error;
    ASSERT_TRUE(TavFileSaver::WriteFileAtomically(path, {'n', 'o', 'p', 'e'}, &error));
    EXPECT_FALSE(host.LoadProject(path, &error));
    EXPECT_NE(error.find("bad.vxp"), std::string::npos) << error;
    EXPECT_FALSE(host.LoadProject((folder / "missing.vxp").string(), &error));
    EXPECT_NE(error.find("missing.vxp"), std::string::npos) << error;
}

TEST_F(ProjectRoundTrip, FailedSaveKeepsThePreviousFile)
{
    BuildGraph(host);
    const std::string path = (folder / "graph.vxp").string();
    std::string error;
    ASSERT_TRUE(host.SaveProject(path, &error)) << error;
    std::vector<uint8_t> saved;
    ASSERT_TRUE(vex::ReadFileBytes(path, saved, &error));
    // A channel that cannot save stops the whole save before the file is touched.
    AsNode(host.FindChannel("child"))->SetNumber(vextest::kNodeRefuseSaveNumber);
    EXPECT_FALSE(host.SaveProject(path, &error));
    EXPECT_NE(error.find("'child'"), std::string::npos) << error;
    std::vector<uint8_t> now;
    ASSERT_TRUE(vex::ReadFileBytes(path, now, &error));
    EXPECT_EQ(now, saved);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << "no temporary left";
}

TEST_F(ProjectRoundTrip, ChannelNameTooLongToLoadIsRefusedAtSave)
{
    AddNode(host, std::string(vex::kMaxChannelNameBytes + 1, 'n'));
    const std::string path = (folder / "long.vxp").string();
    std::string error;
    EXPECT_FALSE(host.SaveProject(path, &error)) << "a saved project must load again";
    EXPECT_NE(error.find("name"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(path));
}

} // namespace
