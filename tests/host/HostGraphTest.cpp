#include "common/PluginEntry.h"
#include "host/Vexcore.h"
#include "tests/host/plugins/TestChannels.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using vextest::TestNode;

_GUID G(const char* text) { return vex::GuidFromText(text); }

class HostGraph : public ::testing::Test {
protected:
    HostGraph()
    {
        host.SetMessageSink([this](const std::string& m) { messages.push_back(m); });
    }

    TestNode* AddNode(const std::string& name)
    {
        std::string error;
        auto* node = static_cast<TestNode*>(host.AddChannel(G(vextest::kNodeGuid), name, &error));
        EXPECT_NE(node, nullptr) << error;
        return node;
    }
    Tav_Channel* AddLeaf(const std::string& name)
    {
        std::string error;
        Tav_Channel* leaf = host.AddChannel(G(vextest::kLeafGuid), name, &error);
        EXPECT_NE(leaf, nullptr) << error;
        return leaf;
    }

    Vexcore host{{VEX_TEST_PLUGIN_DIR}};
    std::vector<std::string> messages;
};

TEST_F(HostGraph, RenderCountIsTrueAtMostOncePerFrame)
{
    TestNode* node = AddNode("n");
    EXPECT_TRUE(node->CheckRenderCount());
    EXPECT_FALSE(node->CheckRenderCount());
    host.RunFrame();
    EXPECT_EQ(node->GetRunCount(), 1);
    node->CallChannel(); // asked again within the same frame
    node->CallChannel();
    EXPECT_EQ(node->GetRunCount(), 1);
    for (int i = 0; i < 5; ++i)
        host.RunFrame();
    EXPECT_EQ(node->GetRunCount(), 6);
    host.AdvanceFrame(); // a frame without the loop: an out-of-turn call runs once
    node->CallChannel();
    node->CallChannel();
    EXPECT_EQ(node->GetRunCount(), 7);
}

TEST_F(HostGraph, IgnoreTreeCountLetsAChannelRunEveryTimeWhileSet)
{
    TestNode* node = AddNode("n");
    host.RunFrame();
    ASSERT_EQ(node->GetRunCount(), 1);
    channelInternal.SetIgnoreTreeCount(node, true);
    node->CallChannel();
    node->CallChannel();
    EXPECT_EQ(node->GetRunCount(), 3);
    channelInternal.SetIgnoreTreeCount(node, false);
    node->CallChannel();
    EXPECT_EQ(node->GetRunCount(), 3) << "back to once per frame";
    host.RunFrame();
    EXPECT_EQ(node->GetRunCount(), 4);
    channelInternal.SetIgnoreTreeCount(nullptr, true); // tolerated
}

TEST_F(HostGraph, FrameCallsEveryChannelThenSendsFrameEnd)
{
    TestNode* a = AddNode("a");
    TestNode* b = AddNode("b");
    host.RunFrame();
    host.RunFrame();
    for (TestNode* n : {a, b}) {
        EXPECT_EQ(n->GetRunCount(), 2);
        EXPECT_TRUE(n->GetCalledBeforeFrameEnd());
        EXPECT_EQ(n->GetLastFrameEnd(), host.GetFrameCount());
    }
    EXPECT_EQ(host.GetFrameCount(), 2u);
}

TEST_F(HostGraph, AChannelThatThrowsDoesNotStopTheFrame)
{
    TestNode* thrower = AddNode("thrower");
    TestNode* after = AddNode("after");
    thrower->SetNumber(vextest::kNodeThrowNumber);
    host.RunFrame();
    EXPECT_EQ(after->GetRunCount(), 1);
    EXPECT_TRUE(after->GetCalledBeforeFrameEnd());
    EXPECT_EQ(thrower->GetLastFrameEnd(), 1u) << "frame end still reaches the channel that threw";
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("'thrower' failed"), std::string::npos) << messages[0];
}

TEST_F(HostGraph, DeclaredLinksTakeOnlyTheirTypeAndMinusOnePicksTheFirstThatFits)
{
    TestNode* root = AddNode("root");
    TestNode* node = AddNode("node");
    Tav_Channel* leaf = AddLeaf("leaf");
    Tav_Channel* needed = host.FindChannel("Test Needed");
    ASSERT_NE(needed, nullptr);
    ASSERT_EQ(root->GetChildCreateTypeCount(), 3);
    EXPECT_STREQ(root->GetChildCreateType(vextest::kNodeNodesLink)->linkName, "Nodes");

    EXPECT_EQ(root->SetChild(node, vextest::kNodeLeafLink, -1), -1) << "a node is no leaf";
    EXPECT_EQ(root->SetChild(leaf, vextest::kNodeNodesLink, -1), -1) << "a leaf is no node";
    EXPECT_EQ(root->SetChild(node, vextest::kNodeBaseLink, -1), -1);
    EXPECT_EQ(root->SetChild(leaf, 3, -1), -1) << "no such declared link";
    EXPECT_EQ(root->SetChild(leaf, 99, -1), -1);
    EXPECT_EQ(root->SetChild(nullptr, -1, -1), -1);
    EXPECT_EQ(root->SetChild(root, -1, -1), -1) << "not its own child";
    EXPECT_EQ(root->GetChildTypeCount(G(vextest::kLeafGuid)), 0);

    EXPECT_EQ(root->SetChild(leaf, -1, -1), 0);
    EXPECT_EQ(root->GetChild(vextest::kNodeLeafLink), leaf) << "-1: the first declared link taking a leaf";
    EXPECT_EQ(root->SetChild(node, -1, -1), 0);
    EXPECT_EQ(root->GetChild(vextest::kNodeNodesLink), node);
    EXPECT_EQ(root->SetChild(needed, -1, -1), 0);
    EXPECT_EQ(root->GetChild(root->GetChildCreateTypeCount()), needed) << "undeclared after the declared links";
    EXPECT_EQ(root->SetChild(leaf, vextest::kNodeBaseLink, -1), 0) << "by base type";
    EXPECT_EQ(root->GetChild(vextest::kNodeBaseLink), leaf);

    std::string error;
    EXPECT_FALSE(host.Link(root, node, vextest::kNodeLeafLink, &error));
    EXPECT_NE(error.find("\"Leaf\""), std::string::npos) << error;
    EXPECT_NE(error.find("\"Test Leaf\""), std::string::npos) << error;
    EXPECT_FALSE(host.Link(root, leaf, 7, &error));
    EXPECT_NE(error.find("link position 7 does not exist"), std::string::npos) << error;
    EXPECT_FALSE(host.Link(root, root, vextest::kNodeNodesLink, &error));
    EXPECT_NE(error.find("its own child"), std::string::npos) << error;
    EXPECT_FALSE(host.Link(nullptr, root, 0, &error));
}

TEST_F(HostGraph, ChildrenKeepPositionOrderAndInsertAtAnIndex)
{
    TestNode* root = AddNode("root");
    std::vector<TestNode*> nodes;
    for (const char* name : {"n0", "n1", "n2", "n3"})
        nodes.push_back(AddNode(name));
    Tav_Channel* leaf = AddLeaf("leaf");
    EXPECT_EQ(root->SetChild(nodes[0], vextest::kNodeNodesLink, -1), 0);
    EXPECT_EQ(root->SetChild(leaf, vextest::kNodeBaseLink, -1), 0);
    EXPECT_EQ(root->SetChild(nodes[1], vextest::kNodeNodesLink, -1), 1);
    EXPECT_EQ(root->SetChild(nodes[2], vextest::kNodeNodesLink, 0), 0) << "inserted first";
    EXPECT_EQ(root->SetChild(nodes[3], vextest::kNodeNodesLink, 50), 3) << "index past the end appends";
    ASSERT_EQ(root->GetChildLinkPositionCount(vextest::kNodeNodesLink), 4);
    const TestNode* expected[] = {nodes[2], nodes[0], nodes[1], nodes[3]};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(root->GetChildFromLinkPosition(vextest::kNodeNodesLink, i), expected[i]) << i;
    EXPECT_EQ(root->GetChildFromLinkPosition(vextest::kNodeNodesLink, 4), nullptr);
    EXPECT_EQ(root->GetChildFromLinkPosition(vextest::kNodeNodesLink, -1), nullptr);
    EXPECT_EQ(root->GetChild(vextest::kNodeLeafLink), nullptr);
    EXPECT_EQ(root->GetChildLinkPositionCount(vextest::kNodeLeafLink), 0);
    EXPECT_EQ(root->GetChildLinkPositionCount(-5), 0);
    EXPECT_EQ(root->GetChild(vextest::kNodeBaseLink), leaf);
}

TEST_F(HostGraph, ChildrenByTypeCountBaseTypesAcrossLinksInLinkOrder)
{
    TestNode* root = AddNode("root");
    Tav_Channel* leafA = AddLeaf("a");
    Tav_Channel* leafB = AddLeaf("b");
    Tav_Channel* leafC = AddLeaf("c");
    TestNode* node = AddNode("node");
    root->SetChild(leafB, vextest::kNodeBaseLink, -1);
    root->SetChild(node, vextest::kNodeNodesLink, -1);
    root->SetChild(leafA, vextest::kNodeLeafLink, -1);
    root->SetChild(leafC, vextest::kNodeBaseLink, -1);
    const _GUID base = G(vextest::kLeafBaseGuid);
    EXPECT_EQ(root->GetChildTypeCount(base), 3);
    EXPECT_EQ(root->GetChildTypeCount(G(vextest::kLeafGuid)), 3);
    EXPECT_EQ(root->GetChildTypeCount(G(vextest::kNodeGuid)), 1);
    EXPECT_EQ(root->GetChildTypeCount(G(vextest::kMissingGuid)), 0);
    EXPECT_EQ(root->GetChildFromLinkGuid(base, 0), leafA) << "link 0 comes before link 2";
    EXPECT_EQ(root->GetChildFromLinkGuid(base, 1), leafB);
    EXPECT_EQ(root->GetChildFromLinkGuid(base, 2), leafC);
    EXPECT_EQ(root->GetChildFromLinkGuid(base, 3), nullptr);
    EXPECT_EQ(root->GetChildFromLinkGuid(base, -1), nullptr);
    EXPECT_EQ(root->GetChildFromLinkGuid(G(vextest::kNodeGuid), 0), node);
    EXPECT_EQ(host.GetChannelByGuid(base), leafA) << "the host finds channels by base type too";
}

TEST_F(HostGraph, LinksToADestroyedChildAreDropped)
{
    TestNode* root = AddNode("root");
    TestNode* other = AddNode("other");
    Tav_Channel* leaf = AddLeaf("leaf");
    TestNode* n1 = AddNode("n1");
    TestNode* n2 = AddNode("n2");
    root->SetChild(leaf, vextest::kNodeLeafLink, -1);
    root->SetChild(leaf, vextest::kNodeBaseLink, -1);
    other->SetChild(leaf, vextest::kNodeBaseLink, -1);
    root->SetChild(n1, vextest::kNodeNodesLink, -1);
    root->SetChild(n2, vextest::kNodeNodesLink, -1);
    host.RemoveChannel(leaf);
    EXPECT_EQ(root->GetChild(vextest::kNodeLeafLink), nullptr);
    EXPECT_EQ(root->GetChild(vextest::kNodeBaseLink), nullptr);
    EXPECT_EQ(other->GetChildTypeCount(G(vextest::kLeafGuid)), 0);
    host.RemoveChannel(n1);
    ASSERT_EQ(root->GetChildLinkPositionCount(vextest::kNodeNodesLink), 1);
    EXPECT_EQ(root->GetChild(vextest::kNodeNodesLink), n2);

    // A channel outside the graph (owned by whoever created it) drops its links when deleted too.
    Tav_Channel* loose = host.CreateChannelByGuid(G(vextest::kLeafGuid), 0, 0);
    ASSERT_NE(loose, nullptr);
    ASSERT_EQ(root->SetChild(loose, vextest::kNodeLeafLink, -1), 0);
    delete loose;
    EXPECT_EQ(root->GetChild(vextest::kNodeLeafLink), nullptr);
    // Deleting a graph channel directly is noticed as well.
    delete n2;
    EXPECT_EQ(root->GetChild(vextest::kNodeNodesLink), nullptr);
    EXPECT_EQ(host.FindChannel("n2"), nullptr);
    host.RunFrame();
}

TEST_F(HostGraph, AddChannelCreatesEachNeededTypeOnce)
{
    AddNode("first");
    ASSERT_EQ(host.GetChannels().size(), 2u);
    Tav_Channel* needed = host.GetChannels()[1];
    EXPECT_EQ(needed->GetChannelType().typeGuid, G(vextest::kNeededGuid));
    EXPECT_EQ(host.GetChannelName(needed), "Test Needed") << "named after its type";
    AddNode("second");
    EXPECT_EQ(host.GetChannels().size(), 3u) << "the needed type is there already";
}

TEST_F(HostGraph, LibraryLoadsByGuidAndReportsItsRecord)
{
    std::string error;
    ASSERT_NE(host.LoadLibrary(G(vextest::kNodeGuid), &error), nullptr) << error;
    const ChannelType* type = host.GetLibraryType(G(vextest::kNodeGuid));
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(type->name, "Test Node");
    EXPECT_EQ(type->number2, 51);
    EXPECT_EQ(type->number3, 0);
    const ChannelLibrary* again = host.LoadLibrary(G(vextest::kNodeGuid), &error);
    EXPECT_EQ(again, host.LoadLibrary(G(vextest::kNodeGuid), &error)) << "loaded once";
    EXPECT_EQ(ChannelLibrary::FileNameFor(G(vextest::kNodeGuid)), "A1B2C3D4-0001-4000-8000-00000000A001.so");
    EXPECT_EQ(host.GetLibraryType(G(vextest::kMissingGuid)), nullptr);
    Tav_Channel* node = host.CreateChannelByGuid(G(vextest::kNodeGuid), 0, 0);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetChannelType().typeGuid, G(vextest::kNodeGuid));
    EXPECT_EQ(node->GetHostContext(), &host);
    delete node;
}

struct BadLibrary {
    const char* what;
    const char* guid;
    std::vector<std::string> messageParts;
};

class HostLibraryFailure : public HostGraph, public ::testing::WithParamInterface<BadLibrary> {};

TEST_P(HostLibraryFailure, GivesAClearErrorAndNoChannel)
{
    const BadLibrary& b = GetParam();
    std::string error;
    EXPECT_EQ(host.AddChannel(G(b.guid), "x", &error), nullptr);
    for (const std::string& part : b.messageParts)
        EXPECT_NE(error.find(part), std::string::npos) << "\"" << part << "\" missing in: " << error;
    EXPECT_TRUE(host.GetChannels().empty());
    // Through the host context the same error reaches the user.
    messages.clear();
    EXPECT_EQ(host.CreateChannelByGuid(G(b.guid), 0, 0), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostLibraryFailure,
    ::testing::Values(BadLibrary{"Missing",
                                 vextest::kMissingGuid,
                                 {"A1B2C3D4-00FF-4000-8000-00000000A0FF.so", "not found", VEX_TEST_PLUGIN_DIR}},
                      BadLibrary{"NoGetType", vextest::kNoGetTypeGuid, {"does not export GetType", "A1B2C3D4-0005"}},
                      BadLibrary{"NoInitDll", vextest::kNoInitDllGuid, {"does not export InitDLL", "A1B2C3D4-0006"}},
                      BadLibrary{"NullInitDll", vextest::kNullInitDllGuid, {"InitDLL", "created no channel"}},
                      BadLibrary{"WrongRecord", vextest::kWrongRecordGuid, {"reports type", vextest::kLeafGuid}}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(HostGraph, TwoInstancesOfOneLibraryLiveAndDieIndependently)
{
    std::unique_ptr<Tav_Channel> a(host.CreateChannelByGuid(G(vextest::kNodeGuid), 0, 0));
    std::unique_ptr<Tav_Channel> b(host.CreateChannelByGuid(G(vextest::kNodeGuid), 0, 0));
    ASSERT_TRUE(a && b);
    auto* nodeB = static_cast<TestNode*>(b.get());
    static_cast<TestNode*>(a.get())->SetNumber(1);
    nodeB->SetNumber(2);
    nodeB->AddText("kept");
    a.reset();
    EXPECT_EQ(nodeB->GetNumber(), 2);
    ASSERT_EQ(nodeB->GetTextCount(), 1);
    EXPECT_STREQ(nodeB->GetText(0), "kept");
    EXPECT_EQ(nodeB->GetChildCreateTypeCount(), 3);
}

/// A channel made in the test itself, inside the host's construction scope.
class LocalChannel : public Tav_Channel {
public:
    LocalChannel()
    {
        SetChannelName("Local");
        SetChildCreateType(vex::MakeChildCreation("Test Leaf", G(vextest::kLeafGuid), 0, "Leaf"), 0);
    }
};

TEST_F(HostGraph, ConstructionScopesNestAndRestoreTheOuterHost)
{
    EXPECT_EQ(vex::ScopedConstructionHost::Current(), nullptr);
    Vexcore other{{VEX_TEST_PLUGIN_DIR}};
    ChannelType record = vex::kInitialChannelType;
    {
        vex::ScopedConstructionHost outer(&host, &record);
        {
            vex::ScopedConstructionHost inner(&other, nullptr);
            EXPECT_EQ(vex::ScopedConstructionHost::Current(), &other);
            EXPECT_EQ(vex::ScopedConstructionHost::CurrentType(), nullptr);
            LocalChannel inside;
            EXPECT_EQ(inside.GetHostContext(), &other);
        }
        EXPECT_EQ(vex::ScopedConstructionHost::Current(), &host);
        EXPECT_EQ(vex::ScopedConstructionHost::CurrentType(), &record);
        // A constructor that creates a channel of another library (as the body does with its damping
        // channel) gets its own host back afterwards.
        std::unique_ptr<Tav_Channel> created(host.CreateChannelByGuid(G(vextest::kLeafGuid), 0, 0));
        ASSERT_TRUE(created);
        EXPECT_EQ(vex::ScopedConstructionHost::Current(), &host);
        EXPECT_EQ(vex::ScopedConstructionHost::CurrentType(), &record);
    }
    EXPECT_EQ(vex::ScopedConstructionHost::Current(), nullptr);
    LocalChannel outside;
    EXPECT_EQ(outside.GetHostContext(), nullptr);
    EXPECT_TRUE(outside.CheckRenderCount()) << "without a host: once";
    EXPECT_FALSE(outside.CheckRenderCount());
}

TEST_F(HostGraph, ACopyKeepsTheDeclarationsButNoLinks)
{
    Tav_Channel* leaf = AddLeaf("leaf");
    std::unique_ptr<LocalChannel> original;
    {
        vex::ScopedConstructionHost scope(&host);
        original = std::make_unique<LocalChannel>();
    }
    ASSERT_EQ(original->SetChild(leaf, 0, -1), 0);
    {
        LocalChannel copy(*original);
        EXPECT_STREQ(copy.GetChannelName(), "Local");
        ASSERT_EQ(copy.GetChildCreateTypeCount(), 1);
        EXPECT_STREQ(copy.GetChildCreateType(0)->linkName, "Leaf");
        EXPECT_NE(copy.GetChildCreateType(0), original->GetChildCreateType(0)) << "its own declaration records";
        EXPECT_EQ(copy.GetChild(0), nullptr);
        EXPECT_EQ(copy.GetHostContext(), &host);
        LocalChannel assigned;
        assigned = copy;
        EXPECT_EQ(assigned.GetChildCreateTypeCount(), 1);
    }
    EXPECT_EQ(original->GetChild(0), leaf) << "destroying the copies leaves the original's links";
    EXPECT_STREQ(original->GetChildCreateType(0)->linkName, "Leaf");
}

TEST_F(HostGraph, PluginFoldersComeFromTheEnvironmentAfterThoseGiven)
{
    const char* inherited = std::getenv("VEX_PLUGIN_PATH");
    const std::string saved = inherited ? inherited : "";
    ::setenv("VEX_PLUGIN_PATH", "/first:/second::/third", 1);
    Vexcore h({"/given"});
    if (inherited)
        ::setenv("VEX_PLUGIN_PATH", saved.c_str(), 1);
    else
        ::unsetenv("VEX_PLUGIN_PATH");
    EXPECT_EQ(h.GetPluginFolders(), (std::vector<std::string>{"/given", "/first", "/second", "/third"}));
}

} // namespace

namespace {

/// Removes another channel of the graph from inside its own CallChannel.
class RemovingChannel : public Tav_Channel {
public:
    explicit RemovingChannel(Vexcore& host) : host_(host) {}
    void SetVictim(Tav_Channel* victim) { victim_ = victim; }
    void CallChannel() override
    {
        if (victim_)
            host_.RemoveChannel(std::exchange(victim_, nullptr));
    }

private:
    Vexcore& host_;
    Tav_Channel* victim_ = nullptr;
};

} // namespace

TEST_F(HostGraph, ChannelRemovedDuringAFrameIsNotCalledAfterwards)
{
    TestNode* first = AddNode("first");
    auto* remover = [&] {
        vex::ScopedConstructionHost scope(&host);
        return new RemovingChannel(host);
    }();
    host.AdoptChannel(remover, "remover");
    // The victim comes after the remover in frame order, so it would be called after its removal.
    remover->SetVictim(AddNode("victim"));
    TestNode* after = AddNode("after");

    host.RunFrame();
    EXPECT_EQ(host.FindChannel("victim"), nullptr);
    EXPECT_EQ(first->GetRunCount(), 1);
    EXPECT_EQ(after->GetRunCount(), 1);
    EXPECT_EQ(after->GetLastFrameEnd(), host.GetFrameCount());
    host.RunFrame();
    EXPECT_EQ(after->GetRunCount(), 2);
}
