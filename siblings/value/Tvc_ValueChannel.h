#pragma once
// The value channel (type "Value"): one real number. A body channel reads it at its "Enable Body" link.

#include "host/siblings/Tav_ValueInterface.h"

class Tvc_ValueChannel : public Tav_ValueInterface {
public:
    Tvc_ValueChannel();

    /// Saves the value as chunk "VLVL" (one little-endian float).
    bool SaveChannel(TavFileSaver& saver) override;
    /// A missing chunk keeps the current value; a short or non-finite one is refused with a message.
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;

    float GetReal() override { return value_; }
    void SetReal(float value) override { value_ = value; }

private:
    float value_ = 0.0f;
};
