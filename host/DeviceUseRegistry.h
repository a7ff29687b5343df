#pragma once
// Device users borrow the device channel by pointer; when that channel goes away it tells every user
// still holding it, so none keeps a dangling pointer. The list lives in the host library, which both the
// device and the device-use libraries link, so that neither links the other. It holds each user with two
// functions of the device-use library, so the host needs nothing of that library's class.

class Tav_DeviceInterface;

namespace vex {

/// How the registry asks a user which device channel it holds, and tells it to forget that channel.
struct DeviceUserCalls {
    Tav_DeviceInterface* (*heldDevice)(const void* user);
    void (*forgetDevice)(void* user);
};

/// Called by every device-use channel's constructors and destructor.
void RegisterDeviceUser(void* user, DeviceUserCalls calls);
void UnregisterDeviceUser(void* user);

/// Called by a device channel's destructor: every device-use channel that holds it forgets it (drops its
/// device objects and the channel).
void ForgetDeviceChannel(Tav_DeviceInterface* deviceChannel);

} // namespace vex
