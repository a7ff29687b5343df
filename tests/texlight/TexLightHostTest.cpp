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

#include "siblings/input/Tvc_Input.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

template <class T> T* Add(Vexcore& host, const char* type, const char* name)
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
    Tvc_DX8_OctTree* shadows = nullptr;
    Tvc_DX8_Light* lamp = nullptr;

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
        auto* scene = shadows = Add<Tvc_DX8_OctTree>(host, vex::guids::kOctTree, "scene");
        auto* light = lamp = Add<Tvc_DX8_Light>(host, vex::guids::kLight, "light");

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

/// Every texel's colour and coverage, column by column.
std::vector<int> Texels(ShadowBuffer& map)
{
    std::vector<int> texels;
    for (int x = 0; x < map.GetWidth(); ++x)
        for (int y = 0; y < map.GetHeight(); ++y)
            texels.push_back(map.GetTexel(x, y) | map.GetCoverage(x, y) << 24);
    return texels;
}

/// Threads of this process (Linux).
int ProcessThreads()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    return -1;
}

/// A bake set-up: samples per texel (anti-alias mode), soft shadows, culling, the board as a coloured
/// translucent caster, a second (directional) light, overbright.
struct BakeCase {
    const char* name;
    int antiAliasMode;
    bool soft;
    bool culling;
    bool colouredBoard;
    bool secondLight;
    bool overbright;
};

class ThreadCountIdentity : public ::testing::TestWithParam<BakeCase> {};

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
    EXPECT_EQ(
        std::vector<uint8_t>(lightMap->GetTextureBuffer(), lightMap->GetTextureBuffer() + lightMap->GetBufferSize()),
        bitmap);
    ASSERT_NE(lightMap->GetTexture(), nullptr);
    // The loaded graph bakes the same map again: overbright stores a quarter of the light.
    host.RunFrame();
    EXPECT_EQ(Red(lightMap->GetShadowBuffer()->GetTexel(4, 16)), 0);
    EXPECT_GT(Red(lightMap->GetShadowBuffer()->GetTexel(20, 16)), 50);
    EXPECT_LE(Red(lightMap->GetShadowBuffer()->GetTexel(20, 16)), 63);
    std::filesystem::remove(file);
}

// The light map is the same, bit for bit, whatever the number of threads that compute it: columns are
// independent and each is computed by the very same code.
TEST_P(ThreadCountIdentity, EveryThreadCountGivesTheSerialMap)
{
    const BakeCase& c = GetParam();
    HostScene s;
    // Uneven sizes, so threads end on different columns and the last ones finish first.
    s.lightMap->SetDesiredWidth(37);
    s.lightMap->SetDesiredHeight(23);
    s.lightMap->SetTestTexture();
    s.lightMap->SetAntiAliasMode(c.antiAliasMode);
    s.lightMap->SetSoftUseShadows(c.soft);
    s.lightMap->SetSoftShadowRadius(0.6f);
    s.lightMap->SetUseShadowCulling(c.culling);
    s.lightMap->SetUseOverbright(c.overbright);
    if (c.colouredBoard) {
        s.shadows->SetObjectShadowTint(0, 1.0f, 0.4f, 0.1f);
        s.shadows->SetObjectShadowOpacity(0, 0.7f);
    }
    std::unique_ptr<Tav_Channel> second;
    if (c.secondLight) {
        std::string error;
        second.reset(s.host.CreateChannelByGuid(vex::Guid(vex::guids::kLight), 0, 0));
        auto* sun = dynamic_cast<Tvc_DX8_Light*>(second.get());
        ASSERT_NE(sun, nullptr);
        D3DLIGHT8 light;
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = {0.3f, 0.5f, 1, 1};
        light.Direction = D3DXVECTOR3(0.4f, -1, 0.2f);
        ASSERT_TRUE(sun->SetLight(light));
        Link(s.host, s.lightMap, sun, 3);
    }
    ShadowBuffer& map = *s.lightMap->GetShadowBuffer();
    s.host.SetWorkerThreadCount(1);
    ASSERT_TRUE(map.Calculate(false));
    const std::vector<int> serial = Texels(map);
    ASSERT_EQ(serial.size(), 37u * 23u);
    for (int threads : {2, 3, 8}) {
        s.host.SetWorkerThreadCount(threads);
        map.Reset(); // so a thread count that skipped a column would show
        ASSERT_TRUE(map.Calculate(false)) << threads;
        EXPECT_EQ(Texels(map), serial) << threads << " threads";
    }
    s.lightMap->RemoveChild(second.get());
}

INSTANTIATE_TEST_SUITE_P(Bakes, ThreadCountIdentity,
                         ::testing::Values(BakeCase{"OneSample", 0, false, false, false, false, false},
                                           BakeCase{"FourSamplesCulled", 1, false, true, false, true, false},
                                           BakeCase{"SoftShadows16", 2, true, false, false, false, false},
                                           BakeCase{"SoftShadows64ColouredCaster", 3, true, false, true, true, true},
                                           BakeCase{"ColouredCasterOverbright", 1, false, true, true, false, true}),
                         [](const ::testing::TestParamInfo<BakeCase>& info) { return std::string(info.param.name); });

// A stop request during a parallel bake ends it promptly: every worker has ended when Calculate returns,
// and each column is either computed whole or left as it was.
TEST(TexLightHost, StopDuringAParallelBakeEndsEveryThreadAndLeavesWholeColumns)
{
    HostScene s;
    // The light map's dependencies brought an input channel into the graph: the one the bake watches.
    auto* input = dynamic_cast<Tvc_Input*>(s.host.GetChannelByGuid(vex::Guid(vex::guids::kInput), 0));
    ASSERT_NE(input, nullptr);
    s.lightMap->SetTestTexture();
    ShadowBuffer& map = *s.lightMap->GetShadowBuffer();
    s.host.SetWorkerThreadCount(4);
    ASSERT_TRUE(map.Calculate(false)); // builds the shadow scene (and any threads the ray tracer keeps)
    const int threadsBefore = ProcessThreads();

    // Far too much work to finish before the stop: 512 x 512 texels of 64 samples.
    s.lightMap->SetDesiredWidth(512);
    s.lightMap->SetDesiredHeight(512);
    s.lightMap->SetTestTexture();
    s.lightMap->SetAntiAliasMode(3);
    s.lightMap->SetUseProgressBar(true);
    std::atomic<bool> raised{false};
    std::chrono::steady_clock::time_point stoppedAt;
    std::thread user([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        stoppedAt = std::chrono::steady_clock::now();
        raised = true;
        input->SetStopRequested(true);
    });
    EXPECT_FALSE(map.Calculate(false));
    const auto returnedAt = std::chrono::steady_clock::now();
    user.join();
    ASSERT_TRUE(raised);
    // About a tenth of a second is the aim; the bound leaves room for a loaded machine.
    EXPECT_LT(std::chrono::duration<double>(returnedAt - stoppedAt).count(), 1.0);
    EXPECT_EQ(ProcessThreads(), threadsBefore);

    // The floor covers the whole map: a computed column is covered throughout, an untouched one nowhere.
    int computed = 0;
    for (int x = 0; x < map.GetWidth(); ++x) {
        int covered = 0;
        for (int y = 0; y < map.GetHeight(); ++y)
            covered += map.GetCoverage(x, y) == 0 ? 1 : 0;
        EXPECT_TRUE(covered == 0 || covered == map.GetHeight()) << "column " << x << ": " << covered;
        computed += covered == map.GetHeight() ? 1 : 0;
    }
    EXPECT_LT(computed, map.GetWidth());
    input->SetStopRequested(false);
}
