// The texture-lighting channel loaded as a plug-in into a Vexcore host, with the stand-in sibling
// channels: a floor lit by a point light, half of it under an opaque board.

#include "host/Vexcore.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/light/Tvc_DX8_Light.h"
#include "siblings/mesh/Tvc_DX8_Mesh.h"
#include "siblings/object3d/Tvc_DX8_3DObject.h"
#include "siblings/octree/Tvc_DX8_OctTree.h"
#include "texlight/ShadowBuffer.h"
#include "texlight/Tvc_DX8_TextureShadow.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace {

template <class T>
T* Add(Vexcore& host, const char* type, const char* name)
{
    std::string error;
    Tav_Channel* channel = host.AddChannel(vex::Guid(type), name, &error);
    EXPECT_NE(channel, nullptr) << error;
    T* typed = dynamic_cast<T*>(channel);
    EXPECT_NE(typed, nullptr) << name;
    return typed;
}

void Link(Vexcore& host, Tav_Channel* parent, Tav_Channel* child, int position)
{
    std::string error;
    ASSERT_TRUE(host.Link(parent, child, position, &error)) << error;
}

/// A quad in the plane y = height over x in [x0, x1], z in [-1, 1], facing down.
vex::MeshData Board(float height, float x0, float x1)
{
    vex::MeshData data;
    data.positions = {{x0, height, -1}, {x1, height, -1}, {x1, height, 1}, {x0, height, 1}};
    data.normals.assign(4, D3DXVECTOR3(0, -1, 0));
    data.texCoordSets = {{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
    data.indices = {0, 2, 1, 0, 3, 2};
    return data;
}

/// Floor 2 x 2 at y = 0 (light-map u = 0 at x = -1), a board over x < 0 at y = 1, a light at (0, 4, 0).
struct HostScene {
    Vexcore host{{VEX_PLUGIN_DIR}};
    Tvc_DX8_TextureShadow* lightMap = nullptr;

    HostScene()
    {
        Add<Tav_Channel>(host, vex::guids::kDevice, "device");
        lightMap = Add<Tvc_DX8_TextureShadow>(host, vex::guids::kTextureLighting, "lightmap");
        auto* floor = Add<Tvc_DX8_3DObject>(host, vex::guids::kObject3D, "floor");
        auto* floorSurface = Add<Tav_Channel>(host, vex::guids::kSurface, "floor surface");
        auto* floorMesh = Add<Tvc_DX8_Mesh>(host, vex::guids::kMesh, "floor mesh");
        auto* board = Add<Tvc_DX8_3DObject>(host, vex::guids::kObject3D, "board");
        auto* boardSurface = Add<Tav_Channel>(host, vex::guids::kSurface, "board surface");
        auto* boardMesh = Add<Tvc_DX8_Mesh>(host, vex::guids::kMesh, "board mesh");
        auto* scene = Add<Tvc_DX8_OctTree>(host, vex::guids::kOctTree, "scene");
        auto* light = Add<Tvc_DX8_Light>(host, vex::guids::kLight, "light");

        EXPECT_TRUE(floorMesh->SetGrid(8, 8, 2, 2));
        EXPECT_TRUE(boardMesh->SetData(Board(1, -1.5f, 0)));
        D3DLIGHT8 lamp;
        lamp.Type = D3DLIGHT_POINT;
        lamp.Diffuse = {1, 1, 1, 1};
        lamp.Position = D3DXVECTOR3(0, 4, 0);
        lamp.Attenuation0 = 1;
        lamp.Range = 1000;
        EXPECT_TRUE(light->SetLight(lamp));

        Link(host, floorSurface, floorMesh, 0);
        Link(host, floor, floorSurface, Tvc_DX8_3DObject::kSurfaceLink);
        Link(host, floorSurface, lightMap, 2);
        Link(host, boardSurface, boardMesh, 0);
        Link(host, board, boardSurface, Tvc_DX8_3DObject::kSurfaceLink);
        Link(host, scene, board, Tvc_DX8_OctTree::kObjectsLink);
        Link(host, lightMap, floor, 0);
        Link(host, lightMap, scene, 1);
        Link(host, lightMap, light, 3);
    }
};

int Red(int texel) { return (texel >> 16) & 0xFF; }

} // namespace

TEST(TexLightHost, PluginReportsItsTypeRecord)
{
    Vexcore host({VEX_PLUGIN_DIR});
    std::string error;
    ASSERT_NE(host.LoadLibrary(vex::Guid(vex::guids::kTextureLighting), &error), nullptr) << error;
    const ChannelType* record = host.GetLibraryType(vex::Guid(vex::guids::kTextureLighting));
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->name, "DX8 TextureLighting");
    EXPECT_EQ(record->baseTypeGuid, vex::Guid(vex::guids::kTexture));
    EXPECT_EQ(record->number3, 0);
}

TEST(TexLightHost, FrameBakesTheShadowOfTheBoardIntoTheTexture)
{
    HostScene s;
    s.lightMap->SetTestTexture(); // a renderer binding the texture makes it first
    s.host.RunFrame();
    ShadowBuffer& map = *s.lightMap->GetShadowBuffer();
    ASSERT_EQ(map.GetWidth(), 32);
    // u < 0.5 lies under the board (x < 0): dark; u > 0.5 is lit, brightest under the light.
    for (int y = 2; y < 30; y += 4) {
        EXPECT_EQ(Red(map.GetTexel(4, y)), 0) << y;
        EXPECT_EQ(Red(map.GetTexel(12, y)), 0) << y;
        EXPECT_GT(Red(map.GetTexel(20, y)), 200) << y;
        EXPECT_GT(Red(map.GetTexel(17, 16)), Red(map.GetTexel(30, y))) << y;
    }
    // The frame wrote the map straight into the matching texture.
    IDirect3DTexture8* texture = s.lightMap->GetTexture();
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetTexel(20, 16), static_cast<uint32_t>(map.GetTexel(20, 16)));
}

TEST(TexLightHost, ProgressDisplayUsesTheProgressChannelAndTheBitmapPath)
{
    HostScene s;
    s.lightMap->SetTestTexture();
    s.lightMap->SetUseProgressBar(true);
    s.host.RunFrame();
    ShadowBuffer& map = *s.lightMap->GetShadowBuffer();
    EXPECT_GT(Red(map.GetTexel(20, 16)), 200);
    // Rebuilt from the bitmap: opaque texels carrying the map's colours.
    EXPECT_EQ(s.lightMap->GetTexture()->GetTexel(20, 16), 0xFF000000u | static_cast<uint32_t>(map.GetTexel(20, 16)));
}

TEST(TexLightHost, ProjectRoundTripKeepsSettingsAndTheBakedBitmap)
{
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "vex_texlight_project.vex";
    std::vector<uint8_t> bitmap;
    {
        HostScene s;
        s.lightMap->SetTestTexture();
        s.lightMap->SetAntiAliasMode(1);
        s.lightMap->SetSoftShadowRadius(0.25f);
        s.lightMap->SetUseOverbright(true);
        s.host.RunFrame();
        s.lightMap->SaveBMPInBuffer();
        bitmap.assign(s.lightMap->GetTextureBuffer(), s.lightMap->GetTextureBuffer() + s.lightMap->GetBufferSize());
        std::string error;
        ASSERT_TRUE(s.host.SaveProject(file.string(), &error)) << error;
    }
    Vexcore host({VEX_PLUGIN_DIR});
    std::string error;
    ASSERT_TRUE(host.LoadProject(file.string(), &error)) << error;
    auto* lightMap = dynamic_cast<Tvc_DX8_TextureShadow*>(host.FindChannel("lightmap"));
    ASSERT_NE(lightMap, nullptr);
    EXPECT_EQ(lightMap->GetAntiAliasMode(), 1);
    EXPECT_EQ(lightMap->GetSoftShadowRadius(), 0.25f);
    EXPECT_TRUE(lightMap->GetUseOverbright());
    EXPECT_EQ(std::vector<uint8_t>(lightMap->GetTextureBuffer(), lightMap->GetTextureBuffer() + lightMap->GetBufferSize()),
              bitmap);
    ASSERT_NE(lightMap->GetTexture(), nullptr);
    // The loaded graph bakes the same map again: overbright stores a quarter of the light.
    host.RunFrame();
    EXPECT_EQ(Red(lightMap->GetShadowBuffer()->GetTexel(4, 16)), 0);
    EXPECT_GT(Red(lightMap->GetShadowBuffer()->GetTexel(20, 16)), 50);
    EXPECT_LE(Red(lightMap->GetShadowBuffer()->GetTexel(20, 16)), 63);
    std::filesystem::remove(file);
}
