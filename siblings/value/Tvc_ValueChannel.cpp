#include "siblings/value/Tvc_ValueChannel.h"

#include "common/PluginEntry.h"
#include "host/TavFileSaver.h"
#include "host/siblings/TypeGuids.h"
#include "siblings/value/RealChunk.h"

namespace {
constexpr const char* kValueTag = "VLVL";
}

Tvc_ValueChannel::Tvc_ValueChannel() { SetChannelName("Value"); }

bool Tvc_ValueChannel::SaveChannel(TavFileSaver& saver)
{
    if (!Tav_Channel::SaveChannel(saver))
        return false;
    saver.SaveF32(kValueTag, value_);
    return true;
}

bool Tvc_ValueChannel::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tav_Channel::LoadChannel(loader, group))
        return false;
    return vex::LoadRealChunk(loader, kValueTag, value_, host_, "Value load");
}

VEX_CHANNEL_PLUGIN(Tvc_ValueChannel, "Value", vex::guids::kValue, vex::guids::kValue)
