#pragma once
// What the runner does with a texture-lighting channel besides its texture (Tvc_DX8_Texture): its
// settings, computing the light map, and reading the computed texels for its images. Implemented by the
// texture-lighting channel beside its texture base; found with dynamic_cast.

class Tav_LightMapInterface {
public:
    // The channel's own slots of these names.
    virtual void SetUseOverbright(bool use) = 0;
    virtual void SetUseColorTransparency(bool use) = 0;
    virtual void SetUseShadowCulling(bool use) = 0;
    virtual void SetUseShadow(bool use) = 0;
    virtual int GetTextureCoordSetUse() = 0;
    virtual void SetTextureCoordSetUse(int set) = 0;
    virtual int GetShadowSurfaceNr() = 0;
    virtual void SetShadowSurfaceNr(int surface) = 0;
    virtual int GetAntiAliasMode() = 0;
    virtual void SetAntiAliasMode(int mode) = 0;
    virtual void SetUseLighting(bool use) = 0;
    virtual void SetUseProgressBar(bool use) = 0;
    virtual void SetSoftShadowRadius(float radius) = 0;
    virtual void SaveBMPInBuffer() = 0;
    virtual bool GetSoftUseShadows() = 0;
    virtual void SetSoftUseShadows(bool use) = 0;
    virtual void SaveTextureToFile(const char* path) = 0;
    virtual void SetTestTexture() = 0;
    virtual bool CalculateShadowBuffer() = 0;

    /// Builds the shadow scene the next computation traces against (done apart so that it can be timed
    /// apart).
    virtual void PrepareLightMapScene() = 0;
    /// Size of the computed light map, in texels.
    virtual int GetLightMapWidth() = 0;
    virtual int GetLightMapHeight() = 0;
    /// Texel (x, y) of the computed light map as 0x00RRGGBB.
    virtual int GetLightMapTexel(int x, int y) = 0;
    /// True while the bitmap holds the placeholder rather than a computed or loaded light map.
    virtual bool GetIfPlaceholderBitmap() = 0;

protected:
    ~Tav_LightMapInterface() = default;
};
