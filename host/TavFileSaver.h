#pragma once
// Writes tagged chunks (tag, 32-bit little-endian size, payload) into a channel's section, or raw bytes
// into a file. A file is written to a temporary name and replaces its target only when complete.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class TavFileSaver {
public:
    TavFileSaver() = default;
    TavFileSaver(const TavFileSaver&) = delete;
    TavFileSaver& operator=(const TavFileSaver&) = delete;
    /// An open file that was never closed is discarded: the target keeps its previous contents.
    ~TavFileSaver();

    /// Four characters; a shorter tag is padded with zero bytes, a longer one is cut.
    /// In a section a tag opens a chunk; a tag with nothing after it is stored as an empty chunk.
    bool SaveTag(const char* tag);
    /// In a section the chunk's size follows the data written after its tag; false without a tag.
    bool SaveBlockSize(int bytes);
    /// In a section: false before the first tag.
    bool SaveDataToFile(const void* data, int bytes);
    /// Writes a whole chunk: the tag, the payload's size and the payload.
    bool SaveChunk(const char* tag, const std::vector<uint8_t>& payload);
    /// A chunk holding one value, little-endian (vex::ByteWriter): a bool is one byte 0 or 1, an int32 and
    /// a float four bytes. These and SaveChunk over a ByteWriter are how every library writes its settings.
    bool SaveBool(const char* tag, bool value);
    bool SaveI32(const char* tag, int32_t value);
    bool SaveF32(const char* tag, float value);

    /// The folder of the project file being written; file paths in sections are stored relative to it.
    void SetProjectFolder(std::string folder) { projectFolder_ = std::move(folder); }
    /// A file path as the section should hold it (see PathForProject).
    std::string StorePath(const std::string& path) const;

    /// Starts a raw file at path (append false: replace; true: keep what the file holds and add to it).
    bool OpenSaveFile(const char* path, bool append);
    /// Writes everything to a temporary file beside the target and renames it over the target.
    /// False (target untouched) when any step fails; the reason is in GetError().
    bool CloseSaveFile();
    bool IsFileOpen() const { return fileOpen_; }

    /// The bytes written so far (a channel's section when no file is open).
    const std::vector<uint8_t>& GetBytes() const { return bytes_; }
    std::vector<uint8_t> TakeBytes()
    {
        chunkSizeAt_ = kNoChunk;
        return std::exchange(bytes_, {});
    }
    const std::string& GetError() const { return error_; }

    /// Writes bytes to path through vex::ReplacementFile (an exclusively created temporary file, renamed over
    /// the target, which keeps its permission bits); the previous file survives any failure. A device or
    /// pipe at path is written in place; a folder there is refused.
    static bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error);

private:
    std::vector<uint8_t> bytes_;
    std::string path_;
    std::string error_;
    std::string projectFolder_;
    bool fileOpen_ = false;
    static constexpr size_t kNoChunk = ~size_t{0};
    size_t chunkSizeAt_ = kNoChunk; ///< offset of the open chunk's size field in a section
};
