#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/Tvc_MatrixChannel.h"
#include "host/siblings/TypeGuids.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

/// Exposes the storage pointer so tests can check that copies own their own matrix.
class ExposedMatrixChannel : public Tvc_MatrixChannel {
public:
    D3DXMATRIX* Storage() const { return matrix; }
};

D3DXMATRIX Numbered(float start)
{
    D3DXMATRIX m;
    for (int i = 0; i < 16; ++i)
        m.m[i / 4][i % 4] = start + static_cast<float>(i);
    return m;
}

bool BitwiseEqual(const D3DXMATRIX& a, const D3DXMATRIX& b) { return std::memcmp(a.m, b.m, sizeof a.m) == 0; }

std::vector<uint8_t> SectionWithChunk(const char* tag, const std::vector<uint8_t>& payload)
{
    TavFileSaver saver;
    saver.SaveTag(tag);
    saver.SaveBlockSize(static_cast<int>(payload.size()));
    saver.SaveDataToFile(payload.data(), static_cast<int>(payload.size()));
    return saver.TakeBytes();
}

std::vector<uint8_t> FloatsPayload(const D3DXMATRIX& m, size_t extraBytes = 0)
{
    vex::ByteWriter w;
    for (int i = 0; i < 16; ++i)
        w.F32(m.m[i / 4][i % 4]);
    w.Zeros(extraBytes);
    return w.Take();
}

class MatrixChannelTest : public ::testing::Test {
protected:
    MatrixChannelTest()
    {
        host.SetMessageSink([this](const std::string& text) { messages.push_back(text); });
    }

    std::unique_ptr<Tvc_MatrixChannel> Create()
    {
        Tav_Channel* channel = host.CreateChannelByGuid(vex::Guid(vex::guids::kMatrix), 0, 0);
        EXPECT_NE(channel, nullptr);
        return std::unique_ptr<Tvc_MatrixChannel>(dynamic_cast<Tvc_MatrixChannel*>(channel));
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
    std::vector<std::string> messages;
};

TEST_F(MatrixChannelTest, PluginReportsMatrixTypeAndStartsAtIdentity)
{
    auto channel = Create();
    ASSERT_TRUE(channel);
    const ChannelType* type = host.GetLibraryType(vex::Guid(vex::guids::kMatrix));
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(type->name, "Matrix");
    EXPECT_EQ(type->typeGuid, vex::Guid(vex::guids::kMatrix));
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_TRUE(BitwiseEqual(channel->GetMatrix(), identity));
    EXPECT_TRUE(BitwiseEqual(channel->GetOldMatrix(), identity));
}

TEST_F(MatrixChannelTest, SaveWritesSixteenLittleEndianFloatsRowByRow)
{
    auto channel = Create();
    ASSERT_TRUE(channel);
    D3DXMATRIX m = Numbered(0.0f);
    m._11 = 1.0f;  // 00 00 80 3F
    m._44 = -2.0f; // 00 00 00 C0
    channel->SetMatrix(m);
    TavFileSaver saver;
    ASSERT_TRUE(channel->SaveChannel(saver));
    const std::vector<uint8_t>& bytes = saver.GetBytes();
    ASSERT_EQ(bytes.size(), 4u + 4u + 64u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "MXMT");
    EXPECT_EQ(bytes[4], 64);
    EXPECT_EQ(bytes[5] | bytes[6] | bytes[7], 0);
    const std::vector<uint8_t> first = {0x00, 0x00, 0x80, 0x3F};
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 8, bytes.begin() + 12), first);
    const std::vector<uint8_t> second = {0x00, 0x00, 0x80, 0x3F}; // _12 = 1.0f from Numbered(0)
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 12, bytes.begin() + 16), second);
    const std::vector<uint8_t> last = {0x00, 0x00, 0x00, 0xC0};
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()), last);
}

class MatrixRoundTrip : public MatrixChannelTest, public ::testing::WithParamInterface<D3DXMATRIX> {};

TEST_P(MatrixRoundTrip, SaveThenLoadGivesTheSameBits)
{
    auto source = Create();
    auto target = Create();
    ASSERT_TRUE(source && target);
    source->SetMatrix(GetParam());
    TavFileSaver saver;
    ASSERT_TRUE(source->SaveChannel(saver));
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(target->LoadChannel(loader, nullptr));
    EXPECT_TRUE(BitwiseEqual(target->GetMatrix(), GetParam()));
    EXPECT_TRUE(messages.empty());
}

D3DXMATRIX Identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DXMATRIX Posed()
{
    D3DXMATRIX r, s, t, out;
    D3DXMatrixRotationYawPitchRoll(&r, 0.3f, -1.1f, 2.5f);
    D3DXMatrixScaling(&s, 2.0f, 0.5f, 3.0f);
    D3DXMatrixTranslation(&t, -4.0f, 12.5f, 1e-3f);
    D3DXMatrixMultiply(&out, &s, &r);
    D3DXMatrixMultiply(&out, &out, &t);
    return out;
}

D3DXMATRIX Extremes()
{
    D3DXMATRIX m = Numbered(-8.0f);
    m._11 = -0.0f;
    m._22 = std::numeric_limits<float>::denorm_min();
    m._33 = std::numeric_limits<float>::max();
    m._43 = std::numeric_limits<float>::lowest();
    return m;
}

std::string MatrixCaseName(const ::testing::TestParamInfo<D3DXMATRIX>& info)
{
    static const char* const names[] = {"Identity", "ScaledRotatedMoved", "SignedZeroDenormalAndLimits", "Counting"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Matrices, MatrixRoundTrip,
                         ::testing::Values(Identity(), Posed(), Extremes(), Numbered(100.0f)), MatrixCaseName);

TEST_F(MatrixChannelTest, ShortChunkIsRefusedAndKeepsTheMatrix)
{
    for (size_t size : {size_t(0), size_t(4), size_t(63)}) {
        auto channel = Create();
        ASSERT_TRUE(channel);
        const D3DXMATRIX before = Posed();
        channel->SetMatrix(before);
        std::vector<uint8_t> payload = FloatsPayload(Numbered(1.0f));
        payload.resize(size);
        TavFileLoader loader(SectionWithChunk("MXMT", payload));
        messages.clear();
        EXPECT_FALSE(channel->LoadChannel(loader, nullptr)) << size;
        EXPECT_TRUE(BitwiseEqual(channel->GetMatrix(), before)) << size;
        ASSERT_EQ(messages.size(), 1u) << size;
        EXPECT_NE(messages[0].find("MXMT"), std::string::npos) << messages[0];
    }
}

TEST_F(MatrixChannelTest, LongChunkLoadsItsFirstSixteenFloats)
{
    auto channel = Create();
    ASSERT_TRUE(channel);
    const D3DXMATRIX stored = Numbered(3.0f);
    TavFileLoader loader(SectionWithChunk("MXMT", FloatsPayload(stored, 36)));
    EXPECT_TRUE(channel->LoadChannel(loader, nullptr));
    EXPECT_TRUE(BitwiseEqual(channel->GetMatrix(), stored));
}

TEST_F(MatrixChannelTest, MissingChunkKeepsTheMatrix)
{
    auto channel = Create();
    ASSERT_TRUE(channel);
    channel->SetMatrix(Posed());
    TavFileLoader loader(SectionWithChunk("XXXX", {1, 2, 3}));
    EXPECT_TRUE(channel->LoadChannel(loader, nullptr));
    EXPECT_TRUE(BitwiseEqual(channel->GetMatrix(), Posed()));
}

TEST(MatrixChannelCopy, CopiesOwnTheirStorage)
{
    ExposedMatrixChannel original;
    original.SetMatrix(Posed());
    ExposedMatrixChannel copy(original);
    EXPECT_NE(copy.Storage(), original.Storage());
    EXPECT_TRUE(BitwiseEqual(copy.GetMatrix(), Posed()));

    ExposedMatrixChannel assigned;
    D3DXMATRIX* storageBefore = assigned.Storage();
    assigned = original;
    EXPECT_EQ(assigned.Storage(), storageBefore);
    EXPECT_TRUE(BitwiseEqual(assigned.GetMatrix(), Posed()));

    original.SetMatrix(Numbered(7.0f));
    EXPECT_TRUE(BitwiseEqual(copy.GetMatrix(), Posed()));
    EXPECT_TRUE(BitwiseEqual(assigned.GetMatrix(), Posed()));
}

} // namespace
