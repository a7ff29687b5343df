#include "host/ByteIO.h"
#include "host/ProjectFile.h"
#include "host/TavFileSaver.h"
#include "host/Vexcore.h"
#include "host/siblings/Tav_SurfaceInterface.h"
#include "host/siblings/Tvc_MatrixChannel.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/object3d/Tvc_DX8_3DObject.h"
#include "tests/siblings/texture/VirtualSlot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <limits>
#include <string>
#include <unistd.h>
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

// Projects saved while the object kept its own shadow tint and opacity hold "OBST" and "OBSO" chunks in
// its section (here one well formed pair and one cut short). They still load with their links, and the
// object saves them no more: the shadow scene holds those settings now.
TEST_F(Object3DChannelTest, ProjectWithOldShadowChunksLoadsAndDropsThem)
{
    Tvc_DX8_3DObject* object = AddObject();
    auto* matrix = dynamic_cast<Tvc_MatrixChannel*>(Add(vex::guids::kMatrix, "pose"));
    ASSERT_NE(matrix, nullptr);
    std::string error;
    ASSERT_TRUE(host.Link(object, matrix, Tvc_DX8_3DObject::kMatrixLink, &error)) << error;
    D3DXMATRIX pose;
    D3DXMatrixTranslation(&pose, 1, 2, 3);
    matrix->SetMatrix(pose);

    const std::string path = ::testing::TempDir() + "object3d_old_chunks_" + std::to_string(getpid()) + ".vxp";
    ASSERT_TRUE(host.SaveProject(path, &error)) << error;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(vex::ReadFileBytes(path, bytes, &error)) << error;
    std::filesystem::remove(path);
    vex::ProjectData project;
    ASSERT_TRUE(vex::DecodeProject(bytes, project, &error)) << error;
    ASSERT_EQ(project.channels.size(), 2u);
    ASSERT_EQ(project.channels[0].name, "object");
    EXPECT_TRUE(project.channels[0].section.empty());

    TavFileSaver old;
    const auto chunk = [&old](const char* tag, std::initializer_list<float> values, int cutTo = -1) {
        vex::ByteWriter writer;
        for (float v : values)
            writer.F32(v);
        const int size = cutTo >= 0 ? cutTo : static_cast<int>(writer.Size());
        old.SaveTag(tag);
        old.SaveBlockSize(size);
        old.SaveDataToFile(writer.Data().data(), size);
    };
    chunk("OBST", {0.25f, 0.5f, 0.75f});
    chunk("OBSO", {0.4f});
    chunk("OBST", {0.1f, 0.2f, 0.3f}, 5);
    chunk("OBSO", {std::numeric_limits<float>::quiet_NaN()});
    project.channels[0].section = old.TakeBytes();

    Vexcore fresh({VEX_PLUGIN_DIR});
    ASSERT_TRUE(fresh.LoadProjectBytes(vex::EncodeProject(project), &error)) << error;
    auto* loaded = dynamic_cast<Tvc_DX8_3DObject*>(fresh.FindChannel("object"));
    ASSERT_NE(loaded, nullptr);
    D3DXMATRIX scratch;
    EXPECT_EQ(*loaded->GetWorldMatrix(&scratch), pose);

    TavFileSaver again;
    ASSERT_TRUE(loaded->SaveChannel(again));
    EXPECT_TRUE(again.TakeBytes().empty());
}

} // namespace
