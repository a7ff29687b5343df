#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_SurfaceInterface.h"
#include "host/siblings/Tvc_MatrixChannel.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/object3d/Tvc_DX8_3DObject.h"
#include "tests/siblings/texture/VirtualSlot.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

class Object3DChannelTest : public ::testing::Test {
protected:
    Tav_Channel* Add(const char* guid, const std::string& name)
    {
        std::string error;
        Tav_Channel* channel = host.AddChannel(vex::Guid(guid), name, &error);
        EXPECT_NE(channel, nullptr) << error;
        return channel;
    }

    Tvc_DX8_3DObject* AddObject(const std::string& name = "object")
    {
        return dynamic_cast<Tvc_DX8_3DObject*>(Add(vex::guids::kObject3D, name));
    }

    Vexcore host{{VEX_PLUGIN_DIR}};
};

TEST(Object3DSlots, WorldMatrixThenSurfaceCountFollowTavChannel)
{
    EXPECT_EQ(vex::test::VirtualSlot(&Tav_3DObjectInterface::GetWorldMatrix), vex::test::kFirstDerivedSlot);
    EXPECT_EQ(vex::test::VirtualSlot(&Tav_3DObjectInterface::GetSurfaceCount), vex::test::kFirstDerivedSlot + 1);
}

TEST_F(Object3DChannelTest, WithoutMatrixChildTheWorldMatrixIsIdentity)
{
    Tvc_DX8_3DObject* object = AddObject();
    ASSERT_NE(object, nullptr);
    EXPECT_STREQ(object->GetChannelType().name, "DX8 3D Object");
    D3DXMATRIX scratch(2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2), identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(*object->GetWorldMatrix(&scratch), identity);
}

TEST_F(Object3DChannelTest, WorldMatrixIsTheLinkedMatrixChannelsMatrix)
{
    Tvc_DX8_3DObject* object = AddObject();
    auto* matrix = dynamic_cast<Tvc_MatrixChannel*>(Add(vex::guids::kMatrix, "pose"));
    ASSERT_NE(matrix, nullptr);
    std::string error;
    ASSERT_TRUE(host.Link(object, matrix, -1, &error)) << error;
    EXPECT_EQ(object->GetChild(Tvc_DX8_3DObject::kMatrixLink), matrix);
    D3DXMATRIX pose;
    D3DXMatrixTranslation(&pose, 1, 2, 3);
    matrix->SetMatrix(pose);
    D3DXMATRIX scratch;
    EXPECT_EQ(*object->GetWorldMatrix(&scratch), pose);
}

TEST_F(Object3DChannelTest, SurfacesAreCountedAndFoundByTypeInLinkOrder)
{
    Tvc_DX8_3DObject* object = AddObject();
    std::vector<Tav_Channel*> surfaces;
    std::string error;
    for (int i = 0; i < 3; ++i) {
        surfaces.push_back(Add(vex::guids::kSurface, "surface" + std::to_string(i)));
        ASSERT_TRUE(host.Link(object, surfaces.back(), -1, &error)) << error;
    }
    ASSERT_TRUE(host.Link(object, Add(vex::guids::kMatrix, "pose"), -1, &error)) << error;
    EXPECT_EQ(object->GetSurfaceCount(), 3);
    EXPECT_EQ(object->GetChildLinkPositionCount(Tvc_DX8_3DObject::kSurfaceLink), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(object->GetChildFromLinkGuid(vex::Guid(vex::guids::kSurface), i), surfaces[static_cast<size_t>(i)]);
    EXPECT_EQ(object->GetChildFromLinkGuid(vex::Guid(vex::guids::kSurface), 3), nullptr);
}

TEST_F(Object3DChannelTest, ShadowTintAndOpacityDefaultToOpaqueBlackAndRoundTrip)
{
    Tvc_DX8_3DObject* object = AddObject();
    float tint[3] = {9, 9, 9};
    object->GetShadowTint(tint);
    EXPECT_EQ(tint[0], 0.0f);
    EXPECT_EQ(tint[1], 0.0f);
    EXPECT_EQ(tint[2], 0.0f);
    EXPECT_EQ(object->GetShadowOpacity(), 1.0f);

    object->SetShadowTint(0.25f, 0.5f, 0.75f);
    object->SetShadowOpacity(0.4f);
    TavFileSaver saver;
    ASSERT_TRUE(object->SaveChannel(saver));
    Tvc_DX8_3DObject* loaded = AddObject("loaded");
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(loaded->LoadChannel(loader, nullptr));
    loaded->GetShadowTint(tint);
    EXPECT_EQ(tint[0], 0.25f);
    EXPECT_EQ(tint[1], 0.5f);
    EXPECT_EQ(tint[2], 0.75f);
    EXPECT_EQ(loaded->GetShadowOpacity(), 0.4f);
}

TEST_F(Object3DChannelTest, MisSizedOrNonFiniteShadowChunksAreIgnored)
{
    Tvc_DX8_3DObject* object = AddObject();
    vex::ByteWriter nan;
    for (int i = 0; i < 3; ++i)
        nan.F32(i == 1 ? std::numeric_limits<float>::quiet_NaN() : 0.5f);
    vex::ByteWriter shortOpacity;
    shortOpacity.U16(0x3F00);
    TavFileSaver saver;
    saver.SaveTag("OBST");
    saver.SaveBlockSize(12);
    saver.SaveDataToFile(nan.Data().data(), 12);
    saver.SaveTag("OBSO");
    saver.SaveBlockSize(2);
    saver.SaveDataToFile(shortOpacity.Data().data(), 2);
    TavFileLoader loader(saver.TakeBytes());
    ASSERT_TRUE(object->LoadChannel(loader, nullptr));
    float tint[3];
    object->GetShadowTint(tint);
    EXPECT_EQ(tint[0], 0.0f);
    EXPECT_EQ(tint[1], 0.0f);
    EXPECT_EQ(object->GetShadowOpacity(), 1.0f);
}

} // namespace
