#pragma once
// A software stand-in for the parts of Direct3D 8 that the channel libraries use: a device that binds
// textures to stages, and textures whose level 0 is real memory that can be locked, written and read back.

#include "platform/D3DXMath.h"
#include "platform/Win32.h"

#include <atomic>
#include <cstdint>
#include <vector>

enum D3DFORMAT : uint32_t {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_R8G8B8 = 20,
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
};

enum D3DPRIMITIVETYPE : uint32_t {
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
};

enum D3DLIGHTTYPE : uint32_t {
    D3DLIGHT_POINT = 1,
    D3DLIGHT_SPOT = 2,
    D3DLIGHT_DIRECTIONAL = 3,
};

enum D3DPOOL : uint32_t { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2 };

struct D3DCOLORVALUE {
    float r = 0, g = 0, b = 0, a = 0;
};

/// A light description; Position and Direction are in world space.
struct D3DLIGHT8 {
    D3DLIGHTTYPE Type = D3DLIGHT_POINT;
    D3DCOLORVALUE Diffuse;
    D3DCOLORVALUE Specular;
    D3DCOLORVALUE Ambient;
    D3DXVECTOR3 Position;
    D3DXVECTOR3 Direction;
    float Range = 0;
    float Falloff = 0;
    float Attenuation0 = 0;
    float Attenuation1 = 0;
    float Attenuation2 = 0;
    float Theta = 0; ///< inner cone angle of a spot light, radians
    float Phi = 0;   ///< outer cone angle of a spot light, radians
};

struct D3DSURFACE_DESC {
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    uint32_t Type = 0;
    DWORD Usage = 0;
    D3DPOOL Pool = D3DPOOL_MANAGED;
    UINT Size = 0;
    uint32_t MultiSampleType = 0;
    UINT Width = 0;
    UINT Height = 0;
};

struct D3DLOCKED_RECT {
    int Pitch = 0;
    void* pBits = nullptr;
};

/// Reference-counted like COM objects: Release deletes at zero.
class IUnknownLike {
public:
    IUnknownLike() = default;
    IUnknownLike(const IUnknownLike&) = delete;
    IUnknownLike& operator=(const IUnknownLike&) = delete;
    unsigned long AddRef() { return ++refs_; }
    unsigned long Release();

protected:
    virtual ~IUnknownLike() = default;

private:
    std::atomic<unsigned long> refs_{1};
};

class IDirect3DBaseTexture8 : public IUnknownLike {};

/// A texture with one level of 32-bit texels (A8R8G8B8 or X8R8G8B8), rows `Pitch` bytes apart.
class IDirect3DTexture8 : public IDirect3DBaseTexture8 {
public:
    IDirect3DTexture8(UINT width, UINT height, D3DFORMAT format);

    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc);
    /// Only level 0, only the whole surface (rect null); a second lock before unlocking fails.
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
    HRESULT UnlockRect(UINT level);
    DWORD GetLevelCount() const { return 1; }

    /// Direct read access for tests and the software renderer: texel (x, y) as 0xAARRGGBB.
    uint32_t GetTexel(UINT x, UINT y) const { return texels_[static_cast<size_t>(y) * width_ + x]; }
    bool IsLocked() const { return locked_; }
    UINT Width() const { return width_; }
    UINT Height() const { return height_; }

private:
    UINT width_;
    UINT height_;
    D3DFORMAT format_;
    bool locked_ = false;
    std::vector<uint32_t> texels_;
};

/// A device that records which texture is bound to each stage and creates textures in memory.
class IDirect3DDevice8 : public IUnknownLike {
public:
    static constexpr int kStageCount = 8;

    IDirect3DDevice8() = default;

    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture);
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** texture);
    /// Formats other than A8R8G8B8 and X8R8G8B8, a zero size or more than 16384 texels a side fail.
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture8** texture);

protected:
    ~IDirect3DDevice8() override;

private:
    IDirect3DBaseTexture8* stages_[kStageCount] = {};
};

namespace vex {
/// Creates a new software device (reference count 1).
IDirect3DDevice8* CreateSoftwareDevice();
} // namespace vex
