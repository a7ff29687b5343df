#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/surface/Tvc_DX8_Surface.h"
#include "tests/siblings/texture/VirtualSlot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vex::test::VirtualSlot;

class SurfaceChannelTest : public ::testing::Test {
protected:
    Tav_Channel* Add(const char* guid, const std::string& name)
    {
        std::string error;
        Tav_Channel* channel = host.AddChannel(vex::Guid(guid), name, &error);
        EXPECT_NE(channel, nullptr) << error;
        return channel;
    }

    Tvc_DX8_Surface* AddSurface(const std::string& name = "surface")
    {
        return dynamic_cast<Tvc_DX8_Surface*>(Add(vex::guids::kSurface, name));
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
};

TEST(SurfaceSlots, StageSetThenLeadingChannelThenLeadingIndex)
{
    using S = Tav_SurfaceInterface;
    EXPECT_EQ(VirtualSlot(&S::GetStageTexCoordSet), vex::test::kFirstDerivedSlot);
    EXPECT_EQ(VirtualSlot(&S::GetLeadingTextureChannel), vex::test::kFirstDerivedSlot + 1);
    EXPECT_EQ(VirtualSlot(&S::GetLeadingTextureIndex), vex::test::kFirstDerivedSlot + 2);
}

TEST_F(SurfaceChannelTest, BaseTypeOfItsRecordIsTheSurfaceType)
{
    Tvc_DX8_Surface* surface = AddSurface();
    ASSERT_NE(surface, nullptr);
    const ChannelType type = surface->GetChannelType();
    EXPECT_STREQ(type.name, "DX8 Surface");
    EXPECT_EQ(type.typeGuid, vex::Guid(vex::guids::kSurface));
    EXPECT_EQ(type.baseTypeGuid, vex::Guid(vex::guids::kSurface));
}

TEST_F(SurfaceChannelTest, MeshIsChildZeroAndTexturesGoToLinkTwo)
{
    Tvc_DX8_Surface* surface = AddSurface();
    Tav_Channel* mesh = Add(vex::guids::kMesh, "mesh");
    Tav_Channel* first = Add(vex::guids::kTexture, "first");
    Tav_Channel* second = Add(vex::guids::kTexture, "second");
    std::string error;
    // Linked by type, in an order that puts a texture first.
    ASSERT_TRUE(host.Link(surface, first, -1, &error)) << error;
    ASSERT_TRUE(host.Link(surface, mesh, -1, &error)) << error;
    ASSERT_TRUE(host.Link(surface, second, -1, &error)) << error;
    EXPECT_EQ(surface->GetChild(0), mesh);
    EXPECT_EQ(surface->GetChildLinkPositionCount(Tvc_DX8_Surface::kReservedLink), 0);
    ASSERT_EQ(surface->GetChildLinkPositionCount(Tav_SurfaceInterface::kTextureLink), 2);
    EXPECT_EQ(surface->GetChildFromLinkPosition(Tav_SurfaceInterface::kTextureLink, 0), first);
    EXPECT_EQ(surface->GetChildFromLinkPosition(Tav_SurfaceInterface::kTextureLink, 1), second);
    EXPECT_FALSE(host.Link(surface, Add(vex::guids::kTexture, "third"), Tvc_DX8_Surface::kReservedLink, &error));
}

TEST_F(SurfaceChannelTest, StagesUseTheirOwnSetUntilChosenOtherwise)
{
    Tvc_DX8_Surface* surface = AddSurface();
    for (int stage = 0; stage < 12; ++stage)
        EXPECT_EQ(surface->GetStageTexCoordSet(stage), stage);
    EXPECT_EQ(surface->GetStageTexCoordSet(-1), 0);
    EXPECT_TRUE(surface->SetStageTexCoordSet(0, 1));
    EXPECT_TRUE(surface->SetStageTexCoordSet(7, 0));
    EXPECT_FALSE(surface->SetStageTexCoordSet(8, 1));
    EXPECT_FALSE(surface->SetStageTexCoordSet(-1, 1));
    EXPECT_FALSE(surface->SetStageTexCoordSet(2, -1));
    EXPECT_EQ(surface->GetStageTexCoordSet(0), 1);
    EXPECT_EQ(surface->GetStageTexCoordSet(7), 0);
    EXPECT_EQ(surface->GetStageTexCoordSet(2), 2);
}

TEST_F(SurfaceChannelTest, LeadingTextureDefaultsToNoneAndIsSettable)
{
    Tvc_DX8_Surface* surface = AddSurface();
    EXPECT_EQ(surface->GetLeadingTextureChannel(), nullptr);
    EXPECT_EQ(surface->GetLeadingTextureIndex(), -1);
    Tvc_DX8_Surface* leading = AddSurface("leading");
    surface->SetLeadingTexture(leading, 0);
    EXPECT_EQ(surface->GetLeadingTextureChannel(), leading);
    EXPECT_EQ(surface->GetLeadingTextureIndex(), 0);
}

TEST_F(SurfaceChannelTest, StageSetsRoundTripAndBadChunksAreIgnored)
{
    Tvc_DX8_Surface* surface = AddSurface();
    surface->SetStageTexCoordSet(0, 3);
    surface->SetStageTexCoordSet(5, 1);
    TavFileSaver saver;
    ASSERT_TRUE(surface->SaveChannel(saver));
    Tvc_DX8_Surface* loaded = AddSurface("loaded");
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(loaded->LoadChannel(loader, nullptr));
    for (int stage = 0; stage < Tvc_DX8_Surface::kStageCount; ++stage)
        EXPECT_EQ(loaded->GetStageTexCoordSet(stage), surface->GetStageTexCoordSet(stage)) << "stage " << stage;

    for (const std::vector<int32_t>& bad :
         {std::vector<int32_t>{1, 2, 3}, std::vector<int32_t>{9, 9, 9, 9, 9, 9, 9, -1}}) {
        vex::ByteWriter w;
        for (int32_t v : bad)
            w.I32(v);
        TavFileSaver badSaver;
        badSaver.SaveTag("SFTC");
        badSaver.SaveBlockSize(static_cast<int>(w.Size()));
        badSaver.SaveDataToFile(w.Data().data(), static_cast<int>(w.Size()));
        Tvc_DX8_Surface* fresh = AddSurface("fresh" + std::to_string(bad.size()));
        TavFileLoader badLoader(badSaver.TakeBytes());
        ASSERT_TRUE(fresh->LoadChannel(badLoader, nullptr));
        for (int stage = 0; stage < Tvc_DX8_Surface::kStageCount; ++stage)
            EXPECT_EQ(fresh->GetStageTexCoordSet(stage), stage);
    }
}

} // namespace
