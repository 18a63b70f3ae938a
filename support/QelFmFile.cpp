#include "support/QelFmFile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "support/QelException.h"

namespace {

constexpr std::size_t kWriteBuffer = 1 << 16;

// The file that writing to path must replace: the target of a symbolic link, followed to the end.
std::string replacedFile(const char* path) {
    std::unique_ptr<char, decltype(&free)> resolved(realpath(path, nullptr), &free);
    return resolved ? std::string(resolved.get()) : std::string(path);
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

QelFmFile::QelFmFile() = default;

QelFmFile::~QelFmFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    discard();
}

void QelFmFile::discard() {
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

int QelFmFile::open(const char* path, int mode, int flags) {
    if (fd_ >= 0 || !path) return 0;
    if (mode == ModeRead && flags == FlagsExisting) {
        // Only regular files: a FIFO or a terminal named as a DTD or entity would block forever,
        // a device such as /dev/zero never ends. O_NONBLOCK keeps the open of a FIFO from waiting.
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0) return 0;
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return 0;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        fd_ = fd;
        mode_ = mode;
        return 1;
    }
    if (mode != ModeWrite || flags != FlagsNone) return 0;

    target_ = replacedFile(path);
    const std::string dir = directoryOf(target_);
    std::string name = dir + "/." + baseNameOf(target_) + ".quennel-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return 0;
    temporary_ = name;
    struct stat old;
    if (::stat(target_.c_str(), &old) == 0) {
        // Root may keep the owner too; for anyone else the new file is theirs, as with any editor.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) { /* not ours to give away */ }
        if (::fchmod(fd, old.st_mode & 07777) != 0) {
            ::close(fd);
            discard();
            return 0;
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    fd_ = fd;
    mode_ = mode;
    failed_ = false;
    buffer_.clear();
    buffer_.reserve(kWriteBuffer);
    return 1;
}

std::size_t QelFmFile::read(void* buffer, std::size_t maxBytes) {
    if (fd_ < 0 || mode_ != ModeRead) return 0;
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, maxBytes);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) throw QelException(std::string("Read failed: ") + std::strerror(errno));
    }
}

bool QelFmFile::writeAll(const char* bytes, std::size_t count) {
    while (count > 0 && !failed_) {
        const ssize_t put = ::write(fd_, bytes, count);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            failed_ = true;
            break;
        }
        bytes += put;
        count -= static_cast<std::size_t>(put);
    }
    return !failed_;
}

bool QelFmFile::flushBuffer() {
    const bool ok = writeAll(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
}

long QelFmFile::write(const void* buffer, std::size_t count) {
    if (fd_ < 0 || mode_ != ModeWrite || failed_) return -1;
    const char* bytes = static_cast<const char*>(buffer);
    if (buffer_.size() + count > kWriteBuffer && !flushBuffer()) return -1;
    // A piece as big as the buffer goes straight through instead of being copied first.
    if (count >= kWriteBuffer) return writeAll(bytes, count) ? static_cast<long>(count) : -1;
    buffer_.insert(buffer_.end(), bytes, bytes + count);
    return static_cast<long>(count);
}

std::uint64_t QelFmFile::position(std::int64_t offset, int whence) {
    if (fd_ < 0) return 0;
    const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence == 0 ? SEEK_CUR : whence);
    return at < 0 ? 0 : static_cast<std::uint64_t>(at);
}

int QelFmFile::close() {
    if (fd_ < 0) return 0;
    if (mode_ != ModeWrite) {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 1 : 0;
    }
    // The new content must be on disk before it takes the old file's place, or a crash could
    // leave an empty file where the old one was.
    bool ok = flushBuffer() && ::fsync(fd_) == 0;
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    ok = ok && ::rename(temporary_.c_str(), target_.c_str()) == 0;
    if (ok) temporary_.clear();
    discard();
    return ok ? 1 : 0;
}

int QelFmDir::exists(const char* path, int mode) {
    struct stat st;
    if (!path || ::stat(path, &st) != 0) return 0;
    // The type bits are a code, not a set: a socket (0xC000) holds the regular-file bit too.
    if ((mode & S_IFMT) && (st.st_mode & S_IFMT) != (static_cast<mode_t>(mode) & S_IFMT)) return 0;
    const mode_t permissions = static_cast<mode_t>(mode) & 07777;
    return (st.st_mode & permissions) == permissions ? 1 : 0;
}
