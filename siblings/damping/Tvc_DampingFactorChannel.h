#pragma once
// The damping-factor channel (type "Damping Factor"): the per-frame factor k of a body's angular damping.
// Its type derives from the value type, so it may also stand where a value is expected.
//
// A body with damping setting d turns its angular velocity w into w + k * (d * w - w) each frame. The
// default k = 1 makes that exactly d * w: the body's own setting is applied as given. k = 0 switches the
// damping off without touching the body's setting; values between blend the two.

#include "host/siblings/Tav_ValueInterface.h"

class Tvc_DampingFactorChannel : public Tav_ValueInterface {
public:
    /// The factor a new channel starts with (see above).
    static constexpr float kDefaultFactor = 1.0f;

    Tvc_DampingFactorChannel();

    /// Saves k as chunk "DFKV" (one little-endian float).
    bool SaveChannel(TavFileSaver& saver) override;
    /// A missing chunk keeps the current k; a short or non-finite one is refused with a message.
    bool LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group) override;

    float GetReal() override { return factor_; }
    void SetReal(float value) override { factor_ = value; }

private:
    float factor_ = kDefaultFactor;
};
