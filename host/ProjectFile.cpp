#include "host/ProjectFile.h"

#include "host/ByteIO.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vex {

namespace {
constexpr char kMagic[4] = {'V', 'X', 'P', 'J'};
}

std::vector<uint8_t> EncodeProject(const ProjectData& project)
{
    ByteWriter w;
    w.Bytes(kMagic, 4);
    w.U32(kProjectVersion);
    w.U32(static_cast<uint32_t>(project.channels.size()));
    for (const ProjectChannelRecord& c : project.channels) {
        uint8_t guid[16];
        GuidToBytes(c.type, guid);
        w.Bytes(guid, 16);
        w.String(c.name);
        w.U32(static_cast<uint32_t>(c.section.size()));
        w.Bytes(c.section.data(), c.section.size());
    }
    w.U32(static_cast<uint32_t>(project.links.size()));
    for (const ProjectLinkRecord& l : project.links) {
        w.U32(l.parent);
        w.I32(l.position);
        w.U32(l.child);
    }
    return w.Take();
}

bool DecodeProject(const std::vector<uint8_t>& bytes, ProjectData& project, std::string* error)
{
    auto fail = [&](const std::string& what, size_t at) {
        if (error)
            *error = what + " (at byte " + std::to_string(at) + ")";
        return false;
    };
    ByteReader r(bytes);
    char magic[4];
    if (!r.Bytes(magic, 4) || std::memcmp(magic, kMagic, 4) != 0)
        return fail("not a project file: missing \"VXPJ\" header", 0);
    uint32_t version = 0;
    if (!r.U32(version))
        return fail("file cut short in the header", r.Offset());
    if (version != kProjectVersion)
        return fail("unsupported project version " + std::to_string(version), 4);
    uint32_t count = 0;
    if (!r.U32(count))
        return fail("file cut short in the header", r.Offset());
    // Every channel takes at least 24 bytes (GUID, name length, section length), so a count beyond that is
    // corrupt; checked before allocating.
    if (count > r.Left() / 24)
        return fail("channel count " + std::to_string(count) + " exceeds the file's size", 8);
    ProjectData data;
    data.channels.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        ProjectChannelRecord& c = data.channels[i];
        uint8_t guid[16];
        if (!r.Bytes(guid, 16))
            return fail("channel " + std::to_string(i) + ": type cut short", r.Offset());
        c.type = GuidFromBytes(guid);
        if (!r.String(c.name, kMaxChannelNameBytes))
            return fail("channel " + std::to_string(i) + ": name length past the end of the file", r.Offset());
        uint32_t size = 0;
        if (!r.U32(size) || size > r.Left())
            return fail("channel '" + c.name + "': section length past the end of the file", r.Offset());
        c.section.resize(size);
        r.Bytes(c.section.data(), size);
    }
    uint32_t links = 0;
    if (!r.U32(links))
        return fail("link table missing", r.Offset());
    if (links > r.Left() / 12)
        return fail("link count " + std::to_string(links) + " exceeds the file's size", r.Offset());
    data.links.resize(links);
    for (uint32_t i = 0; i < links; ++i) {
        ProjectLinkRecord& l = data.links[i];
        r.U32(l.parent);
        r.I32(l.position);
        r.U32(l.child);
        if (l.parent >= count || l.child >= count)
            return fail("link " + std::to_string(i) + " names channel " +
                            std::to_string(l.parent >= count ? l.parent : l.child) + " of " + std::to_string(count),
                        r.Offset());
    }
    if (r.Left() != 0)
        return fail(std::to_string(r.Left()) + " unexpected bytes after the link table", r.Offset());
    project = std::move(data);
    return true;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string* error, size_t maxBytes)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (error)
            *error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> data;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (data.size() + n > maxBytes) {
            std::fclose(f);
            if (error)
                *error = "'" + path + "' is larger than " + std::to_string(maxBytes) + " bytes";
            return false;
        }
        data.insert(data.end(), buf, buf + n);
    }
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) {
        if (error)
            *error = "cannot read '" + path + "'";
        return false;
    }
    bytes = std::move(data);
    return true;
}

} // namespace vex
