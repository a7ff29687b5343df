#include "host/DeviceUseRegistry.h"

#include <algorithm>
#include <vector>

namespace vex {

namespace {

struct DeviceUser {
    void* user;
    DeviceUserCalls calls;
};

// Live device users of this process. Everything runs on the host's thread, so no lock. Never destroyed:
// a channel that outlives static destruction (one held by a static host) must still find it.
std::vector<DeviceUser>& LiveUsers()
{
    static auto* users = new std::vector<DeviceUser>();
    return *users;
}

bool IsLive(const void* user)
{
    const auto& live = LiveUsers();
    return std::any_of(live.begin(), live.end(), [user](const DeviceUser& u) { return u.user == user; });
}

} // namespace

void RegisterDeviceUser(void* user, DeviceUserCalls calls) { LiveUsers().push_back({user, calls}); }

void UnregisterDeviceUser(void* user)
{
    auto& users = LiveUsers();
    users.erase(std::remove_if(users.begin(), users.end(), [user](const DeviceUser& u) { return u.user == user; }),
                users.end());
}

void ForgetDeviceChannel(Tav_DeviceInterface* deviceChannel)
{
    // Copy first: forgetting may run code that creates or destroys device users.
    const std::vector<DeviceUser> users = LiveUsers();
    for (const DeviceUser& u : users)
        if (IsLive(u.user) && u.calls.heldDevice(u.user) == deviceChannel)
            u.calls.forgetDevice(u.user);
}

} // namespace vex
