// Light-map output of the texture-lighting channel: the bitmap buffer, the bitmap file, the stage binding
// and the test image.

#include "host/TavFileSaver.h"
#include "host/Tav_HostContext.h"
#include "host/siblings/Tav_DeviceInterface.h"
#include "texlight/BitmapWriter.h"
#include "texlight/ShadowBuffer.h"
#include "texlight/Tvc_DX8_TextureShadow.h"

#include <string>

void Tvc_DX8_TextureShadow::SaveBMPInBuffer()
{
    FreeTextureBuffer();
    bitmapState = mapComputed ? BitmapState::Baked : BitmapState::Placeholder;
    if (!shadowBuffer)
        return;
    const std::vector<uint8_t> image =
        vex::texlight::BuildBitmap(shadowBuffer->GetWidth(), shadowBuffer->GetHeight(), [this](int x, int y) {
            return static_cast<uint32_t>(shadowBuffer->GetTexel(x, y));
        });
    SetTextureBuffer(image.data(), static_cast<int>(image.size()));
}

// The saver writes a temporary file and renames it over the target only when complete, so a failed write
// leaves an earlier file at that path as it was.
void Tvc_DX8_TextureShadow::SaveTextureToFile(const char* path)
{
    TavFileSaver saver;
    const std::string name = path ? path : "";
    if (!saver.OpenSaveFile(path, false)) {
        if (host_)
            host_->ShowDebugMessage(("SaveTextureToFile: cannot open '" + name + "': " + saver.GetError()).c_str());
        return;
    }
    if (!saver.SaveDataToFile(textureBuffer, textureBuffer ? textureBufferSize : 0) || !saver.CloseSaveFile()) {
        if (host_)
            host_->ShowDebugMessage(("SaveTextureToFile: cannot write '" + name + "': " + saver.GetError()).c_str());
    }
}

void Tvc_DX8_TextureShadow::SetTexture(int stage)
{
    // The accessor finds a device channel made after this one; the member alone is filled only by it.
    IDirect3DDevice8* device = GetDevice();
    if (!GetDeviceChannel())
        return;
    if (!texture)
        RestoreTexture();
    if (!texture)
        return;
    if (!device)
        return;
    if (device->SetTexture(static_cast<DWORD>(stage), texture) != S_OK && host_)
        host_->ShowDebugMessage("Tvc_DX8_Texture::SetTexture(lvl, texture_)");
}

void Tvc_DX8_TextureShadow::SetTestTexture()
{
    if (shadowBuffer)
        shadowBuffer->Calculate(true);
    mapComputed = false;
    SaveBMPInBuffer();
    RestoreTexture();
    RegisterPublicTexture(true);
}
