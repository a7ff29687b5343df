#include "host/TavFileSaver.h"

#include "host/ProjectFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

bool Fail(const std::string& path, const char* what, std::string* error)
{
    if (error)
        *error = std::string(what) + " '" + path + "': " + std::strerror(errno);
    return false;
}

// Writes all bytes to fd and closes it; on failure errno tells why (fd is closed either way).
bool WriteAllAndClose(int fd, const std::vector<uint8_t>& bytes, bool sync)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (sync && ::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    return ::close(fd) == 0;
}

// A device or pipe cannot be replaced by renaming a file over it (that would swap the device node for a
// plain file): it is written in place, and any write error is reported.
bool WriteInPlace(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return Fail(path, "cannot open", error);
    return WriteAllAndClose(fd, bytes, false) || Fail(path, "cannot write", error);
}

} // namespace

bool TavFileSaver::WriteFileAtomically(const std::string& requestedPath, const std::vector<uint8_t>& bytes,
                                       std::string* error)
{
    std::string path = requestedPath;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            if (error)
                *error = "cannot replace '" + path + "': it is a folder";
            return false;
        }
        if (!S_ISREG(st.st_mode))
            return WriteInPlace(path, bytes, error);
        // Through a symbolic link, replace the file it names rather than the link itself.
        char* real = ::realpath(path.c_str(), nullptr);
        if (real) {
            path = real;
            std::free(real);
        }
    }
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return Fail(path, "cannot create", error);
    if (!WriteAllAndClose(fd, bytes, true)) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return Fail(path, "cannot write", error);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return Fail(path, "cannot replace", error);
    }
    return true;
}

std::string TavFileSaver::StorePath(const std::string& path) const { return vex::PathForProject(path, projectFolder_); }
