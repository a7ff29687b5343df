#include "host/DeviceUseRegistry.h"

#include "host/siblings/Tvc_DX8_D3DDeviceUse.h"

#include <algorithm>
#include <vector>

namespace vex {

namespace {

// Live device users of this process. Everything runs on the host's thread, so no lock. Never destroyed:
// a channel that outlives static destruction (one held by a static host) must still find it.
std::vector<Tvc_DX8_D3DDeviceUse*>& LiveUsers()
{
    static auto* users = new std::vector<Tvc_DX8_D3DDeviceUse*>();
    return *users;
}

} // namespace

void RegisterDeviceUser(Tvc_DX8_D3DDeviceUse* user) { LiveUsers().push_back(user); }

void UnregisterDeviceUser(Tvc_DX8_D3DDeviceUse* user)
{
    auto& users = LiveUsers();
    users.erase(std::remove(users.begin(), users.end(), user), users.end());
}

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
