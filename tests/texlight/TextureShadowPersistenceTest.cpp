#include "TexLightFakes.h"

#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"

#include <gtest/gtest.h>

using namespace texlight_test;

namespace {

/// The chunks of a saved section from the first "TL" chunk on (the texture base's come first).
std::vector<uint8_t> OwnChunks(const std::vector<uint8_t>& section)
{
    std::vector<TavFileLoader::ChunkInfo> chunks;
    std::string error;
    EXPECT_TRUE(TavFileLoader::ParseChunks(section, chunks, &error)) << error;
    for (const auto& c : chunks)
        if (c.tag[0] == 'T' && c.tag[1] == 'L')
            return {section.begin() + (c.offset - 8), section.end()};
    return {};
}

std::vector<uint8_t> Save(Tvc_DX8_TextureShadow& c)
{
    TavFileSaver saver;
    EXPECT_TRUE(c.SaveChannel(saver));
    return saver.GetBytes();
}

/// A section of hand-made chunks.
struct Section {
    vex::ByteWriter w;
    Section& Chunk(const char* tag, std::initializer_list<uint8_t> payload)
    {
        w.Bytes(tag, 4);
        w.U32(static_cast<uint32_t>(payload.size()));
        for (uint8_t b : payload)
            w.U8(b);
        return *this;
    }
    std::vector<uint8_t> Bytes() { return w.Data(); }
};

bool Load(Tvc_DX8_TextureShadow& c, std::vector<uint8_t> bytes)
{
    TavFileLoader loader(std::move(bytes));
    EXPECT_TRUE(loader.IsValid());
    return c.LoadChannel(loader, nullptr);
}

} // namespace

TEST(TextureShadowPersistence, DefaultsGiveTheseExactChunks)
{
    Scene scene;
    const std::vector<uint8_t> golden = {
        'T', 'L', 'T', 'L', 4, 0, 0, 0, 0,    0,    0,    0,    // TextureCoordSetUse 0
        'T', 'L', 'S', 'S', 1, 0, 0, 0, 0,                      // UseOverbright false
        'T', 'L', 'S', 'N', 4, 0, 0, 0, 0,    0,    0,    0,    // ShadowSurfaceNr 0
        'T', 'L', 'U', 'S', 1, 0, 0, 0, 1,                      // UseShadow true
        'T', 'L', 'A', 'M', 4, 0, 0, 0, 0,    0,    0,    0,    // AntiAliasMode 0
        'T', 'L', 'S', 'S', 1, 0, 0, 0, 0,                      // SoftUseShadows false
        'T', 'L', 'S', 'R', 4, 0, 0, 0, 0xCD, 0xCC, 0xCC, 0x3D, // SoftShadowRadius 0.1f
        'T', 'L', 'B', 'K', 1, 0, 0, 0, 0,                      // the image is the placeholder
    };
    EXPECT_EQ(OwnChunks(Save(*scene.channel)), golden);
}

TEST(TextureShadowPersistence, ChangedSettingsGiveTheseExactChunks)
{
    Scene scene;
    Tvc_DX8_TextureShadow& c = *scene.channel;
    c.SetTextureCoordSetUse(2);
    c.SetUseOverbright(true);
    c.SetShadowSurfaceNr(-1);
    c.SetUseShadow(false);
    c.SetAntiAliasMode(258);
    c.SetSoftUseShadows(false);
    c.SetSoftShadowRadius(-2.0f);
    c.SetUseLighting(false); // never written
    const std::vector<uint8_t> golden = {
        'T', 'L', 'T', 'L', 4, 0, 0, 0, 2,    0,    0,    0,    'T', 'L', 'S', 'S', 1, 0, 0, 0, 1,
        'T', 'L', 'S', 'N', 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'T', 'L', 'U', 'S', 1, 0, 0, 0, 0,
        'T', 'L', 'A', 'M', 4, 0, 0, 0, 2,    1,    0,    0,    'T', 'L', 'S', 'S', 1, 0, 0, 0, 0,
        'T', 'L', 'S', 'R', 4, 0, 0, 0, 0,    0,    0,    0xC0, 'T', 'L', 'B', 'K', 1, 0, 0, 0, 0,
    };
    EXPECT_EQ(OwnChunks(Save(c)), golden);
}

TEST(TextureShadowPersistence, RoundTripRestoresStoredSettingsAndDefaultsTheRest)
{
    Scene from;
    Tvc_DX8_TextureShadow& c = *from.channel;
    c.SetTextureCoordSetUse(3);
    c.SetUseOverbright(true);
    c.SetShadowSurfaceNr(7);
    c.SetUseShadow(false);
    c.SetAntiAliasMode(2);
    c.SetSoftUseShadows(false);
    c.SetSoftShadowRadius(0.75f);
    c.SetUseColorTransparency(false);
    c.SetUseProgressBar(true);
    c.SetUseLighting(false);
    c.SetUseShadowCulling(true);
    const auto bytes = Save(c);

    Scene to;
    Tvc_DX8_TextureShadow& d = *to.channel;
    ASSERT_TRUE(Load(d, bytes));
    EXPECT_EQ(d.GetTextureCoordSetUse(), 3);
    EXPECT_TRUE(d.GetUseOverbright());
    EXPECT_EQ(d.GetShadowSurfaceNr(), 7);
    EXPECT_FALSE(d.GetUseShadow());
    EXPECT_EQ(d.GetAntiAliasMode(), 2);
    EXPECT_FALSE(d.GetSoftUseShadows());
    EXPECT_EQ(d.GetSoftShadowRadius(), 0.75f);
    EXPECT_TRUE(d.GetUseColorTransparency());
    EXPECT_FALSE(d.GetUseProgressBar());
    EXPECT_TRUE(d.GetUseLighting());
    EXPECT_FALSE(d.GetUseShadowCulling());
    // The base brought the bitmap back: it is the one that was saved.
    EXPECT_EQ(d.GetBufferSize(), c.GetBufferSize());
    // Saving again gives the same section.
    EXPECT_EQ(Save(d), bytes);
}

TEST(TextureShadowPersistence, RepeatedTagsLandByPosition)
{
    Scene scene;
    Tvc_DX8_TextureShadow& c = *scene.channel;
    ASSERT_TRUE(Load(c, Section().Chunk("TLSS", {1}).Chunk("TLSS", {0}).Bytes()));
    EXPECT_TRUE(c.GetUseOverbright());
    EXPECT_FALSE(c.GetSoftUseShadows());

    Scene one;
    one.channel->SetSoftUseShadows(true);
    ASSERT_TRUE(Load(*one.channel, Section().Chunk("TLSS", {1}).Bytes()));
    EXPECT_TRUE(one.channel->GetUseOverbright());
    EXPECT_TRUE(one.channel->GetSoftUseShadows()); // kept

    Scene unlit;
    ASSERT_TRUE(Load(*unlit.channel, Section().Chunk("TLUL", {0}).Bytes()));
    EXPECT_FALSE(unlit.channel->GetUseLighting());
}

TEST(TextureShadowPersistence, ChunksOfTheWrongSizeAreReadWithinTheSettingOnly)
{
    Scene scene;
    Tvc_DX8_TextureShadow& c = *scene.channel;
    c.SetShadowSurfaceNr(5);
    c.SetSoftShadowRadius(0.5f);
    ASSERT_TRUE(Load(c, Section()
                            .Chunk("TLTL", {9, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD}) // longer: first 4 bytes
                            .Chunk("TLSS", {2, 7, 7})                            // longer bool: nonzero
                            .Chunk("TLSN", {1, 2})                               // shorter: kept
                            .Chunk("TLUS", {})                                   // empty: kept
                            .Chunk("TLAM", {3, 0, 0})                            // shorter: kept
                            .Chunk("TLSR", {0, 0, 0x80})                         // shorter: kept
                            .Bytes()));
    EXPECT_EQ(c.GetTextureCoordSetUse(), 9);
    EXPECT_TRUE(c.GetUseOverbright());
    EXPECT_EQ(c.GetShadowSurfaceNr(), 5);
    EXPECT_TRUE(c.GetUseShadow());
    EXPECT_EQ(c.GetAntiAliasMode(), 0);
    EXPECT_EQ(c.GetSoftShadowRadius(), 0.5f);
}

TEST(TextureShadowPersistence, EmptySectionLoadsDefaultsAndShowsThePlaceholder)
{
    Scene scene;
    Tvc_DX8_TextureShadow& c = *scene.channel;
    c.SetDesiredWidth(16);
    c.SetDesiredHeight(16);
    ASSERT_TRUE(Load(c, {}));
    EXPECT_FALSE(c.GetUseOverbright());
    EXPECT_TRUE(c.GetUseShadow());
    EXPECT_EQ(c.GetSoftShadowRadius(), 0.1f);
    // The base's buffer was kept from construction (32 x 32), so no new placeholder was needed.
    EXPECT_EQ(c.GetBufferSize(), 3126);
}

TEST(TextureShadowPersistence, LoadWithoutABaseImageMakesThePlaceholderTexture)
{
    Scene scene;
    Tvc_DX8_TextureShadow& c = *scene.channel;
    // Drop the buffer the constructor built, as a project without a stored image would leave it.
    BaseAccess::FreeBuffer(c);
    ASSERT_EQ(c.GetBufferSize(), 0);
    c.SetDesiredWidth(16);
    c.SetDesiredHeight(16);
    ASSERT_TRUE(Load(c, Section().Chunk("TXDW", {16, 0, 0, 0}).Chunk("TXDH", {16, 0, 0, 0}).Bytes()));
    EXPECT_EQ(c.GetBufferSize(), 54 + 3 * 16 * 16);
    IDirect3DTexture8* texture = c.GetTexture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Width(), 16u);
    EXPECT_EQ(texture->GetTexel(0, 0) & 0xFFFFFF, 0x32FF5Au); // border
    EXPECT_EQ(texture->GetTexel(8, 3) & 0xFFFFFF, 0x147D28u); // grid
    EXPECT_EQ(texture->GetTexel(3, 3) & 0xFFFFFF, 0u);
}

TEST(TextureShadowPersistence, LoadRegistersWithTheParentWithoutAskingIfPublic)
{
    Scene scene;
    Tav_Channel parent;
    BaseAccess::Parent(*scene.channel) = &parent;
    ASSERT_FALSE(scene.channel->GetIfPublicTexture());
    ASSERT_TRUE(Load(*scene.channel, {}));
    EXPECT_EQ(BaseAccess::Slot(*scene.channel), 0);
    ASSERT_TRUE(Load(*scene.channel, {}));
    EXPECT_EQ(parent.GetChildLinkPositionCount(0), 1);
    parent.RemoveChild(scene.channel.get());
}

// A project records whether its image is a computed light map; one written before it did says nothing.
TEST(TextureShadowPersistence, SavedImageSaysWhetherItWasBaked)
{
    using State = Tvc_DX8_TextureShadow::BitmapState;
    Scene baked;
    baked.MakeTexture(5);
    baked.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    EXPECT_EQ(baked.channel->GetBitmapState(), State::Placeholder);
    ASSERT_TRUE(baked.channel->CalculateShadowBuffer());
    baked.channel->SaveBMPInBuffer();
    const std::vector<uint8_t> bytes = Save(*baked.channel);
    const std::vector<uint8_t> tail = {'T', 'L', 'B', 'K', 1, 0, 0, 0, 1};
    ASSERT_GE(bytes.size(), tail.size());
    ASSERT_TRUE(std::equal(tail.begin(), tail.end(), bytes.end() - 9));
    baked.channel->SetTestTexture();
    EXPECT_EQ(baked.channel->GetBitmapState(), State::Placeholder);

    struct Case {
        std::vector<uint8_t> section;
        State state;
    };
    for (const Case& c : {Case{bytes, State::Baked}, Case{{bytes.begin(), bytes.end() - 9}, State::Unrecorded},
                          Case{Section().Chunk("TLBK", {0}).Bytes(), State::Placeholder}}) {
        Scene loaded;
        ASSERT_TRUE(Load(*loaded.channel, c.section));
        EXPECT_EQ(loaded.channel->GetBitmapState(), c.state) << static_cast<int>(c.state);
    }
}
