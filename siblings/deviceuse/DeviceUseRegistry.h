#pragma once
// Device users borrow the device channel by pointer; when that channel goes away it tells every user
// still holding it, so none keeps a dangling pointer.

class Tav_DeviceInterface;

namespace vex {

/// Called by a device channel's destructor: every device-use channel that holds it gets
/// InvalidateDirectGraphics (drops its device objects and forgets the channel).
void ForgetDeviceChannel(Tav_DeviceInterface* deviceChannel);

} // namespace vex
