#pragma once
// Setting a light channel's description (reading it is Tav_LightInterface::GetLight). Implemented by the
// light channel beside Tav_LightInterface; found with dynamic_cast.

#include "platform/D3D8.h"

class Tav_LightSetupInterface {
public:
    /// False (light unchanged) for a description the channel cannot use.
    virtual bool SetLight(const D3DLIGHT8& light) = 0;

protected:
    ~Tav_LightSetupInterface() = default;
};
