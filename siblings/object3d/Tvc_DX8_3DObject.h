#pragma once
// A 3D object ("DX8 3D Object"): a world matrix taken from the matrix channel at link 0 (identity
// without one) and its surfaces, the surface channels linked at link 1. It also carries the tint and
// opacity of the shadow it casts, read by the shadow scene.

#include "host/siblings/Tav_3DObjectInterface.h"

class Tvc_DX8_3DObject : public Tav_3DObjectInterface {
public:
    static constexpr int kMatrixLink = 0;
    static constexpr int kSurfaceLink = 1;

    Tvc_DX8_3DObject();
    Tvc_DX8_3DObject(const Tvc_DX8_3DObject& other) = default;
    Tvc_DX8_3DObject& operator=(const Tvc_DX8_3DObject& other) = default;
    ~Tvc_DX8_3DObject() override = default;

    /// Saves the shadow tint ("OBST", three floats) and opacity ("OBSO", one float).
    bool SaveChannel(TavFileSaver& saver) override;
    /// Chunks of the wrong size or with non-finite values are ignored (the setting keeps its value).
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;

    D3DXMATRIX* GetWorldMatrix(D3DXMATRIX* scratch) override;
    /// Surface channels among the children.
    int GetSurfaceCount() override;

    /// Colour of the light that passes through this object: (0, 0, 0) blocks all light.
    void SetShadowTint(float red, float green, float blue);
    /// out receives red, green, blue.
    void GetShadowTint(float out[3]) const;
    /// How much of the tinted shadow the object casts: 1 a full shadow, 0 none. Stored unchecked.
    void SetShadowOpacity(float opacity) { shadowOpacity_ = opacity; }
    float GetShadowOpacity() const { return shadowOpacity_; }

private:
    float shadowTint_[3] = {0.0f, 0.0f, 0.0f};
    float shadowOpacity_ = 1.0f;
};
