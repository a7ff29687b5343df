// Saving and loading a body channel: its items and four settings as tagged chunks after the matrix base's.
#include "body/Tvc_ODE_BodyCollision.h"

#include "body/BodyConstants.h"
#include "body/ItemRecord.h"
#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

void SaveChunk(TavFileSaver& saver, const char* tag, const std::vector<uint8_t>& payload)
{
    saver.SaveTag(tag);
    saver.SaveBlockSize(static_cast<int>(payload.size()));
    saver.SaveDataToFile(payload.data(), static_cast<int>(payload.size()));
}

void SaveFlag(TavFileSaver& saver, const char* tag, bool value)
{
    vex::ByteWriter w;
    w.Bool(value);
    SaveChunk(saver, tag, w.Data());
}

} // namespace

bool Tvc_ODE_BodyCollision::SaveChannel(TavFileSaver& saver)
{
    if (!Tvc_MatrixChannel::SaveChannel(saver))
        return false;

    const int count = GetGeometryCount();
    vex::ByteWriter countBytes;
    countBytes.I32(count);
    SaveChunk(saver, "BDIC", countBytes.Data());
    for (int i = 0; i < count; ++i) {
        const ODE_GeometryItem* item = GetGeometryItem(i);
        if (!item) {
            // An empty entry: the tag with an empty payload (the chunk reader needs every chunk's size).
            saver.SaveTag("BDEG");
            saver.SaveBlockSize(0);
            continue;
        }
        // Handles are never saved: the record carries zeros where they stand.
        SaveChunk(saver, "BDI2", vex::body::EncodeItemRecord(*item));
    }

    vex::ByteWriter damping;
    damping.F32(angularDampenValue);
    SaveChunk(saver, "BDAV", damping.Data());
    SaveFlag(saver, "BDDF", disableForces);
    SaveFlag(saver, "BDDD", dynamicDisableForces);
    SaveFlag(saver, "BDUD", useDynamics);
    return true;
}

namespace {

// Reads a record chunk of the expected size; another size is read as far as the record goes, with a
// message, since the rest of the record keeps its default.
std::vector<uint8_t> ReadRecordChunk(TavFileLoader& loader, Tav_HostContext* host, const char* tag, int expected)
{
    const int size = loader.GetTagDataSize();
    if (size != expected && host)
        host->ShowDebugMessage((std::string("ODE Body load: item chunk ") + tag + " has an unexpected size, bytes:").c_str(),
                               size);
    std::vector<uint8_t> bytes(static_cast<size_t>(expected), 0);
    const int copied = loader.CopyTagDataToPointer(bytes.data(), expected);
    bytes.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return bytes;
}

// The tag of the first unread item chunk ("BDIG", "BDI2" or "BDEG") in file order, or null when none is
// left. Asking the loader for each tag in turn would take a later chunk of one kind before an earlier one
// of another, and an empty entry would move the items behind it to other indices.
const char* NextItemTag(const TavFileLoader& loader)
{
    for (const TavFileLoader::ChunkInfo& chunk : loader.GetChunks()) {
        if (chunk.read)
            continue;
        for (const char* tag : {"BDIG", "BDI2", "BDEG"})
            if (std::memcmp(chunk.tag, tag, 4) == 0)
                return tag;
    }
    return nullptr;
}

// A flag chunk of at least one byte; false (value untouched) when absent or empty.
bool ReadFlag(TavFileLoader& loader, const char* tag, bool& value)
{
    if (!loader.GetInfoIfTag(tag))
        return false;
    uint8_t byte = 0;
    if (loader.CopyTagDataToPointer(&byte, 1) != 1)
        return false;
    value = byte != 0;
    return true;
}

} // namespace

bool Tvc_ODE_BodyCollision::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tvc_MatrixChannel::LoadChannel(loader, group))
        return false;

    if (loader.GetInfoIfTag("BDIC")) {
        uint8_t countBytes[4] = {};
        int32_t count = 0;
        if (loader.CopyTagDataToPointer(countBytes, 4) == 4) {
            vex::ByteReader(countBytes, 4).I32(count);
        } else if (host_) {
            host_->ShowDebugMessage("ODE Body load: item count chunk BDIC too short, bytes:", loader.GetTagDataSize());
        }
        if (count < 0 && host_)
            host_->ShowDebugMessage("ODE Body load: negative item count ignored:", count);
        // The count comes from the file: stop as soon as no item chunk is left rather than trust it.
        for (int32_t i = 0; i < count; ++i) {
            const char* tag = NextItemTag(loader);
            if (!tag || !loader.GetInfoIfTag(tag))
                break;
            if (std::strcmp(tag, "BDIG") == 0) {
                const std::vector<uint8_t> bytes =
                    ReadRecordChunk(loader, host_, "BDIG", vex::body::kOldItemRecordSize);
                ODE_OLD2GeometryItem old;
                vex::body::DecodeOldItemRecord(bytes.data(), bytes.size(), old);
                SetGeometryItem(vex::body::ConvertOldItem(old), i);
            } else if (std::strcmp(tag, "BDI2") == 0) {
                const std::vector<uint8_t> bytes = ReadRecordChunk(loader, host_, "BDI2", vex::body::kItemRecordSize);
                ODE_GeometryItem item;
                vex::body::DecodeItemRecord(bytes.data(), bytes.size(), item);
                SetGeometryItem(item, i);
            }
            // "BDEG": an empty entry leaves index i as it is.
        }
    }

    if (loader.GetInfoIfTag("BDAV")) {
        uint8_t bytes[4] = {};
        if (loader.CopyTagDataToPointer(bytes, 4) == 4)
            vex::ByteReader(bytes, 4).F32(angularDampenValue);
        else if (host_)
            host_->ShowDebugMessage("ODE Body load: damping chunk BDAV too short, bytes:", loader.GetTagDataSize());
    }
    ReadFlag(loader, "BDDF", disableForces);
    ReadFlag(loader, "BDDD", dynamicDisableForces);
    ReadFlag(loader, "BDUD", useDynamics);
    return true;
}
