#pragma once
// Value channel ("Value") and damping-factor channel: one real number, read through the first slot after
// the twelve Tav_Channel ones.

#include "host/Tav_Channel.h"

class Tav_ValueInterface : public Tav_Channel {
public:
    /// The real getter (first slot after Tav_Channel's).
    virtual float GetReal() = 0;
    virtual void SetReal(float value) = 0;
};
