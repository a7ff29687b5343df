#include "app/Images.h"

#include <gtest/gtest.h>
#include <png.h>

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

} // namespace
} // namespace vex::app
