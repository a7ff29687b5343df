#include "host/ProjectFile.h"

#include "host/ByteIO.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vex {

namespace {

constexpr char kMagic[4] = {'V', 'X', 'P', 'J'};

/// One checksummed block of the file: [offset, offset + length).
struct Block {
    uint32_t offset;
    uint32_t length;
    uint32_t crc;
};

uint32_t Crc(const uint8_t* data, size_t size)
{
    return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), data, static_cast<uInt>(size)));
}

std::string Range(size_t begin, size_t end)
{
    return "bytes " + std::to_string(begin) + " to " + std::to_string(end - 1);
}

bool Fail(std::string* error, const std::string& what, size_t at)
{
    if (error)
        *error = what + " (at byte " + std::to_string(at) + ")";
    return false;
}

/// Checks the checksum table at the end of a file of the current layout against every block it lists;
/// the blocks must cover the bytes before the table without gap. Returns where the table starts, or 0.
size_t CheckChecksums(const std::vector<uint8_t>& bytes, std::string* error)
{
    auto fail = [&](const std::string& what) {
        if (error)
            *error = what;
        return size_t(0);
    };
    const size_t size = bytes.size();
    if (size < 12 + 12)
        return fail("file cut short: no room for its checksum table (" + Range(0, size) + ")");
    ByteReader tail(bytes.data() + size - 8, 8);
    uint32_t tableAt = 0, tableCrc = 0;
    tail.U32(tableAt);
    tail.U32(tableCrc);
    if (tableAt < 12 || tableAt > size - 12 || (size - 8 - tableAt - 4) % 12 != 0)
        return fail("checksum table position " + std::to_string(tableAt) + " is corrupt (" + Range(size - 8, size - 4) +
                    ")");
    if (Crc(bytes.data() + tableAt, size - 4 - tableAt) != tableCrc)
        return fail("checksum mismatch in " + Range(tableAt, size) + " (the checksum table)");
    ByteReader table(bytes.data() + tableAt, size - 8 - tableAt);
    uint32_t count = 0;
    table.U32(count);
    if (count != table.Left() / 12)
        return fail("checksum table lists " + std::to_string(count) + " blocks but holds " +
                    std::to_string(table.Left() / 12) + " (" + Range(tableAt, size) + ")");
    size_t expected = 0;
    for (uint32_t i = 0; i < count; ++i) {
        Block b{};
        table.U32(b.offset);
        table.U32(b.length);
        table.U32(b.crc);
        if (b.offset != expected || b.length > tableAt - b.offset)
            return fail("checksum table entry " + std::to_string(i) + " is corrupt (" + Range(tableAt, size) + ")");
        if (Crc(bytes.data() + b.offset, b.length) != b.crc)
            return fail("checksum mismatch in " + Range(b.offset, b.offset + b.length) +
                        (i == 0           ? " (the header)"
                         : i + 1 == count ? " (the link table)"
                                          : " (channel record " + std::to_string(i - 1) + ")"));
        expected = b.offset + b.length;
    }
    if (expected != tableAt)
        return fail("checksum table does not cover " + Range(expected, tableAt));
    return tableAt;
}

} // namespace

std::vector<uint8_t> EncodeProject(const ProjectData& project)
{
    ByteWriter w;
    std::vector<uint32_t> starts; // where each checksummed block begins
    w.Bytes(kMagic, 4);
    w.U32(kProjectVersion);
    w.String(project.writer.substr(0, kMaxWriterBytes));
    w.U32(static_cast<uint32_t>(project.channels.size()));
    for (const ProjectChannelRecord& c : project.channels) {
        starts.push_back(static_cast<uint32_t>(w.Size()));
        uint8_t guid[16];
        GuidToBytes(c.type, guid);
        w.Bytes(guid, 16);
        w.String(c.name);
        w.U32(static_cast<uint32_t>(c.section.size()));
        w.Bytes(c.section.data(), c.section.size());
    }
    starts.push_back(static_cast<uint32_t>(w.Size()));
    w.U32(static_cast<uint32_t>(project.links.size()));
    for (const ProjectLinkRecord& l : project.links) {
        w.U32(l.parent);
        w.I32(l.position);
        w.U32(l.child);
    }
    const uint32_t tableAt = static_cast<uint32_t>(w.Size());
    starts.push_back(tableAt);
    std::vector<uint8_t> body = w.Take();
    ByteWriter table;
    table.U32(static_cast<uint32_t>(starts.size()));
    uint32_t begin = 0;
    for (const uint32_t end : starts) {
        table.U32(begin);
        table.U32(end - begin);
        table.U32(Crc(body.data() + begin, end - begin));
        begin = end;
    }
    table.U32(tableAt);
    std::vector<uint8_t> tail = table.Take();
    const uint32_t tableCrc = Crc(tail.data(), tail.size());
    body.insert(body.end(), tail.begin(), tail.end());
    ByteWriter crc;
    crc.U32(tableCrc);
    body.insert(body.end(), crc.Data().begin(), crc.Data().end());
    return body;
}

namespace {

/// Checks the magic and the version; for the current layout also the checksums. Returns where the
/// records end (the checksum table, or the end of a first-layout file), or 0 after failing.
size_t DecodeHeader(const std::vector<uint8_t>& bytes, uint32_t& version, std::string* error)
{
    ByteReader header(bytes);
    char magic[4];
    if (!header.Bytes(magic, 4) || std::memcmp(magic, kMagic, 4) != 0)
        return Fail(error, "not a project file: missing \"VXPJ\" header", 0);
    if (!header.U32(version))
        return Fail(error, "file cut short in the header", header.Offset());
    if (version != kProjectVersion && version != kFirstProjectVersion)
        return Fail(error, "unsupported project version " + std::to_string(version), 4);
    // The first layout has no checksums and no writer; it ends with the link table.
    if (version == kFirstProjectVersion)
        return bytes.size();
    return CheckChecksums(bytes, error);
}

bool DecodeChannels(ByteReader& r, std::vector<ProjectChannelRecord>& channels, std::string* error)
{
    uint32_t count = 0;
    if (!r.U32(count))
        return Fail(error, "file cut short in the header", r.Offset());
    // Every channel takes at least 24 bytes (GUID, name length, section length), so a count beyond that is
    // corrupt; checked before allocating.
    if (count > r.Left() / 24)
        return Fail(error, "channel count " + std::to_string(count) + " exceeds the file's size", r.Offset() - 4);
    channels.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        ProjectChannelRecord& c = channels[i];
        uint8_t guid[16];
        if (!r.Bytes(guid, 16))
            return Fail(error, "channel " + std::to_string(i) + ": type cut short", r.Offset());
        c.type = GuidFromBytes(guid);
        if (!r.String(c.name, kMaxChannelNameBytes))
            return Fail(error, "channel " + std::to_string(i) + ": name length past the end of the file", r.Offset());
        uint32_t size = 0;
        if (!r.U32(size) || size > r.Left())
            return Fail(error, "channel '" + c.name + "': section length past the end of the file", r.Offset());
        c.section.resize(size);
        r.Bytes(c.section.data(), size);
    }
    return true;
}

bool DecodeLinks(ByteReader& r, uint32_t channelCount, std::vector<ProjectLinkRecord>& links, std::string* error)
{
    uint32_t count = 0;
    if (!r.U32(count))
        return Fail(error, "link table missing", r.Offset());
    if (count > r.Left() / 12)
        return Fail(error, "link count " + std::to_string(count) + " exceeds the file's size", r.Offset());
    links.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        ProjectLinkRecord& l = links[i];
        r.U32(l.parent);
        r.I32(l.position);
        r.U32(l.child);
        if (l.parent >= channelCount || l.child >= channelCount)
            return Fail(error,
                        "link " + std::to_string(i) + " names channel " +
                            std::to_string(l.parent >= channelCount ? l.parent : l.child) + " of " +
                            std::to_string(channelCount),
                        r.Offset());
    }
    return true;
}

} // namespace

// Header (magic, version, checksums) -> writer -> channel records -> link table -> nothing after it.
bool DecodeProject(const std::vector<uint8_t>& bytes, ProjectData& project, std::string* error)
{
    ProjectData data;
    const size_t end = DecodeHeader(bytes, data.version, error);
    if (end == 0)
        return false;
    ByteReader r(bytes.data(), end);
    r.Skip(8);
    if (data.version != kFirstProjectVersion && !r.String(data.writer, kMaxWriterBytes))
        return Fail(error, "writer name cut short or too long", r.Offset());
    if (!DecodeChannels(r, data.channels, error) ||
        !DecodeLinks(r, static_cast<uint32_t>(data.channels.size()), data.links, error))
        return false;
    if (r.Left() != 0)
        return Fail(error, std::to_string(r.Left()) + " unexpected bytes after the link table", r.Offset());
    project = std::move(data);
    return true;
}

std::string PathForProject(const std::string& path, const std::string& projectFolder)
{
    namespace fs = std::filesystem;
    if (path.empty() || projectFolder.empty())
        return path;
    std::error_code error;
    const fs::path file = fs::absolute(path, error).lexically_normal();
    const fs::path folder = fs::absolute(projectFolder, error).lexically_normal();
    if (error)
        return path;
    const fs::path relative = file.lexically_relative(folder);
    return relative.empty() ? file.string() : relative.string();
}

std::string PathFromProject(const std::string& stored, const std::string& projectFolder, bool workingDirectoryFallback)
{
    namespace fs = std::filesystem;
    const fs::path path(stored);
    if (stored.empty() || path.is_absolute() || projectFolder.empty())
        return stored;
    const std::string resolved = (fs::path(projectFolder) / path).lexically_normal().string();
    std::error_code error;
    if (workingDirectoryFallback && !fs::exists(resolved, error) && fs::exists(path, error))
        return stored;
    return resolved;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string* error, size_t maxBytes)
{
    auto fail = [&](const std::string& what) {
        if (error)
            *error = what;
        return false;
    };
    // Non-blocking, so that opening a FIFO with no writer returns at once instead of waiting for one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(std::string("cannot open: ") + std::strerror(errno));
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return fail(std::string("cannot read: ") + std::strerror(errno));
    // Devices, pipes and folders have no size to check in advance (and /dev/zero has no end).
    if (!S_ISREG(info.st_mode))
        return fail(S_ISDIR(info.st_mode) ? "is a folder, not a file" : "not a regular file");
    if (static_cast<uint64_t>(info.st_size) > maxBytes)
        return fail("larger than " + std::to_string(maxBytes) + " bytes");
    std::vector<uint8_t> data(static_cast<size_t>(info.st_size));
    size_t got = 0;
    // One byte more than the size, to notice a file that grows while it is read.
    uint8_t extra = 0;
    for (;;) {
        uint8_t* at = got < data.size() ? data.data() + got : &extra;
        const size_t want = got < data.size() ? data.size() - got : 1;
        const ssize_t n = ::read(fd, at, want);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(std::string("cannot read: ") + std::strerror(errno));
        if (n == 0)
            break;
        if (got == data.size())
            return fail("changed size while being read");
        got += static_cast<size_t>(n);
    }
    if (got != data.size())
        return fail("changed size while being read");
    bytes = std::move(data);
    return true;
}

} // namespace vex
