// Saved settings of the texture-lighting channel: tagged chunks after the texture base's. "TLSS" occurs
// twice (overbright, then soft shadows): the loader hands repeated tags out in written order. "TLUL" is
// read but never written.

#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "texlight/ShadowBuffer.h"
#include "texlight/Tvc_DX8_TextureShadow.h"

#include <cstring>

namespace {

void SaveInt(TavFileSaver& saver, const char* tag, int value)
{
    vex::ByteWriter payload;
    payload.I32(value);
    saver.SaveChunk(tag, payload.Data());
}

void SaveBool(TavFileSaver& saver, const char* tag, bool value)
{
    vex::ByteWriter payload;
    payload.Bool(value);
    saver.SaveChunk(tag, payload.Data());
}

void SaveFloat(TavFileSaver& saver, const char* tag, float value)
{
    vex::ByteWriter payload;
    payload.F32(value);
    saver.SaveChunk(tag, payload.Data());
}

/// Copies at most bytes of the next chunk with this tag; true only when it held that many (a shorter chunk
/// leaves the setting as it was).
template <size_t N>
bool ReadChunk(TavFileLoader& loader, const char* tag, uint8_t (&bytes)[N])
{
    if (!loader.GetInfoIfTag(tag))
        return false;
    return loader.CopyTagDataToPointer(bytes, static_cast<int>(N)) == static_cast<int>(N);
}

void LoadInt(TavFileLoader& loader, const char* tag, int& value)
{
    uint8_t bytes[4];
    if (!ReadChunk(loader, tag, bytes))
        return;
    vex::ByteReader reader(bytes, sizeof bytes);
    int32_t v;
    if (reader.I32(v))
        value = v;
}

void LoadBool(TavFileLoader& loader, const char* tag, bool& value)
{
    uint8_t bytes[1];
    if (ReadChunk(loader, tag, bytes))
        value = bytes[0] != 0;
}

void LoadFloat(TavFileLoader& loader, const char* tag, float& value)
{
    uint8_t bytes[4];
    if (!ReadChunk(loader, tag, bytes))
        return;
    vex::ByteReader reader(bytes, sizeof bytes);
    float v;
    if (reader.F32(v))
        value = v;
}

} // namespace

bool Tvc_DX8_TextureShadow::SaveChannel(TavFileSaver& saver)
{
    if (!Tvc_DX8_Texture::SaveChannel(saver))
        return false;
    SaveInt(saver, "TLTL", textureCoordSetUse);
    SaveBool(saver, "TLSS", useOverbright);
    SaveInt(saver, "TLSN", shadowSurfaceNr);
    SaveBool(saver, "TLUS", useShadow);
    SaveInt(saver, "TLAM", antiAliasMode);
    SaveBool(saver, "TLSS", softUseShadows);
    SaveFloat(saver, "TLSR", softShadowRadius);
    // Whether the saved image is a computed light map or the placeholder; files without it load as before.
    SaveBool(saver, "TLBK", bitmapState == BitmapState::Baked);
    return true;
}

bool Tvc_DX8_TextureShadow::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tvc_DX8_Texture::LoadChannel(loader, group))
        return false;
    LoadInt(loader, "TLTL", textureCoordSetUse);
    LoadBool(loader, "TLSS", useOverbright);
    LoadInt(loader, "TLSN", shadowSurfaceNr);
    LoadBool(loader, "TLUS", useShadow);
    LoadInt(loader, "TLAM", antiAliasMode);
    LoadBool(loader, "TLSS", softUseShadows);
    LoadFloat(loader, "TLSR", softShadowRadius);
    LoadBool(loader, "TLUL", useLighting);
    uint8_t baked[1] = {0};
    const bool recorded = ReadChunk(loader, "TLBK", baked);
    mapComputed = false;
    bitmapState = !recorded ? BitmapState::Unrecorded : baked[0] ? BitmapState::Baked : BitmapState::Placeholder;

    // The base brought no image: show the placeholder light map.
    if (textureBufferSize <= 0 && shadowBuffer && shadowBuffer->Calculate(true)) {
        SaveBMPInBuffer();
        RestoreTexture();
    }
    RegisterPublicTexture(false);
    return true;
}
