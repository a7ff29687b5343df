#include "TexLightFakes.h"

#include "host/Tav_List.h"
#include "platform/Win32.h"
#include "texlight/UVTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

using namespace texlight_test;

namespace {

/// Itanium ABI: a pointer to a virtual member function holds 1 + the byte offset of its slot.
template <class F> long SlotOf(F f)
{
    static_assert(sizeof(F) == 2 * sizeof(void*));
    std::uintptr_t raw[2];
    std::memcpy(raw, &f, sizeof raw);
    EXPECT_EQ(raw[0] % sizeof(void*), 1u) << "not a virtual function";
    return static_cast<long>((raw[0] - 1) / sizeof(void*));
}

/// Red, green, blue of a texture texel (0xAARRGGBB), or of a light-map texel (0x00RRGGBB).
int Red(uint32_t texel) { return (texel >> 16) & 0xFF; }
int Green(uint32_t texel) { return (texel >> 8) & 0xFF; }

} // namespace

TEST(TextureShadowChannel, VirtualSlotsFollowTheLibraryInterface)
{
    using C = Tvc_DX8_TextureShadow;
    // Destructor: slots 0 and 1; Tav_Channel: 2 to 12; the texture bases: 13 to 54; own: from 55.
    EXPECT_EQ(SlotOf(&C::CallChannel), 2);
    EXPECT_EQ(SlotOf(&C::SaveChannel), 6);
    EXPECT_EQ(SlotOf(&C::LoadChannel), 7);
    EXPECT_EQ(SlotOf(&C::DoDependencyInit), 12);
    const long inherited[] = {
        SlotOf(&C::InvalidateDeviceObjects),
        SlotOf(&C::InvalidateDirectGraphics),
        SlotOf(&C::Release),
        SlotOf(&C::SetTexture),
        SlotOf(&C::LoadTextureFromFile),
        SlotOf(&C::LoadTextureFromMemory),
        SlotOf(&C::LoadTextureFromMemoryAndCopyBuffer),
        SlotOf(&C::SetMipMapLevels),
        SlotOf(&C::GetMipMapLevels),
        SlotOf(&C::GetTextureDescription),
        SlotOf(&C::LockTexture),
        SlotOf(&C::UnlockTexture),
        SlotOf(&C::GetIfValidTexture),
        SlotOf(&C::SetDesiredHeight),
        SlotOf(&C::SetDesiredWidth),
        SlotOf(&C::GetDesiredHeight),
        SlotOf(&C::GetDesiredWidth),
        SlotOf(&C::RestoreTexture),
        SlotOf(&C::CreateTumbNailTexture),
        SlotOf(&C::AddAlphaTexture),
        SlotOf(&C::CopyOurselvesIntoTexture),
        SlotOf(&C::CheckAplhaRefresh),
        SlotOf(&C::GetIfPublicTexture),
        SlotOf(&C::SetIfPublicTexture),
        SlotOf(&C::SetForceARGB),
        SlotOf(&C::GetTexture),
        SlotOf(&C::SetIsNormalMap),
        SlotOf(&C::GetIsNormalMap),
        SlotOf(&C::SetNormalMapType),
        SlotOf(&C::GetNormalMapType),
        SlotOf(&C::CreateNormalMap),
        SlotOf(&C::GetTextureBuffer),
        SlotOf(&C::GetBufferSize),
        SlotOf(&C::SetUseTextureCompression),
        SlotOf(&C::GetUseTextureCompression),
        SlotOf(&C::LoadALphaFromFile),
        SlotOf(&C::AddAlphaFromInternalBuffer),
        SlotOf(&C::GetIfUseBufferAlpha),
        SlotOf(&C::ClearUseBufferAlpha),
        SlotOf(&C::SetUseAlphaOnMipmap),
        SlotOf(&C::GetUseAlphaOnMipmap),
        SlotOf(&C::CheckBufferUpdate),
    };
    for (size_t i = 0; i < std::size(inherited); ++i)
        EXPECT_EQ(inherited[i], 13 + static_cast<long>(i)) << "texture base method " << i;
    EXPECT_EQ(SlotOf(&C::OneTimeInitialize), 3);
    EXPECT_EQ(SlotOf(&C::DoEvent), 4);
    EXPECT_EQ(SlotOf(&C::GetChannelType), 5);
    EXPECT_EQ(SlotOf(&C::SetChannelInterfaceType), 8);
    EXPECT_EQ(SlotOf(&C::GetChannelFromChannel), 9);
    EXPECT_EQ(SlotOf(&C::GetTimeStamp), 10);
    EXPECT_EQ(SlotOf(&C::SetTimeStamp), 11);
    const long own[] = {
        SlotOf(&C::GetUseOverbright),
        SlotOf(&C::SetUseOverbright),
        SlotOf(&C::GetUseColorTransparency),
        SlotOf(&C::SetUseColorTransparency),
        SlotOf(&C::GetUseShadowCulling),
        SlotOf(&C::SetUseShadowCulling),
        SlotOf(&C::GetUseShadow),
        SlotOf(&C::SetUseShadow),
        SlotOf(&C::GetTextureCoordSetUse),
        SlotOf(&C::SetTextureCoordSetUse),
        SlotOf(&C::GetShadowSurfaceNr),
        SlotOf(&C::SetShadowSurfaceNr),
        SlotOf(&C::GetAntiAliasMode),
        SlotOf(&C::SetAntiAliasMode),
        SlotOf(&C::GetUseLighting),
        SlotOf(&C::SetUseLighting),
        SlotOf(&C::GetUseProgressBar),
        SlotOf(&C::SetUseProgressBar),
        SlotOf(&C::GetSoftShadowRadius),
        SlotOf(&C::SetSoftShadowRadius),
        SlotOf(&C::SaveBMPInBuffer),
        SlotOf(&C::GetSoftUseShadows),
        SlotOf(&C::SetSoftUseShadows),
        SlotOf(&C::SaveTextureToFile),
        SlotOf(&C::SetTestTexture),
        SlotOf(&C::CalculateShadowBuffer),
    };
    for (size_t i = 0; i < std::size(own); ++i)
        EXPECT_EQ(own[i], 55 + static_cast<long>(i)) << "own method " << i;
}

TEST(TextureShadowChannel, LightMapObjectAndTreeNodeSlotsFollowTheirInterfaces)
{
    using B = ShadowBuffer;
    const long slots[] = {
        SlotOf(&B::SetOwner),
        SlotOf(&B::Calculate),
        SlotOf(&B::Reset),
        SlotOf(&B::GetSample),
        SlotOf(&B::InterpolateNormal),
        SlotOf(&B::GetPlaneRatio),
        SlotOf(&B::GetTexel),
        SlotOf(&B::GetWidth),
        SlotOf(&B::GetHeight),
        SlotOf(&B::IntersectTriangle),
        SlotOf(&B::ShadeSample),
        SlotOf(&B::InterpolateLine),
        SlotOf(&B::GetShadowColor),
        SlotOf(&B::PrepareShadowScene),
        SlotOf(&B::TraceShadowRay),
        SlotOf(&B::CreateSoftShadowOffsets),
        SlotOf(&B::BuildUVTree),
        SlotOf(&B::DeleteUVTree),
    };
    for (size_t i = 0; i < std::size(slots); ++i)
        EXPECT_EQ(slots[i], 2 + static_cast<long>(i)) << "light-map operation " << i;
    EXPECT_EQ(SlotOf(&UVTreeNode::Find), 2);
    EXPECT_EQ(SlotOf(&UVTreeNode::GetItemCount), 3);
    EXPECT_EQ(SlotOf(&UVTreeNode::GetItem), 4);
    EXPECT_EQ(SlotOf(&UVTreeNode::Contains), 5);
}

TEST(TextureShadowChannel, NewChannelHasItsDefaultsLinksAndAPlaceholderBitmap)
{
    Scene scene;
    Tvc_DX8_TextureShadow& c = *scene.channel;
    EXPECT_STREQ(c.GetChannelName(), "DX8 TextureLighting");
    EXPECT_FALSE(c.GetUseOverbright());
    EXPECT_EQ(c.GetTextureCoordSetUse(), 0);
    EXPECT_EQ(c.GetShadowSurfaceNr(), 0);
    EXPECT_TRUE(c.GetUseColorTransparency());
    EXPECT_EQ(c.GetAntiAliasMode(), 0);
    EXPECT_TRUE(c.GetUseShadow());
    EXPECT_FALSE(c.GetUseShadowCulling());
    EXPECT_FALSE(c.GetUseProgressBar());
    EXPECT_EQ(c.GetSoftShadowRadius(), 0.1f);
    EXPECT_FALSE(c.GetSoftUseShadows());
    EXPECT_TRUE(c.GetUseLighting());
    EXPECT_EQ(c.GetDesiredWidth(), 32);
    EXPECT_EQ(c.GetDesiredHeight(), 32);

    ASSERT_EQ(c.GetChildCreateTypeCount(), 4);
    const char* names[] = {"Object Source", "Shadow Scene", "Shadow/Lights Scene", "Lights"};
    const char* types[] = {"DX8 3D Object", "DX8 OctTree", "DX8 3D Render", "DX8 Light"};
    const int numbers[] = {0, 1, -1, -1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_STREQ(c.GetChildCreateType(i)->linkName, names[i]);
        EXPECT_STREQ(c.GetChildCreateType(i)->childType.name, types[i]);
        EXPECT_EQ(c.GetChildCreateType(i)->linkNumber, numbers[i]);
    }

    // The bitmap buffer holds the 32 x 32 placeholder; the texture is not made yet.
    ASSERT_EQ(c.GetBufferSize(), 3126);
    const unsigned char* bmp = c.GetTextureBuffer();
    EXPECT_EQ(bmp[0], 'B');
    // Top-left texel (0, 0) is border light green; it is the first pixel of the last stored row.
    const size_t topLeft = 54 + 31 * 96;
    EXPECT_EQ(bmp[topLeft], 90);
    EXPECT_EQ(bmp[topLeft + 1], 255);
    EXPECT_EQ(bmp[topLeft + 2], 50);
    // Texel (8, 1) is grid green.
    const size_t grid = 54 + 30 * 96 + 8 * 3;
    EXPECT_EQ(bmp[grid + 1], 125);
    EXPECT_EQ(c.GetTexture(), nullptr);
    for (int x = 0; x < 32; ++x)
        EXPECT_EQ(scene.Buffer().GetCoverage(x, 5), 1);
}

TEST(TextureShadowChannel, DeclaresProgressAndInputDependenciesAndTakesAnyRadius)
{
    Scene scene;
    Tav_List list;
    scene.channel->DoDependencyInit(&list);
    ASSERT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(*static_cast<_GUID*>(list.GetItem(0)), vex::Guid(vex::guids::kProgress));
    EXPECT_EQ(*static_cast<_GUID*>(list.GetItem(1)), vex::Guid(vex::guids::kInput));
    for (int i = 0; i < list.GetItemCount(); ++i)
        delete static_cast<_GUID*>(list.GetItem(i));
    scene.channel->SetSoftShadowRadius(-3.5f);
    EXPECT_EQ(scene.channel->GetSoftShadowRadius(), -3.5f);
    scene.channel->SetAntiAliasMode(9);
    EXPECT_EQ(scene.channel->GetAntiAliasMode(), 9);
}

TEST(TextureShadowChannel, PlaceholderSizeFollowsTheDesiredSizeWithThirtyTwoForNonPositive)
{
    Scene scene;
    struct Case {
        int w, h, expectW, expectH;
    };
    for (const Case& c : {Case{16, 16, 16, 16}, Case{0, 8, 32, 8}, Case{-4, -1, 32, 32}, Case{5, 3, 5, 3}}) {
        scene.channel->SetDesiredWidth(c.w);
        scene.channel->SetDesiredHeight(c.h);
        EXPECT_TRUE(scene.Buffer().Calculate(true));
        EXPECT_EQ(scene.Buffer().GetWidth(), c.expectW);
        EXPECT_EQ(scene.Buffer().GetHeight(), c.expectH);
    }
}

TEST(TextureShadowChannel, TooLargeLightMapIsReportedAndLeavesNoStorage)
{
    Scene scene;
    scene.channel->SetDesiredWidth(100000);
    scene.channel->SetDesiredHeight(4);
    EXPECT_TRUE(scene.Buffer().Calculate(true));
    EXPECT_FALSE(scene.Buffer().IsReady());
    EXPECT_EQ(scene.Buffer().GetWidth(), 0);
    EXPECT_TRUE(scene.host.HasMessage("too large"));
    // The bitmap of an empty light map is the two headers alone.
    scene.channel->SaveBMPInBuffer();
    EXPECT_EQ(scene.channel->GetBufferSize(), 54);
    EXPECT_EQ(scene.Buffer().GetTexel(0, 0), 0);
}

TEST(TextureShadowChannel, ComputationChecksReportTheirMessages)
{
    {
        ShadowBuffer orphan(nullptr);
        EXPECT_FALSE(orphan.Calculate(false));
    }
    Scene scene;
    ShadowBuffer& buffer = scene.Buffer();
    // No texture yet: the description is zero.
    EXPECT_FALSE(buffer.Calculate(false));
    EXPECT_TRUE(scene.host.HasMessage("desc.Width<=0||desc.Height<=0"));

    scene.MakeTexture(8);
    scene.channel->SetShadowSurfaceNr(3);
    EXPECT_FALSE(buffer.Calculate(false));
    EXPECT_TRUE(scene.host.HasMessage("surface==NULL :  3")) << scene.host.messages.back();

    // No object source: false without a message.
    scene.channel->SetShadowSurfaceNr(0);
    const size_t before = scene.host.messages.size();
    scene.channel->RemoveChild(scene.object.get());
    EXPECT_FALSE(buffer.Calculate(false));
    EXPECT_EQ(scene.host.messages.size(), before);
}

TEST(TextureShadowChannel, SurfaceWithoutMeshFailsSilently)
{
    Scene scene;
    scene.MakeTexture(8);
    scene.surface->RemoveChild(scene.mesh.get());
    const size_t before = scene.host.messages.size();
    EXPECT_FALSE(scene.Buffer().Calculate(false));
    EXPECT_EQ(scene.host.messages.size(), before);
}

TEST(TextureShadowChannel, ProgressDisplayShowsTextPerColumnAndReachesOne)
{
    Scene scene;
    scene.MakeTexture(4);
    scene.object->surfaceCount = 5;
    scene.channel->SetShadowSurfaceNr(0);
    scene.channel->SetUseProgressBar(true);
    scene.host.makeProgress = true;
    vex::SetManualTickCount(1000);
    int columns = 0;
    scene.host.onProgress = [&](FakeProgress&) { ++columns; };
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    // One ray per texel (one light, one sample), four texels a column: each ray takes 312 ms of simulated
    // time, so a column takes 1.248 s.
    scene.octree->answer = [](const D3DXVECTOR3&, const D3DXVECTOR3&, float*) { vex::AdvanceManualTickCount(312); };
    EXPECT_TRUE(scene.Buffer().Calculate(false));
    vex::UseSystemTickCount();
    EXPECT_EQ(columns, 4);
    EXPECT_EQ(scene.host.progressCreated, 1);
    EXPECT_EQ(scene.host.progressRecord.deleted, 1);
    const auto& texts = scene.host.progressRecord.texts;
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[0], "Surf: 0/5  Rendertime: ");
    EXPECT_EQ(texts[1], "Surf: 0/5  Rendertime: 1.248 seconds");
    EXPECT_EQ(texts[4], "Surf: 0/5  Rendertime: 4.992 seconds");
    const auto& fractions = scene.host.progressRecord.fractions;
    ASSERT_EQ(fractions.size(), 4u);
    EXPECT_EQ(fractions[0], 0.25f);
    EXPECT_EQ(fractions[3], 1.0f);
    EXPECT_TRUE(scene.octree->lastShowProgress);
}

TEST(TextureShadowChannel, StopRequestAfterTheFirstColumnKeepsLaterColumnsUnchanged)
{
    Scene scene;
    scene.MakeTexture(4);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    scene.channel->SetUseShadow(false);
    FakeInput& input = scene.AddInput();
    input.stopAfterQueries = 0; // the first query already sees the stop bit
    scene.channel->SetUseProgressBar(true);
    scene.host.makeProgress = true;
    EXPECT_FALSE(scene.Buffer().Calculate(false));
    EXPECT_EQ(input.queries, 1);
    EXPECT_EQ(scene.host.progressRecord.deleted, 1);
    // Column 0 is lit and covered; columns 1 onward keep the placeholder (border green, uncovered).
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(scene.Buffer().GetCoverage(0, y), 0);
        EXPECT_GT(Red(scene.Buffer().GetTexel(0, y)), 100);
        EXPECT_EQ(scene.Buffer().GetCoverage(1, y), 1);
        EXPECT_EQ(scene.Buffer().GetTexel(3, y), 0x32FF5A);
    }
}

TEST(TextureShadowChannel, ProgressDisplayWithoutProgressOrInputChannelsStillComputes)
{
    Scene scene;
    scene.MakeTexture(4);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    scene.channel->SetUseProgressBar(true);
    scene.host.makeProgress = false; // the host cannot make one
    EXPECT_TRUE(scene.Buffer().Calculate(false));
    EXPECT_EQ(scene.Buffer().GetCoverage(2, 2), 0);
    // An input channel without a state block never stops the computation.
    FakeInput& input = scene.AddInput();
    input.nullState = true;
    EXPECT_TRUE(scene.Buffer().Calculate(false));
    EXPECT_EQ(input.queries, 4);
}

TEST(TextureShadowChannel, StageOfTheTextureSelectsTheTextureCoordinateSet)
{
    Scene scene;
    scene.MakeTexture(4);
    // Give the mesh a second set (mirrored) so both sets are usable.
    scene.mesh->uvs.push_back(scene.mesh->uvs[0]);
    scene.surface->stageSets = {0, 1, 0};
    // Another texture ahead of the channel at link 2: the channel's stage is 1.
    const ChannelType textureType = Record("DX8 Texture", vex::guids::kTexture, vex::guids::kTexture);
    std::unique_ptr<Tav_Channel> other;
    {
        vex::ScopedConstructionHost scope(&scene.host, &textureType);
        other = std::make_unique<Tav_Channel>();
    }
    scene.surface->RemoveChild(scene.channel.get());
    scene.surface->SetChild(other.get(), 2, -1);
    scene.surface->SetChild(scene.channel.get(), 2, -1);
    EXPECT_TRUE(scene.Buffer().Calculate(false));
    EXPECT_EQ(scene.channel->GetTextureCoordSetUse(), 1);
    // It keeps that value.
    EXPECT_TRUE(scene.Buffer().Calculate(false));
    EXPECT_EQ(scene.channel->GetTextureCoordSetUse(), 1);

    // With a leading channel of two textures the stage is 2 + 1 = 3 (set 0 when the surface has none).
    scene.surface->stageSets = {1, 1, 1, 1};
    scene.surface->leadingIndex = 0;
    EXPECT_TRUE(scene.Buffer().Calculate(false)); // no leading channel: no stage, set unchanged
    EXPECT_EQ(scene.channel->GetTextureCoordSetUse(), 1);
    scene.channel->SetTextureCoordSetUse(0);
    FakeSurface leading;
    std::unique_ptr<Tav_Channel> t1, t2;
    {
        vex::ScopedConstructionHost scope(&scene.host, &textureType);
        t1 = std::make_unique<Tav_Channel>();
        t2 = std::make_unique<Tav_Channel>();
    }
    leading.SetChild(t1.get(), 2, -1);
    leading.SetChild(t2.get(), 2, -1);
    scene.surface->leading = &leading;
    scene.surface->stageSets = {0, 0, 0, 1};
    EXPECT_TRUE(scene.Buffer().Calculate(false));
    EXPECT_EQ(scene.channel->GetTextureCoordSetUse(), 1);
    scene.surface->RemoveChild(other.get());
}

TEST(TextureShadowChannel, AntiAliasModeIsClampedForTheComputationOnly)
{
    Scene scene;
    scene.MakeTexture(2);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    struct Case {
        int mode, grid, raysPerTexel;
        size_t offsets;
    };
    for (const Case& c : {Case{-2, 0, 1, 0}, Case{0, 0, 1, 0}, Case{1, 1, 4, 0}, Case{2, 2, 16, 17}, Case{3, 3, 64, 65},
                          Case{7, 3, 64, 65}}) {
        scene.channel->SetAntiAliasMode(c.mode);
        scene.octree->rays = 0;
        EXPECT_TRUE(scene.Buffer().Calculate(false));
        EXPECT_EQ(scene.Buffer().GetSampleGridMode(), c.grid) << c.mode;
        EXPECT_EQ(scene.octree->rays, 4 * c.raysPerTexel) << c.mode;
        if (c.offsets) {
            EXPECT_EQ(scene.Buffer().GetSoftShadowOffsets().size(), c.offsets);
        }
        EXPECT_EQ(scene.channel->GetAntiAliasMode(), c.mode);
    }
}

TEST(TextureShadowChannel, ShadowQueriesCarryTheReceivingMeshAndTheCullingFlag)
{
    Scene scene;
    scene.MakeTexture(2);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    scene.channel->SetUseShadowCulling(true);
    EXPECT_TRUE(scene.Buffer().Calculate(false));
    EXPECT_EQ(scene.octree->prepares, 1);
    EXPECT_FALSE(scene.octree->lastShowProgress);
    EXPECT_TRUE(scene.octree->culling);
    EXPECT_EQ(scene.octree->lastReceiver, scene.mesh.get());
    EXPECT_EQ(scene.Buffer().GetSurfaceMesh(), scene.mesh.get());

    // The per-sample operation resolves the scene itself and asks the same question.
    LightSample sample;
    sample.position = D3DXVECTOR3(0.5f, 0, 0.5f);
    sample.normal = D3DXVECTOR3(0, 1, 0);
    sample.missed = false;
    scene.octree->rays = 0;
    scene.Buffer().ShadeSample(&sample, 0);
    EXPECT_EQ(scene.octree->rays, 1);
    EXPECT_EQ(sample.colour[0], 255.0f);
    EXPECT_EQ(scene.octree->lastDirection, D3DXVECTOR3(0, 1, 0));

    // Without a shadow scene the light arrives unshadowed, even where the scene would block it.
    const int unblocked = scene.Buffer().GetTexel(0, 0);
    scene.octree->answer = [](const D3DXVECTOR3&, const D3DXVECTOR3&, float colour[4]) { colour[3] = 1; };
    EXPECT_TRUE(scene.Buffer().Calculate(false));
    EXPECT_EQ(scene.Buffer().GetTexel(0, 0), 0);
    scene.channel->RemoveChild(scene.octree.get());
    EXPECT_TRUE(scene.Buffer().Calculate(false));
    EXPECT_EQ(scene.Buffer().GetTexel(0, 0), unblocked);
    EXPECT_GT(Red(static_cast<uint32_t>(unblocked)), 0);
}

// A unit square facing up under one point light at height h over its centre: one sample per texel at the
// texel centre, so each texel is trunc(255 h / d) with d the distance from that point to the light.
TEST(TextureShadowChannel, UnitSquareUnderAPointLightMatchesTheAnalyticValue)
{
    for (float h : {0.5f, 1.0f, 4.0f}) {
        Scene scene;
        scene.MakeTexture(64);
        scene.AddLight(PointLight({0.5f, h, 0.5f}, 1, 0, 0));
        ASSERT_TRUE(scene.Buffer().Calculate(false));
        int exact = 0;
        for (int x = 0; x < 64; ++x)
            for (int y = 0; y < 64; ++y) {
                const double u = (x + 0.5) / 64, v = (y + 0.5) / 64;
                const double d = std::sqrt((u - 0.5) * (u - 0.5) + h * h + (v - 0.5) * (v - 0.5));
                const double value = 255.0 * h / d;
                const int got = Red(static_cast<uint32_t>(scene.Buffer().GetTexel(x, y)));
                // Single precision may land on the other side of an integer only when the exact value is
                // within rounding distance of it.
                if (got == static_cast<int>(value))
                    ++exact;
                else
                    EXPECT_LT(std::fabs(value - std::round(value)), 1e-3) << h << " " << x << "," << y;
                EXPECT_EQ(scene.Buffer().GetCoverage(x, y), 0);
            }
        EXPECT_GT(exact, 64 * 64 - 8) << h;
    }
}

// An occluder edge: rays that cross the plane y = 0.5 at x < 0.5 are blocked. With soft shadows the light
// moves per sample, so texels near the edge of the shadow see part of the light.
TEST(TextureShadowChannel, SoftShadowsMakeAPenumbraAndRadiusZeroGivesTheHardResult)
{
    auto bake = [](bool soft, float radius) {
        Scene scene;
        scene.MakeTexture(32);
        scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
        scene.channel->SetAntiAliasMode(2);
        scene.channel->SetSoftUseShadows(soft);
        scene.channel->SetSoftShadowRadius(radius);
        scene.octree->answer = [](const D3DXVECTOR3& o, const D3DXVECTOR3& t, float colour[4]) {
            const float s = (0.5f - o.y) / (t.y - o.y);
            if (s > 0 && s < 1 && o.x + s * (t.x - o.x) < 0.5f)
                colour[3] = 1;
        };
        EXPECT_TRUE(scene.Buffer().Calculate(false));
        std::vector<int> row;
        for (int x = 0; x < 32; ++x)
            row.push_back(Red(static_cast<uint32_t>(scene.Buffer().GetTexel(x, 16))));
        return row;
    };
    const auto hard = bake(false, 0.3f);
    const auto zero = bake(true, 0.0f);
    const auto soft = bake(true, 0.3f);
    EXPECT_EQ(zero, hard);
    // Hard shadow: the texels left of the centre are black and those right of it lit, with at most the
    // texel under the edge in between.
    int hardPartial = 0, softPartial = 0;
    for (int x = 0; x < 32; ++x) {
        const double lit = 255.0 * 1 / std::sqrt(1 + std::pow((x + 0.5) / 32 - 0.5, 2));
        hardPartial += hard[x] > 0 && hard[x] < static_cast<int>(lit) - 2;
        softPartial += soft[x] > 0 && soft[x] < static_cast<int>(lit) - 2;
    }
    EXPECT_LE(hardPartial, 1);
    EXPECT_GE(softPartial, 6);
    EXPECT_EQ(hard[2], 0);
    EXPECT_GT(hard[20], 200);
}

// A shadow scene with the batched query answers every shadow query of the bake through it, and the map is
// the one the one-by-one queries give: soft-shadow offsets, a sun, a light type that casts nothing, culling.
TEST(TextureShadowChannel, BatchedShadowQueriesReplaceEveryOneByOneQueryWithTheSameMap)
{
    auto bake = [](bool batched, int* oneByOne, int* inBatches) {
        Scene scene(true, batched);
        scene.MakeTexture(8);
        D3DLIGHT8 lamp = PointLight({0.5f, 1, 0.5f}, 1, 0, 0);
        lamp.Diffuse = {0.5f, 0.5f, 0.5f, 1}; // two lights that together stay below full intensity
        scene.AddLight(lamp);
        D3DLIGHT8 sun = lamp;
        sun.Direction = D3DXVECTOR3(0.3f, -1, 0.2f);
        scene.AddLight(sun, 0);
        scene.AddLight(PointLight({0.2f, 2, 0.1f}, 1, 0, 0), 7); // no such type: no query either
        scene.channel->SetAntiAliasMode(2);
        scene.channel->SetSoftUseShadows(true);
        scene.channel->SetSoftShadowRadius(0.3f);
        scene.channel->SetUseShadowCulling(true);
        scene.octree->answer = [](const D3DXVECTOR3& o, const D3DXVECTOR3& t, float colour[4]) {
            const float s = (0.5f - o.y) / (t.y - o.y); // a tinted blocker over half of the square
            if (s > 0 && s < 1 && o.x + s * (t.x - o.x) < 0.5f) {
                colour[0] = 0.8f;
                colour[3] = 0.3f + 0.5f * o.z;
            }
        };
        EXPECT_TRUE(scene.Buffer().Calculate(false));
        EXPECT_TRUE(scene.octree->culling);
        EXPECT_EQ(scene.octree->lastReceiver, scene.mesh.get());
        *oneByOne = scene.octree->rays;
        *inBatches = batched ? static_cast<BatchFakeOctTree&>(*scene.octree).batchedRays : 0;
        std::vector<int> texels;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                texels.push_back(scene.Buffer().GetTexel(x, y));
        return texels;
    };
    int plainRays = 0, plainBatched = 0, leftOver = 0, batchedRays = 0;
    const std::vector<int> plain = bake(false, &plainRays, &plainBatched);
    const std::vector<int> batched = bake(true, &leftOver, &batchedRays);
    EXPECT_EQ(batched, plain);
    EXPECT_NE(std::set<int>(plain.begin(), plain.end()).size(), 1u) << "the blocker shows in the map";
    EXPECT_EQ(plainRays, 8 * 8 * 16 * 2); // every sample, two lights with a shadow query
    EXPECT_EQ(batchedRays, plainRays);
    EXPECT_EQ(leftOver, 0) << "a query the batch did not foresee went one by one";
}

TEST(TextureShadowChannel, TintedHalfOpaqueBlockerGivesRedAtFullAndGreenBlueAtHalf)
{
    Scene scene;
    scene.MakeTexture(8);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    std::vector<int> unshadowed;
    EXPECT_TRUE(scene.Buffer().Calculate(false));
    for (int x = 0; x < 8; ++x)
        unshadowed.push_back(scene.Buffer().GetTexel(x, 3));
    scene.octree->answer = [](const D3DXVECTOR3&, const D3DXVECTOR3&, float colour[4]) {
        colour[0] = 1, colour[1] = 0, colour[2] = 0, colour[3] = 0.5f;
    };
    EXPECT_TRUE(scene.Buffer().Calculate(false));
    for (int x = 0; x < 8; ++x) {
        const uint32_t texel = static_cast<uint32_t>(scene.Buffer().GetTexel(x, 3));
        const int full = Red(static_cast<uint32_t>(unshadowed[x]));
        EXPECT_EQ(Red(texel), full);
        EXPECT_NEAR(Green(texel), full / 2.0, 1.0);
        EXPECT_EQ(texel & 0xFF, static_cast<uint32_t>(Green(texel)));
    }
}

TEST(TextureShadowChannel, UncoveredTexelsAreFilledFromCoveredNeighbours)
{
    Scene scene;
    scene.MakeTexture(8);
    // Only the first triangle (v <= u) of the square remains.
    scene.mesh->indices.resize(3);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    ASSERT_TRUE(scene.Buffer().Calculate(false));
    // (3, 4): centre (0.4375, 0.5625) is outside; its neighbour (3, 3) is inside: filled, not black.
    EXPECT_EQ(scene.Buffer().GetCoverage(3, 4), 1);
    EXPECT_EQ(scene.Buffer().GetCoverage(3, 3), 0);
    EXPECT_GT(Red(static_cast<uint32_t>(scene.Buffer().GetTexel(3, 4))), 100);
    // (0, 7) has no covered neighbour: black.
    EXPECT_EQ(scene.Buffer().GetTexel(0, 7), 0);
}

TEST(TextureShadowChannel, MeshThatIsNoTriangleListGivesABlackMap)
{
    Scene scene;
    scene.MakeTexture(4);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    scene.mesh->primitiveType = 5;
    ASSERT_TRUE(scene.Buffer().Calculate(false));
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y)
            EXPECT_EQ(scene.Buffer().GetTexel(x, y), 0);
}

TEST(TextureShadowChannel, MeshIsReadOnceNotPerSample)
{
    Scene scene;
    scene.MakeTexture(16);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    scene.channel->SetAntiAliasMode(2);
    scene.mesh->texCoordReads = 0;
    ASSERT_TRUE(scene.Buffer().Calculate(false));
    EXPECT_EQ(scene.mesh->texCoordReads, 6); // two triangles, three corners
}

TEST(TextureShadowChannel, CopiesOwnTheirLightMapAndKeepSettingsAndTexels)
{
    Scene scene;
    scene.MakeTexture(4);
    scene.AddLight(PointLight({0.5f, 1, 0.5f}, 1, 0, 0));
    ASSERT_TRUE(scene.Buffer().Calculate(false));
    scene.channel->SetAntiAliasMode(2);
    scene.channel->SetSoftShadowRadius(0.7f);
    scene.channel->SetUseOverbright(true);
    auto copy = std::make_unique<Tvc_DX8_TextureShadow>(*scene.channel);
    EXPECT_NE(copy->GetShadowBuffer(), scene.channel->GetShadowBuffer());
    EXPECT_EQ(copy->GetAntiAliasMode(), 2);
    EXPECT_EQ(copy->GetSoftShadowRadius(), 0.7f);
    EXPECT_TRUE(copy->GetUseOverbright());
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(copy->GetShadowBuffer()->GetTexel(x, 1), scene.Buffer().GetTexel(x, 1));
    EXPECT_EQ(copy->GetBufferSize(), scene.channel->GetBufferSize());

    Scene other;
    *other.channel = *copy;
    EXPECT_EQ(other.channel->GetSoftShadowRadius(), 0.7f);
    EXPECT_EQ(other.channel->GetShadowBuffer()->GetTexel(2, 2), scene.Buffer().GetTexel(2, 2));
    copy.reset(); // the others keep working on their own light maps
    EXPECT_EQ(other.channel->GetShadowBuffer()->GetWidth(), 4);
    EXPECT_EQ(scene.Buffer().GetWidth(), 4);
}

TEST(TextureShadowChannel, PublicSampleOperationMatchesTheTexelLoop)
{
    Scene scene;
    scene.MakeTexture(8);
    D3DXMatrixTranslation(&scene.object->world, 0, 2, 0);
    ASSERT_TRUE(scene.Buffer().Calculate(false));
    // Texel (3, 5), one sample: the texel centre on the square, lifted by the world matrix.
    const LightSample s = scene.Buffer().GetSample(3, 5, scene.mesh.get(), 0);
    ASSERT_FALSE(s.missed);
    EXPECT_FLOAT_EQ(s.position.x, 3.5f / 8);
    EXPECT_FLOAT_EQ(s.position.y, 2.0f);
    EXPECT_FLOAT_EQ(s.position.z, 5.5f / 8);
    EXPECT_FLOAT_EQ(s.normal.y, 1.0f);
    // Another mesh than the one baked is searched on its own.
    FakeMesh small;
    const D3DXVECTOR3 up(0, 1, 0);
    small.AddTriangle(small.AddVertex({0, 0, 0}, up, {{0, 0}}), small.AddVertex({1, 0, 0}, up, {{0.25f, 0}}),
                      small.AddVertex({0, 0, 1}, up, {{0, 0.25f}}));
    EXPECT_FALSE(scene.Buffer().GetSample(0, 0, &small, 0).missed);
    EXPECT_TRUE(scene.Buffer().GetSample(3, 5, &small, 0).missed);
    EXPECT_TRUE(scene.Buffer().GetSample(3, 5, nullptr, 0).missed);
}
