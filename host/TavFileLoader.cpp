#include "host/TavFileLoader.h"

#include "host/ByteIO.h"
#include "host/ProjectFile.h"

#include <algorithm>
#include <limits>

TavFileLoader::TavFileLoader(std::vector<uint8_t> section) : section_(std::move(section))
{
    valid_ = ParseChunks(section_, chunks_, &error_);
    if (!valid_)
        chunks_.clear();
}

bool TavFileLoader::ParseChunks(const std::vector<uint8_t>& section, std::vector<ChunkInfo>& chunks, std::string* error)
{
    chunks.clear();
    vex::ByteReader reader(section);
    while (reader.Left() > 0) {
        ChunkInfo info{};
        uint32_t size = 0;
        if (!reader.Bytes(info.tag, 4) || !reader.U32(size)) {
            if (error)
                *error = "chunk header cut short at byte " + std::to_string(reader.Offset());
            return false;
        }
        // Sizes travel as int through the loader's interface, so larger chunks cannot be handed out.
        if (size > static_cast<uint32_t>(std::numeric_limits<int>::max())) {
            if (error)
                *error = "chunk '" + std::string(info.tag, 4) + "' claims " + std::to_string(size) +
                         " bytes, more than a chunk may hold";
            return false;
        }
        if (size > reader.Left()) {
            if (error)
                *error = "chunk '" + std::string(info.tag, 4) + "' claims " + std::to_string(size) +
                         " bytes but only " + std::to_string(reader.Left()) + " remain";
            return false;
        }
        info.offset = static_cast<uint32_t>(reader.Offset());
        info.size = size;
        info.read = false;
        reader.Skip(size);
        chunks.push_back(info);
    }
    return true;
}

bool TavFileLoader::GetInfoIfTag(const char* tag)
{
    char four[4] = {};
    if (tag)
        std::memcpy(four, tag, strnlen(tag, 4));
    for (size_t i = 0; i < chunks_.size(); ++i) {
        if (!chunks_[i].read && std::memcmp(chunks_[i].tag, four, 4) == 0) {
            chunks_[i].read = true;
            current_ = static_cast<int>(i);
            return true;
        }
    }
    current_ = -1;
    return false;
}

int TavFileLoader::GetTagDataSize() const
{
    return current_ < 0 ? 0 : static_cast<int>(chunks_[static_cast<size_t>(current_)].size);
}

const uint8_t* TavFileLoader::GetTagData() const
{
    return current_ < 0 ? nullptr : section_.data() + chunks_[static_cast<size_t>(current_)].offset;
}

vex::ByteReader TavFileLoader::TagReader() const
{
    if (current_ < 0)
        return vex::ByteReader(nullptr, 0);
    const ChunkInfo& c = chunks_[static_cast<size_t>(current_)];
    return vex::ByteReader(section_.data() + c.offset, c.size);
}

bool TavFileLoader::LoadBool(const char* tag, bool& value) { return GetInfoIfTag(tag) && TagReader().Bool(value); }
bool TavFileLoader::LoadI32(const char* tag, int32_t& value) { return GetInfoIfTag(tag) && TagReader().I32(value); }
bool TavFileLoader::LoadF32(const char* tag, float& value) { return GetInfoIfTag(tag) && TagReader().F32(value); }

int TavFileLoader::CopyTagDataToPointer(void* dest, int maxBytes)
{
    if (current_ < 0 || !dest || maxBytes <= 0)
        return 0;
    const ChunkInfo& c = chunks_[static_cast<size_t>(current_)];
    const int n = std::min(maxBytes, static_cast<int>(c.size));
    std::memcpy(dest, section_.data() + c.offset, static_cast<size_t>(n));
    return n;
}

std::string TavFileLoader::ResolvePath(const std::string& stored) const
{
    return vex::PathFromProject(stored, projectFolder_, firstLayout_);
}
