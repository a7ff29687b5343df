// The "DX8 OctTree" channel: gathering the linked objects, refreshing, settings, saved data, slots.

#include "siblings/octree/Tvc_DX8_OctTree.h"
#include "tests/siblings/octree/OctTreeDoubles.h"

#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_ProgressInterface.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace vex::testing {
namespace {

constexpr float kFree[4] = {1, 1, 1, 0};

struct Ray {
    bool blocked;
    float colour[4];
};

Ray Trace(Tav_OctTreeInterface& tree, D3DXVECTOR3 from, D3DXVECTOR3 to, Tav_Channel* receiver = nullptr)
{
    Ray r;
    std::copy(kFree, kFree + 4, r.colour);
    const D3DXVECTOR3 dir = to - from;
    r.blocked = tree.TraceRay(&from, &to, &dir, r.colour, receiver);
    return r;
}

/// A scene of one object holding a 2 x 2 square at height 1, front side up.
struct SquareScene {
    Tvc_DX8_OctTree tree;
    TestObject square;

    SquareScene()
    {
        AddSquare(square.AddMesh(), -1, -1, 1, 1, 1);
        EXPECT_GE(tree.SetChild(square.object.get(), Tvc_DX8_OctTree::kObjectsLink, -1), 0);
    }
};

TEST(OctTreeChannel, ShadowsComeFromTheLinkedObjectsInWorldSpace)
{
    SquareScene s;
    D3DXMatrixTranslation(&s.square.object->world, 10, 0, 0);
    EXPECT_TRUE(s.tree.PrepareShadowTree(false));
    EXPECT_EQ(s.tree.GetShadowTriangleCount(), 2);

    const Ray hit = Trace(s.tree, {10, 0, 0}, {10, 0, 5});
    EXPECT_TRUE(hit.blocked);
    EXPECT_EQ(hit.colour[3], 1);
    const Ray miss = Trace(s.tree, {0, 0, 0}, {0, 0, 5});
    EXPECT_FALSE(miss.blocked);
    EXPECT_TRUE(std::equal(miss.colour, miss.colour + 4, kFree));
}

TEST(OctTreeChannel, MovingAnObjectMovesItsShadowAtTheNextPrepare)
{
    SquareScene s;
    ASSERT_TRUE(s.tree.PrepareShadowTree(false));
    EXPECT_TRUE(Trace(s.tree, {0, 0, 0}, {0, 0, 5}).blocked);
    const int builds = s.tree.GetShadowTreeBuildCount();

    D3DXMatrixTranslation(&s.square.object->world, 5, 0, 0);
    EXPECT_TRUE(Trace(s.tree, {0, 0, 0}, {0, 0, 5}).blocked) << "the scene changes only when prepared";
    ASSERT_TRUE(s.tree.PrepareShadowTree(false));
    EXPECT_EQ(s.tree.GetShadowTreeBuildCount(), builds + 1);
    EXPECT_FALSE(Trace(s.tree, {0, 0, 0}, {0, 0, 5}).blocked);
    EXPECT_TRUE(Trace(s.tree, {5, 0, 0}, {5, 0, 5}).blocked);
}

TEST(OctTreeChannel, PrepareRebuildsOnlyWhenTheTrianglesChange)
{
    SquareScene s;
    ASSERT_TRUE(s.tree.PrepareShadowTree(false));
    const int builds = s.tree.GetShadowTreeBuildCount();
    ASSERT_TRUE(s.tree.PrepareShadowTree(false));
    EXPECT_EQ(s.tree.GetShadowTreeBuildCount(), builds);

    // New settings take effect without a rebuild.
    s.tree.SetObjectShadowTint(0, 1, 0, 0);
    s.tree.SetObjectShadowOpacity(0, 0.5f);
    ASSERT_TRUE(s.tree.PrepareShadowTree(false));
    EXPECT_EQ(s.tree.GetShadowTreeBuildCount(), builds);
    const Ray tinted = Trace(s.tree, {0, 0, 0}, {0, 0, 5});
    EXPECT_FLOAT_EQ(tinted.colour[0], 1);
    EXPECT_FLOAT_EQ(tinted.colour[1], 0);
    EXPECT_FLOAT_EQ(tinted.colour[3], 0.5f);

    // A vertex that moves within the mesh does rebuild.
    s.square.meshes[0]->positions[0].z = 2;
    ASSERT_TRUE(s.tree.PrepareShadowTree(false));
    EXPECT_EQ(s.tree.GetShadowTreeBuildCount(), builds + 1);
}

TEST(OctTreeChannel, SettingsFollowTheObjectsLinkIndex)
{
    Tvc_DX8_OctTree tree;
    TestObject first, second;
    AddSquare(first.AddMesh(), -1, -1, 1, 1, 1);
    AddSquare(second.AddMesh(), -1, -1, 1, 1, 2);
    tree.SetChild(first.object.get(), 0, -1);
    tree.SetChild(second.object.get(), 0, -1);
    tree.SetObjectShadowTint(1, 0, 0, 1);
    tree.SetObjectShadowOpacity(1, 0.25f);
    ASSERT_TRUE(tree.PrepareShadowTree(false));

    const Ray upper = Trace(tree, {0, 0, 1.5f}, {0, 0, 5});
    EXPECT_FLOAT_EQ(upper.colour[2], 1);
    EXPECT_FLOAT_EQ(upper.colour[3], 0.25f);
    const Ray lower = Trace(tree, {0, 0, 0.5f}, {0, 0, 1.5f});
    EXPECT_EQ(lower.colour[3], 1); // object 0 keeps the default: opaque black
    EXPECT_EQ(lower.colour[2], 0);
}

TEST(OctTreeChannel, SettersClampAndRefuseBadIndices)
{
    Tvc_DX8_OctTree tree;
    EXPECT_TRUE(tree.SetObjectShadowTint(3, -1, 0.5f, 7));
    EXPECT_TRUE(tree.SetObjectShadowOpacity(3, 2));
    float rgb[3];
    tree.GetObjectShadowTint(3, rgb);
    EXPECT_EQ(rgb[0], 0);
    EXPECT_EQ(rgb[1], 0.5f);
    EXPECT_EQ(rgb[2], 1);
    EXPECT_EQ(tree.GetObjectShadowOpacity(3), 1);
    EXPECT_FALSE(tree.SetObjectShadowOpacity(-1, 0.5f));
    EXPECT_FALSE(tree.SetObjectShadowOpacity(int(octree::kMaxStoredObjectSettings), 0.5f));
    tree.GetObjectShadowTint(99, rgb); // never set: the default
    EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0);
    EXPECT_EQ(tree.GetObjectShadowOpacity(99), 1);
}

TEST(OctTreeChannel, EverySurfaceMeshTakesPartAndOddMeshesAreSkipped)
{
    Tvc_DX8_OctTree tree;
    TestObject object;
    AddSquare(object.AddMesh(), -1, -1, 1, 1, 1);
    AddSquare(object.AddMesh(), 4, -1, 6, 1, 1);
    FakeMesh& strip = object.AddMesh();
    AddSquare(strip, 10, -1, 12, 1, 1);
    strip.primitiveType = 5; // not a triangle list
    FakeMesh& broken = object.AddMesh();
    AddSquare(broken, 20, -1, 22, 1, 1);
    broken.indices[1] = 1000;          // the first triangle has a missing vertex
    broken.positions[5] = {NAN, 0, 1}; // the second a non-finite one
    AddSquare(broken, 30, -1, 32, 1, 1);
    tree.SetChild(object.object.get(), 0, -1);
    ASSERT_TRUE(tree.PrepareShadowTree(false));
    EXPECT_EQ(tree.GetShadowTriangleCount(), 6);
    EXPECT_TRUE(Trace(tree, {5, 0, 0}, {5, 0, 5}).blocked);
    EXPECT_FALSE(Trace(tree, {11, 0, 0}, {11, 0, 5}).blocked);
    EXPECT_TRUE(Trace(tree, {31, 0, 0}, {31, 0, 5}).blocked);
}

TEST(OctTreeChannel, AFloorInTheSceneDoesNotShadowItsOwnSamples)
{
    Tvc_DX8_OctTree tree;
    TestObject floor;
    FakeMesh& mesh = floor.AddMesh();
    AddSquare(mesh, -10, -10, 10, 10, 0);
    tree.SetChild(floor.object.get(), 0, -1);
    ASSERT_TRUE(tree.PrepareShadowTree(false));
    for (Tav_Channel* receiver : {static_cast<Tav_Channel*>(&mesh), static_cast<Tav_Channel*>(nullptr)}) {
        EXPECT_FALSE(Trace(tree, {1, 1, 0}, {2, 3, 8}, receiver).blocked);
        EXPECT_FALSE(Trace(tree, {1, 1, 1e-4f}, {2, 3, -8}, receiver).blocked);
    }
    EXPECT_TRUE(Trace(tree, {1, 1, 0.1f}, {2, 3, -8}, &mesh).blocked);
}

TEST(OctTreeChannel, CullingFlagSkipsBackSides)
{
    SquareScene s;
    ASSERT_TRUE(s.tree.PrepareShadowTree(false));
    s.tree.SetUseCulling(true);
    EXPECT_TRUE(s.tree.GetUseCulling());
    EXPECT_FALSE(Trace(s.tree, {0, 0, 0}, {0, 0, 5}).blocked);
    EXPECT_TRUE(Trace(s.tree, {0, 0, 5}, {0, 0, 0}).blocked);
    s.tree.SetUseCulling(false);
    EXPECT_TRUE(Trace(s.tree, {0, 0, 0}, {0, 0, 5}).blocked);

    // A flag given with the query wins over the stored one, either way.
    const D3DXVECTOR3 from(0, 0, 0), to(0, 0, 5), dir = to - from;
    float colour[4] = {1, 1, 1, 0};
    EXPECT_FALSE(s.tree.TraceRayWithCulling(&from, &to, &dir, colour, nullptr, true));
    s.tree.SetUseCulling(true);
    EXPECT_TRUE(s.tree.TraceRayWithCulling(&from, &to, &dir, colour, nullptr, false));
}

TEST(OctTreeChannel, TracingBeforeAnyPrepareBuildsTheSceneOnce)
{
    SquareScene s;
    std::vector<std::thread> threads;
    std::atomic<int> blocked{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] { blocked += Trace(s.tree, {0, 0, 0}, {0, 0, 5}).blocked ? 1 : 0; });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(blocked.load(), 4);
    EXPECT_EQ(s.tree.GetShadowTreeBuildCount(), 1);
}

TEST(OctTreeChannel, DirectionStandsInForAMissingTarget)
{
    SquareScene s;
    const D3DXVECTOR3 from{0, 0, 0}, dir{0, 0, 5};
    float colour[4] = {1, 1, 1, 0};
    EXPECT_TRUE(s.tree.TraceRay(&from, nullptr, &dir, colour, nullptr));
    EXPECT_FALSE(s.tree.TraceRay(nullptr, &dir, &dir, colour, nullptr));
}

// --------------------------------------------------------------------------------------------------
// Progress display

struct ProgressLog {
    std::vector<std::string> texts;
    std::vector<float> fractions;
    int shown = 0;
    int created = 0;
    int deleted = 0;
};

class FakeProgress : public Tav_ProgressInterface {
public:
    explicit FakeProgress(ProgressLog& log) : log_(log)
    {
        SetChannelTypeRecord(TypeRecord("Progress", guids::kProgress));
        ++log_.created;
    }
    ~FakeProgress() override { ++log_.deleted; }
    void SetText(const char* text) override { log_.texts.emplace_back(text); }
    void Show() override { ++log_.shown; }
    void SetProgress(float fraction) override { log_.fractions.push_back(fraction); }

private:
    ProgressLog& log_;
};

/// Hands out progress displays when it has the progress type.
class ProgressHost : public Tav_HostContext {
public:
    Tav_Channel* CreateChannelByGuid(_GUID type, int, int) override
    {
        return hasProgress && type == Guid(guids::kProgress) ? new FakeProgress(log) : nullptr;
    }
    Tav_Channel* GetChannelByGuid(_GUID, int) override { return nullptr; }
    unsigned long GetFrameCount() const override { return 0; }
    void ChannelDestroyed(Tav_Channel*) override {}

    ProgressLog log;
    bool hasProgress = true;
};

TEST(OctTreeProgress, ShownOnRequestWhileTheSceneIsBuiltThenDeleted)
{
    ProgressHost host;
    std::unique_ptr<Tvc_DX8_OctTree> tree;
    {
        ScopedConstructionHost scope(&host);
        tree = std::make_unique<Tvc_DX8_OctTree>();
    }
    TestObject a, b;
    AddSquare(a.AddMesh(), -1, -1, 1, 1, 1);
    AddSquare(b.AddMesh(), 4, -1, 6, 1, 1);
    tree->SetChild(a.object.get(), 0, -1);
    tree->SetChild(b.object.get(), 0, -1);

    ASSERT_TRUE(tree->PrepareShadowTree(false));
    EXPECT_EQ(host.log.created, 0);

    ASSERT_TRUE(tree->PrepareShadowTree(true));
    EXPECT_EQ(host.log.created, 1);
    EXPECT_EQ(host.log.deleted, 1);
    EXPECT_EQ(host.log.shown, 1);
    ASSERT_EQ(host.log.texts.size(), 1u);
    EXPECT_FALSE(host.log.texts[0].empty());
    ASSERT_FALSE(host.log.fractions.empty());
    EXPECT_TRUE(std::is_sorted(host.log.fractions.begin(), host.log.fractions.end()));
    EXPECT_EQ(host.log.fractions.back(), 1.0f);

    // Without a progress type the scene is built all the same.
    host.hasProgress = false;
    D3DXMatrixTranslation(&a.object->world, 0, 0, 5);
    ASSERT_TRUE(tree->PrepareShadowTree(true));
    EXPECT_FALSE(Trace(*tree, {0, 0, 0}, {0, 0, 5}).blocked);
    EXPECT_TRUE(Trace(*tree, {0, 0, 0}, {0, 0, 7}).blocked);
}

// --------------------------------------------------------------------------------------------------
// Saved data

std::vector<uint8_t> Section(Tvc_DX8_OctTree& tree)
{
    TavFileSaver saver;
    EXPECT_TRUE(tree.SaveChannel(saver));
    return saver.TakeBytes();
}

/// A section of one chunk.
std::vector<uint8_t> Chunk(const char* tag, const std::vector<uint8_t>& payload)
{
    TavFileSaver saver;
    saver.SaveTag(tag);
    saver.SaveBlockSize(int(payload.size()));
    saver.SaveDataToFile(payload.data(), int(payload.size()));
    return saver.TakeBytes();
}

TEST(OctTreePersistence, SettingsAndCullingSurviveARoundTrip)
{
    Tvc_DX8_OctTree saved;
    saved.SetUseCulling(true);
    saved.SetObjectShadowTint(0, 0.25f, 0.5f, 0.75f);
    saved.SetObjectShadowOpacity(2, 0.125f);
    TavFileLoader loader(Section(saved));
    Tvc_DX8_OctTree loaded;
    ASSERT_TRUE(loaded.LoadChannel(loader, nullptr));
    EXPECT_TRUE(loaded.GetUseCulling());
    for (int i = 0; i < 4; ++i) {
        float a[3], b[3];
        saved.GetObjectShadowTint(i, a);
        loaded.GetObjectShadowTint(i, b);
        EXPECT_TRUE(std::equal(a, a + 3, b)) << i;
        EXPECT_EQ(saved.GetObjectShadowOpacity(i), loaded.GetObjectShadowOpacity(i)) << i;
    }
}

TEST(OctTreePersistence, SavedBytesAreTheDocumentedLayout)
{
    Tvc_DX8_OctTree tree;
    tree.SetUseCulling(true);
    tree.SetObjectShadowTint(0, 1, 0, 0.5f);
    tree.SetObjectShadowOpacity(0, 0.25f);
    const std::vector<uint8_t> expected = {
        'O',  'T',  'C',  'U',  1,  0, 0, 0, 1,                      // culling on
        'O',  'T',  'S',  'H',  20, 0, 0, 0, 1,    0,    0,    0,    // one object
        0x00, 0x00, 0x80, 0x3F, 0,  0, 0, 0, 0x00, 0x00, 0x00, 0x3F, // tint 1, 0, 0.5
        0x00, 0x00, 0x80, 0x3E};                                     // opacity 0.25
    EXPECT_EQ(Section(tree), expected);
}

TEST(OctTreePersistence, MissingChunksKeepTheDefaults)
{
    TavFileLoader loader;
    Tvc_DX8_OctTree tree;
    ASSERT_TRUE(tree.LoadChannel(loader, nullptr));
    EXPECT_FALSE(tree.GetUseCulling());
    EXPECT_EQ(tree.GetObjectShadowOpacity(0), 1);
}

struct BadChunk {
    const char* name;
    const char* tag;
    std::vector<uint8_t> payload;
};

void PrintTo(const BadChunk& c, std::ostream* os) { *os << c.name; }

class OctTreeBadChunks : public ::testing::TestWithParam<BadChunk> {};

TEST_P(OctTreeBadChunks, AreRefusedWithoutChangingTheSettings)
{
    TavFileLoader loader(Chunk(GetParam().tag, GetParam().payload));
    Tvc_DX8_OctTree tree;
    tree.SetObjectShadowOpacity(0, 0.5f);
    EXPECT_FALSE(tree.LoadChannel(loader, nullptr));
    EXPECT_EQ(tree.GetObjectShadowOpacity(0), 0.5f);
    EXPECT_FALSE(tree.GetUseCulling());
}

std::vector<uint8_t> Settings(uint32_t count, std::vector<float> values)
{
    ByteWriter w;
    w.U32(count);
    for (float v : values)
        w.F32(v);
    return w.Take();
}

INSTANTIATE_TEST_SUITE_P(OctTreePersistence, OctTreeBadChunks,
                         ::testing::Values(BadChunk{"EmptyCulling", "OTCU", {}},
                                           BadChunk{"LongCulling", "OTCU", {1, 0}},
                                           BadChunk{"CutCount", "OTSH", {1, 0}},
                                           BadChunk{"CountBeyondPayload", "OTSH", Settings(2, {0, 0, 0, 1})},
                                           BadChunk{"TrailingBytes", "OTSH", Settings(1, {0, 0, 0, 1, 0})},
                                           BadChunk{"HugeCount", "OTSH", Settings(0xFFFFFFFFu, {0, 0, 0, 1})},
                                           BadChunk{"NotANumber", "OTSH", Settings(1, {NAN, 0, 0, 1})},
                                           BadChunk{"OpacityAboveOne", "OTSH", Settings(1, {0, 0, 0, 1.5f})},
                                           BadChunk{"NegativeTint", "OTSH", Settings(1, {0, -0.5f, 0, 1})}),
                         [](const auto& info) { return std::string(info.param.name); });

// --------------------------------------------------------------------------------------------------
// Plug-in and interface

/// Itanium ABI: a pointer to a virtual member function holds 1 + the byte offset of its slot.
template <class F> ptrdiff_t Slot(F f)
{
    ptrdiff_t raw;
    static_assert(sizeof(f) >= sizeof(raw));
    std::memcpy(&raw, &f, sizeof raw);
    return (raw - 1) / ptrdiff_t(sizeof(void*));
}

TEST(OctTreeInterface, OperationsFollowTheTwelveChannelSlotsInOrder)
{
    // The destructor takes slots 0 and 1, the other eleven channel operations slots 2 to 12.
    EXPECT_EQ(Slot(&Tav_Channel::DoDependencyInit), 12);
    EXPECT_EQ(Slot(&Tav_OctTreeInterface::TraceRay), 13);
    EXPECT_EQ(Slot(&Tav_OctTreeInterface::PrepareShadowTree), 14);
    EXPECT_EQ(Slot(&Tav_OctTreeInterface::SetUseCulling), 15);
    EXPECT_EQ(Slot(&Tav_OctTreeInterface::TraceRayWithCulling), 16);
    EXPECT_EQ(Slot(&Tvc_DX8_OctTree::GetUseCulling), 17);
    EXPECT_EQ(Slot(&Tvc_DX8_OctTree::GetShadowTreeBuildCount), 23);
    // The batched query has a table of its own, and in the channel's table it comes after every slot above.
    EXPECT_EQ(Slot(&Tav_OctTreeBatchInterface::TraceRaysWithCulling), 0);
    EXPECT_EQ(Slot(&Tvc_DX8_OctTree::TraceRaysWithCulling), 24);
}

TEST(OctTreePlugin, HostLoadsTheChannelWithItsObjectsLink)
{
    Vexcore host({VEX_PLUGIN_DIR});
    std::string error;
    Tav_Channel* channel = host.AddChannel(Guid(guids::kOctTree), "shadows", &error);
    ASSERT_NE(channel, nullptr) << error;
    EXPECT_STREQ(channel->GetChannelType().name, "DX8 OctTree");
    EXPECT_STREQ(channel->GetChannelName(), "DX8 OctTree");
    const ChildCreation* link = channel->GetChildCreateType(0);
    ASSERT_NE(link, nullptr);
    EXPECT_STREQ(link->linkName, "Objects");
    EXPECT_EQ(link->childType.typeGuid, Guid(guids::kObject3D));

    // Through the interface alone, as the light-map channel sees it.
    auto* tree = static_cast<Tav_OctTreeInterface*>(channel);
    TestObject square;
    AddSquare(square.AddMesh(), -1, -1, 1, 1, 1);
    ASSERT_GE(channel->SetChild(square.object.get(), 0, -1), 0);
    EXPECT_TRUE(tree->PrepareShadowTree(true)); // with or without a progress type
    EXPECT_TRUE(Trace(*tree, {0, 0, 0}, {0, 0, 5}).blocked);
    channel->RemoveChild(square.object.get());
}

} // namespace
} // namespace vex::testing
