#include "host/TavFileSaver.h"

#include "host/ByteIO.h"
#include "host/ProjectFile.h"
#include "host/ReplacementFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

TavFileSaver::~TavFileSaver() = default;

// In a section every tag opens a chunk whose size field follows the data written after it: a tag may
// stand alone (an empty chunk) and a declared size can never disagree with the payload, so the section
// always parses. In a raw file the calls write exactly what they are given.
bool TavFileSaver::SaveTag(const char* tag)
{
    char four[4] = {};
    if (tag)
        std::memcpy(four, tag, strnlen(tag, 4));
    bytes_.insert(bytes_.end(), four, four + 4);
    if (fileOpen_)
        return true;
    chunkSizeAt_ = bytes_.size();
    bytes_.insert(bytes_.end(), 4, 0);
    return true;
}

bool TavFileSaver::SaveBlockSize(int bytes)
{
    if (bytes < 0)
        return false;
    if (!fileOpen_)
        return chunkSizeAt_ != kNoChunk; // the chunk's size is already tracked
    const auto v = static_cast<uint32_t>(bytes);
    for (int i = 0; i < 4; ++i)
        bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return true;
}

bool TavFileSaver::SaveDataToFile(const void* data, int bytes)
{
    if (bytes < 0 || (bytes > 0 && !data))
        return false;
    if (!fileOpen_ && chunkSizeAt_ == kNoChunk)
        return false; // data before any tag would make the section unreadable
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + bytes);
    if (!fileOpen_) {
        const auto size = static_cast<uint32_t>(bytes_.size() - chunkSizeAt_ - 4);
        for (int i = 0; i < 4; ++i)
            bytes_[chunkSizeAt_ + static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
    }
    return true;
}

bool TavFileSaver::SaveChunk(const char* tag, const std::vector<uint8_t>& payload)
{
    const int size = static_cast<int>(payload.size());
    return SaveTag(tag) && SaveBlockSize(size) && SaveDataToFile(payload.data(), size);
}

bool TavFileSaver::SaveBool(const char* tag, bool value)
{
    vex::ByteWriter payload;
    payload.Bool(value);
    return SaveChunk(tag, payload.Data());
}

bool TavFileSaver::SaveI32(const char* tag, int32_t value)
{
    vex::ByteWriter payload;
    payload.I32(value);
    return SaveChunk(tag, payload.Data());
}

bool TavFileSaver::SaveF32(const char* tag, float value)
{
    vex::ByteWriter payload;
    payload.F32(value);
    return SaveChunk(tag, payload.Data());
}

bool TavFileSaver::OpenSaveFile(const char* path, bool append)
{
    error_.clear();
    bytes_.clear();
    chunkSizeAt_ = kNoChunk;
    if (!path || !*path) {
        error_ = "no file name";
        return false;
    }
    path_ = path;
    if (append) {
        // Keep what the file holds; it is rewritten whole on close.
        if (FILE* f = std::fopen(path, "rb")) {
            uint8_t buf[65536];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                bytes_.insert(bytes_.end(), buf, buf + n);
            std::fclose(f);
        }
    }
    fileOpen_ = true;
    return true;
}

bool TavFileSaver::CloseSaveFile()
{
    if (!fileOpen_) {
        error_ = "no file open";
        return false;
    }
    fileOpen_ = false;
    const bool ok = WriteFileAtomically(path_, bytes_, &error_);
    bytes_.clear();
    chunkSizeAt_ = kNoChunk;
    return ok;
}

bool TavFileSaver::WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error)
{
    vex::ReplacementFile file;
    return file.Open(path, error) && file.Write(bytes.data(), bytes.size(), error) && file.Commit(error);
}

std::string TavFileSaver::StorePath(const std::string& path) const { return vex::PathForProject(path, projectFolder_); }
