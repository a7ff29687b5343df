#include "siblings/texture/BitmapDecode.h"
#include "tests/siblings/texture/BitmapBuilder.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <tuple>

namespace {

using vex::DecodeBitmap;
using vex::DecodedBitmap;
using vex::test::BuildBitmap;
using vex::test::Pattern;

struct Shape {
    int width, height, bitCount;
    bool topDown;
};

void PrintTo(const Shape& s, std::ostream* os)
{
    *os << s.width << "x" << s.height << "x" << s.bitCount << (s.topDown ? " top-down" : " bottom-up");
}

class BitmapRoundTrip : public ::testing::TestWithParam<Shape> {};

TEST_P(BitmapRoundTrip, DecodesEveryTexelOfAnImageItWasBuiltFrom)
{
    const Shape s = GetParam();
    const auto bytes = BuildBitmap(s.width, s.height, s.bitCount, s.topDown, Pattern);
    for (bool useAlpha : {false, true}) {
        DecodedBitmap out;
        std::string error;
        ASSERT_TRUE(DecodeBitmap(bytes.data(), bytes.size(), useAlpha, out, &error)) << error;
        ASSERT_EQ(out.width, s.width);
        ASSERT_EQ(out.height, s.height);
        EXPECT_EQ(out.hasAlpha, s.bitCount == 32);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                const uint32_t alpha = s.bitCount == 32 && useAlpha ? 0x80000000u : 0xFF000000u;
                ASSERT_EQ(out.texels[static_cast<size_t>(y) * s.width + x], (Pattern(x, y) & 0xFFFFFFu) | alpha)
                    << "texel " << x << "," << y;
            }
    }
}

// Widths 1 to 5 and 7 cover every row padding of both depths.
INSTANTIATE_TEST_SUITE_P(Shapes, BitmapRoundTrip,
                         ::testing::Values(Shape{1, 1, 24, false}, Shape{2, 3, 24, false}, Shape{3, 2, 24, false},
                                           Shape{4, 4, 24, false}, Shape{5, 3, 24, false}, Shape{7, 9, 24, false},
                                           Shape{5, 3, 24, true}, Shape{7, 2, 24, true}, Shape{1, 5, 32, false},
                                           Shape{3, 3, 32, false}, Shape{6, 2, 32, true}, Shape{32, 32, 24, false}));

TEST(BitmapDecode, FirstPixelOfLastStoredRowIsTopLeftTexel)
{
    // A 5 by 3 image by hand: rows of 15 bytes plus 1 padding byte, bottom-up.
    std::vector<uint8_t> bytes = BuildBitmap(5, 3, 24, false, [](int, int) { return 0u; });
    ASSERT_EQ(bytes.size(), 102u);
    bytes[54 + 2 * 16 + 0] = 51; // blue
    bytes[54 + 2 * 16 + 1] = 34; // green
    bytes[54 + 2 * 16 + 2] = 17; // red
    DecodedBitmap out;
    ASSERT_TRUE(DecodeBitmap(bytes.data(), bytes.size(), false, out, nullptr));
    EXPECT_EQ(out.texels[0], 0xFF112233u);
    EXPECT_EQ(out.texels[2 * 5], 0xFF000000u);
}

TEST(BitmapDecode, AcceptsLastRowWithoutPadding)
{
    auto bytes = BuildBitmap(5, 3, 24, false, Pattern);
    bytes.pop_back(); // the last stored row's padding byte
    DecodedBitmap out;
    ASSERT_TRUE(DecodeBitmap(bytes.data(), bytes.size(), false, out, nullptr));
    EXPECT_EQ(out.texels[0], Pattern(0, 0) | 0xFF000000u);
}

TEST(BitmapDecode, RejectsEveryTruncationWithoutReadingPastTheBuffer)
{
    const auto full = BuildBitmap(5, 3, 24, false, Pattern);
    const size_t shortestValid = full.size() - 1; // the last row's padding may be missing
    for (size_t length = 0; length < shortestValid; ++length) {
        // A copy of exactly `length` bytes, so the sanitizer sees any read past it.
        std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
        DecodedBitmap out;
        std::string error;
        EXPECT_FALSE(DecodeBitmap(cut.data(), cut.size(), false, out, &error)) << "length " << length;
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(out.texels.empty());
    }
}

struct Corruption {
    const char* name;
    size_t offset;
    int64_t value;
    int bytes;
};

void PrintTo(const Corruption& c, std::ostream* os) { *os << c.name; }

class BitmapCorruption : public ::testing::TestWithParam<Corruption> {};

TEST_P(BitmapCorruption, IsRejectedWithAMessage)
{
    const Corruption c = GetParam();
    auto bytes = BuildBitmap(4, 4, 24, false, Pattern);
    for (int i = 0; i < c.bytes; ++i)
        bytes[c.offset + static_cast<size_t>(i)] = static_cast<uint8_t>(static_cast<uint64_t>(c.value) >> (8 * i));
    DecodedBitmap out;
    std::string error;
    EXPECT_FALSE(DecodeBitmap(bytes.data(), bytes.size(), false, out, &error));
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BitmapCorruption,
    ::testing::Values(Corruption{"Magic", 0, 0x4D43, 2}, Corruption{"PixelOffsetPastEnd", 10, 10000, 4},
                      Corruption{"PixelOffsetInsideHeaders", 10, 20, 4},
                      Corruption{"PixelOffsetHuge", 10, 0xFFFFFFFF, 4}, Corruption{"InfoSizeSmall", 14, 12, 4},
                      Corruption{"InfoSizeHuge", 14, 0xFFFFFFF0, 4}, Corruption{"WidthZero", 18, 0, 4},
                      Corruption{"WidthNegative", 18, -4, 4}, Corruption{"WidthHuge", 18, 0x7FFFFFFF, 4},
                      Corruption{"HeightZero", 22, 0, 4}, Corruption{"HeightMostNegative", 22, INT32_MIN, 4},
                      Corruption{"HeightTooTall", 22, 5, 4}, Corruption{"WidthTooWide", 18, 5, 4},
                      Corruption{"Planes", 26, 2, 2}, Corruption{"EightBit", 28, 8, 2},
                      Corruption{"Compressed", 30, 1, 4}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
