#include "siblings/input/Tvc_Input.h"

#include "common/PluginEntry.h"
#include "host/siblings/TypeGuids.h"

#include <cstring>

Tvc_Input::Tvc_Input() { SetChannelName("Input"); }

Tvc_Input::Tvc_Input(const Tvc_Input& other) : Tav_InputInterface(other), stopRequested_(other.GetStopRequested())
{
    std::memcpy(state_, other.state_, sizeof state_);
}

Tvc_Input& Tvc_Input::operator=(const Tvc_Input& other)
{
    if (this != &other) {
        Tav_InputInterface::operator=(other);
        SetStopRequested(other.GetStopRequested());
        std::memcpy(state_, other.state_, sizeof state_);
    }
    return *this;
}

unsigned char* Tvc_Input::GetInputState()
{
    if (GetStopRequested())
        state_[kStopByte] |= kStopBit;
    else
        state_[kStopByte] &= static_cast<unsigned char>(~kStopBit);
    return state_;
}

VEX_CHANNEL_PLUGIN(Tvc_Input, "Input", vex::guids::kInput, vex::guids::kInput)
