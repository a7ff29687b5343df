#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/light/Tvc_DX8_Light.h"
#include "tests/siblings/texture/VirtualSlot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using vex::test::VirtualSlot;

class LightChannelTest : public ::testing::Test {
protected:
    LightChannelTest()
    {
        host.SetMessageSink([this](const std::string& text) { messages.push_back(text); });
    }

    std::unique_ptr<Tvc_DX8_Light> Create()
    {
        Tav_Channel* channel = host.CreateChannelByGuid(vex::Guid(vex::guids::kLight), 0, 0);
        EXPECT_NE(dynamic_cast<Tvc_DX8_Light*>(channel), nullptr);
        return std::unique_ptr<Tvc_DX8_Light>(dynamic_cast<Tvc_DX8_Light*>(channel));
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
    std::vector<std::string> messages;
};

/// A spot light whose every field has its own value.
D3DLIGHT8 DistinctSpot()
{
    D3DLIGHT8 l;
    l.Type = D3DLIGHT_SPOT;
    l.Diffuse = {0.1f, 0.2f, 0.3f, 0.4f};
    l.Specular = {0.5f, 0.6f, 0.7f, 0.8f};
    l.Ambient = {0.9f, 1.0f, 1.1f, 1.2f};
    l.Position = D3DXVECTOR3(1.5f, -2.5f, 3.5f);
    l.Direction = D3DXVECTOR3(-0.25f, -1.0f, 0.125f);
    l.Range = 55.0f;
    l.Falloff = 1.75f;
    l.Attenuation0 = 0.01f;
    l.Attenuation1 = 0.02f;
    l.Attenuation2 = 0.03f;
    l.Theta = 0.3f;
    l.Phi = 0.6f;
    return l;
}

void ExpectSameLight(const D3DLIGHT8& a, const D3DLIGHT8& b)
{
    EXPECT_EQ(a.Type, b.Type);
    const float fa[] = {a.Diffuse.r,    a.Diffuse.g,    a.Diffuse.b,    a.Diffuse.a,  a.Specular.r,
                        a.Specular.g,   a.Specular.b,   a.Specular.a,   a.Ambient.r,  a.Ambient.g,
                        a.Ambient.b,    a.Ambient.a,    a.Position.x,   a.Position.y, a.Position.z,
                        a.Direction.x,  a.Direction.y,  a.Direction.z,  a.Range,      a.Falloff,
                        a.Attenuation0, a.Attenuation1, a.Attenuation2, a.Theta,      a.Phi};
    const float fb[] = {b.Diffuse.r,    b.Diffuse.g,    b.Diffuse.b,    b.Diffuse.a,  b.Specular.r,
                        b.Specular.g,   b.Specular.b,   b.Specular.a,   b.Ambient.r,  b.Ambient.g,
                        b.Ambient.b,    b.Ambient.a,    b.Position.x,   b.Position.y, b.Position.z,
                        b.Direction.x,  b.Direction.y,  b.Direction.z,  b.Range,      b.Falloff,
                        b.Attenuation0, b.Attenuation1, b.Attenuation2, b.Theta,      b.Phi};
    for (size_t i = 0; i < std::size(fa); ++i)
        EXPECT_EQ(fa[i], fb[i]) << "field " << i;
}

TEST(LightSlots, GetLightThenGetLightTypeFollowTavChannel)
{
    EXPECT_EQ(VirtualSlot(&Tav_LightInterface::GetLight), vex::test::kFirstDerivedSlot);
    EXPECT_EQ(VirtualSlot(&Tav_LightInterface::GetLightType), vex::test::kFirstDerivedSlot + 1);
}

TEST_F(LightChannelTest, NewLightIsAWhitePointLight)
{
    auto light = Create();
    ASSERT_TRUE(light);
    EXPECT_STREQ(light->GetChannelType().name, "DX8 Light");
    D3DLIGHT8 scratch;
    const D3DLIGHT8* l = light->GetLight(&scratch);
    EXPECT_EQ(light->GetLightType(), 2);
    EXPECT_EQ(l->Type, D3DLIGHT_POINT);
    EXPECT_EQ(l->Diffuse.r, 1.0f);
    EXPECT_EQ(l->Attenuation0, 1.0f);
}

TEST_F(LightChannelTest, DescriptionWithANumberThatIsNotFiniteOrANegativeAttenuationIsRefused)
{
    auto light = Create();
    ASSERT_TRUE(light);
    D3DLIGHT8 scratch;
    const D3DLIGHT8 before = *light->GetLight(&scratch);
    for (int field = 0; field < 4; ++field) {
        D3DLIGHT8 bad = before;
        const float nan = std::numeric_limits<float>::quiet_NaN();
        if (field == 0)
            bad.Position.y = nan;
        else if (field == 1)
            bad.Direction.x = std::numeric_limits<float>::infinity();
        else if (field == 2)
            bad.Attenuation2 = nan;
        else
            bad.Attenuation1 = -0.5f;
        EXPECT_FALSE(light->SetLight(bad)) << field;
        EXPECT_EQ(light->GetLight(&scratch)->Position, before.Position);
        EXPECT_EQ(light->GetLight(&scratch)->Attenuation1, before.Attenuation1);
        EXPECT_EQ(light->GetLight(&scratch)->Attenuation2, before.Attenuation2);
    }
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("attenuation"), std::string::npos);
}

TEST_F(LightChannelTest, TypeCodeAndDescriptionTypeStayInStep)
{
    auto light = Create();
    D3DLIGHT8 scratch;
    const struct {
        int code;
        D3DLIGHTTYPE type;
    } pairs[] = {{0, D3DLIGHT_DIRECTIONAL}, {1, D3DLIGHT_SPOT}, {2, D3DLIGHT_POINT}};
    for (const auto& p : pairs) {
        ASSERT_TRUE(light->SetLightType(p.code));
        EXPECT_EQ(light->GetLight(&scratch)->Type, p.type);
        D3DLIGHT8 l = DistinctSpot();
        l.Type = p.type;
        ASSERT_TRUE(light->SetLight(l));
        EXPECT_EQ(light->GetLightType(), p.code);
    }
    EXPECT_FALSE(light->SetLightType(3));
    EXPECT_FALSE(light->SetLightType(-1));
    D3DLIGHT8 bad = DistinctSpot();
    bad.Type = static_cast<D3DLIGHTTYPE>(9);
    EXPECT_FALSE(light->SetLight(bad));
    EXPECT_EQ(light->GetLightType(), 2);
}

TEST_F(LightChannelTest, SaveThenLoadKeepsEveryField)
{
    auto light = Create();
    ASSERT_TRUE(light->SetLight(DistinctSpot()));
    TavFileSaver saver;
    ASSERT_TRUE(light->SaveChannel(saver));
    auto loaded = Create();
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(loaded->LoadChannel(loader, nullptr));
    D3DLIGHT8 a, b;
    ExpectSameLight(*light->GetLight(&a), *loaded->GetLight(&b));
    EXPECT_EQ(loaded->GetLightType(), 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(LightChannelTest, DescriptionIsStoredFieldByFieldLittleEndian)
{
    auto light = Create();
    ASSERT_TRUE(light->SetLight(DistinctSpot()));
    TavFileSaver saver;
    ASSERT_TRUE(light->SaveChannel(saver));
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(loader.GetInfoIfTag("LTLT"));
    ASSERT_EQ(loader.GetTagDataSize(), 104);
    vex::ByteReader r(loader.GetTagData(), 104);
    uint32_t type = 0;
    float diffuseRed = 0;
    ASSERT_TRUE(r.U32(type) && r.F32(diffuseRed));
    EXPECT_EQ(type, 2u); // D3DLIGHT_SPOT
    EXPECT_EQ(diffuseRed, 0.1f);
    ASSERT_TRUE(r.Skip(4 * 11 + 4 * 6 + 4 * 6));
    float phi = 0;
    ASSERT_TRUE(r.F32(phi));
    EXPECT_EQ(phi, 0.6f);
    EXPECT_EQ(r.Left(), 0u);
}

std::vector<uint8_t> Chunk(const char* tag, const std::vector<uint8_t>& payload)
{
    TavFileSaver saver;
    saver.SaveTag(tag);
    saver.SaveBlockSize(static_cast<int>(payload.size()));
    saver.SaveDataToFile(payload.data(), static_cast<int>(payload.size()));
    return saver.TakeBytes();
}

TEST_F(LightChannelTest, BadChunksAreIgnoredWithAMessage)
{
    auto source = Create();
    ASSERT_TRUE(source->SetLight(DistinctSpot()));
    TavFileSaver saver;
    ASSERT_TRUE(source->SaveChannel(saver));
    TavFileLoader good(saver.TakeBytes());
    ASSERT_TRUE(good.GetInfoIfTag("LTLT"));
    const std::vector<uint8_t> payload(good.GetTagData(), good.GetTagData() + good.GetTagDataSize());

    std::vector<std::vector<uint8_t>> sections;
    sections.push_back(Chunk("LTLT", std::vector<uint8_t>(payload.begin(), payload.end() - 1)));
    auto badType = payload;
    badType[0] = 7;
    sections.push_back(Chunk("LTLT", badType));
    auto nan = payload;
    const float q = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(&nan[4 + 4 * 12], &q, 4); // Position.x
    sections.push_back(Chunk("LTLT", nan));
    sections.push_back(Chunk("LTTY", {5, 0, 0, 0}));
    sections.push_back(Chunk("LTTY", {1, 0}));
    for (auto& section : sections) {
        messages.clear();
        auto light = Create();
        TavFileLoader loader(section);
        EXPECT_TRUE(light->LoadChannel(loader, nullptr));
        D3DLIGHT8 scratch;
        EXPECT_EQ(light->GetLight(&scratch)->Type, D3DLIGHT_POINT);
        EXPECT_EQ(scratch.Position, D3DXVECTOR3(0, 10, 0));
        EXPECT_EQ(messages.size(), 1u);
    }
}

} // namespace
