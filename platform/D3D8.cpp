#include "platform/D3D8.h"

#include <new>

unsigned long IUnknownLike::Release()
{
    const unsigned long left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

IDirect3DTexture8::IDirect3DTexture8(UINT width, UINT height, D3DFORMAT format)
    : width_(width), height_(height), format_(format), texels_(static_cast<size_t>(width) * height, 0u)
{
}

HRESULT IDirect3DTexture8::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    if (level != 0 || !desc)
        return D3DERR_INVALIDCALL;
    *desc = D3DSURFACE_DESC{};
    desc->Format = format_;
    desc->Width = width_;
    desc->Height = height_;
    desc->Size = width_ * height_ * 4;
    return S_OK;
}

HRESULT IDirect3DTexture8::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD)
{
    if (level != 0 || !locked || rect || locked_)
        return D3DERR_INVALIDCALL;
    locked_ = true;
    locked->Pitch = static_cast<int>(width_ * 4);
    locked->pBits = texels_.data();
    return S_OK;
}

HRESULT IDirect3DTexture8::UnlockRect(UINT level)
{
    if (level != 0 || !locked_)
        return D3DERR_INVALIDCALL;
    locked_ = false;
    return S_OK;
}

IDirect3DDevice8::~IDirect3DDevice8()
{
    for (auto*& t : stages_)
        if (t) {
            t->Release();
            t = nullptr;
        }
}

HRESULT IDirect3DDevice8::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture)
{
    if (stage >= kStageCount)
        return D3DERR_INVALIDCALL;
    if (texture)
        texture->AddRef();
    if (stages_[stage])
        stages_[stage]->Release();
    stages_[stage] = texture;
    return S_OK;
}

HRESULT IDirect3DDevice8::GetTexture(DWORD stage, IDirect3DBaseTexture8** texture)
{
    if (stage >= kStageCount || !texture)
        return D3DERR_INVALIDCALL;
    *texture = stages_[stage];
    if (*texture)
        (*texture)->AddRef();
    return S_OK;
}

HRESULT IDirect3DDevice8::CreateTexture(UINT width, UINT height, UINT, DWORD, D3DFORMAT format, D3DPOOL,
                                        IDirect3DTexture8** texture)
{
    if (!texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if ((format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8) || width == 0 || height == 0 || width > 16384 ||
        height > 16384)
        return D3DERR_INVALIDCALL;
    *texture = new (std::nothrow) IDirect3DTexture8(width, height, format);
    return *texture ? S_OK : E_OUTOFMEMORY;
}

namespace vex {
IDirect3DDevice8* CreateSoftwareDevice() { return new IDirect3DDevice8(); }
} // namespace vex
