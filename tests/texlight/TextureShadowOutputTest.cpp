#include "TexLightFakes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

using namespace texlight_test;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

fs::path TempDir(const char* name)
{
    const fs::path dir =
        fs::temp_directory_path() /
        (std::string("vex_texlight_") + name + "_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::vector<uint8_t> Buffer(Tvc_DX8_TextureShadow& c)
{
    return {c.GetTextureBuffer(), c.GetTextureBuffer() + c.GetBufferSize()};
}

/// A parent that counts registrations.
class Parent : public Tav_Channel {};

} // namespace

TEST(TextureShadowOutput, FrameCallCopiesStraightIntoAMatchingTextureWithZeroAlpha)
{
    Scene scene;
    scene.MakeTexture(8);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    IDirect3DTexture8* before = scene.channel->GetTexture();
    ASSERT_NE(before, nullptr);
    // The bitmap path would leave opaque alpha; the direct copy writes 0x00RRGGBB.
    EXPECT_EQ(before->GetTexel(3, 3) >> 24, 0xFFu);
    const auto bufferBefore = Buffer(*scene.channel);
    scene.host.frame = 2;
    scene.channel->CallChannel();
    EXPECT_EQ(scene.channel->GetTexture(), before); // the same texture, written in place
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y)
            EXPECT_EQ(before->GetTexel(x, y), static_cast<uint32_t>(scene.Buffer().GetTexel(x, y)));
    EXPECT_GT(before->GetTexel(4, 4), 0u);
    EXPECT_EQ(Buffer(*scene.channel), bufferBefore); // the bitmap buffer is untouched
}

TEST(TextureShadowOutput, FrameCallRunsOncePerFrame)
{
    Scene scene;
    scene.MakeTexture(4);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    scene.host.frame = 5;
    scene.channel->CallChannel();
    const int rays = scene.octree->rays;
    EXPECT_GT(rays, 0);
    scene.channel->CallChannel();
    EXPECT_EQ(scene.octree->rays, rays);
}

TEST(TextureShadowOutput, ProgressDisplayAnotherSizeOrAnotherFormatTakesTheBitmapPath)
{
    for (int variant = 0; variant < 3; ++variant) {
        Scene scene;
        scene.MakeTexture(8);
        scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
        if (variant == 0) {
            scene.channel->SetUseProgressBar(true);
        } else if (variant == 1) {
            // A 4 x 4 light map while the texture is 8 x 8: the computation remakes the map at the desired
            // 4 x 4, which does not fit the texture.
            scene.channel->SetDesiredWidth(4);
            scene.channel->SetDesiredHeight(4);
            scene.Buffer().Calculate(true);
        } else {
            // An X8R8G8B8 texture of the light map's size.
            IDirect3DTexture8*& texture = BaseAccess::Texture(*scene.channel);
            IDirect3DTexture8* x8 = nullptr;
            ASSERT_EQ(scene.device->GetDevice()->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &x8),
                      S_OK);
            texture->Release();
            texture = x8;
        }
        const auto bufferBefore = Buffer(*scene.channel);
        scene.host.frame = 2;
        scene.channel->CallChannel();
        const int size = variant == 1 ? 4 : 8;
        EXPECT_NE(Buffer(*scene.channel), bufferBefore) << variant;
        EXPECT_EQ(scene.channel->GetBufferSize(), 54 + 3 * size * size) << variant;
        IDirect3DTexture8* texture = scene.channel->GetTexture();
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->Width(), static_cast<UINT>(size));
        // Rebuilt from the bitmap: the base makes opaque texels with the light map's colours.
        const uint32_t texel = texture->GetTexel(1, 2);
        EXPECT_EQ(texel >> 24, 0xFFu) << variant;
        EXPECT_EQ(texel & 0xFFFFFF, static_cast<uint32_t>(scene.Buffer().GetTexel(1, 2))) << variant;
    }
}

TEST(TextureShadowOutput, FailedComputationLeavesTextureAndBufferAlone)
{
    Scene scene;
    scene.MakeTexture(8);
    const auto bufferBefore = Buffer(*scene.channel);
    scene.channel->SetShadowSurfaceNr(4);
    scene.host.frame = 2;
    scene.channel->CallChannel();
    EXPECT_EQ(Buffer(*scene.channel), bufferBefore);
}

TEST(TextureShadowOutput, PublicTextureRegistersWithItsParentOnce)
{
    Scene scene;
    Parent parent;
    // A parent is only reachable through the base's members; the test texture and frame paths register.
    BaseAccess::Parent(*scene.channel) = &parent;
    scene.channel->SetTestTexture();
    EXPECT_EQ(BaseAccess::Slot(*scene.channel), -1); // not public: no registration
    scene.channel->SetIfPublicTexture(true);
    scene.channel->SetTestTexture();
    EXPECT_EQ(BaseAccess::Slot(*scene.channel), 0);
    scene.channel->SetTestTexture();
    EXPECT_EQ(parent.GetChildLinkPositionCount(0), 1);
    parent.RemoveChild(scene.channel.get());
}

TEST(TextureShadowOutput, SetTextureBindsTheTextureToTheStageOnlyWithADevice)
{
    // The device channel made before the light map, or after it (found on first use).
    for (const bool deviceFirst : {true, false}) {
        Scene scene(deviceFirst);
        if (deviceFirst) {
            scene.MakeTexture(4);
        } else {
            scene.device = std::make_unique<FakeDevice>();
            scene.host.device = scene.device.get();
        }
        IDirect3DDevice8* device = scene.device->GetDevice();
        scene.channel->SetTexture(2);
        IDirect3DBaseTexture8* bound = nullptr;
        ASSERT_EQ(device->GetTexture(2, &bound), S_OK);
        EXPECT_NE(bound, nullptr) << deviceFirst;
        EXPECT_EQ(bound, scene.channel->GetTexture());
        if (bound)
            bound->Release();
    }

    Scene noDevice(false);
    noDevice.channel->SetTexture(0);
    EXPECT_EQ(noDevice.channel->GetTexture(), nullptr);
    EXPECT_TRUE(noDevice.host.messages.empty());
}

TEST(TextureShadowOutput, SetTextureMakesTheTextureWhenItIsMissing)
{
    Scene scene;
    ASSERT_EQ(scene.channel->GetTexture(), nullptr);
    scene.channel->InvalidateDeviceObjects();
    scene.channel->SetTexture(0);
    EXPECT_NE(scene.channel->GetTexture(), nullptr);
}

TEST(TextureShadowOutput, SaveBMPInBufferTwiceGivesTheSameImage)
{
    Scene scene;
    scene.MakeTexture(5);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    ASSERT_TRUE(scene.channel->CalculateShadowBuffer());
    scene.channel->SaveBMPInBuffer();
    const auto first = Buffer(*scene.channel);
    scene.channel->SaveBMPInBuffer();
    EXPECT_EQ(Buffer(*scene.channel), first);
    EXPECT_EQ(first.size(), 54u + 5 * (15 + 1));
}

TEST(TextureShadowOutput, FileHoldsExactlyTheBitmapBufferAndFailuresAreReported)
{
    Scene scene;
    const fs::path dir = TempDir("file");
    const fs::path file = dir / "placeholder.bmp";
    scene.channel->SaveTextureToFile(file.c_str());
    EXPECT_EQ(ReadFile(file), Buffer(*scene.channel)); // the placeholder that construction built
    EXPECT_TRUE(scene.host.messages.empty());

    scene.channel->SaveTextureToFile((dir / "missing" / "x.bmp").c_str());
    EXPECT_TRUE(scene.host.HasMessage("SaveTextureToFile: cannot write"));
    scene.channel->SaveTextureToFile(nullptr);
    EXPECT_TRUE(scene.host.HasMessage("SaveTextureToFile: cannot open"));

    // A target that cannot be replaced (a directory with content) keeps what it holds.
    const fs::path blocked = dir / "blocked.bmp";
    fs::create_directories(blocked);
    {
        std::ofstream(blocked / "keep") << "kept";
    }
    scene.channel->SaveTextureToFile(blocked.c_str());
    EXPECT_TRUE(fs::is_directory(blocked));
    EXPECT_EQ(ReadFile(blocked / "keep").size(), 4u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2); // no temp file left
    fs::remove_all(dir);
}

// The file read back by ImageMagick: the top row of the picture is light-map row 0.
TEST(TextureShadowOutput, ImageMagickReadsTheBitmapTopRowFirst)
{
    if (std::system("convert -version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    Scene scene;
    scene.channel->SetDesiredWidth(3);
    scene.channel->SetDesiredHeight(2);
    scene.channel->SetTestTexture();
    // 3 x 2 placeholder: every texel is border: (50, 255, 90).
    const fs::path dir = TempDir("magick");
    const fs::path file = dir / "map.bmp";
    scene.channel->SaveTextureToFile(file.c_str());

    // Now a computed map with distinct rows: the square lit from above one corner.
    Scene lit;
    lit.MakeTexture(4);
    lit.AddLight(PointLight({0, 0.5f, 0}, 1, 0, 0));
    ASSERT_TRUE(lit.channel->CalculateShadowBuffer());
    lit.channel->SaveBMPInBuffer();
    const fs::path litFile = dir / "lit.bmp";
    lit.channel->SaveTextureToFile(litFile.c_str());

    auto pixels = [](const fs::path& path) {
        const std::string command = "convert '" + path.string() + "' txt:- 2>/dev/null";
        FILE* pipe = popen(command.c_str(), "r");
        std::map<std::pair<int, int>, std::array<int, 3>> result;
        if (!pipe)
            return result;
        char line[512];
        while (std::fgets(line, sizeof line, pipe)) {
            int x, y, r, g, b;
            if (std::sscanf(line, "%d,%d: (%d,%d,%d", &x, &y, &r, &g, &b) == 5)
                result[{x, y}] = {r, g, b};
        }
        pclose(pipe);
        return result;
    };
    const auto placeholder = pixels(file);
    ASSERT_EQ(placeholder.size(), 6u);
    for (const auto& [at, rgb] : placeholder)
        EXPECT_EQ(rgb, (std::array<int, 3>{50, 255, 90}));

    const auto picture = pixels(litFile);
    ASSERT_EQ(picture.size(), 16u);
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y) {
            const uint32_t texel = static_cast<uint32_t>(lit.Buffer().GetTexel(x, y));
            const std::array<int, 3> expected = {int(texel >> 16 & 0xFF), int(texel >> 8 & 0xFF), int(texel & 0xFF)};
            EXPECT_EQ(picture.at({x, y}), expected) << x << "," << y;
        }
    // Brightest at the lit corner, which is picture row 0.
    EXPECT_GT(picture.at({0, 0})[0], picture.at({0, 3})[0]);
    fs::remove_all(dir);
}
