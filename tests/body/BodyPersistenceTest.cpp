// Saved form of a body channel: byte-exact item records, chunk order, tolerant loading and project round trips.
#include "tests/body/BodyScene.h"

#include "body/ItemRecord.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"

#include <cstdio>
#include <filesystem>

namespace vex::test {
namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& bytes, size_t offset, std::initializer_list<uint8_t> values)
{
    ASSERT_LE(offset + values.size(), bytes.size());
    std::copy(values.begin(), values.end(), bytes.begin() + static_cast<long>(offset));
}

void PutText(Bytes& bytes, size_t offset, const char* text)
{
    std::memcpy(bytes.data() + offset, text, std::strlen(text));
}

// The current record of a default item, written out from the record's table by hand.
Bytes DefaultItemGolden()
{
    Bytes b(264, 0);
    Put(b, 156, {0x00, 0x00, 0xA0, 0x40}); // massValue 5
    Put(b, 160, {0x00, 0x00, 0x80, 0x3F}); // radius 1
    for (size_t off : {164u, 168u, 172u})
        Put(b, off, {0x00, 0x00, 0x80, 0x3F}); // size 1, 1, 1
    Put(b, 200, {0x01});                       // auxFlag
    Put(b, 204, {0x00, 0x00, 0x00, 0x3F});     // auxValue1 0.5
    Put(b, 208, {0xCD, 0xCC, 0xCC, 0x3D});     // auxValue2 0.1
    Put(b, 212, {0x00, 0x00, 0x80, 0x3F});     // auxValue3 1
    Put(b, 216, {0x00, 0x00, 0x80, 0x3F});     // auxValue4 1
    PutText(b, 220, "Unnamed");
    return b;
}

ODE_GeometryItem FullItem()
{
    ODE_GeometryItem item;
    item.mass.mass = 2.0;
    item.mass.c[0] = 1.0;
    item.mass.c[1] = -2.0;
    item.mass.c[2] = 0.5;
    item.mass.c[3] = 0.0;
    std::fill(std::begin(item.mass.I), std::end(item.mass.I), 0.0);
    item.mass.I[0] = 3.0;
    item.mass.I[5] = 4.0;
    item.mass.I[10] = 5.0;
    item.kind = kShapeSphere;
    item.massValue = 2.0f;
    item.radius = 0.25f;
    item.size = D3DXVECTOR3(2, 4, 8);
    item.offset = D3DXVECTOR3(-1, 0.5f, 3);
    item.rotation = D3DXVECTOR3(0.25f, -0.5f, 1.5f);
    item.auxFlag = false;
    item.auxValue1 = 0.75f;
    item.auxValue2 = 0.125f;
    item.auxValue3 = -4.0f;
    item.auxValue4 = 16.0f;
    std::strcpy(item.name, "Crate lid");
    return item;
}

Bytes FullItemGolden()
{
    Bytes b(264, 0);
    Put(b, 16, {0, 0, 0, 0, 0, 0, 0x00, 0x40});  // mass 2.0
    Put(b, 24, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F});  // c.x 1.0
    Put(b, 32, {0, 0, 0, 0, 0, 0, 0x00, 0xC0});  // c.y -2.0
    Put(b, 40, {0, 0, 0, 0, 0, 0, 0xE0, 0x3F});  // c.z 0.5
    Put(b, 56, {0, 0, 0, 0, 0, 0, 0x08, 0x40});  // I[0] 3.0
    Put(b, 96, {0, 0, 0, 0, 0, 0, 0x10, 0x40});  // I[5] 4.0
    Put(b, 136, {0, 0, 0, 0, 0, 0, 0x14, 0x40}); // I[10] 5.0
    Put(b, 152, {0x01});                         // kind sphere
    Put(b, 156, {0x00, 0x00, 0x00, 0x40});       // massValue 2
    Put(b, 160, {0x00, 0x00, 0x80, 0x3E});       // radius 0.25
    Put(b, 164, {0x00, 0x00, 0x00, 0x40});       // size 2
    Put(b, 168, {0x00, 0x00, 0x80, 0x40});       //      4
    Put(b, 172, {0x00, 0x00, 0x00, 0x41});       //      8
    Put(b, 176, {0x00, 0x00, 0x80, 0xBF});       // offset -1
    Put(b, 180, {0x00, 0x00, 0x00, 0x3F});       //        0.5
    Put(b, 184, {0x00, 0x00, 0x40, 0x40});       //        3
    Put(b, 188, {0x00, 0x00, 0x80, 0x3E});       // rotation 0.25
    Put(b, 192, {0x00, 0x00, 0x00, 0xBF});       //          -0.5
    Put(b, 196, {0x00, 0x00, 0xC0, 0x3F});       //          1.5
    Put(b, 204, {0x00, 0x00, 0x40, 0x3F});       // auxValue1 0.75
    Put(b, 208, {0x00, 0x00, 0x00, 0x3E});       // auxValue2 0.125
    Put(b, 212, {0x00, 0x00, 0x80, 0xC0});       // auxValue3 -4
    Put(b, 216, {0x00, 0x00, 0x80, 0x41});       // auxValue4 16
    PutText(b, 220, "Crate lid");
    return b;
}

// An old record: sphere, mass 2, radius 0.5, size (1,2,3), legacy length 9 and axis 1, offset (4,5,6),
// rotation (1,1,1), legacy flag `flag`, aux 0.5 and 0.25, a legacy plane, aux 2 and 4, name "Old ball".
Bytes OldItemGolden(uint8_t flag)
{
    Bytes b(288, 0);
    Put(b, 152, {0x01});
    Put(b, 156, {0x00, 0x00, 0x00, 0x40});
    Put(b, 160, {0x00, 0x00, 0x00, 0x3F});
    Put(b, 164, {0x00, 0x00, 0x80, 0x3F});
    Put(b, 168, {0x00, 0x00, 0x00, 0x40});
    Put(b, 172, {0x00, 0x00, 0x40, 0x40});
    Put(b, 176, {0x00, 0x00, 0x10, 0x41}); // legacyLength 9
    Put(b, 180, {0x01});                   // legacyAxis
    Put(b, 184, {0x00, 0x00, 0x80, 0x40}); // offset 4
    Put(b, 188, {0x00, 0x00, 0xA0, 0x40}); //        5
    Put(b, 192, {0x00, 0x00, 0xC0, 0x40}); //        6
    for (size_t off : {196u, 200u, 204u})
        Put(b, off, {0x00, 0x00, 0x80, 0x3F}); // rotation 1, 1, 1
    Put(b, 208, {flag, 0x00, 0x00, 0x00});     // legacyFlag
    Put(b, 212, {0x00, 0x00, 0x00, 0x3F});     // auxValue1 0.5
    Put(b, 216, {0x00, 0x00, 0x80, 0x3E});     // auxValue2 0.25
    Put(b, 224, {0x00, 0x00, 0x80, 0x3F});     // legacyPlane (0, 1, 0, 0)
    Put(b, 236, {0x00, 0x00, 0x00, 0x40});     // auxValue3 2
    Put(b, 240, {0x00, 0x00, 0x80, 0x40});     // auxValue4 4
    PutText(b, 244, "Old ball");
    return b;
}

void AppendChunk(Bytes& section, const char* tag, const Bytes& payload)
{
    section.insert(section.end(), tag, tag + 4);
    const auto n = static_cast<uint32_t>(payload.size());
    for (int i = 0; i < 4; ++i)
        section.push_back(static_cast<uint8_t>(n >> (8 * i)));
    section.insert(section.end(), payload.begin(), payload.end());
}

Bytes Int32(int32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(uint32_t(v) >> 24)}; }

void ExpectSameItem(const ODE_GeometryItem& a, const ODE_GeometryItem& b)
{
    EXPECT_EQ(vex::body::EncodeItemRecord(a), vex::body::EncodeItemRecord(b));
}

TEST(ItemRecord, DefaultItemMatchesItsGoldenImage)
{
    EXPECT_EQ(vex::body::EncodeItemRecord(ODE_GeometryItem()), DefaultItemGolden());
}

TEST(ItemRecord, ItemWithEveryFieldSetMatchesItsGoldenImageWithZeroHandlesAndOwner)
{
    ODE_GeometryItem item = FullItem();
    int fake = 0;
    item.geom = reinterpret_cast<dGeomID>(&fake);
    item.innerGeom = reinterpret_cast<dGeomID>(&fake);
    item.owner = reinterpret_cast<Tvc_ODE_BodyCollision*>(&fake);
    EXPECT_EQ(vex::body::EncodeItemRecord(item), FullItemGolden());
    item.geom = nullptr; // not ours to destroy
}

TEST(ItemRecord, GoldenImagesDecodeToTheirItems)
{
    ODE_GeometryItem decoded;
    const Bytes full = FullItemGolden();
    vex::body::DecodeItemRecord(full.data(), full.size(), decoded);
    ExpectSameItem(decoded, FullItem());
    EXPECT_EQ(decoded.geom, nullptr);
}

TEST(ItemRecord, ShortRecordKeepsTheFieldsItDoesNotReach)
{
    const Bytes full = FullItemGolden();
    ODE_GeometryItem decoded;
    vex::body::DecodeItemRecord(full.data(), 160, decoded); // ends before the radius
    EXPECT_EQ(decoded.kind, kShapeSphere);
    EXPECT_EQ(decoded.massValue, 2.0f);
    EXPECT_EQ(decoded.radius, 1.0f);
    EXPECT_EQ(decoded.size, D3DXVECTOR3(1, 1, 1));
    EXPECT_STREQ(decoded.name, "Unnamed");
}

TEST(ItemRecord, NameWithoutTerminatorIsCutToThirtyNineCharacters)
{
    Bytes record = DefaultItemGolden();
    std::memset(record.data() + 220, 'A', 40);
    ODE_GeometryItem decoded;
    vex::body::DecodeItemRecord(record.data(), record.size(), decoded);
    EXPECT_EQ(std::string(decoded.name), std::string(39, 'A'));
}

TEST(ItemRecord, OldRecordRoundTripsAndConvertsWithoutRotation)
{
    for (uint8_t flag : {uint8_t{1}, uint8_t{2}}) {
        const Bytes golden = OldItemGolden(flag);
        ODE_OLD2GeometryItem old;
        vex::body::DecodeOldItemRecord(golden.data(), golden.size(), old);
        EXPECT_EQ(vex::body::EncodeOldItemRecord(old), golden);
        EXPECT_EQ(old.legacyLength, 9.0f);
        const ODE_GeometryItem item = vex::body::ConvertOldItem(old);
        EXPECT_EQ(item.kind, kShapeSphere);
        EXPECT_EQ(item.radius, 0.5f);
        EXPECT_EQ(item.size, D3DXVECTOR3(1, 2, 3));
        EXPECT_EQ(item.offset, D3DXVECTOR3(4, 5, 6));
        EXPECT_EQ(item.rotation, D3DXVECTOR3(0, 0, 0));
        EXPECT_EQ(item.auxValue2, 0.25f);
        EXPECT_EQ(item.auxValue4, 4.0f);
        EXPECT_STREQ(item.name, "Old ball");
        EXPECT_EQ(item.auxFlag, flag == 1);
        EXPECT_EQ(item.mass.mass, 0.0);
    }
}

class BodyChunks : public testing::Test {
protected:
    void SetUp() override { body = scene.AddBody("body"); }

    bool Load(const Bytes& section)
    {
        TavFileLoader loader(section);
        EXPECT_TRUE(loader.IsValid()) << loader.GetError();
        return body->LoadChannel(loader, nullptr);
    }

    BodyScene scene;
    Tvc_ODE_BodyCollision* body = nullptr;
};

TEST_F(BodyChunks, SaveWritesItemsThenTheFourSettingsAfterTheMatrix)
{
    body->SetGeometryItem(FullItem(), 1);
    body->geometryItems.AddItem(nullptr);
    TavFileSaver saver;
    ASSERT_TRUE(body->SaveChannel(saver));
    std::vector<TavFileLoader::ChunkInfo> chunks;
    ASSERT_TRUE(TavFileLoader::ParseChunks(saver.GetBytes(), chunks, nullptr));
    std::vector<std::string> tags;
    for (const auto& c : chunks)
        tags.emplace_back(c.tag, 4);
    EXPECT_EQ(tags, (std::vector<std::string>{"MXMT", "BDIC", "BDI2", "BDI2", "BDEG", "BDAV", "BDDF", "BDDD", "BDUD"}));
    const uint8_t* data = saver.GetBytes().data();
    EXPECT_EQ(Bytes(data + chunks[1].offset, data + chunks[1].offset + 4), Int32(3));
    EXPECT_EQ(Bytes(data + chunks[2].offset, data + chunks[2].offset + 264), DefaultItemGolden());
    EXPECT_EQ(Bytes(data + chunks[3].offset, data + chunks[3].offset + 264), FullItemGolden());
    EXPECT_EQ(chunks[4].size, 0u);
    EXPECT_EQ(chunks[8].size, 1u);
    EXPECT_EQ(data[chunks[8].offset], 1); // useDynamics
    body->geometryItems.RemoveItem(2);
}

TEST_F(BodyChunks, NewChannelRoundTripsIntoANewChannel)
{
    TavFileSaver saver;
    ASSERT_TRUE(body->SaveChannel(saver));
    Tvc_ODE_BodyCollision* other = scene.AddBody("other");
    TavFileLoader loader(saver.GetBytes());
    ASSERT_TRUE(other->LoadChannel(loader, nullptr));
    ASSERT_EQ(other->GetGeometryCount(), 1);
    ExpectSameItem(*other->GetGeometryItem(0), ODE_GeometryItem());
    EXPECT_EQ(other->GetAngularVelocityDampenValue(), 0.0f);
    EXPECT_FALSE(other->GetIfDisableForces());
    EXPECT_FALSE(other->GetIfDynamicDisableForces());
    EXPECT_TRUE(other->GetIfUseDynamics());
}

TEST_F(BodyChunks, WrongSizedRecordsAreReadUpToTheRecordAndReported)
{
    Bytes section;
    AppendChunk(section, "BDIC", Int32(2));
    Bytes shortRecord = FullItemGolden();
    shortRecord.resize(160);
    AppendChunk(section, "BDI2", shortRecord);
    Bytes longRecord = FullItemGolden();
    longRecord.resize(300, 0xEE);
    AppendChunk(section, "BDI2", longRecord);
    AppendChunk(section, "BDAV", {0x00, 0x00, 0x00, 0x3F});
    ASSERT_TRUE(Load(section));
    ASSERT_EQ(body->GetGeometryCount(), 2);
    EXPECT_EQ(body->GetGeometryItem(0)->massValue, 2.0f);
    EXPECT_EQ(body->GetGeometryItem(0)->radius, 1.0f);
    ODE_GeometryItem expected = FullItem();
    ExpectSameItem(*body->GetGeometryItem(1), expected);
    EXPECT_EQ(body->GetAngularVelocityDampenValue(), 0.5f);
    EXPECT_EQ(scene.messages.size(), 2u);
}

TEST_F(BodyChunks, NegativeCountReadsNothing)
{
    Bytes section;
    AppendChunk(section, "BDIC", Int32(-3));
    AppendChunk(section, "BDI2", FullItemGolden());
    ASSERT_TRUE(Load(section));
    ASSERT_EQ(body->GetGeometryCount(), 1);
    EXPECT_STREQ(body->GetGeometryItem(0)->name, "Unnamed");
    EXPECT_FALSE(scene.messages.empty());
}

TEST_F(BodyChunks, HugeCountStopsWhenNoItemChunkIsLeft)
{
    Bytes section;
    AppendChunk(section, "BDIC", Int32(0x7FFFFFFF));
    AppendChunk(section, "BDI2", FullItemGolden());
    AppendChunk(section, "BDI2", DefaultItemGolden());
    AppendChunk(section, "BDDF", {0x01});
    ASSERT_TRUE(Load(section));
    EXPECT_EQ(body->GetGeometryCount(), 2);
    EXPECT_STREQ(body->GetGeometryItem(0)->name, "Crate lid");
    EXPECT_TRUE(body->GetIfDisableForces());
}

TEST_F(BodyChunks, EmptyEntryLeavesItsIndexAndOldEntriesConvert)
{
    Bytes section;
    AppendChunk(section, "BDIC", Int32(3));
    AppendChunk(section, "BDEG", {});
    AppendChunk(section, "BDIG", OldItemGolden(2));
    AppendChunk(section, "BDIG", OldItemGolden(1));
    ASSERT_TRUE(Load(section));
    ASSERT_EQ(body->GetGeometryCount(), 3);
    EXPECT_STREQ(body->GetGeometryItem(0)->name, "Unnamed");
    EXPECT_STREQ(body->GetGeometryItem(1)->name, "Old ball");
    EXPECT_FALSE(body->GetGeometryItem(1)->auxFlag);
    EXPECT_TRUE(body->GetGeometryItem(2)->auxFlag);
    EXPECT_EQ(body->GetGeometryItem(2)->owner, body);
    EXPECT_EQ(body->GetGeometryItem(2)->rotation, D3DXVECTOR3(0, 0, 0));
}

TEST_F(BodyChunks, EmptyEntryBeforeAnItemKeepsTheItemAtItsIndex)
{
    Tvc_ODE_BodyCollision* source = scene.AddBody("source");
    delete source->GetGeometryItem(0);
    source->geometryItems.SetItem(nullptr, 0);
    source->AddGeometryItem();
    TavFileSaver saver;
    ASSERT_TRUE(source->SaveChannel(saver));
    ASSERT_TRUE(Load(saver.GetBytes()));
    ASSERT_EQ(body->GetGeometryCount(), 2);
    EXPECT_STREQ(body->GetGeometryItem(0)->name, "Unnamed");
    EXPECT_STREQ(body->GetGeometryItem(1)->name, "New shape (1)");
}

TEST_F(BodyChunks, ItemsOnlyKeepTheDefaultSettingsAndEmptyFlagsAreIgnored)
{
    body->SetAngularVelocityDampenValue(0.25f);
    Bytes section;
    AppendChunk(section, "BDIC", Int32(1));
    AppendChunk(section, "BDI2", FullItemGolden());
    AppendChunk(section, "BDUD", {});
    AppendChunk(section, "BDAV", {0x01});
    ASSERT_TRUE(Load(section));
    EXPECT_EQ(body->GetAngularVelocityDampenValue(), 0.25f);
    EXPECT_TRUE(body->GetIfUseDynamics());
    EXPECT_FALSE(body->GetIfDynamicDisableForces());
}

TEST(BodyProject, SavedBodiesReloadIntoAFreshHostWithEveryItemAndSetting)
{
    const std::string path = (std::filesystem::path(testing::TempDir()) / "bodies.vex").string();
    Bytes firstItems;
    {
        BodyScene scene;
        Tvc_ODE_BodyCollision* floor = scene.AddBody("floor", MakeItem(kShapePlane), IdentityMatrix());
        Tvc_ODE_BodyCollision* crate = scene.AddBody("crate", FullItem(), Translation(0, 3, 0));
        crate->AddGeometryItem();
        crate->SetAngularVelocityDampenValue(0.75f);
        crate->SetIfDisableForces(true);
        crate->SetIfDynamicDisableForces(true);
        scene.world->SetStepSize(0.01f);
        scene.RunFrames(2); // builds: the floor turns static, the crate's masses are computed
        EXPECT_FALSE(floor->GetIfUseDynamics());
        firstItems = vex::body::EncodeItemRecord(*crate->GetGeometryItem(0));
        std::string error;
        ASSERT_TRUE(scene.host.SaveProject(path, &error)) << error;
    }
    BodyScene fresh(false);
    std::string error;
    ASSERT_TRUE(fresh.host.LoadProject(path, &error)) << error;
    auto* floor = static_cast<Tvc_ODE_BodyCollision*>(fresh.host.FindChannel("floor"));
    auto* crate = static_cast<Tvc_ODE_BodyCollision*>(fresh.host.FindChannel("crate"));
    auto* world = static_cast<Tvc_ODE_World*>(fresh.host.FindChannel("world"));
    ASSERT_NE(floor, nullptr);
    ASSERT_NE(crate, nullptr);
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world->GetStepSize(), 0.01f);
    EXPECT_FALSE(floor->GetIfUseDynamics());
    EXPECT_EQ(floor->GetGeometryItem(0)->kind, kShapePlane);
    ASSERT_EQ(crate->GetGeometryCount(), 2);
    EXPECT_EQ(vex::body::EncodeItemRecord(*crate->GetGeometryItem(0)), firstItems);
    EXPECT_STREQ(crate->GetGeometryItem(1)->name, "New shape (1)");
    EXPECT_EQ(crate->GetAngularVelocityDampenValue(), 0.75f);
    EXPECT_TRUE(crate->GetIfDisableForces());
    EXPECT_TRUE(crate->GetIfDynamicDisableForces());
    EXPECT_TRUE(crate->GetIfUseDynamics());
    // The reloaded bodies found the world and run.
    fresh.RunFrames(1);
    EXPECT_NE(crate->GetBodyID(), nullptr);
    EXPECT_EQ(crate->GetMatrix()._42, 3.0f);
    std::remove(path.c_str());
}

} // namespace
} // namespace vex::test
