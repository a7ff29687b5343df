#pragma once
// The user's input state: bit 7 (0x80) of byte 44 of the state block is set while the user asks to stop.

#include "host/Tav_Channel.h"

class Tav_InputInterface : public Tav_Channel {
public:
    static constexpr int kStateSize = 256;
    static constexpr int kStopByte = 44;
    static constexpr unsigned char kStopBit = 0x80;

    // Slots after the twelve Tav_Channel ones, in this order.
    /// The state block (kStateSize bytes), or null.
    virtual unsigned char* GetInputState() = 0;
};
