#pragma once
// The two C entry points every channel library exports, and the static type record behind GetType.
//
// A library writes, in one of its sources:
//     VEX_CHANNEL_PLUGIN(Tvc_ODE_BodyCollision, "ODE Body", "7D21A5E0-...", "5B90E3C1-...")
// which defines the record and `extern "C"` GetType / InitDLL for that class.

#include "common/ChannelType.h"

#include <cstring>
#include <new>

class Tav_Channel;

namespace vex {

/// The record in its initial state at load time: GUIDs and name zero, numbers 1, 51, 1, 0, flag false.
inline constexpr ChannelType kInitialChannelType = {{}, {}, {}, 1, 51, 1, 0, false};

/// Fills the record as GetType must: name with its NUL, both GUIDs, third number 0. Bytes behind the
/// name's NUL keep their zero from static storage.
inline ChannelType* FillChannelType(ChannelType& record, const char* name, const char* typeGuid, const char* baseGuid)
{
    std::strncpy(record.name, name, sizeof record.name - 1);
    record.typeGuid = GuidFromText(typeGuid);
    record.baseTypeGuid = GuidFromText(baseGuid);
    record.number3 = 0;
    return &record;
}

/// Allocates with the shared global operator new; null (and nothing constructed) when that fails.
template <class Channel> Tav_Channel* CreateChannelInstance()
{
    void* memory = ::operator new(sizeof(Channel), std::nothrow);
    if (!memory)
        return nullptr;
    try {
        return new (memory) Channel();
    } catch (...) {
        // Exceptions never cross the C entry point.
        ::operator delete(memory);
        return nullptr;
    }
}

} // namespace vex

#define VEX_CHANNEL_PLUGIN(ChannelClass, typeName, typeGuidText, baseGuidText)                 \
    namespace {                                                                                \
    ChannelType gChannelTypeRecord = vex::kInitialChannelType;                                 \
    }                                                                                          \
    extern "C" __attribute__((visibility("default"))) ChannelType* GetType()                   \
    {                                                                                          \
        return vex::FillChannelType(gChannelTypeRecord, typeName, typeGuidText, baseGuidText); \
    }                                                                                          \
    extern "C" __attribute__((visibility("default"))) Tav_Channel* InitDLL()                   \
    {                                                                                          \
        return vex::CreateChannelInstance<ChannelClass>();                                     \
    }                                                                                          \
    extern "C" __attribute__((visibility("default"))) const ChannelType* VexPeekChannelType()  \
    {                                                                                          \
        return &gChannelTypeRecord;                                                            \
    }
