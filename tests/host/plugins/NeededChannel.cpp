#include "tests/host/plugins/TestChannels.h"

#include "common/PluginEntry.h"

namespace {
class NeededChannel final : public Tav_Channel {
public:
    NeededChannel() { SetChannelName("Test Needed"); }
};
} // namespace

VEX_CHANNEL_PLUGIN(NeededChannel, "Test Needed", vextest::kNeededGuid, vextest::kNeededGuid)
