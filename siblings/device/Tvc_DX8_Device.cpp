#include "siblings/device/Tvc_DX8_Device.h"

#include "common/PluginEntry.h"
#include "host/DeviceUseRegistry.h"
#include "host/siblings/TypeGuids.h"

Tvc_DX8_Device::Tvc_DX8_Device() : device_(vex::CreateSoftwareDevice()) { SetChannelName("DX8 Device"); }

Tvc_DX8_Device::Tvc_DX8_Device(const Tvc_DX8_Device& other) : Tav_DeviceInterface(other), device_(other.device_)
{
    if (device_)
        device_->AddRef();
}

Tvc_DX8_Device& Tvc_DX8_Device::operator=(const Tvc_DX8_Device& other)
{
    if (this != &other) {
        Tav_DeviceInterface::operator=(other);
        if (other.device_)
            other.device_->AddRef();
        if (device_)
            device_->Release();
        device_ = other.device_;
    }
    return *this;
}

Tvc_DX8_Device::~Tvc_DX8_Device()
{
    // Users first: their textures may still be bound to stages of the device.
    vex::ForgetDeviceChannel(this);
    if (device_)
        device_->Release();
}

IDirect3DDevice8* Tvc_DX8_Device::GetDevice() { return device_; }

VEX_CHANNEL_PLUGIN(Tvc_DX8_Device, "DX8 Device", vex::guids::kDevice, vex::guids::kDevice)
