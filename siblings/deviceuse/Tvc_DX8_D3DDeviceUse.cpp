#include "host/siblings/Tvc_DX8_D3DDeviceUse.h"

#include "common/PluginEntry.h"
#include "host/DeviceUseRegistry.h"
#include "host/siblings/Tav_DeviceInterface.h"
#include "host/siblings/TypeGuids.h"

namespace {

Tav_DeviceInterface* FindDeviceChannel(Tav_HostContext* host)
{
    if (!host)
        return nullptr;
    return dynamic_cast<Tav_DeviceInterface*>(host->GetChannelByGuid(vex::Guid(vex::guids::kDevice), 0));
}

// The registry's view of a user: the host library calls these, so it needs nothing of this class.
constexpr vex::DeviceUserCalls kRegistryCalls = {
    [](const void* user) { return static_cast<const Tvc_DX8_D3DDeviceUse*>(user)->GetDeviceChannel(); },
    [](void* user) { static_cast<Tvc_DX8_D3DDeviceUse*>(user)->InvalidateDirectGraphics(); },
};

} // namespace

Tvc_DX8_D3DDeviceUse::Tvc_DX8_D3DDeviceUse() : deviceChannel(FindDeviceChannel(host_))
{
    SetChannelName("DX8 D3DDeviceUse");
    vex::RegisterDeviceUser(this, kRegistryCalls);
}

Tvc_DX8_D3DDeviceUse::Tvc_DX8_D3DDeviceUse(const Tvc_DX8_D3DDeviceUse& other)
    : Tav_Channel(other), deviceChannel(other.deviceChannel)
{
    vex::RegisterDeviceUser(this, kRegistryCalls);
}

Tvc_DX8_D3DDeviceUse& Tvc_DX8_D3DDeviceUse::operator=(const Tvc_DX8_D3DDeviceUse& other)
{
    if (this != &other) {
        Tav_Channel::operator=(other);
        deviceChannel = other.deviceChannel;
    }
    return *this;
}

Tvc_DX8_D3DDeviceUse::~Tvc_DX8_D3DDeviceUse() { vex::UnregisterDeviceUser(this); }

void Tvc_DX8_D3DDeviceUse::DoDependencyInit(Tav_List* list)
{
    AddChannelGuidDepend(vex::Guid(vex::guids::kDevice), list);
}

void Tvc_DX8_D3DDeviceUse::InvalidateDeviceObjects() {}

void Tvc_DX8_D3DDeviceUse::InvalidateDirectGraphics()
{
    InvalidateDeviceObjects();
    deviceChannel = nullptr;
}

IDirect3DDevice8* Tvc_DX8_D3DDeviceUse::GetDevice()
{
    if (!deviceChannel)
        deviceChannel = FindDeviceChannel(host_);
    return deviceChannel ? deviceChannel->GetDevice() : nullptr;
}

VEX_CHANNEL_PLUGIN(Tvc_DX8_D3DDeviceUse, "DX8 D3DDeviceUse", vex::guids::kDeviceUse, vex::guids::kDeviceUse)
