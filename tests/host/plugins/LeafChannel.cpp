#include "tests/host/plugins/TestChannels.h"

#include "common/PluginEntry.h"

namespace {
class LeafChannel final : public Tav_Channel {
public:
    LeafChannel() { SetChannelName("Test Leaf"); }
};
} // namespace

VEX_CHANNEL_PLUGIN(LeafChannel, "Test Leaf", vextest::kLeafGuid, vextest::kLeafBaseGuid)
