#pragma once
// The device channel ("DX8 Device"): owns the one software Direct3D device that textures are made on.

#include "host/siblings/Tav_DeviceInterface.h"

class Tvc_DX8_Device : public Tav_DeviceInterface {
public:
    /// Creates the device.
    Tvc_DX8_Device();
    /// A copy holds another reference to the same device.
    Tvc_DX8_Device(const Tvc_DX8_Device& other);
    Tvc_DX8_Device& operator=(const Tvc_DX8_Device& other);
    /// Tells the device users holding this channel to drop it, then releases the device.
    ~Tvc_DX8_Device() override;

    IDirect3DDevice8* GetDevice() override;

private:
    IDirect3DDevice8* device_ = nullptr;
};
