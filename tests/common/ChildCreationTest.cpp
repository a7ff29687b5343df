#include "common/ChannelType.h"
#include "common/PluginEntry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

/// The record's bytes as the host reads them.
template <class Record> std::vector<uint8_t> BytesOf(const Record& record)
{
    std::vector<uint8_t> bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

void ExpectLe32(const std::vector<uint8_t>& bytes, size_t at, uint32_t value, const char* field)
{
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(bytes[at + i], static_cast<uint8_t>(value >> (8 * i))) << field << " byte " << i;
}

void ExpectText(const std::vector<uint8_t>& bytes, size_t at, size_t width, const std::string& text, const char* field)
{
    ASSERT_LT(text.size(), width);
    for (size_t i = 0; i < width; ++i) {
        const uint8_t expected = i < text.size() ? static_cast<uint8_t>(text[i]) : 0;
        EXPECT_EQ(bytes[at + i], expected) << field << " byte " << i;
    }
}

void ExpectGuid(const std::vector<uint8_t>& bytes, size_t at, const _GUID& guid, const char* field)
{
    uint8_t expected[16];
    vex::GuidToBytes(guid, expected);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(bytes[at + i], expected[i]) << field << " byte " << i;
}

struct LinkCase {
    std::string childName;
    std::string childGuid;
    int32_t linkNumber;
    std::string linkName;
};

class MakeChildCreationWrites : public ::testing::TestWithParam<LinkCase> {};

TEST_P(MakeChildCreationWrites, EveryFieldByteByByte)
{
    const LinkCase& c = GetParam();
    const _GUID childGuid = vex::GuidFromText(c.childGuid);
    const ChildCreation record =
        vex::MakeChildCreation(c.childName.c_str(), childGuid, c.linkNumber, c.linkName.c_str());
    const std::vector<uint8_t> b = BytesOf(record);
    ASSERT_EQ(b.size(), 264u);
    // The child's type record.
    ExpectText(b, 0, 80, c.childName.substr(0, 79), "child type name");
    ExpectGuid(b, 80, childGuid, "child type GUID");
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(b[96 + i], 0x11) << "base-type GUID 11111111-... byte " << i;
    ExpectLe32(b, 112, 1, "first number");
    ExpectLe32(b, 116, 51, "second number");
    ExpectLe32(b, 120, 1, "third number");
    ExpectLe32(b, 124, 0, "fourth number");
    EXPECT_EQ(b[128], 0) << "type flag";
    // The link.
    ExpectLe32(b, 132, static_cast<uint32_t>(c.linkNumber), "per-link number");
    EXPECT_EQ(b[136], 0) << "first link flag";
    EXPECT_EQ(b[137], 0) << "second link flag";
    ExpectText(b, 138, 102, c.linkName.substr(0, 101), "link name");
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(b[240 + i], 0) << "link GUID byte " << i;
    ExpectLe32(b, 256, 0, "first trailing number");
    ExpectLe32(b, 260, 1, "second trailing number");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeChildCreationWrites,
    ::testing::Values(LinkCase{"Matrix", "5B90E3C1-2A4F-4E88-9D17-60C3A8F2B5E4", 0, "Start position"},
                      LinkCase{"Value", "DA340490-3267-4AEF-8F90-E7994576857E", 1, "Enable Body"},
                      LinkCase{"DX8 CollisionObject", "00DEB43B-2A34-4583-B858-FD7A03163A9D", -1, "Collision object"},
                      LinkCase{"", "00000000-0000-0000-0000-000000000000", 0x7FFFFFFF, ""},
                      // Longest names that fit, and names that must be cut to keep their NUL.
                      LinkCase{std::string(79, 'n'), "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", 2, std::string(101, 'l')},
                      LinkCase{std::string(200, 'N'), "B7713164-D3B7-4ACF-8361-DC38AE285324", 3,
                               std::string(300, 'L')}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST(MakeChildCreation, NullNamesGiveEmptyFields)
{
    const ChildCreation record = vex::MakeChildCreation(nullptr, GUID_NULL, 0, nullptr);
    const std::vector<uint8_t> b = BytesOf(record);
    ExpectText(b, 0, 80, "", "child type name");
    ExpectText(b, 138, 102, "", "link name");
}

TEST(FillChannelType, WritesNameWithNulGuidsAndClearsThirdNumberOnly)
{
    ChannelType record = vex::kInitialChannelType;
    const std::string name(79, 'x'); // the longest name that keeps its NUL in 80 bytes
    ChannelType* result = vex::FillChannelType(record, name.c_str(), "C4E8B1F2-93A7-4D05-8E61-B2F74A0C9D38",
                                               "3F6D92B8-C015-4A7E-9B3C-4E81F0A6D2C9");
    EXPECT_EQ(result, &record);
    const std::vector<uint8_t> b = BytesOf(record);
    ExpectText(b, 0, 80, name, "type name");
    ExpectGuid(b, 80, vex::GuidFromText("C4E8B1F2-93A7-4D05-8E61-B2F74A0C9D38"), "type GUID");
    ExpectGuid(b, 96, vex::GuidFromText("3F6D92B8-C015-4A7E-9B3C-4E81F0A6D2C9"), "base-type GUID");
    ExpectLe32(b, 112, 1, "first number");
    ExpectLe32(b, 116, 51, "second number");
    ExpectLe32(b, 120, 0, "third number");
    ExpectLe32(b, 124, 0, "fourth number");
    EXPECT_EQ(b[128], 0);

    // A longer name is cut so that the NUL still fits; a shorter one leaves zeros behind its NUL.
    vex::FillChannelType(record, std::string(120, 'y').c_str(), "C4E8B1F2-93A7-4D05-8E61-B2F74A0C9D38",
                         "3F6D92B8-C015-4A7E-9B3C-4E81F0A6D2C9");
    EXPECT_EQ(std::string(record.name), std::string(79, 'y'));
    vex::FillChannelType(record, "DX8 TextureLighting", "C4E8B1F2-93A7-4D05-8E61-B2F74A0C9D38",
                         "3F6D92B8-C015-4A7E-9B3C-4E81F0A6D2C9");
    ExpectText(BytesOf(record), 0, 80, "DX8 TextureLighting", "type name after a shorter one");
}

TEST(InitialChannelType, IsZeroWithNumbersOneFiftyOneOneZero)
{
    const std::vector<uint8_t> b = BytesOf(vex::kInitialChannelType);
    ExpectText(b, 0, 80, "", "type name");
    ExpectGuid(b, 80, GUID_NULL, "type GUID");
    ExpectGuid(b, 96, GUID_NULL, "base-type GUID");
    ExpectLe32(b, 112, 1, "first number");
    ExpectLe32(b, 116, 51, "second number");
    ExpectLe32(b, 120, 1, "third number");
    ExpectLe32(b, 124, 0, "fourth number");
    EXPECT_EQ(b[128], 0);
}

} // namespace
