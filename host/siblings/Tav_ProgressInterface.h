#pragma once
// A progress display, created per long computation and deleted at its end.

#include "host/Tav_Channel.h"

class Tav_ProgressInterface : public Tav_Channel {
public:
    // Slots after the twelve Tav_Channel ones, in this order.
    virtual void SetText(const char* text) = 0;
    virtual void Show() = 0;
    /// Fraction done, 0 to 1.
    virtual void SetProgress(float fraction) = 0;
};
