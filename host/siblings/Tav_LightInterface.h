#pragma once
// A light ("DX8 Light").

#include "host/Tav_Channel.h"
#include "platform/D3D8.h"

class Tav_LightInterface : public Tav_Channel {
public:
    // Slots after the twelve Tav_Channel ones, in this order.
    /// Pointer to the light's description (may be scratch); copy it at once.
    virtual D3DLIGHT8* GetLight(D3DLIGHT8* scratch) = 0;
    /// 0 directional, 1 spot, 2 point.
    virtual int GetLightType() = 0;
};
