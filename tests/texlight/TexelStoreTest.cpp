#include "texlight/BitmapWriter.h"
#include "texlight/EdgeFill.h"
#include "texlight/ProgressText.h"
#include "texlight/TexLightConstants.h"

#include "host/ByteIO.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vex::texlight;

namespace {

struct Store {
    int width, height;
    std::vector<uint8_t> texels;
    Store(int w, int h) : width(w), height(h), texels(static_cast<size_t>(w * h * 4), 0)
    {
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y)
                At(x, y)[3] = kNotCovered;
    }
    uint8_t* At(int x, int y) { return texels.data() + TexelOffset(x, y, height); }
    void Cover(int x, int y, uint8_t r, uint8_t g, uint8_t b)
    {
        uint8_t* t = At(x, y);
        t[0] = r, t[1] = g, t[2] = b, t[3] = kCovered;
    }
    std::array<int, 3> Rgb(int x, int y) { return {At(x, y)[0], At(x, y)[1], At(x, y)[2]}; }
};

uint32_t ReadU32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

} // namespace

TEST(Placeholder, SixteenBySixteenHasBorderGridAndBlackInterior)
{
    Store s(16, 16);
    FillPlaceholder(s.texels.data(), 16, 16);
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 16; ++y) {
            std::array<int, 3> expected = {0, 0, 0};
            if (x == 8 || y == 8)
                expected = {20, 125, 40};
            if (x == 0 || y == 0 || x == 15 || y == 15)
                expected = {50, 255, 90};
            EXPECT_EQ(s.Rgb(x, y), expected) << x << "," << y;
            EXPECT_EQ(s.At(x, y)[3], kNotCovered);
        }
}

TEST(EdgeFill, UncoveredTexelTakesTheTruncatedMeanOfItsCoveredNeighbours)
{
    Store s(3, 1);
    s.Cover(0, 0, 10, 20, 30);
    s.Cover(2, 0, 20, 40, 61);
    s.At(1, 0)[0] = 99; // old colour bytes are replaced
    EdgeFill(s.texels.data(), 3, 1);
    EXPECT_EQ(s.Rgb(1, 0), (std::array<int, 3>{15, 30, 45}));
    EXPECT_EQ(s.At(1, 0)[3], kNotCovered);
    EXPECT_EQ(s.Rgb(0, 0), (std::array<int, 3>{10, 20, 30}));
}

TEST(EdgeFill, ReachesExactlyOneTexelBeyondTheCoveredAreaAndBlackensTheRest)
{
    Store s(6, 6);
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 6; ++y)
            s.At(x, y)[0] = 77;  // leftover colour
    s.Cover(0, 0, 200, 100, 50); // corner texel: neighbour of (1, 0), (0, 1), (1, 1)
    EdgeFill(s.texels.data(), 6, 6);
    EXPECT_EQ(s.Rgb(1, 0), (std::array<int, 3>{200, 100, 50}));
    EXPECT_EQ(s.Rgb(0, 1), (std::array<int, 3>{200, 100, 50}));
    EXPECT_EQ(s.Rgb(1, 1), (std::array<int, 3>{200, 100, 50}));
    // (2, 0) neighbours only filled texels: filled texels are no sources, so it becomes black.
    EXPECT_EQ(s.Rgb(2, 0), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(s.Rgb(5, 5), (std::array<int, 3>{0, 0, 0}));
}

// The pass does not depend on its order: filling a mirrored store gives the mirrored result.
TEST(EdgeFill, ResultIsIndependentOfThePassOrder)
{
    Store a(7, 5), b(7, 5);
    const int cells[][5] = {{1, 1, 90, 10, 3}, {2, 1, 30, 200, 7}, {4, 3, 255, 255, 255}, {5, 2, 1, 2, 3}};
    for (const auto& c : cells) {
        a.Cover(c[0], c[1], c[2], c[3], c[4]);
        b.Cover(6 - c[0], 4 - c[1], c[2], c[3], c[4]);
    }
    EdgeFill(a.texels.data(), 7, 5);
    EdgeFill(b.texels.data(), 7, 5);
    for (int x = 0; x < 7; ++x)
        for (int y = 0; y < 5; ++y)
            EXPECT_EQ(a.Rgb(x, y), b.Rgb(6 - x, 4 - y)) << x << "," << y;
}

TEST(Bitmap, HeaderFieldsForAlignedAndPaddedSizes)
{
    struct Case {
        int w, h;
        uint32_t fileSize, imageSize;
    };
    for (const Case& c : {Case{32, 32, 3126, 3072}, Case{5, 3, 102, 48}, Case{0, 0, 54, 0}, Case{1, 1, 58, 4}}) {
        const auto b = BuildBitmap(c.w, c.h, [](int, int) { return 0u; });
        ASSERT_EQ(b.size(), c.fileSize);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(ReadU32(b, 2), c.fileSize);
        EXPECT_EQ(ReadU32(b, 6), 0u);
        EXPECT_EQ(ReadU32(b, 10), 54u);
        EXPECT_EQ(ReadU32(b, 14), 40u);
        EXPECT_EQ(ReadU32(b, 18), static_cast<uint32_t>(c.w));
        EXPECT_EQ(ReadU32(b, 22), static_cast<uint32_t>(c.h));
        EXPECT_EQ(b[26] | b[27] << 8, 1);
        EXPECT_EQ(b[28] | b[29] << 8, 24);
        EXPECT_EQ(ReadU32(b, 30), 0u);
        EXPECT_EQ(ReadU32(b, 34), c.imageSize);
        for (size_t at : {38u, 42u, 46u, 50u})
            EXPECT_EQ(ReadU32(b, at), 0u);
    }
}

TEST(Bitmap, RowsAreStoredBottomUpInBlueGreenRedOrder)
{
    // 5 x 3: rows of 15 bytes plus 1 padding byte.
    const auto b = BuildBitmap(5, 3, [](int x, int y) {
        if (x == 0 && y == 0)
            return uint32_t{0x112233}; // red 17, green 34, blue 51
        return static_cast<uint32_t>((x * 10) << 16 | (y * 10) << 8 | 7);
    });
    const size_t rowBytes = 16;
    const size_t lastRow = 54 + 2 * rowBytes; // light-map row 0 is stored last
    EXPECT_EQ(b[lastRow], 51);
    EXPECT_EQ(b[lastRow + 1], 34);
    EXPECT_EQ(b[lastRow + 2], 17);
    // Texel (4, 2) is the fifth pixel of the first stored row.
    EXPECT_EQ(b[54 + 12], 7);
    EXPECT_EQ(b[54 + 13], 20);
    EXPECT_EQ(b[54 + 14], 40);
    EXPECT_EQ(b[54 + 15], 0); // padding
}

TEST(ProgressText, ShowsSurfaceCountAndElapsedSeconds)
{
    const std::string base = ProgressBaseText(2, 5);
    EXPECT_EQ(base, "Surf: 2/5  Rendertime: ");
    EXPECT_EQ(ProgressText(base, 1250), "Surf: 2/5  Rendertime: 1.25 seconds");
    EXPECT_EQ(ProgressText(base, 0), "Surf: 2/5  Rendertime: 0. seconds");
    EXPECT_EQ(ProgressText(base, 123456), "Surf: 2/5  Rendertime: 123.46 seconds");
    EXPECT_EQ(ProgressText(std::string(600, 'a'), 1000).size(), 499u + 2u + 8u); // "1." and " seconds"
}
