#include "host/TavFileSaver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

TavFileSaver::~TavFileSaver() = default;

bool TavFileSaver::SaveTag(const char* tag)
{
    char four[4] = {};
    if (tag)
        std::memcpy(four, tag, strnlen(tag, 4));
    bytes_.insert(bytes_.end(), four, four + 4);
    return true;
}

bool TavFileSaver::SaveBlockSize(int bytes)
{
    if (bytes < 0)
        return false;
    const auto v = static_cast<uint32_t>(bytes);
    for (int i = 0; i < 4; ++i)
        bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return true;
}

bool TavFileSaver::SaveDataToFile(const void* data, int bytes)
{
    if (bytes < 0 || (bytes > 0 && !data))
        return false;
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + bytes);
    return true;
}

bool TavFileSaver::OpenSaveFile(const char* path, bool append)
{
    error_.clear();
    bytes_.clear();
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
    return ok;
}

bool TavFileSaver::WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error)
{
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    auto fail = [&](const char* what) {
        if (error)
            *error = std::string(what) + " '" + path + "': " + std::strerror(errno);
        return false;
    };
    if (fd < 0)
        return fail("cannot create");
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int saved = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = saved;
            return fail("cannot write");
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail("cannot write");
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temp.c_str());
        errno = saved;
        return fail("cannot replace");
    }
    return true;
}
