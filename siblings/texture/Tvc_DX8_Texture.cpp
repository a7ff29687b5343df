#include "host/siblings/Tvc_DX8_Texture.h"

#include "common/PluginEntry.h"
#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/texture/BitmapDecode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>
#include <string>

namespace {

/// Largest bitmap buffer accepted from a project or a file, in bytes: far above any texture the device
/// takes (16384² texels at 32 bits is 1 GiB, but nobody stores that in a project), and a bound on what a
/// damaged length can make us allocate.
constexpr size_t kMaxBufferBytes = size_t(256) << 20;

/// A dimension chunk counts only at exactly four bytes: anything else leaves the setting as it was.
bool ReadInt32Chunk(TavFileLoader& loader, const char* tag, int& value)
{
    return loader.GetInfoIfTag(tag) && loader.GetTagDataSize() == 4 && loader.TagReader().I32(value);
}

/// Reads a whole file, refusing anything above the buffer limit.
bool ReadFileBytes(const char* path, std::vector<uint8_t>& bytes, std::string* error)
{
    std::ifstream in(path ? path : "", std::ios::binary | std::ios::ate);
    if (!in) {
        *error = "cannot open file";
        return false;
    }
    const std::streamoff length = in.tellg();
    if (length < 0 || static_cast<size_t>(length) > kMaxBufferBytes) {
        *error = "file too large";
        return false;
    }
    bytes.resize(static_cast<size_t>(length));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), length)) {
        *error = "cannot read file";
        return false;
    }
    return true;
}

/// Messages go to the user through the host; a texture made outside a host writes them to stderr.
void Report(Tav_HostContext* host, const std::string& text)
{
    if (host)
        host->ShowDebugMessage(text.c_str());
    else
        Tav_DebugMessage{}(text.c_str());
}

} // namespace

Tvc_DX8_Texture::Tvc_DX8_Texture()
    : texture(nullptr), publicTextureParent(nullptr), publicTextureSlot(-1), textureBuffer(nullptr),
      textureBufferSize(0), desiredWidth(256), desiredHeight(256), mipMapLevels(1), isPublicTexture(false),
      forceARGB(false), isNormalMap(false), normalMapType(0), useTextureCompression(false), useBufferAlpha(false),
      useAlphaOnMipmap(false), bufferChanged(false)
{
    SetChannelName("DX8 Texture");
}

Tvc_DX8_Texture::Tvc_DX8_Texture(const Tvc_DX8_Texture& other)
    : Tvc_DX8_D3DDeviceUse(other), texture(nullptr), publicTextureParent(other.publicTextureParent),
      publicTextureSlot(-1), textureBuffer(nullptr), textureBufferSize(0), desiredWidth(other.desiredWidth),
      desiredHeight(other.desiredHeight), mipMapLevels(other.mipMapLevels), isPublicTexture(other.isPublicTexture),
      forceARGB(other.forceARGB), isNormalMap(other.isNormalMap), normalMapType(other.normalMapType),
      useTextureCompression(other.useTextureCompression), useBufferAlpha(other.useBufferAlpha),
      useAlphaOnMipmap(other.useAlphaOnMipmap), bufferChanged(true)
{
    // The copy owns its own buffer; its texture is rebuilt from it on demand, and it is not registered
    // with the parent until it registers itself.
    SetTextureBuffer(other.textureBuffer, other.textureBufferSize);
}

Tvc_DX8_Texture& Tvc_DX8_Texture::operator=(const Tvc_DX8_Texture& other)
{
    if (this == &other)
        return *this;
    Tvc_DX8_D3DDeviceUse::operator=(other);
    Release();
    SetTextureBuffer(other.textureBuffer, other.textureBufferSize);
    publicTextureParent = other.publicTextureParent;
    publicTextureSlot = -1;
    desiredWidth = other.desiredWidth;
    desiredHeight = other.desiredHeight;
    mipMapLevels = other.mipMapLevels;
    isPublicTexture = other.isPublicTexture;
    forceARGB = other.forceARGB;
    isNormalMap = other.isNormalMap;
    normalMapType = other.normalMapType;
    useTextureCompression = other.useTextureCompression;
    useBufferAlpha = other.useBufferAlpha;
    useAlphaOnMipmap = other.useAlphaOnMipmap;
    return *this;
}

Tvc_DX8_Texture::~Tvc_DX8_Texture()
{
    Release();
    FreeTextureBuffer();
}

bool Tvc_DX8_Texture::SaveChannel(TavFileSaver& saver)
{
    if (!Tvc_DX8_D3DDeviceUse::SaveChannel(saver))
        return false;
    if (textureBuffer && textureBufferSize > 0) {
        saver.SaveTag("TXBM");
        saver.SaveBlockSize(textureBufferSize);
        saver.SaveDataToFile(textureBuffer, textureBufferSize);
    }
    saver.SaveI32("TXDW", desiredWidth);
    saver.SaveI32("TXDH", desiredHeight);
    return true;
}

bool Tvc_DX8_Texture::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tvc_DX8_D3DDeviceUse::LoadChannel(loader, group))
        return false;
    bool gotBitmap = false;
    if (loader.GetInfoIfTag("TXBM")) {
        const int bytes = loader.GetTagDataSize();
        if (bytes <= 0 || static_cast<size_t>(bytes) > kMaxBufferBytes) {
            Report(host_, "Tvc_DX8_Texture::LoadChannel: bitmap chunk size out of range: " + std::to_string(bytes));
        } else {
            SetTextureBuffer(loader.GetTagData(), bytes);
            gotBitmap = textureBuffer != nullptr;
        }
    }
    ReadInt32Chunk(loader, "TXDW", desiredWidth);
    ReadInt32Chunk(loader, "TXDH", desiredHeight);
    if (gotBitmap)
        RestoreTexture();
    return true;
}

void Tvc_DX8_Texture::InvalidateDeviceObjects() { Release(); }

void Tvc_DX8_Texture::Release()
{
    if (texture) {
        texture->Release();
        texture = nullptr;
    }
}

void Tvc_DX8_Texture::SetTexture(int stage)
{
    IDirect3DDevice8* device = GetDevice();
    if (!device)
        return;
    if (!texture)
        RestoreTexture();
    if (!texture)
        return;
    if (device->SetTexture(static_cast<DWORD>(stage), texture) != S_OK)
        Report(host_, "Tvc_DX8_Texture::SetTexture(lvl, texture_)");
}

bool Tvc_DX8_Texture::LoadTextureFromFile(const char* path)
{
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadFileBytes(path, bytes, &error)) {
        Report(host_, "Tvc_DX8_Texture::LoadTextureFromFile: " + error + ": " + (path ? path : ""));
        return false;
    }
    return LoadTextureFromMemoryAndCopyBuffer(bytes.data(), static_cast<int>(bytes.size()));
}

bool Tvc_DX8_Texture::LoadTextureFromMemory(const void* data, int bytes)
{
    if (!data || bytes <= 0)
        return false;
    vex::DecodedBitmap bitmap;
    std::string error;
    // The caller keeps the image, so the alpha choice is made from this image alone.
    if (!vex::DecodeBitmap(static_cast<const uint8_t*>(data), static_cast<size_t>(bytes), true, bitmap, &error)) {
        Report(host_, "Tvc_DX8_Texture::LoadTextureFromMemory: " + error);
        return false;
    }
    if (!bitmap.hasAlpha)
        for (uint32_t& t : bitmap.texels)
            t |= 0xFF000000u;
    return BuildTexture(bitmap.width, bitmap.height, bitmap.texels.data());
}

bool Tvc_DX8_Texture::LoadTextureFromMemoryAndCopyBuffer(const void* data, int bytes)
{
    if (!data || bytes <= 0 || static_cast<size_t>(bytes) > kMaxBufferBytes)
        return false;
    vex::DecodedBitmap bitmap;
    std::string error;
    if (!vex::DecodeBitmap(static_cast<const uint8_t*>(data), static_cast<size_t>(bytes), false, bitmap, &error)) {
        Report(host_, "Tvc_DX8_Texture::LoadTextureFromMemoryAndCopyBuffer: " + error);
        return false;
    }
    SetTextureBuffer(static_cast<const unsigned char*>(data), bytes);
    useBufferAlpha = bitmap.hasAlpha;
    RestoreTexture();
    return texture != nullptr;
}

void Tvc_DX8_Texture::SetMipMapLevels(int levels) { mipMapLevels = levels; }

int Tvc_DX8_Texture::GetMipMapLevels() { return mipMapLevels; }

D3DSURFACE_DESC Tvc_DX8_Texture::GetTextureDescription(int level)
{
    D3DSURFACE_DESC desc{};
    if (texture && level >= 0 && texture->GetLevelDesc(static_cast<UINT>(level), &desc) != S_OK)
        desc = D3DSURFACE_DESC{};
    return desc;
}

bool Tvc_DX8_Texture::LockTexture(D3DLOCKED_RECT* locked)
{
    return texture && locked && texture->LockRect(0, locked, nullptr, 0) == S_OK;
}

void Tvc_DX8_Texture::UnlockTexture()
{
    if (texture)
        texture->UnlockRect(0);
}

bool Tvc_DX8_Texture::GetIfValidTexture() { return texture != nullptr; }

void Tvc_DX8_Texture::SetDesiredHeight(int height) { desiredHeight = height; }

void Tvc_DX8_Texture::SetDesiredWidth(int width) { desiredWidth = width; }

int Tvc_DX8_Texture::GetDesiredHeight() { return desiredHeight; }

int Tvc_DX8_Texture::GetDesiredWidth() { return desiredWidth; }

void Tvc_DX8_Texture::RestoreTexture()
{
    Release();
    bufferChanged = false;
    if (!textureBuffer || textureBufferSize <= 0)
        return;
    vex::DecodedBitmap bitmap;
    std::string error;
    if (!vex::DecodeBitmap(textureBuffer, static_cast<size_t>(textureBufferSize), useBufferAlpha, bitmap, &error)) {
        Report(host_, "Tvc_DX8_Texture::RestoreTexture: " + error);
        return;
    }
    if (!BuildTexture(bitmap.width, bitmap.height, bitmap.texels.data()))
        return;
    if (isNormalMap)
        CreateNormalMap();
}

void Tvc_DX8_Texture::CreateTumbNailTexture()
{
    // Editors show thumbnails; this host has none to feed, so there is nothing to build.
}

bool Tvc_DX8_Texture::AddAlphaTexture(Tvc_DX8_Texture* alphaSource)
{
    if (!texture || !alphaSource || !alphaSource->texture || alphaSource == this)
        return false;
    const D3DSURFACE_DESC mine = GetTextureDescription(0);
    const D3DSURFACE_DESC theirs = alphaSource->GetTextureDescription(0);
    if (mine.Width != theirs.Width || mine.Height != theirs.Height)
        return false;
    D3DLOCKED_RECT dst, src;
    if (!LockTexture(&dst))
        return false;
    if (!alphaSource->LockTexture(&src)) {
        UnlockTexture();
        return false;
    }
    for (UINT y = 0; y < mine.Height; ++y) {
        auto* d = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(dst.pBits) + static_cast<size_t>(y) * dst.Pitch);
        auto* s = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(src.pBits) +
                                                    static_cast<size_t>(y) * src.Pitch);
        for (UINT x = 0; x < mine.Width; ++x)
            d[x] = (d[x] & 0x00FFFFFFu) | (((s[x] >> 16) & 0xFFu) << 24);
    }
    alphaSource->UnlockTexture();
    UnlockTexture();
    return true;
}

bool Tvc_DX8_Texture::CopyOurselvesIntoTexture(IDirect3DTexture8* target)
{
    if (!texture || !target || target == texture)
        return false;
    D3DSURFACE_DESC mine{}, theirs{};
    if (texture->GetLevelDesc(0, &mine) != S_OK || target->GetLevelDesc(0, &theirs) != S_OK ||
        mine.Width != theirs.Width || mine.Height != theirs.Height)
        return false;
    D3DLOCKED_RECT src, dst;
    if (texture->LockRect(0, &src, nullptr, 0) != S_OK)
        return false;
    if (target->LockRect(0, &dst, nullptr, 0) != S_OK) {
        texture->UnlockRect(0);
        return false;
    }
    for (UINT y = 0; y < mine.Height; ++y)
        std::memcpy(static_cast<uint8_t*>(dst.pBits) + static_cast<size_t>(y) * dst.Pitch,
                    static_cast<const uint8_t*>(src.pBits) + static_cast<size_t>(y) * src.Pitch,
                    static_cast<size_t>(mine.Width) * 4);
    target->UnlockRect(0);
    texture->UnlockRect(0);
    return true;
}

void Tvc_DX8_Texture::CheckAplhaRefresh()
{
    // Alpha is applied when the texture is built from the buffer, so there is nothing to refresh later.
}

bool Tvc_DX8_Texture::GetIfPublicTexture() { return isPublicTexture; }

void Tvc_DX8_Texture::SetIfPublicTexture(bool isPublic) { isPublicTexture = isPublic; }

void Tvc_DX8_Texture::SetForceARGB(bool force) { forceARGB = force; }

IDirect3DTexture8* Tvc_DX8_Texture::GetTexture() { return texture; }

void Tvc_DX8_Texture::SetIsNormalMap(bool normalMap) { isNormalMap = normalMap; }

bool Tvc_DX8_Texture::GetIsNormalMap() { return isNormalMap; }

void Tvc_DX8_Texture::SetNormalMapType(int type) { normalMapType = type; }

int Tvc_DX8_Texture::GetNormalMapType() { return normalMapType; }

// Treats the red channel as a height field and replaces the texels by tangent-space normals encoded as
// colour (x, y, z mapped from [-1, 1] to [0, 255]); central differences, clamped at the borders.
void Tvc_DX8_Texture::CreateNormalMap()
{
    D3DLOCKED_RECT locked;
    if (!LockTexture(&locked))
        return;
    const D3DSURFACE_DESC desc = GetTextureDescription(0);
    const int w = static_cast<int>(desc.Width), h = static_cast<int>(desc.Height);
    std::vector<float> heights(static_cast<size_t>(w) * h);
    auto row = [&](int y) {
        return reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            heights[static_cast<size_t>(y) * w + x] = static_cast<float>((row(y)[x] >> 16) & 0xFFu) / 255.0f;
    auto at = [&](int x, int y) {
        return heights[static_cast<size_t>(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)];
    };
    auto encode = [](float c) { return static_cast<uint32_t>(std::lround((c * 0.5f + 0.5f) * 255.0f)); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float dx = (at(x + 1, y) - at(x - 1, y)) * 0.5f;
            const float dy = (at(x, y + 1) - at(x, y - 1)) * 0.5f;
            const float len = std::sqrt(dx * dx + dy * dy + 1.0f);
            const uint32_t alpha = row(y)[x] & 0xFF000000u;
            row(y)[x] = alpha | encode(-dx / len) << 16 | encode(-dy / len) << 8 | encode(1.0f / len);
        }
    UnlockTexture();
}

unsigned char* Tvc_DX8_Texture::GetTextureBuffer() { return textureBuffer; }

int Tvc_DX8_Texture::GetBufferSize() { return textureBufferSize; }

void Tvc_DX8_Texture::SetUseTextureCompression(bool use) { useTextureCompression = use; }

bool Tvc_DX8_Texture::GetUseTextureCompression() { return useTextureCompression; }

bool Tvc_DX8_Texture::LoadALphaFromFile(const char* path)
{
    std::vector<uint8_t> bytes;
    std::string error;
    vex::DecodedBitmap bitmap;
    if (!ReadFileBytes(path, bytes, &error) || !vex::DecodeBitmap(bytes.data(), bytes.size(), false, bitmap, &error)) {
        Report(host_, "Tvc_DX8_Texture::LoadALphaFromFile: " + error + ": " + (path ? path : ""));
        return false;
    }
    const D3DSURFACE_DESC desc = GetTextureDescription(0);
    if (!texture || desc.Width != static_cast<UINT>(bitmap.width) || desc.Height != static_cast<UINT>(bitmap.height))
        return false;
    D3DLOCKED_RECT locked;
    if (!LockTexture(&locked))
        return false;
    for (int y = 0; y < bitmap.height; ++y) {
        auto* d =
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch);
        const uint32_t* s = bitmap.texels.data() + static_cast<size_t>(y) * bitmap.width;
        for (int x = 0; x < bitmap.width; ++x)
            d[x] = (d[x] & 0x00FFFFFFu) | (((s[x] >> 16) & 0xFFu) << 24);
    }
    UnlockTexture();
    return true;
}

void Tvc_DX8_Texture::AddAlphaFromInternalBuffer()
{
    useBufferAlpha = true;
    RestoreTexture();
}

bool Tvc_DX8_Texture::GetIfUseBufferAlpha() { return useBufferAlpha; }

void Tvc_DX8_Texture::ClearUseBufferAlpha()
{
    useBufferAlpha = false;
    if (texture)
        RestoreTexture();
}

void Tvc_DX8_Texture::SetUseAlphaOnMipmap(bool use) { useAlphaOnMipmap = use; }

bool Tvc_DX8_Texture::GetUseAlphaOnMipmap() { return useAlphaOnMipmap; }

void Tvc_DX8_Texture::CheckBufferUpdate()
{
    if (bufferChanged)
        RestoreTexture();
}

void Tvc_DX8_Texture::SetTextureBuffer(const unsigned char* bytes, int count)
{
    FreeTextureBuffer();
    bufferChanged = true;
    if (!bytes || count <= 0)
        return;
    textureBuffer = new (std::nothrow) unsigned char[static_cast<size_t>(count)];
    if (!textureBuffer)
        return;
    std::memcpy(textureBuffer, bytes, static_cast<size_t>(count));
    textureBufferSize = count;
}

void Tvc_DX8_Texture::FreeTextureBuffer()
{
    delete[] textureBuffer;
    textureBuffer = nullptr;
    textureBufferSize = 0;
}

bool Tvc_DX8_Texture::BuildTexture(int width, int height, const uint32_t* texels)
{
    Release();
    IDirect3DDevice8* device = GetDevice();
    if (!device)
        return false;
    IDirect3DTexture8* created = nullptr;
    if (device->CreateTexture(static_cast<UINT>(width), static_cast<UINT>(height), 1, 0, D3DFMT_A8R8G8B8,
                              D3DPOOL_MANAGED, &created) != S_OK ||
        !created) {
        Report(host_, "Tvc_DX8_Texture::RestoreTexture: the device cannot create the texture");
        return false;
    }
    D3DLOCKED_RECT locked;
    if (created->LockRect(0, &locked, nullptr, 0) != S_OK) {
        created->Release();
        return false;
    }
    for (int y = 0; y < height; ++y)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + static_cast<size_t>(y) * locked.Pitch,
                    texels + static_cast<size_t>(y) * width, static_cast<size_t>(width) * 4);
    created->UnlockRect(0);
    texture = created;
    return true;
}

VEX_CHANNEL_PLUGIN(Tvc_DX8_Texture, "DX8 Texture", vex::guids::kTexture, vex::guids::kDeviceUse)
