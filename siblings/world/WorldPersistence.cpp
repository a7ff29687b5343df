// Saving and loading the world channel's settings.
#include "siblings/world/Tvc_ODE_World.h"

#include "host/ByteIO.h"
#include "host/TavFileLoader.h"
#include "host/TavFileSaver.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The payload of chunk `tag` when present and at least `bytes` long; a shorter one is reported.
bool ReadChunk(TavFileLoader& loader, Tav_HostContext* host, const char* tag, size_t bytes, std::vector<uint8_t>& out)
{
    if (!loader.GetInfoIfTag(tag))
        return false;
    out.assign(bytes, 0);
    if (loader.CopyTagDataToPointer(out.data(), static_cast<int>(bytes)) != static_cast<int>(bytes)) {
        if (host)
            host->ShowDebugMessage((std::string("ODE World load: chunk ") + tag + " too short, bytes:").c_str(),
                                   loader.GetTagDataSize());
        return false;
    }
    return true;
}

void Refused(Tav_HostContext* host, const char* tag)
{
    if (host)
        host->ShowDebugMessage(
            (std::string("ODE World load: value of chunk ") + tag + " out of range; kept the current one").c_str());
}

} // namespace

bool Tvc_ODE_World::SaveChannel(TavFileSaver& saver)
{
    if (!Tav_WorldInterface::SaveChannel(saver))
        return false;
    vex::ByteWriter step, iterations, gravity, factor, frozen, contacts;
    step.F32(stepSize_);
    iterations.I32(solverIterations_);
    gravity.F32(gravity_.x);
    gravity.F32(gravity_.y);
    gravity.F32(gravity_.z);
    factor.F32(worldFactor_);
    frozen.Bool(frozen_);
    contacts.I32(contactsPerPair_);
    saver.SaveChunk("WDST", step.Data());
    saver.SaveChunk("WDIT", iterations.Data());
    saver.SaveChunk("WDGR", gravity.Data());
    saver.SaveChunk("WDWF", factor.Data());
    saver.SaveChunk("WDFZ", frozen.Data());
    saver.SaveChunk("WDCP", contacts.Data());
    return true;
}

bool Tvc_ODE_World::LoadChannel(TavFileLoader& loader, Tav_ChannelGroup* group)
{
    if (!Tav_WorldInterface::LoadChannel(loader, group))
        return false;
    std::vector<uint8_t> bytes;
    if (ReadChunk(loader, host_, "WDST", 4, bytes)) {
        float v = 0;
        vex::ByteReader(bytes).F32(v);
        if (!SetStepSize(v))
            Refused(host_, "WDST");
    }
    if (ReadChunk(loader, host_, "WDIT", 4, bytes)) {
        int32_t v = 0;
        vex::ByteReader(bytes).I32(v);
        if (!SetSolverIterations(v))
            Refused(host_, "WDIT");
    }
    if (ReadChunk(loader, host_, "WDGR", 12, bytes)) {
        D3DXVECTOR3 g;
        vex::ByteReader r(bytes);
        r.F32(g.x);
        r.F32(g.y);
        r.F32(g.z);
        if (!SetGravity(g))
            Refused(host_, "WDGR");
    }
    if (ReadChunk(loader, host_, "WDWF", 4, bytes)) {
        float v = 0;
        vex::ByteReader(bytes).F32(v);
        if (!SetWorldFactor(v))
            Refused(host_, "WDWF");
    }
    if (ReadChunk(loader, host_, "WDFZ", 1, bytes))
        frozen_ = bytes[0] != 0;
    if (ReadChunk(loader, host_, "WDCP", 4, bytes)) {
        int32_t v = 0;
        vex::ByteReader(bytes).I32(v);
        if (!SetContactsPerPair(v))
            Refused(host_, "WDCP");
    }
    return true;
}
