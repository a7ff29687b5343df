#include "app/Images.h"
#include "app/LightMapChannel.h"
#include "app/Scene.h"
#include "host/Vexcore.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <string>

namespace vex::app {
namespace {

// Encoding then decoding with libpng's own reader gives back every pixel, for sizes with odd rows.
TEST(EncodePng, RoundTripsThroughLibpng)
{
    for (const auto& [width, height] : {std::pair{1, 1}, std::pair{3, 2}, std::pair{17, 5}}) {
        RgbImage image;
        image.width = width;
        image.height = height;
        for (int i = 0; i < width * height * 3; ++i)
            image.pixels.push_back(static_cast<uint8_t>(i * 37 + 11));
        const std::vector<uint8_t> png = EncodePng(image);
        ASSERT_GT(png.size(), 8u);
        EXPECT_EQ(png_sig_cmp(png.data(), 0, 8), 0);

        png_image decoded{};
        decoded.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&decoded, png.data(), png.size()));
        EXPECT_EQ(static_cast<int>(decoded.width), width);
        EXPECT_EQ(static_cast<int>(decoded.height), height);
        decoded.format = PNG_FORMAT_RGB;
        std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(decoded));
        ASSERT_TRUE(png_image_finish_read(&decoded, nullptr, pixels.data(), 0, nullptr));
        EXPECT_EQ(pixels, image.pixels);
    }
}

/// A scene of a light-mapped object and, when given, a second object in a pose.
std::string PreviewScene(const std::string& floorMesh, const std::string& other, const std::string& pose)
{
    return R"({"channels": [
        {"name": "floor.mesh", "type": "DX8 Mesh", "settings": )" +
           floorMesh + R"(},
        {"name": "floor.surface", "type": "DX8 Surface", "links": [{"position": 0, "channel": "floor.mesh"}]},
        {"name": "floor", "type": "DX8 3D Object", "links": [{"position": 1, "channel": "floor.surface"}]},
        {"name": "other.pose", "type": "Matrix", "settings": {"matrix": )" +
           pose + R"(}},
        {"name": "other.mesh", "type": "DX8 Mesh", "settings": )" +
           other + R"(},
        {"name": "other.surface", "type": "DX8 Surface", "links": [{"position": 0, "channel": "other.mesh"}]},
        {"name": "other", "type": "DX8 3D Object",
         "links": [{"position": 0, "channel": "other.pose"}, {"position": 1, "channel": "other.surface"}]},
        {"name": "map", "type": "DX8 TextureLighting", "links": [{"position": 0, "channel": "floor"}]}]})";
}

struct PreviewCase {
    const char* label;
    std::string scene;
};

// The camera is fitted to the objects: they reach the picture's margin on at least one axis, and sky
// stays all round them. Cases: a wide floor, a tall column beside a small floor, a floor and a ball
// apart, and a long strip seen nearly end on.
TEST(RenderPreview, ObjectsFillThePictureInsideItsMargin)
{
    const PreviewCase cases[] = {
        {"wide floor", PreviewScene(R"({"grid": {"cells": [4, 4], "size": [40, 40]}})", R"({"box": [1, 1, 1]})",
                                    R"({"position": [0, 0.5, 0]})")},
        {"tall column", PreviewScene(R"({"grid": {"cells": [2, 2], "size": [2, 2]}})", R"({"box": [0.5, 12, 0.5]})",
                                     R"({"position": [0, 6, 0]})")},
        {"apart", PreviewScene(R"({"grid": {"cells": [2, 2], "size": [6, 3]}})", R"({"sphere": {"radius": 1}})",
                               R"({"position": [9, 3, -4]})")},
        {"long along z", PreviewScene(R"({"grid": {"cells": [1, 8], "size": [1, 60]}})", R"({"box": [1, 1, 1]})",
                                      R"({"position": [0, 0.5, 29]})")},
    };
    constexpr int kWidth = 160, kHeight = 120;
    for (const PreviewCase& c : cases) {
        SCOPED_TRACE(c.label);
        Vexcore host({VEX_PLUGIN_DIR});
        host.SetMessageSink([](const std::string&) {});
        BuildScene(host, ParseScene(c.scene, "t.json"));
        host.RunFrame();
        Tav_Channel* map = host.FindChannel("map");
        ASSERT_NE(map, nullptr);
        const RgbImage image = RenderPreview(host, LightMapOf(*map), kWidth, kHeight);
        ASSERT_EQ(image.pixels.size(), size_t{kWidth} * kHeight * 3);
        int x0 = kWidth, x1 = -1, y0 = kHeight, y1 = -1;
        for (int y = 0; y < kHeight; ++y) {
            // The sky's gradient for this row; anything else is an object.
            const float t = static_cast<float>(y) / static_cast<float>(kHeight);
            const uint8_t sky[3] = {static_cast<uint8_t>(120 + 80 * t), static_cast<uint8_t>(150 + 70 * t),
                                    static_cast<uint8_t>(200 + 40 * t)};
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* p = &image.pixels[(static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)) * 3];
                if (std::equal(p, p + 3, sky))
                    continue;
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
        ASSERT_GE(x1, 0) << "nothing drawn";
        EXPECT_GE(x0, 2);
        EXPECT_LE(x1, kWidth - 3);
        EXPECT_GE(y0, 2);
        EXPECT_LE(y1, kHeight - 3);
        EXPECT_TRUE(x1 - x0 + 1 >= kWidth * 85 / 100 || y1 - y0 + 1 >= kHeight * 85 / 100)
            << "objects span " << x0 << ".." << x1 << " by " << y0 << ".." << y1;
    }
}

} // namespace
} // namespace vex::app
