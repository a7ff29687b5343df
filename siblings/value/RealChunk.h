#pragma once
// One float stored as its own chunk: shared by the value and the damping-factor channels.

#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"
#include "host/Tav_HostContext.h"

#include <cmath>
#include <string>

namespace vex {

inline void SaveRealChunk(TavFileSaver& saver, const char* tag, float value)
{
    ByteWriter writer;
    writer.F32(value);
    saver.SaveTag(tag);
    saver.SaveBlockSize(static_cast<int>(writer.Size()));
    saver.SaveDataToFile(writer.Data().data(), static_cast<int>(writer.Size()));
}

/// Reads the chunk into value when present. A chunk shorter than a float or holding NaN or infinity is
/// corrupt: value is kept, the user is told through the host and the load fails.
inline bool LoadRealChunk(TavFileLoader& loader, const char* tag, float& value, Tav_HostContext* host,
                          const char* operation)
{
    if (!loader.GetInfoIfTag(tag))
        return true;
    const int size = loader.GetTagDataSize();
    float loaded = 0.0f;
    ByteReader reader(loader.GetTagData(), size > 0 ? static_cast<size_t>(size) : 0);
    if (!reader.F32(loaded)) {
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
