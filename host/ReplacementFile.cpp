#include "host/ReplacementFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vex {

namespace {

/// Attempts at a fresh temporary name before giving up: each clash means something else sits there.
constexpr int kNameAttempts = 64;

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

/// The attempt-th temporary name for target: hidden, beside it, with the process id. Names are tried in
/// order and created exclusively, so a name something else holds is skipped, never reused.
std::string TemporaryName(const std::string& target, int attempt)
{
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
}

/// Makes the folder's entry for the renamed file durable; a folder that cannot be synced is no failure.
void SyncFolder(const std::string& file)
{
    const int fd = ::open(FolderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

ReplacementFile::~ReplacementFile() { Discard(); }

bool ReplacementFile::Fail(const char* what, std::string* error)
{
    const int saved = errno;
    Discard();
    if (error)
        *error = std::string(what) + " '" + target_ + "': " + std::strerror(saved);
    errno = saved;
    return false;
}

bool ReplacementFile::Open(const std::string& path, std::string* error)
{
    Discard();
    target_ = path;
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        if (error)
            *error = "cannot replace '" + path + "': it is a folder";
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        return fd_ >= 0 || Fail("cannot open", error);
    }
    if (exists) {
        // Through a symbolic link, replace the file it names rather than the link itself.
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target_ = real;
            std::free(real);
        }
    }
    // A new file gets the usual bits (0666 less the umask); a replaced one keeps its own.
    mode_ = exists ? (st.st_mode & 07777) : 0;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = TemporaryName(target_, attempt);
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd_ >= 0) {
            temp_ = name;
            break;
        }
        if (errno != EEXIST)
            return Fail("cannot create", error);
    }
    if (fd_ < 0)
        return Fail("cannot create", error);
    if (exists && ::fchmod(fd_, mode_) != 0)
        return Fail("cannot set the permissions of", error);
    return true;
}

bool ReplacementFile::Write(const void* data, size_t bytes, std::string* error)
{
    if (fd_ < 0) {
        errno = EBADF;
        return Fail("cannot write", error);
    }
    const auto* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t n = ::write(fd_, p, bytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return Fail("cannot write", error);
        }
        p += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

bool ReplacementFile::Commit(std::string* error)
{
    if (fd_ < 0) {
        errno = EBADF;
        return Fail("cannot write", error);
    }
    if (temp_.empty()) { // a device written in place
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            return Fail("cannot write", error);
        return true;
    }
    if (::fsync(fd_) != 0)
        return Fail("cannot write", error);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        return Fail("cannot write", error);
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        return Fail("cannot replace", error);
    temp_.clear();
    SyncFolder(target_);
    return true;
}

void ReplacementFile::Discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
}

} // namespace vex
