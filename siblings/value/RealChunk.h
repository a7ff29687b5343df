#pragma once
// Loading one float stored as its own chunk (TavFileSaver::SaveF32), refusing a value that is not finite:
// shared by the value and the damping-factor channels.

#include "host/TavFileLoader.h"
#include "host/Tav_HostContext.h"

#include <cmath>
#include <string>

namespace vex {

/// Reads the chunk into value when present. A chunk shorter than a float or holding NaN or infinity is
/// corrupt: value is kept, the user is told through the host and the load fails.
inline bool LoadRealChunk(TavFileLoader& loader, const char* tag, float& value, Tav_HostContext* host,
                          const char* operation)
{
    if (!loader.GetInfoIfTag(tag))
        return true;
    const int size = loader.GetTagDataSize();
    float loaded = 0.0f;
    if (!loader.TagReader().F32(loaded)) {
        if (host)
            host->ShowDebugMessage((std::string(operation) + ": chunk " + tag + " too short, bytes:").c_str(), size);
        return false;
    }
    if (!std::isfinite(loaded)) {
        if (host)
            host->ShowDebugMessage((std::string(operation) + ": chunk " + tag + " holds no finite number").c_str());
        return false;
    }
    value = loaded;
    return true;
}

} // namespace vex
