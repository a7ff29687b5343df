#pragma once
// A light ("DX8 Light"): a D3DLIGHT8 description and its type code (0 directional, 1 spot, 2 point),
// kept in step with the description's Type.

#include "host/siblings/Tav_LightInterface.h"
#include "host/siblings/Tav_LightSetupInterface.h"

class Tvc_DX8_Light : public Tav_LightInterface, public Tav_LightSetupInterface {
public:
    static constexpr int kDirectional = 0;
    static constexpr int kSpot = 1;
    static constexpr int kPoint = 2;

    /// A white point light at (0, 10, 0) with constant attenuation 1 and range 1000.
    Tvc_DX8_Light();
    Tvc_DX8_Light(const Tvc_DX8_Light& other) = default;
    Tvc_DX8_Light& operator=(const Tvc_DX8_Light& other) = default;
    ~Tvc_DX8_Light() override = default;

    /// Saves the description field by field ("LTLT", 104 bytes) and the type code ("LTTY").
    bool SaveChannel(TavFileSaver& saver) override;
    /// A chunk of the wrong size, an unknown type or a non-finite number is ignored (message shown).
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;

    D3DLIGHT8* GetLight(D3DLIGHT8* scratch) override;
    int GetLightType() override { return typeCode_; }

    /// Takes the description; the type code follows its Type. False (nothing changed) for an unknown Type
    /// or a number that is not finite, and, with a message, for a negative attenuation coefficient.
    bool SetLight(const D3DLIGHT8& light) override;
    /// Sets the type code and the description's Type; false (nothing changed) outside 0..2.
    bool SetLightType(int typeCode);

    static D3DLIGHTTYPE TypeForCode(int typeCode);
    /// -1 for a Type that is none of the three.
    static int CodeForType(D3DLIGHTTYPE type);

private:
    D3DLIGHT8 light_;
    int typeCode_ = kPoint;
};
