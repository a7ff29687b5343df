#pragma once
// Reads the tagged chunks of one channel's section. Repeated tags come back in written order; asking for
// a missing tag gives false and hides no later chunk. Payloads are never read past their end.

#include "host/ByteIO.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

class TavFileLoader {
public:
    /// An empty section.
    TavFileLoader() = default;
    /// Parses a section; a malformed one (a size past the end, a cut header) leaves IsValid() false and
    /// no chunk readable.
    explicit TavFileLoader(std::vector<uint8_t> section);

    bool IsValid() const { return valid_; }

    /// The folder of the project file being read (empty when the bytes came from elsewhere), and whether
    /// the file has the first layout; see PathFromProject.
    void SetProjectFolder(std::string folder, bool firstLayout)
    {
        projectFolder_ = std::move(folder);
        firstLayout_ = firstLayout;
    }
    /// A file path the channel stored, made usable: relative paths are taken from the project's folder.
    std::string ResolvePath(const std::string& stored) const;
    const std::string& GetError() const { return error_; }

    /// Makes the next unread chunk with this tag current; false when none is left.
    bool GetInfoIfTag(const char* tag);
    /// Payload size of the current chunk in bytes (0 without one).
    int GetTagDataSize() const;
    /// Copies at most maxBytes of the current chunk into dest; returns the bytes copied.
    int CopyTagDataToPointer(void* dest, int maxBytes);
    /// Copies the whole current chunk: only for a dest that the caller sized with GetTagDataSize().
    int CopyTagDataToPointer(void* dest) { return CopyTagDataToPointer(dest, GetTagDataSize()); }

    /// Bounded copy into a value: at most sizeof(T) bytes; a shorter chunk leaves the rest of value as it was.
    template <class T> int CopyTagData(T& value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        return CopyTagDataToPointer(&value, static_cast<int>(sizeof(T)));
    }
    /// The current chunk's payload.
    const uint8_t* GetTagData() const;
    /// A bounded reader over the current chunk's payload (empty without a current chunk): how libraries
    /// read a chunk field by field.
    vex::ByteReader TagReader() const;

    /// The first value of the next chunk with this tag, as SaveBool / SaveI32 / SaveF32 wrote it. False,
    /// value untouched, when no such chunk is left or it is shorter than the value; bytes after the value
    /// are ignored (a later format may add fields).
    bool LoadBool(const char* tag, bool& value);
    bool LoadI32(const char* tag, int32_t& value);
    bool LoadF32(const char* tag, float& value);

    struct ChunkInfo {
        char tag[4];
        uint32_t offset; ///< payload offset within the section
        uint32_t size;
        bool read;
    };
    const std::vector<ChunkInfo>& GetChunks() const { return chunks_; }

    /// Splits a section into chunks; false with a message when it is malformed.
    static bool ParseChunks(const std::vector<uint8_t>& section, std::vector<ChunkInfo>& chunks, std::string* error);

private:
    std::vector<uint8_t> section_;
    std::vector<ChunkInfo> chunks_;
    int current_ = -1;
    bool valid_ = true;
    std::string error_;
    std::string projectFolder_;
    bool firstLayout_ = false;
};
