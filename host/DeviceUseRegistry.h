#pragma once
// Device users borrow the device channel by pointer; when that channel goes away it tells every user
// still holding it, so none keeps a dangling pointer. The list lives in the host library, which both the
// device and the device-use libraries link, so that neither links the other.

class Tav_DeviceInterface;
class Tvc_DX8_D3DDeviceUse;

namespace vex {

/// Called by every device-use channel's constructors and destructor.
void RegisterDeviceUser(Tvc_DX8_D3DDeviceUse* user);
void UnregisterDeviceUser(Tvc_DX8_D3DDeviceUse* user);

/// Called by a device channel's destructor: every device-use channel that holds it gets
/// InvalidateDirectGraphics (drops its device objects and forgets the channel).
void ForgetDeviceChannel(Tav_DeviceInterface* deviceChannel);

} // namespace vex
