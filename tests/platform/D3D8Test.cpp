#include "platform/D3D8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

/// The current reference count, read without changing it.
unsigned long RefCount(IUnknownLike* object)
{
    const unsigned long n = object->AddRef();
    object->Release();
    return n - 1;
}

class SoftwareDevice : public ::testing::Test {
protected:
    ~SoftwareDevice() override { device->Release(); }

    IDirect3DTexture8* MakeTexture(UINT w, UINT h)
    {
        IDirect3DTexture8* t = nullptr;
        EXPECT_EQ(device->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), S_OK);
        return t;
    }

    IDirect3DDevice8* device = vex::CreateSoftwareDevice();
};

TEST_F(SoftwareDevice, TextureDescribesLevelZeroOnly)
{
    IDirect3DTexture8* t = MakeTexture(5, 3);
    ASSERT_NE(t, nullptr);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(t->GetLevelDesc(0, &desc), S_OK);
    EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(desc.Width, 5u);
    EXPECT_EQ(desc.Height, 3u);
    EXPECT_EQ(desc.Size, 5u * 3u * 4u);
    EXPECT_EQ(t->GetLevelDesc(1, &desc), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->GetLevelDesc(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->GetLevelCount(), 1u);
    t->Release();
}

TEST_F(SoftwareDevice, LockedTexelsAreReadBackAfterUnlock)
{
    IDirect3DTexture8* t = MakeTexture(4, 3);
    ASSERT_NE(t, nullptr);
    for (UINT y = 0; y < 3; ++y)
        for (UINT x = 0; x < 4; ++x)
            EXPECT_EQ(t->GetTexel(x, y), 0u) << "new textures start cleared";
    D3DLOCKED_RECT locked;
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), S_OK);
    EXPECT_TRUE(t->IsLocked());
    ASSERT_EQ(locked.Pitch, 16);
    auto* bytes = static_cast<uint8_t*>(locked.pBits);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const uint32_t texel = 0xFF000000u | static_cast<uint32_t>(y << 8 | x);
            std::memcpy(bytes + y * locked.Pitch + x * 4, &texel, 4);
        }
    ASSERT_EQ(t->UnlockRect(0), S_OK);
    EXPECT_FALSE(t->IsLocked());
    EXPECT_EQ(t->GetTexel(0, 0), 0xFF000000u);
    EXPECT_EQ(t->GetTexel(3, 2), 0xFF000203u);
    EXPECT_EQ(t->GetTexel(1, 2), 0xFF000201u);
    t->Release();
}

TEST_F(SoftwareDevice, LockRejectsSecondLockOtherLevelsSubRectsAndUnlockWithoutLock)
{
    IDirect3DTexture8* t = MakeTexture(2, 2);
    ASSERT_NE(t, nullptr);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    const RECT part{0, 0, 1, 1};
    EXPECT_EQ(t->LockRect(0, &locked, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->LockRect(0, nullptr, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_FALSE(t->IsLocked());
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), S_OK);
    EXPECT_EQ(t->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->UnlockRect(1), D3DERR_INVALIDCALL);
    EXPECT_EQ(t->UnlockRect(0), S_OK);
    EXPECT_EQ(t->UnlockRect(0), D3DERR_INVALIDCALL);
    t->Release();
}

struct BadTexture {
    UINT width, height;
    D3DFORMAT format;
};

class SoftwareDeviceRejects : public SoftwareDevice, public ::testing::WithParamInterface<BadTexture> {};

TEST_P(SoftwareDeviceRejects, TextureAndClearsOutput)
{
    const BadTexture& p = GetParam();
    auto* sentinel = reinterpret_cast<IDirect3DTexture8*>(uintptr_t{0x1234});
    IDirect3DTexture8* t = sentinel;
    EXPECT_EQ(device->CreateTexture(p.width, p.height, 1, 0, p.format, D3DPOOL_MANAGED, &t), D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, SoftwareDeviceRejects,
                         ::testing::Values(BadTexture{0, 4, D3DFMT_A8R8G8B8}, BadTexture{4, 0, D3DFMT_A8R8G8B8},
                                           BadTexture{16385, 1, D3DFMT_A8R8G8B8}, BadTexture{1, 16385, D3DFMT_X8R8G8B8},
                                           BadTexture{4, 4, D3DFMT_R8G8B8}, BadTexture{4, 4, D3DFMT_UNKNOWN}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(SoftwareDevice, CreateTextureAcceptsLargestSizeAndXrgb)
{
    IDirect3DTexture8* t = nullptr;
    ASSERT_EQ(device->CreateTexture(16384, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t), S_OK);
    D3DSURFACE_DESC desc;
    t->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    t->Release();
    EXPECT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(SoftwareDevice, StageBindingHoldsOneReferencePerStage)
{
    IDirect3DTexture8* a = MakeTexture(1, 1);
    IDirect3DTexture8* b = MakeTexture(1, 1);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(RefCount(a), 1u);
    ASSERT_EQ(device->SetTexture(0, a), S_OK);
    EXPECT_EQ(RefCount(a), 2u);
    ASSERT_EQ(device->SetTexture(3, a), S_OK);
    EXPECT_EQ(RefCount(a), 3u);
    // Binding the same texture again to the same stage keeps the count.
    ASSERT_EQ(device->SetTexture(0, a), S_OK);
    EXPECT_EQ(RefCount(a), 3u);
    // Replacing releases the old one.
    ASSERT_EQ(device->SetTexture(0, b), S_OK);
    EXPECT_EQ(RefCount(a), 2u);
    EXPECT_EQ(RefCount(b), 2u);

    IDirect3DBaseTexture8* bound = nullptr;
    ASSERT_EQ(device->GetTexture(0, &bound), S_OK);
    EXPECT_EQ(bound, b);
    EXPECT_EQ(RefCount(b), 3u) << "GetTexture hands out a reference";
    bound->Release();
    ASSERT_EQ(device->GetTexture(5, &bound), S_OK);
    EXPECT_EQ(bound, nullptr);

    ASSERT_EQ(device->SetTexture(3, nullptr), S_OK);
    EXPECT_EQ(RefCount(a), 1u);
    EXPECT_EQ(device->SetTexture(IDirect3DDevice8::kStageCount, a), D3DERR_INVALIDCALL);
    EXPECT_EQ(RefCount(a), 1u);
    EXPECT_EQ(device->GetTexture(IDirect3DDevice8::kStageCount, &bound), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetTexture(0, nullptr), D3DERR_INVALIDCALL);
    a->Release();
    b->Release();
}

TEST(SoftwareDeviceLifetime, ReleasingDeviceReleasesBoundTextures)
{
    IDirect3DDevice8* device = vex::CreateSoftwareDevice();
    IDirect3DTexture8* t = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), S_OK);
    device->SetTexture(0, t);
    device->SetTexture(1, t);
    EXPECT_EQ(RefCount(t), 3u);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(RefCount(t), 1u);
    EXPECT_EQ(t->Release(), 0u);
}

} // namespace
