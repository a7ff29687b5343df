// Saving and loading a body channel: its items and four settings as tagged chunks after the matrix base's.
#include "body/Tvc_ODE_BodyCollision.h"

#include "body/BodyConstants.h"
#include "body/ItemRecord.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

bool Tvc_ODE_BodyCollision::SaveChannel(TavFileSaver& saver)
{
    if (!Tvc_MatrixChannel::SaveChannel(saver))
        return false;

    const int count = GetGeometryCount();
    saver.SaveI32("BDIC", count);
    for (int i = 0; i < count; ++i) {
        const ODE_GeometryItem* item = GetGeometryItem(i);
        if (!item) {
            // An empty entry: the tag with an empty payload.
            saver.SaveChunk("BDEG", {});
            continue;
        }
        // Handles are never saved: the record carries zeros where they stand.
        saver.SaveChunk("BDI2", vex::body::EncodeItemRecord(*item));
    }

    saver.SaveF32("BDAV", angularDampenValue);
    saver.SaveBool("BDDF", disableForces);
    saver.SaveBool("BDDD", dynamicDisableForces);
    saver.SaveBool("BDUD", useDynamics);
    return true;
}

namespace {

// Reads a record chunk of the expected size; another size is read as far as the record goes, with a
// message, since the rest of the record keeps its default.
std::vector<uint8_t> ReadRecordChunk(TavFileLoader& loader, Tav_HostContext* host, const char* tag, int expected)
{
    const int size = loader.GetTagDataSize();
    if (size != expected && host)
        host->ShowDebugMessage(
            (std::string("ODE Body load: item chunk ") + tag + " has an unexpected size, bytes:").c_str(), size);
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

} // namespace

bool Tvc_ODE_BodyCollision::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tvc_MatrixChannel::LoadChannel(loader, group))
        return false;

    if (loader.GetInfoIfTag("BDIC")) {
        int32_t count = 0;
        if (!loader.TagReader().I32(count) && host_)
            host_->ShowDebugMessage("ODE Body load: item count chunk BDIC too short, bytes:", loader.GetTagDataSize());
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

    if (loader.GetInfoIfTag("BDAV") && !loader.TagReader().F32(angularDampenValue) && host_)
        host_->ShowDebugMessage("ODE Body load: damping chunk BDAV too short, bytes:", loader.GetTagDataSize());
    loader.LoadBool("BDDF", disableForces);
    loader.LoadBool("BDDD", dynamicDisableForces);
    loader.LoadBool("BDUD", useDynamics);
    return true;
}
