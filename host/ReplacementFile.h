#pragma once
// A file that replaces its target only when complete. The bytes go to a fresh name in the target's folder,
// created exclusively (an existing file or link at that name is never opened, followed or truncated), and
// the finished file is synced and renamed over the target with the target's permission bits. Until then
// the target keeps its previous contents; a replacement dropped before Commit leaves no trace.

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace vex {

class ReplacementFile {
public:
    ReplacementFile() = default;
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    /// Drops an uncommitted replacement.
    ~ReplacementFile();

    /// Starts replacing path. Through a symbolic link the file it names is replaced; a folder is refused; a
    /// device or pipe (which a rename would swap for a plain file) is written in place.
    bool Open(const std::string& path, std::string* error);
    /// Appends bytes; false (with errno's reason) when the file system refuses them.
    bool Write(const void* data, size_t bytes, std::string* error);
    /// Syncs the bytes and renames the new file over the target; false (target untouched) on any failure.
    bool Commit(std::string* error);
    /// Removes the new file; the target keeps its previous contents.
    void Discard();
    bool IsOpen() const { return fd_ >= 0; }

private:
    bool Fail(const char* what, std::string* error);

    std::string target_; ///< the file to replace, links resolved
    std::string temp_;   ///< the new file's name; empty when writing in place
    int fd_ = -1;
    mode_t mode_ = 0; ///< permission bits the finished file gets
};

} // namespace vex
