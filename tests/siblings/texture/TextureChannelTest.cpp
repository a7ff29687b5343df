#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_DeviceInterface.h"
#include "host/siblings/Tvc_DX8_Texture.h"
#include "host/siblings/TypeGuids.h"
#include "tests/siblings/texture/BitmapBuilder.h"
#include "tests/siblings/texture/VirtualSlot.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using vex::test::BuildBitmap;
using vex::test::Pattern;
using vex::test::VirtualSlot;

/// Opens the protected buffer members the way a deriving channel uses them.
class OpenTexture : public Tvc_DX8_Texture {
public:
    void PutBuffer(const std::vector<uint8_t>& bytes)
    {
        SetTextureBuffer(bytes.data(), static_cast<int>(bytes.size()));
    }
    Tav_DeviceInterface* Device() const { return deviceChannel; }
};

class TextureChannelTest : public ::testing::Test {
protected:
    TextureChannelTest()
    {
        host.SetMessageSink([this](const std::string& text) { messages.push_back(text); });
        std::string error;
        device = dynamic_cast<Tav_DeviceInterface*>(host.AddChannel(vex::Guid(vex::guids::kDevice), "device", &error));
        EXPECT_NE(device, nullptr) << error;
        // Make sure the texture library is loaded so that OpenTexture's base is the plug-in's code.
        EXPECT_NE(host.LoadLibrary(vex::Guid(vex::guids::kTexture), &error), nullptr) << error;
    }

    std::unique_ptr<OpenTexture> MakeTexture()
    {
        vex::ScopedConstructionHost scope(&host, host.GetLibraryType(vex::Guid(vex::guids::kTexture)));
        return std::make_unique<OpenTexture>();
    }

    static uint32_t TexelOf(IDirect3DTexture8* texture, int x, int y)
    {
        return texture->GetTexel(static_cast<UINT>(x), static_cast<UINT>(y));
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
    Tav_DeviceInterface* device = nullptr;
    std::vector<std::string> messages;
};

TEST_F(TextureChannelTest, LibrariesLoadByGuidAndReportTheirTypes)
{
    std::unique_ptr<Tav_Channel> channel(host.CreateChannelByGuid(vex::Guid(vex::guids::kTexture), 0, 0));
    ASSERT_NE(dynamic_cast<Tvc_DX8_Texture*>(channel.get()), nullptr);
    const ChannelType type = channel->GetChannelType();
    EXPECT_STREQ(type.name, "DX8 Texture");
    EXPECT_EQ(type.typeGuid, vex::Guid(vex::guids::kTexture));
    EXPECT_EQ(type.baseTypeGuid, vex::Guid(vex::guids::kDeviceUse));

    std::unique_ptr<Tav_Channel> use(host.CreateChannelByGuid(vex::Guid(vex::guids::kDeviceUse), 0, 0));
    ASSERT_NE(dynamic_cast<Tvc_DX8_D3DDeviceUse*>(use.get()), nullptr);
    EXPECT_STREQ(use->GetChannelType().name, "DX8 D3DDeviceUse");
    EXPECT_EQ(use->GetChannelType().typeGuid, vex::Guid(vex::guids::kDeviceUse));
}

TEST(TextureSlots, VirtualOperationsFollowTavChannelInTheFixedOrder)
{
    int slot = vex::test::kFirstDerivedSlot;
    EXPECT_EQ(VirtualSlot(&Tvc_DX8_D3DDeviceUse::DoDependencyInit), slot - 1);
    EXPECT_EQ(VirtualSlot(&Tvc_DX8_D3DDeviceUse::InvalidateDeviceObjects), slot++);
    EXPECT_EQ(VirtualSlot(&Tvc_DX8_D3DDeviceUse::InvalidateDirectGraphics), slot++);
    using T = Tvc_DX8_Texture;
    EXPECT_EQ(VirtualSlot(&T::SaveChannel), 6);
    EXPECT_EQ(VirtualSlot(&T::LoadChannel), 7);
    EXPECT_EQ(VirtualSlot(&T::InvalidateDeviceObjects), vex::test::kFirstDerivedSlot);
    const int slots[] = {VirtualSlot(&T::Release),
                         VirtualSlot(&T::SetTexture),
                         VirtualSlot(&T::LoadTextureFromFile),
                         VirtualSlot(&T::LoadTextureFromMemory),
                         VirtualSlot(&T::LoadTextureFromMemoryAndCopyBuffer),
                         VirtualSlot(&T::SetMipMapLevels),
                         VirtualSlot(&T::GetMipMapLevels),
                         VirtualSlot(&T::GetTextureDescription),
                         VirtualSlot(&T::LockTexture),
                         VirtualSlot(&T::UnlockTexture),
                         VirtualSlot(&T::GetIfValidTexture),
                         VirtualSlot(&T::SetDesiredHeight),
                         VirtualSlot(&T::SetDesiredWidth),
                         VirtualSlot(&T::GetDesiredHeight),
                         VirtualSlot(&T::GetDesiredWidth),
                         VirtualSlot(&T::RestoreTexture),
                         VirtualSlot(&T::CreateTumbNailTexture),
                         VirtualSlot(&T::AddAlphaTexture),
                         VirtualSlot(&T::CopyOurselvesIntoTexture),
                         VirtualSlot(&T::CheckAplhaRefresh),
                         VirtualSlot(&T::GetIfPublicTexture),
                         VirtualSlot(&T::SetIfPublicTexture),
                         VirtualSlot(&T::SetForceARGB),
                         VirtualSlot(&T::GetTexture),
                         VirtualSlot(&T::SetIsNormalMap),
                         VirtualSlot(&T::GetIsNormalMap),
                         VirtualSlot(&T::SetNormalMapType),
                         VirtualSlot(&T::GetNormalMapType),
                         VirtualSlot(&T::CreateNormalMap),
                         VirtualSlot(&T::GetTextureBuffer),
                         VirtualSlot(&T::GetBufferSize),
                         VirtualSlot(&T::SetUseTextureCompression),
                         VirtualSlot(&T::GetUseTextureCompression),
                         VirtualSlot(&T::LoadALphaFromFile),
                         VirtualSlot(&T::AddAlphaFromInternalBuffer),
                         VirtualSlot(&T::GetIfUseBufferAlpha),
                         VirtualSlot(&T::ClearUseBufferAlpha),
                         VirtualSlot(&T::SetUseAlphaOnMipmap),
                         VirtualSlot(&T::GetUseAlphaOnMipmap),
                         VirtualSlot(&T::CheckBufferUpdate)};
    EXPECT_EQ(std::size(slots), 40u);
    for (size_t i = 0; i < std::size(slots); ++i)
        EXPECT_EQ(slots[i], slot + static_cast<int>(i)) << "operation " << i << " after InvalidateDirectGraphics";
}

TEST_F(TextureChannelTest, RestoreTextureBuildsArgbTextureFromTheBuffer)
{
    auto texture = MakeTexture();
    EXPECT_EQ(texture->Device(), device); // found through the host at construction
    texture->PutBuffer(BuildBitmap(7, 5, 24, false, Pattern));
    texture->RestoreTexture();
    ASSERT_TRUE(texture->GetIfValidTexture());
    const D3DSURFACE_DESC desc = texture->GetTextureDescription(0);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Width, 7u);
    EXPECT_EQ(desc.Height, 5u);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(TexelOf(texture->GetTexture(), x, y), (Pattern(x, y) & 0xFFFFFFu) | 0xFF000000u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(TextureChannelTest, BadBufferLeavesNoTextureAndShowsOneMessage)
{
    auto texture = MakeTexture();
    texture->PutBuffer(BuildBitmap(4, 4, 24, false, Pattern));
    texture->RestoreTexture();
    ASSERT_TRUE(texture->GetIfValidTexture());
    auto bytes = BuildBitmap(4, 4, 24, false, Pattern);
    bytes.resize(60);
    texture->PutBuffer(bytes);
    texture->RestoreTexture();
    EXPECT_FALSE(texture->GetIfValidTexture());
    EXPECT_EQ(texture->GetTextureDescription(0).Width, 0u);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("RestoreTexture"), std::string::npos);
}

TEST_F(TextureChannelTest, WithoutDeviceChannelNoTextureIsMade)
{
    host.RemoveChannel(dynamic_cast<Tav_Channel*>(device));
    auto texture = MakeTexture();
    texture->PutBuffer(BuildBitmap(4, 4, 24, false, Pattern));
    texture->RestoreTexture();
    EXPECT_FALSE(texture->GetIfValidTexture());
    texture->SetTexture(0); // nothing to bind to: no effect, no crash
    EXPECT_EQ(texture->GetDevice(), nullptr);
}

TEST_F(TextureChannelTest, DestroyingTheDeviceChannelDropsTheTextureAndTheDeviceChannel)
{
    auto texture = MakeTexture();
    texture->PutBuffer(BuildBitmap(4, 4, 24, false, Pattern));
    texture->SetTexture(0);
    ASSERT_TRUE(texture->GetIfValidTexture());
    host.RemoveChannel(dynamic_cast<Tav_Channel*>(device));
    EXPECT_EQ(texture->Device(), nullptr);
    EXPECT_FALSE(texture->GetIfValidTexture());
    EXPECT_EQ(texture->GetTextureBuffer() != nullptr, true); // the buffer is the channel's data and stays
}

TEST_F(TextureChannelTest, SetTextureBindsToTheDeviceStageAndReportsAFailedBinding)
{
    auto texture = MakeTexture();
    texture->PutBuffer(BuildBitmap(2, 2, 24, false, Pattern));
    texture->SetTexture(3); // builds the texture on demand
    ASSERT_TRUE(texture->GetIfValidTexture());
    IDirect3DBaseTexture8* bound = nullptr;
    ASSERT_EQ(device->GetDevice()->GetTexture(3, &bound), S_OK);
    EXPECT_EQ(bound, texture->GetTexture());
    if (bound)
        bound->Release();
    EXPECT_TRUE(messages.empty());
    texture->SetTexture(IDirect3DDevice8::kStageCount);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Tvc_DX8_Texture::SetTexture(lvl, texture_)");
}

TEST_F(TextureChannelTest, SaveThenLoadRestoresBufferDesiredSizeAndTexture)
{
    auto texture = MakeTexture();
    const auto bitmap = BuildBitmap(5, 3, 24, false, Pattern);
    texture->PutBuffer(bitmap);
    texture->SetDesiredWidth(64);
    texture->SetDesiredHeight(-7);
    TavFileSaver saver;
    ASSERT_TRUE(texture->SaveChannel(saver));

    auto loaded = MakeTexture();
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(loaded->LoadChannel(loader, nullptr));
    ASSERT_EQ(loaded->GetBufferSize(), static_cast<int>(bitmap.size()));
    EXPECT_TRUE(std::equal(bitmap.begin(), bitmap.end(), loaded->GetTextureBuffer()));
    EXPECT_EQ(loaded->GetDesiredWidth(), 64);
    EXPECT_EQ(loaded->GetDesiredHeight(), -7);
    EXPECT_TRUE(loaded->GetIfValidTexture());
}

TEST_F(TextureChannelTest, SavedChunksAreBufferThenLittleEndianSizes)
{
    auto texture = MakeTexture();
    texture->PutBuffer({'B', 'M', 1, 2, 3});
    texture->SetDesiredWidth(0x01020304);
    texture->SetDesiredHeight(32);
    TavFileSaver saver;
    ASSERT_TRUE(texture->SaveChannel(saver));
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(loader.GetInfoIfTag("TXBM"));
    EXPECT_EQ(loader.GetTagDataSize(), 5);
    ASSERT_TRUE(loader.GetInfoIfTag("TXDW"));
    ASSERT_EQ(loader.GetTagDataSize(), 4);
    const uint8_t* w = loader.GetTagData();
    EXPECT_EQ((std::vector<uint8_t>{w[0], w[1], w[2], w[3]}), (std::vector<uint8_t>{4, 3, 2, 1}));
    ASSERT_TRUE(loader.GetInfoIfTag("TXDH"));
    EXPECT_EQ(loader.GetTagData()[0], 32);
}

TEST_F(TextureChannelTest, LoadKeepsDefaultsForMissingOrMisSizedChunks)
{
    auto texture = MakeTexture();
    const int width = texture->GetDesiredWidth(), height = texture->GetDesiredHeight();
    TavFileSaver saver;
    saver.SaveTag("TXDW");
    saver.SaveBlockSize(2);
    saver.SaveDataToFile("\x05\x00", 2);
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(texture->LoadChannel(loader, nullptr));
    EXPECT_EQ(texture->GetDesiredWidth(), width);
    EXPECT_EQ(texture->GetDesiredHeight(), height);
    EXPECT_EQ(texture->GetTextureBuffer(), nullptr);
}

TEST_F(TextureChannelTest, LoadedCorruptBitmapIsKeptButMakesNoTexture)
{
    auto texture = MakeTexture();
    TavFileSaver saver;
    saver.SaveTag("TXBM");
    saver.SaveBlockSize(10);
    saver.SaveDataToFile("BMgarbage!", 10);
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(texture->LoadChannel(loader, nullptr));
    EXPECT_EQ(texture->GetBufferSize(), 10); // saved again unchanged
    EXPECT_FALSE(texture->GetIfValidTexture());
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(TextureChannelTest, CopyOwnsItsOwnBuffer)
{
    auto texture = MakeTexture();
    texture->PutBuffer(BuildBitmap(3, 3, 24, false, Pattern));
    texture->RestoreTexture();
    OpenTexture copy(*texture);
    ASSERT_EQ(copy.GetBufferSize(), texture->GetBufferSize());
    EXPECT_NE(copy.GetTextureBuffer(), texture->GetTextureBuffer());
    EXPECT_TRUE(std::equal(copy.GetTextureBuffer(), copy.GetTextureBuffer() + copy.GetBufferSize(),
                           texture->GetTextureBuffer()));
    copy.CheckBufferUpdate();
    ASSERT_TRUE(copy.GetIfValidTexture());
    EXPECT_NE(copy.GetTexture(), texture->GetTexture());
    EXPECT_EQ(copy.GetPublicTextureSlot(), -1);
}

TEST_F(TextureChannelTest, AddAlphaTextureCopiesRedIntoAlpha)
{
    auto colour = MakeTexture();
    auto mask = MakeTexture();
    colour->PutBuffer(BuildBitmap(4, 3, 24, false, Pattern));
    colour->RestoreTexture();
    mask->PutBuffer(BuildBitmap(4, 3, 24, false, [](int x, int y) { return uint32_t(x * 40 + y) << 16; }));
    mask->RestoreTexture();
    ASSERT_TRUE(colour->AddAlphaTexture(mask.get()));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(TexelOf(colour->GetTexture(), x, y), (Pattern(x, y) & 0xFFFFFFu) | uint32_t(x * 40 + y) << 24);

    auto other = MakeTexture();
    other->PutBuffer(BuildBitmap(3, 3, 24, false, Pattern));
    other->RestoreTexture();
    EXPECT_FALSE(colour->AddAlphaTexture(other.get())); // sizes differ
    EXPECT_FALSE(colour->AddAlphaTexture(nullptr));
}

TEST_F(TextureChannelTest, BufferAlphaIsUsedOnlyWhileSwitchedOn)
{
    auto texture = MakeTexture();
    const auto bitmap = BuildBitmap(2, 2, 32, false, Pattern); // alpha 0x80 everywhere
    ASSERT_TRUE(texture->LoadTextureFromMemoryAndCopyBuffer(bitmap.data(), static_cast<int>(bitmap.size())));
    EXPECT_TRUE(texture->GetIfUseBufferAlpha());
    EXPECT_EQ(TexelOf(texture->GetTexture(), 1, 1) >> 24, 0x80u);
    texture->ClearUseBufferAlpha();
    EXPECT_FALSE(texture->GetIfUseBufferAlpha());
    EXPECT_EQ(TexelOf(texture->GetTexture(), 1, 1) >> 24, 0xFFu);
    texture->AddAlphaFromInternalBuffer();
    EXPECT_EQ(TexelOf(texture->GetTexture(), 1, 1) >> 24, 0x80u);
}

TEST_F(TextureChannelTest, LoadTextureFromFileKeepsTheFileBytesAndRejectsMissingFiles)
{
    auto texture = MakeTexture();
    const auto bitmap = BuildBitmap(6, 2, 24, true, Pattern);
    char path[] = "/tmp/vex_texture_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bitmap.data(), bitmap.size()), static_cast<ssize_t>(bitmap.size()));
    close(fd);
    EXPECT_TRUE(texture->LoadTextureFromFile(path));
    std::remove(path);
    EXPECT_EQ(texture->GetBufferSize(), static_cast<int>(bitmap.size()));
    EXPECT_EQ(TexelOf(texture->GetTexture(), 5, 0), (Pattern(5, 0) & 0xFFFFFFu) | 0xFF000000u);

    EXPECT_FALSE(texture->LoadTextureFromFile("/nonexistent/vex.bmp"));
    EXPECT_EQ(texture->GetBufferSize(), static_cast<int>(bitmap.size())); // untouched
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("/nonexistent/vex.bmp"), std::string::npos);
}

TEST_F(TextureChannelTest, CopyIntoTextureOfSameSizeCopiesTexelsAndRefusesOtherSizes)
{
    auto texture = MakeTexture();
    texture->PutBuffer(BuildBitmap(3, 2, 24, false, Pattern));
    texture->RestoreTexture();
    IDirect3DTexture8* same = nullptr;
    IDirect3DTexture8* other = nullptr;
    ASSERT_EQ(device->GetDevice()->CreateTexture(3, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &same), S_OK);
    ASSERT_EQ(device->GetDevice()->CreateTexture(2, 3, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &other), S_OK);
    EXPECT_TRUE(texture->CopyOurselvesIntoTexture(same));
    EXPECT_EQ(same->GetTexel(2, 1), TexelOf(texture->GetTexture(), 2, 1));
    EXPECT_FALSE(texture->CopyOurselvesIntoTexture(other));
    same->Release();
    other->Release();
}

TEST_F(TextureChannelTest, FlatHeightFieldGivesNormalMapFacingOut)
{
    auto texture = MakeTexture();
    texture->SetIsNormalMap(true);
    texture->PutBuffer(BuildBitmap(4, 4, 24, false, [](int, int) { return 0x00400000u; }));
    texture->RestoreTexture();
    ASSERT_TRUE(texture->GetIfValidTexture());
    EXPECT_EQ(TexelOf(texture->GetTexture(), 2, 2), 0xFF8080FFu);
}

TEST_F(TextureChannelTest, LockingGivesTheTexelsAndASecondLockFails)
{
    auto texture = MakeTexture();
    D3DLOCKED_RECT locked;
    EXPECT_FALSE(texture->LockTexture(&locked)); // no texture yet
    texture->PutBuffer(BuildBitmap(2, 2, 24, false, Pattern));
    texture->RestoreTexture();
    ASSERT_TRUE(texture->LockTexture(&locked));
    EXPECT_EQ(static_cast<uint32_t*>(locked.pBits)[1], (Pattern(1, 0) & 0xFFFFFFu) | 0xFF000000u);
    D3DLOCKED_RECT again;
    EXPECT_FALSE(texture->LockTexture(&again));
    texture->UnlockTexture();
    EXPECT_TRUE(texture->LockTexture(&again));
    texture->UnlockTexture();
}

} // namespace
