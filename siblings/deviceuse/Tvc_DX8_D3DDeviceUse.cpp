#include "host/siblings/Tvc_DX8_D3DDeviceUse.h"

#include "common/PluginEntry.h"
#include "host/siblings/Tav_DeviceInterface.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/deviceuse/DeviceUseRegistry.h"

#include <algorithm>
#include <vector>

namespace {

// Live device users of this process. Everything runs on the host's thread, so no lock. Never destroyed:
// a channel that outlives static destruction (one held by a static host) must still find it.
std::vector<Tvc_DX8_D3DDeviceUse*>& LiveUsers()
{
    static auto* users = new std::vector<Tvc_DX8_D3DDeviceUse*>();
    return *users;
}

void Register(Tvc_DX8_D3DDeviceUse* user) { LiveUsers().push_back(user); }

void Unregister(Tvc_DX8_D3DDeviceUse* user)
{
    auto& users = LiveUsers();
    users.erase(std::remove(users.begin(), users.end(), user), users.end());
}

Tav_DeviceInterface* FindDeviceChannel(Tav_HostContext* host)
{
    if (!host)
        return nullptr;
    return dynamic_cast<Tav_DeviceInterface*>(host->GetChannelByGuid(vex::Guid(vex::guids::kDevice), 0));
}

} // namespace

namespace vex {

void ForgetDeviceChannel(Tav_DeviceInterface* deviceChannel)
{
    // Copy first: InvalidateDirectGraphics may run code that creates or destroys device users.
    const std::vector<Tvc_DX8_D3DDeviceUse*> users = LiveUsers();
    for (Tvc_DX8_D3DDeviceUse* user : users) {
        const auto& live = LiveUsers();
        if (std::find(live.begin(), live.end(), user) == live.end())
            continue;
        if (user->GetDeviceChannel() == deviceChannel)
            user->InvalidateDirectGraphics();
    }
}

} // namespace vex

Tvc_DX8_D3DDeviceUse::Tvc_DX8_D3DDeviceUse() : deviceChannel(FindDeviceChannel(host_))
{
    SetChannelName("DX8 D3DDeviceUse");
    Register(this);
}

Tvc_DX8_D3DDeviceUse::Tvc_DX8_D3DDeviceUse(const Tvc_DX8_D3DDeviceUse& other)
    : Tav_Channel(other), deviceChannel(other.deviceChannel)
{
    Register(this);
}

Tvc_DX8_D3DDeviceUse& Tvc_DX8_D3DDeviceUse::operator=(const Tvc_DX8_D3DDeviceUse& other)
{
    if (this != &other) {
        Tav_Channel::operator=(other);
        deviceChannel = other.deviceChannel;
    }
    return *this;
}

Tvc_DX8_D3DDeviceUse::~Tvc_DX8_D3DDeviceUse() { Unregister(this); }

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
