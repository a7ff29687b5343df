// A value channel whose value is 1 on even host frames and 0 on odd ones: a switch for an "Enable Body" link.
#include "common/PluginEntry.h"
#include "host/siblings/Tav_ValueInterface.h"
#include "host/siblings/TypeGuids.h"

class PulseChannel : public Tav_ValueInterface {
public:
    PulseChannel() { SetChannelName("Pulse"); }
    float GetReal() override { return host_ && host_->GetFrameCount() % 2 == 0 ? 1.0f : 0.0f; }
    void SetReal(float) override {}
};

VEX_CHANNEL_PLUGIN(PulseChannel, "Pulse", "0F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9", vex::guids::kValue)
