#pragma once
// The project file: the channel graph (types by GUID, names, links) and each channel's section of
// tagged chunks. Layout (all little-endian), documented in docs/project-format.md:
//   "VXPJ", u32 version (2), u32 writer length + writer, u32 channel count,
//   per channel: 16-byte type GUID, u32 name length + name, u32 section length + section,
//   u32 link count, per link: u32 parent index, i32 link position, u32 child index,
//   checksum table: u32 block count, per block u32 offset, u32 length, u32 CRC-32,
//   u32 offset of the table, u32 CRC-32 of the table and that offset.
// Version 1 files (no writer, no checksums) are still read.

#include "platform/Guid.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vex {

struct ProjectChannelRecord {
    _GUID type;
    std::string name;
    std::vector<uint8_t> section;
};

struct ProjectLinkRecord {
    uint32_t parent;
    int32_t position;
    uint32_t child;
};

struct ProjectData {
    uint32_t version = 0; ///< layout version read (set by DecodeProject)
    std::string writer;   ///< the program and version that wrote the file; empty for version 1 files
    std::vector<ProjectChannelRecord> channels;
    std::vector<ProjectLinkRecord> links;
};

inline constexpr uint32_t kProjectVersion = 2;
/// The layout without writer and checksums, still read.
inline constexpr uint32_t kFirstProjectVersion = 1;
inline constexpr size_t kMaxWriterBytes = 256;
/// Largest project file read, so that a corrupt or hostile file cannot exhaust memory.
inline constexpr size_t kMaxProjectBytes = size_t(1) << 30;
inline constexpr size_t kMaxChannelNameBytes = 4096;
/// Largest OBJ file read (a mesh channel or a collision object), in bytes.
inline constexpr size_t kMaxObjBytes = size_t(256) << 20;

std::vector<uint8_t> EncodeProject(const ProjectData& project);
/// False with a message naming what is wrong (and where) for a file that is not a whole, consistent project.
bool DecodeProject(const std::vector<uint8_t>& bytes, ProjectData& project, std::string* error);
/// A file path as a project stores it: relative to the project's folder (so the folder can be moved with
/// its files), or as given when no folder is known or the path is on another root.
std::string PathForProject(const std::string& path, const std::string& projectFolder);
/// A stored path made usable: a relative one is taken from the project's folder. With
/// workingDirectoryFallback (files of the first layout, which stored paths as the runner was given them),
/// a path missing there is tried as given.
std::string PathFromProject(const std::string& stored, const std::string& projectFolder, bool workingDirectoryFallback);

/// Reads a whole regular file of at most maxBytes; anything else (a folder, a device, a FIFO, a larger
/// file) is refused at once, before any byte is read. False with the problem (the caller names the file).
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string* error,
                   size_t maxBytes = kMaxProjectBytes);

} // namespace vex
