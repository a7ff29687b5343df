#pragma once
// The device channel: hands out the Direct3D device that textures are made on.

#include "host/Tav_Channel.h"
#include "platform/D3D8.h"

class Tav_DeviceInterface : public Tav_Channel {
public:
    // Slots after the twelve Tav_Channel ones, in this order.
    /// The device, or null while there is none. Not owned by the caller.
    virtual IDirect3DDevice8* GetDevice() = 0;
};
