// One source, several broken libraries: BROKEN_KIND picks which entry point is missing or wrong.
#include "tests/host/plugins/TestChannels.h"

#include "common/PluginEntry.h"

namespace {
class PlainChannel final : public Tav_Channel {};
ChannelType gRecord = vex::kInitialChannelType;
} // namespace

#define VEX_EXPORT extern "C" __attribute__((visibility("default")))

#if BROKEN_KIND == 1 // no GetType
VEX_EXPORT Tav_Channel* InitDLL() { return vex::CreateChannelInstance<PlainChannel>(); }
#elif BROKEN_KIND == 2 // no InitDLL
VEX_EXPORT ChannelType* GetType()
{
    return vex::FillChannelType(gRecord, "No InitDLL", vextest::kNoInitDllGuid, vextest::kNoInitDllGuid);
}
#elif BROKEN_KIND == 3 // InitDLL creates nothing
VEX_EXPORT ChannelType* GetType()
{
    return vex::FillChannelType(gRecord, "Null InitDLL", vextest::kNullInitDllGuid, vextest::kNullInitDllGuid);
}
VEX_EXPORT Tav_Channel* InitDLL() { return nullptr; }
#elif BROKEN_KIND == 4 // the record names the leaf type, not the file's
VEX_EXPORT ChannelType* GetType()
{
    return vex::FillChannelType(gRecord, "Wrong Record", vextest::kLeafGuid, vextest::kLeafGuid);
}
VEX_EXPORT Tav_Channel* InitDLL() { return vex::CreateChannelInstance<PlainChannel>(); }
#else
#error "BROKEN_KIND must be 1 to 4"
#endif
