#pragma once
// The project file: the channel graph (types by GUID, names, links) and each channel's section of
// tagged chunks. Layout (all little-endian), documented in docs/project-format.md:
//   "VXPJ", u32 version (1), u32 channel count,
//   per channel: 16-byte type GUID, u32 name length + name, u32 section length + section,
//   u32 link count, per link: u32 parent index, i32 link position, u32 child index.

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
    std::vector<ProjectChannelRecord> channels;
    std::vector<ProjectLinkRecord> links;
};

inline constexpr uint32_t kProjectVersion = 1;
/// Largest project file read, so that a corrupt or hostile file cannot exhaust memory.
inline constexpr size_t kMaxProjectBytes = size_t(1) << 30;
inline constexpr size_t kMaxChannelNameBytes = 4096;

std::vector<uint8_t> EncodeProject(const ProjectData& project);
/// False with a message naming what is wrong (and where) for a file that is not a whole, consistent project.
bool DecodeProject(const std::vector<uint8_t>& bytes, ProjectData& project, std::string* error);
/// Reads a whole file (at most maxBytes); false with a message.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string* error,
                   size_t maxBytes = kMaxProjectBytes);

} // namespace vex
