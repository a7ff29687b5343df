#pragma once
// Base of channels that use the Direct3D device. Implemented in the device-use channel library.

#include "host/Tav_Channel.h"
#include "platform/D3D8.h"

class Tav_DeviceInterface;

class Tvc_DX8_D3DDeviceUse : public Tav_Channel {
public:
    Tvc_DX8_D3DDeviceUse();
    Tvc_DX8_D3DDeviceUse(const Tvc_DX8_D3DDeviceUse& other);
    Tvc_DX8_D3DDeviceUse& operator=(const Tvc_DX8_D3DDeviceUse& other);
    ~Tvc_DX8_D3DDeviceUse() override;

    /// Needs a device channel in the graph.
    void DoDependencyInit(Tav_List* list) override;

    // Slots after the twelve Tav_Channel ones, in this order.
    /// Drops objects that live on the device (overridden by textures).
    virtual void InvalidateDeviceObjects();
    /// The device is going away: drop device objects and forget the device channel.
    virtual void InvalidateDirectGraphics();

    /// The device of the device channel (found through the host on first use), or null.
    IDirect3DDevice8* GetDevice();
    /// The device channel this user holds (null until found or after InvalidateDirectGraphics).
    Tav_DeviceInterface* GetDeviceChannel() const { return deviceChannel; }

protected:
    /// The device channel; null until found.
    Tav_DeviceInterface* deviceChannel;
};
