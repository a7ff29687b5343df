// Saved settings of the texture-lighting channel: tagged chunks after the texture base's. "TLSS" occurs
// twice (overbright, then soft shadows): the loader hands repeated tags out in written order. "TLUL" is
// read but never written.

#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "texlight/ShadowBuffer.h"
#include "texlight/Tvc_DX8_TextureShadow.h"

bool Tvc_DX8_TextureShadow::SaveChannel(TavFileSaver& saver)
{
    if (!Tvc_DX8_Texture::SaveChannel(saver))
        return false;
    saver.SaveI32("TLTL", textureCoordSetUse);
    saver.SaveBool("TLSS", useOverbright);
    saver.SaveI32("TLSN", shadowSurfaceNr);
    saver.SaveBool("TLUS", useShadow);
    saver.SaveI32("TLAM", antiAliasMode);
    saver.SaveBool("TLSS", softUseShadows);
    saver.SaveF32("TLSR", softShadowRadius);
    // Whether the saved image is a computed light map or the placeholder; files without it load as before.
    saver.SaveBool("TLBK", bitmapState == BitmapState::Baked);
    return true;
}

bool Tvc_DX8_TextureShadow::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tvc_DX8_Texture::LoadChannel(loader, group))
        return false;
    loader.LoadI32("TLTL", textureCoordSetUse);
    loader.LoadBool("TLSS", useOverbright);
    loader.LoadI32("TLSN", shadowSurfaceNr);
    loader.LoadBool("TLUS", useShadow);
    loader.LoadI32("TLAM", antiAliasMode);
    loader.LoadBool("TLSS", softUseShadows);
    loader.LoadF32("TLSR", softShadowRadius);
    loader.LoadBool("TLUL", useLighting);
    bool baked = false;
    const bool recorded = loader.LoadBool("TLBK", baked);
    mapComputed = false;
    bitmapState = !recorded ? BitmapState::Unrecorded : baked ? BitmapState::Baked : BitmapState::Placeholder;

    // The base brought no image: show the placeholder light map.
    if (textureBufferSize <= 0 && shadowBuffer && shadowBuffer->Calculate(true)) {
        SaveBMPInBuffer();
        RestoreTexture();
    }
    RegisterPublicTexture(false);
    return true;
}
