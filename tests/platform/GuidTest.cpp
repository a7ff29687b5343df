#include "platform/Guid.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

TEST(Guid, TextRoundTripIsCanonicalUpperCaseOverRandomGuids)
{
    std::mt19937_64 rng(1);
    for (int i = 0; i < 500; ++i) {
        _GUID g;
        const uint64_t a = rng(), b = rng();
        g.Data1 = static_cast<uint32_t>(a);
        g.Data2 = static_cast<uint16_t>(a >> 32);
        g.Data3 = static_cast<uint16_t>(a >> 48);
        for (int k = 0; k < 8; ++k)
            g.Data4[k] = static_cast<uint8_t>(b >> (8 * k));
        const std::string text = vex::GuidToString(g);
        ASSERT_EQ(text.size(), 36u);
        for (char c : text)
            EXPECT_TRUE(c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << text;
        const auto parsed = vex::ParseGuid(text);
        ASSERT_TRUE(parsed) << text;
        EXPECT_EQ(*parsed, g);

        uint8_t bytes[16];
        vex::GuidToBytes(g, bytes);
        EXPECT_EQ(vex::GuidFromBytes(bytes), g);
    }
}

TEST(Guid, ParsesLowerCaseAndBracesToTheSameValue)
{
    const std::string canonical = "7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417";
    const auto upper = vex::ParseGuid(canonical);
    ASSERT_TRUE(upper);
    const auto lower = vex::ParseGuid("7d21a5e0-4c93-4f1a-b8e2-3a6c0f95d417");
    const auto braces = vex::ParseGuid("{7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417}");
    ASSERT_TRUE(lower && braces);
    EXPECT_EQ(*lower, *upper);
    EXPECT_EQ(*braces, *upper);
    EXPECT_EQ(vex::GuidToString(*lower), canonical);
    EXPECT_EQ(upper->Data1, 0x7D21A5E0u);
    EXPECT_EQ(upper->Data2, 0x4C93u);
    EXPECT_EQ(upper->Data3, 0x4F1Au);
    EXPECT_EQ(upper->Data4[0], 0xB8);
    EXPECT_EQ(upper->Data4[7], 0x17);
}

TEST(Guid, StoredBytesAreLittleEndianWordsThenEightBytes)
{
    const _GUID g = vex::GuidFromText("7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417");
    uint8_t bytes[16];
    vex::GuidToBytes(g, bytes);
    const uint8_t expected[16] = {0xE0, 0xA5, 0x21, 0x7D, 0x93, 0x4C, 0x1A, 0x4F,
                                  0xB8, 0xE2, 0x3A, 0x6C, 0x0F, 0x95, 0xD4, 0x17};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(bytes[i], expected[i]) << "byte " << i;
}

TEST(Guid, NullGuidIsAllZeroAndDiffersFromAnyOther)
{
    EXPECT_EQ(vex::GuidToString(GUID_NULL), "00000000-0000-0000-0000-000000000000");
    _GUID g;
    EXPECT_EQ(g, GUID_NULL);
    g.Data4[7] = 1;
    EXPECT_NE(g, GUID_NULL);
}

class GuidRejects : public ::testing::TestWithParam<std::string> {};

TEST_P(GuidRejects, MalformedText) { EXPECT_FALSE(vex::ParseGuid(GetParam())) << '"' << GetParam() << '"'; }

INSTANTIATE_TEST_SUITE_P(Cases, GuidRejects,
                         ::testing::Values("", "7D21A5E0", "7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D41", // one digit short
                                           "7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D4170",               // one digit long
                                           "7D21A5E04C93-4F1A-B8E2-3A6C0F95D417-",                // dash moved
                                           "7D21A5E0-4C93-4F1A-B8E2_3A6C0F95D417",                // wrong separator
                                           "7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D41G",                // not hex
                                           "7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D4 7",                // space
                                           "7D21A5E0-4C9 -4F1A-B8E2-3A6C0F95D417",                // space in a word
                                           "+D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417",                // sign
                                           "{7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417",               // one brace
                                           "7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417}",               // other brace
                                           "(7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417)",              // wrong brackets
                                           "{{7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D417}}",            // doubled braces
                                           std::string("7D21A5E0-4C93-4F1A-B8E2-3A6C0F95D4\0"
                                                       "7",
                                                       36)), // embedded NUL
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

} // namespace
