#include "texlight/Tvc_DX8_TextureShadow.h"

#include "common/PluginEntry.h"
#include "host/siblings/TypeGuids.h"
#include "texlight/ShadowBuffer.h"
#include "texlight/TexLightConstants.h"

VEX_CHANNEL_PLUGIN(Tvc_DX8_TextureShadow, "DX8 TextureLighting", vex::guids::kTextureLighting, vex::guids::kTexture)

using namespace vex::texlight;

Tvc_DX8_TextureShadow::Tvc_DX8_TextureShadow()
{
    SetChannelName("DX8 TextureLighting");
    SetChildCreationCount(1);
    SetChildCreateType(vex::MakeChildCreation("DX8 3D Object", vex::Guid(vex::guids::kObject3D), 0, "Object Source"),
                       0);
    SetChildCreateType(vex::MakeChildCreation("DX8 OctTree", vex::Guid(vex::guids::kOctTree), 1, "Shadow Scene"), 1);
    SetChildCreateType(
        vex::MakeChildCreation("DX8 3D Render", vex::Guid(vex::guids::k3DRender), -1, "Shadow/Lights Scene"), 2);
    SetChildCreateType(vex::MakeChildCreation("DX8 Light", vex::Guid(vex::guids::kLight), -1, "Lights"), 3);

    textureCoordSetUse = 0;
    useOverbright = false;
    shadowSurfaceNr = 0;
    useShadow = true;

    shadowBuffer = new ShadowBuffer(host_);
    shadowBuffer->SetOwner(this);

    useColorTransparency = true;
    useProgressBar = false;
    useLighting = true;
    antiAliasMode = 0;
    softShadowRadius = 0.1f;
    softUseShadows = false;
    desiredWidth = kDefaultLightMapSize;
    desiredHeight = kDefaultLightMapSize;

    if (shadowBuffer->Calculate(true)) {
        SaveBMPInBuffer();
        RegisterPublicTexture(true);
    }
}

Tvc_DX8_TextureShadow::Tvc_DX8_TextureShadow(const Tvc_DX8_TextureShadow& other)
    : Tvc_DX8_Texture(other), useOverbright(other.useOverbright), textureCoordSetUse(other.textureCoordSetUse),
      shadowSurfaceNr(other.shadowSurfaceNr), useColorTransparency(other.useColorTransparency),
      antiAliasMode(other.antiAliasMode), useShadowCulling(other.useShadowCulling), useShadow(other.useShadow),
      useProgressBar(other.useProgressBar), softShadowRadius(other.softShadowRadius),
      softUseShadows(other.softUseShadows), useLighting(other.useLighting), mapComputed(other.mapComputed),
      bitmapState(other.bitmapState)
{
    shadowBuffer = other.shadowBuffer ? new ShadowBuffer(*other.shadowBuffer) : new ShadowBuffer(host_);
    shadowBuffer->SetOwner(this);
}

Tvc_DX8_TextureShadow& Tvc_DX8_TextureShadow::operator=(const Tvc_DX8_TextureShadow& other)
{
    if (this == &other)
        return *this;
    Tvc_DX8_Texture::operator=(other);
    useOverbright = other.useOverbright;
    textureCoordSetUse = other.textureCoordSetUse;
    shadowSurfaceNr = other.shadowSurfaceNr;
    useColorTransparency = other.useColorTransparency;
    antiAliasMode = other.antiAliasMode;
    useShadowCulling = other.useShadowCulling;
    useShadow = other.useShadow;
    useProgressBar = other.useProgressBar;
    softShadowRadius = other.softShadowRadius;
    softUseShadows = other.softUseShadows;
    useLighting = other.useLighting;
    mapComputed = other.mapComputed;
    bitmapState = other.bitmapState;
    auto* copy = other.shadowBuffer ? new ShadowBuffer(*other.shadowBuffer) : new ShadowBuffer(host_);
    delete shadowBuffer;
    shadowBuffer = copy;
    shadowBuffer->SetOwner(this);
    return *this;
}

Tvc_DX8_TextureShadow::~Tvc_DX8_TextureShadow()
{
    delete shadowBuffer;
    shadowBuffer = nullptr;
}

void Tvc_DX8_TextureShadow::RegisterPublicTexture(bool askPublic)
{
    if (publicTextureParent && (!askPublic || GetIfPublicTexture()) && publicTextureSlot == -1)
        publicTextureSlot = publicTextureParent->SetChild(this, -1, -1);
}

// Frame: recompute; then copy straight into a matching A8R8G8B8 texture, or else go through the bitmap
// buffer and let the base rebuild the texture.
void Tvc_DX8_TextureShadow::CallChannel()
{
    if (!CheckRenderCount())
        return;
    mapComputed = false;
    if (!shadowBuffer || !shadowBuffer->Calculate(false))
        return;
    mapComputed = true;

    if (!useProgressBar && texture) {
        const D3DSURFACE_DESC desc = GetTextureDescription(0);
        const int width = shadowBuffer->GetWidth();
        const int height = shadowBuffer->GetHeight();
        if (desc.Format == D3DFMT_A8R8G8B8 && desc.Width == static_cast<UINT>(width) &&
            desc.Height == static_cast<UINT>(height)) {
            D3DLOCKED_RECT locked;
            if (SUCCEEDED(texture->LockRect(0, &locked, nullptr, 0))) {
                auto* row = static_cast<uint8_t*>(locked.pBits);
                for (int y = 0; y < height; ++y, row += locked.Pitch) {
                    auto* texels = reinterpret_cast<uint32_t*>(row);
                    for (int x = 0; x < width; ++x)
                        texels[x] = static_cast<uint32_t>(shadowBuffer->GetTexel(x, y));
                }
                texture->UnlockRect(0);
                return;
            }
        }
    }
    SaveBMPInBuffer();
    RestoreTexture();
    RegisterPublicTexture(true);
}

void Tvc_DX8_TextureShadow::DoDependencyInit(Tav_List* list)
{
    AddChannelGuidDepend(vex::Guid(vex::guids::kProgress), list);
    AddChannelGuidDepend(vex::Guid(vex::guids::kInput), list);
}

bool Tvc_DX8_TextureShadow::CalculateShadowBuffer()
{
    // A computation that stops part way leaves a partial map: it counts as computed only when it finished.
    mapComputed = shadowBuffer && shadowBuffer->Calculate(false);
    return mapComputed;
}

void Tvc_DX8_TextureShadow::CheckAplhaRefresh() {}

bool Tvc_DX8_TextureShadow::GetUseOverbright() { return useOverbright; }
void Tvc_DX8_TextureShadow::SetUseOverbright(bool use) { useOverbright = use; }
bool Tvc_DX8_TextureShadow::GetUseColorTransparency() { return useColorTransparency; }
void Tvc_DX8_TextureShadow::SetUseColorTransparency(bool use) { useColorTransparency = use; }
bool Tvc_DX8_TextureShadow::GetUseShadowCulling() { return useShadowCulling; }
void Tvc_DX8_TextureShadow::SetUseShadowCulling(bool use) { useShadowCulling = use; }
bool Tvc_DX8_TextureShadow::GetUseShadow() { return useShadow; }
void Tvc_DX8_TextureShadow::SetUseShadow(bool use) { useShadow = use; }
int Tvc_DX8_TextureShadow::GetTextureCoordSetUse() { return textureCoordSetUse; }
void Tvc_DX8_TextureShadow::SetTextureCoordSetUse(int set) { textureCoordSetUse = set; }
int Tvc_DX8_TextureShadow::GetShadowSurfaceNr() { return shadowSurfaceNr; }
void Tvc_DX8_TextureShadow::SetShadowSurfaceNr(int surface) { shadowSurfaceNr = surface; }
int Tvc_DX8_TextureShadow::GetAntiAliasMode() { return antiAliasMode; }
void Tvc_DX8_TextureShadow::SetAntiAliasMode(int mode) { antiAliasMode = mode; }
bool Tvc_DX8_TextureShadow::GetUseLighting() { return useLighting; }
void Tvc_DX8_TextureShadow::SetUseLighting(bool use) { useLighting = use; }
bool Tvc_DX8_TextureShadow::GetUseProgressBar() { return useProgressBar; }
void Tvc_DX8_TextureShadow::SetUseProgressBar(bool use) { useProgressBar = use; }
float Tvc_DX8_TextureShadow::GetSoftShadowRadius() { return softShadowRadius; }
void Tvc_DX8_TextureShadow::SetSoftShadowRadius(float radius) { softShadowRadius = radius; }
bool Tvc_DX8_TextureShadow::GetSoftUseShadows() { return softUseShadows; }
void Tvc_DX8_TextureShadow::SetSoftUseShadows(bool use) { softUseShadows = use; }

void Tvc_DX8_TextureShadow::PrepareLightMapScene() { shadowBuffer->PrepareShadowScene(); }
int Tvc_DX8_TextureShadow::GetLightMapWidth() { return shadowBuffer->GetWidth(); }
int Tvc_DX8_TextureShadow::GetLightMapHeight() { return shadowBuffer->GetHeight(); }
int Tvc_DX8_TextureShadow::GetLightMapTexel(int x, int y) { return shadowBuffer->GetTexel(x, y); }
