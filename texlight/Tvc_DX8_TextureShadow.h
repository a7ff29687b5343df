#pragma once
// The texture-lighting channel ("DX8 TextureLighting"): a texture channel whose texture holds a light map
// of one surface of a linked 3D object, lit by the linked lights with shadows from the linked scene.
// Every method is virtual and the order below is the library's interface.

#include "host/siblings/Tav_LightMapInterface.h"
#include "host/siblings/Tvc_DX8_Texture.h"

class ShadowBuffer;

// The light-map interface is a second base (for the runner): the texture stays the primary one, so the
// slot order below is unchanged.
class Tvc_DX8_TextureShadow : public Tvc_DX8_Texture, public Tav_LightMapInterface {
public:
    Tvc_DX8_TextureShadow();
    /// Copies settings, base state and texels; the copy gets its own light-map object.
    Tvc_DX8_TextureShadow(const Tvc_DX8_TextureShadow& other);
    Tvc_DX8_TextureShadow& operator=(const Tvc_DX8_TextureShadow& other);

    // Tav_Channel slots.
    ~Tvc_DX8_TextureShadow() override;
    /// Recomputes the light map and puts it into the texture.
    void CallChannel() override;
    bool SaveChannel(TavFileSaver& saver) override;
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;
    /// Needs the progress and input channel types (for the progress display).
    void DoDependencyInit(Tav_List* list) override;

    // Tvc_DX8_Texture slots.
    void SetTexture(int stage) override;
    /// The light map has no alpha to refresh.
    void CheckAplhaRefresh() override;

    // Own slots, in this order.
    virtual bool GetUseOverbright();
    virtual void SetUseOverbright(bool use) override;
    virtual bool GetUseColorTransparency();
    virtual void SetUseColorTransparency(bool use) override;
    virtual bool GetUseShadowCulling();
    virtual void SetUseShadowCulling(bool use) override;
    virtual bool GetUseShadow();
    virtual void SetUseShadow(bool use) override;
    virtual int GetTextureCoordSetUse() override;
    virtual void SetTextureCoordSetUse(int set) override;
    virtual int GetShadowSurfaceNr() override;
    virtual void SetShadowSurfaceNr(int surface) override;
    virtual int GetAntiAliasMode() override;
    virtual void SetAntiAliasMode(int mode) override;
    virtual bool GetUseLighting();
    virtual void SetUseLighting(bool use) override;
    virtual bool GetUseProgressBar();
    virtual void SetUseProgressBar(bool use) override;
    virtual float GetSoftShadowRadius();
    virtual void SetSoftShadowRadius(float radius) override;
    /// Rebuilds the bitmap buffer (24-bit bottom-up bitmap file image) from the light map.
    virtual void SaveBMPInBuffer() override;
    virtual bool GetSoftUseShadows() override;
    virtual void SetSoftUseShadows(bool use) override;
    /// Writes the bitmap buffer to a file; a failure is reported and leaves an earlier file intact.
    virtual void SaveTextureToFile(const char* path) override;
    /// Shows the placeholder light map in the texture.
    virtual void SetTestTexture() override;
    /// Computes the light map only (no render-count check, texture or bitmap untouched).
    virtual bool CalculateShadowBuffer() override;

    /// The light-map object (not part of the interface other libraries call).
    ShadowBuffer* GetShadowBuffer() const { return shadowBuffer; }

    /// What the bitmap buffer holds: a computed light map, the placeholder, or an image loaded from a
    /// project written before projects recorded which (not part of the interface other libraries call).
    enum class BitmapState : uint8_t { Placeholder = 0, Baked = 1, Unrecorded = 2 };
    BitmapState GetBitmapState() const { return bitmapState; }

    // Tav_LightMapInterface's own additions (after every listed slot).
    void PrepareLightMapScene() override;
    int GetLightMapWidth() override;
    int GetLightMapHeight() override;
    int GetLightMapTexel(int x, int y) override;
    bool GetIfPlaceholderBitmap() override { return bitmapState == BitmapState::Placeholder; }

private:
    /// Registers with the public-texture parent once; askPublic: only when GetIfPublicTexture() says so.
    void RegisterPublicTexture(bool askPublic);

    ShadowBuffer* shadowBuffer = nullptr;
    bool useOverbright = false;
    int textureCoordSetUse = 0;
    int shadowSurfaceNr = 0;
    bool useColorTransparency = true;
    int antiAliasMode = 0;
    bool useShadowCulling = false;
    bool useShadow = true;
    bool useProgressBar = false;
    float softShadowRadius = 0.1f;
    bool softUseShadows = false;
    bool useLighting = true;
    bool mapComputed = false; ///< the light-map object holds a finished computation, not the placeholder
    BitmapState bitmapState = BitmapState::Placeholder;
};
