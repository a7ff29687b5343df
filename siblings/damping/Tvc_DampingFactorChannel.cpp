#include "siblings/damping/Tvc_DampingFactorChannel.h"

#include "common/PluginEntry.h"
#include "host/TavFileSaver.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/value/RealChunk.h"

namespace {
constexpr const char* kFactorTag = "DFKV";
}

Tvc_DampingFactorChannel::Tvc_DampingFactorChannel() { SetChannelName("Damping Factor"); }

bool Tvc_DampingFactorChannel::SaveChannel(TavFileSaver& saver)
{
    if (!Tav_Channel::SaveChannel(saver))
        return false;
    saver.SaveF32(kFactorTag, factor_);
    return true;
}

bool Tvc_DampingFactorChannel::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tav_Channel::LoadChannel(loader, group))
        return false;
    return vex::LoadRealChunk(loader, kFactorTag, factor_, host_, "Damping factor load");
}

VEX_CHANNEL_PLUGIN(Tvc_DampingFactorChannel, "Damping Factor", vex::guids::kDampingFactor, vex::guids::kValue)
