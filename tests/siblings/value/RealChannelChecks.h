#pragma once
// Checks shared by the value and damping-factor channel tests: both hold one float saved as one chunk.

#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_ValueInterface.h"
#include "host/siblings/TypeGuids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace vex::testing {

struct RealChannelCase {
    const char* typeGuid;
    const char* typeName;
    const char* baseGuid;
    const char* tag;
    float defaultValue;
};

inline std::ostream& operator<<(std::ostream& out, const RealChannelCase& c) { return out << c.typeName; }

inline std::vector<uint8_t> SectionWithChunk(const char* tag, const std::vector<uint8_t>& payload)
{
    TavFileSaver saver;
    saver.SaveTag(tag);
    saver.SaveBlockSize(static_cast<int>(payload.size()));
    saver.SaveDataToFile(payload.data(), static_cast<int>(payload.size()));
    return saver.TakeBytes();
}

class RealChannelTest : public ::testing::TestWithParam<RealChannelCase> {
protected:
    RealChannelTest()
    {
        host.SetMessageSink([this](const std::string& text) { messages.push_back(text); });
    }

    std::unique_ptr<Tav_ValueInterface> Create()
    {
        Tav_Channel* channel = host.CreateChannelByGuid(Guid(GetParam().typeGuid), 0, 0);
        EXPECT_NE(channel, nullptr);
        return std::unique_ptr<Tav_ValueInterface>(dynamic_cast<Tav_ValueInterface*>(channel));
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
    std::vector<std::string> messages;
};

TEST_P(RealChannelTest, TypeRecordNamesTypeAndBase)
{
    auto channel = Create();
    ASSERT_TRUE(channel);
    const ChannelType* type = host.GetLibraryType(Guid(GetParam().typeGuid));
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(type->name, GetParam().typeName);
    EXPECT_EQ(type->baseTypeGuid, Guid(GetParam().baseGuid));
    EXPECT_EQ(channel->GetReal(), GetParam().defaultValue);
}

TEST_P(RealChannelTest, SavedChunkIsOneLittleEndianFloat)
{
    auto channel = Create();
    ASSERT_TRUE(channel);
    channel->SetReal(0.5f); // 00 00 00 3F
    TavFileSaver saver;
    ASSERT_TRUE(channel->SaveChannel(saver));
    const std::vector<uint8_t> expected = SectionWithChunk(GetParam().tag, {0x00, 0x00, 0x00, 0x3F});
    EXPECT_EQ(saver.GetBytes(), expected);
}

TEST_P(RealChannelTest, SaveThenLoadKeepsTheValue)
{
    for (float value : {0.0f, -0.0f, 1.0f, 0.95f, -3.25f, std::numeric_limits<float>::denorm_min(), 1e30f}) {
        auto source = Create();
        auto target = Create();
        ASSERT_TRUE(source && target);
        source->SetReal(value);
        TavFileSaver saver;
        ASSERT_TRUE(source->SaveChannel(saver));
        TavFileLoader loader(saver.TakeBytes());
        ASSERT_TRUE(target->LoadChannel(loader, nullptr));
        EXPECT_EQ(std::signbit(target->GetReal()), std::signbit(value));
        EXPECT_EQ(target->GetReal(), value);
    }
    EXPECT_TRUE(messages.empty());
}

TEST_P(RealChannelTest, BadChunkIsRefusedWithMessageAndKeepsTheValue)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto floatBytes = [](float f) {
        ByteWriter w;
        w.F32(f);
        return w.Take();
    };
    const std::vector<std::vector<uint8_t>> payloads = {{}, {0x00, 0x00, 0x80}, floatBytes(nan), floatBytes(inf)};
    for (const auto& payload : payloads) {
        auto channel = Create();
        ASSERT_TRUE(channel);
        channel->SetReal(0.25f);
        TavFileLoader loader(SectionWithChunk(GetParam().tag, payload));
        messages.clear();
        EXPECT_FALSE(channel->LoadChannel(loader, nullptr)) << payload.size();
        EXPECT_EQ(channel->GetReal(), 0.25f);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(GetParam().tag), std::string::npos) << messages[0];
    }
}

TEST_P(RealChannelTest, LongerChunkLoadsItsFirstFloatAndMissingChunkKeepsValue)
{
    auto channel = Create();
    ASSERT_TRUE(channel);
    TavFileLoader longer(SectionWithChunk(GetParam().tag, {0x00, 0x00, 0x00, 0x40, 0xAA, 0xBB}));
    EXPECT_TRUE(channel->LoadChannel(longer, nullptr));
    EXPECT_EQ(channel->GetReal(), 2.0f);
    TavFileLoader other(SectionWithChunk("ZZZZ", {1, 2, 3, 4}));
    EXPECT_TRUE(channel->LoadChannel(other, nullptr));
    EXPECT_EQ(channel->GetReal(), 2.0f);
}

} // namespace vex::testing
