#include "support/QelFmFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/QelException.h"

QelFmFile::QelFmFile() = default;

// An unfinished replacement is thrown away: the old file stays as it was.
QelFmFile::~QelFmFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (replacing_) replacing_->abandon();
}

int QelFmFile::open(const char* path, int mode, int flags) {
    if (fd_ >= 0 || replacing_ || !path) return 0;
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
    owned_ = std::make_unique<LockedFile>();
    if (owned_->open(path, true) != LockedFile::Opened || !open(*owned_)) {
        owned_.reset();
        return 0;
    }
    return 1;
}

int QelFmFile::open(int descriptor) {
    if (fd_ >= 0 || replacing_ || descriptor < 0) return 0;
    const int fd = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return 0;
    ::lseek(fd, 0, SEEK_SET);  // fails harmlessly on a pipe, which is read from where it stands
    fd_ = fd;
    mode_ = ModeRead;
    return 1;
}

int QelFmFile::open(LockedFile& replaced) {
    if (fd_ >= 0 || replacing_ || !replaced.beginReplacement()) return 0;
    replacing_ = &replaced;
    mode_ = ModeWrite;
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

long QelFmFile::write(const void* buffer, std::size_t count) {
    return replacing_ ? replacing_->write(buffer, count) : -1;
}

std::uint64_t QelFmFile::position(std::int64_t offset, int whence) {
    if (fd_ < 0) return 0;
    const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence == 0 ? SEEK_CUR : whence);
    return at < 0 ? 0 : static_cast<std::uint64_t>(at);
}

int QelFmFile::close() {
    if (replacing_) {
        LockedFile* replaced = replacing_;
        replacing_ = nullptr;
        const bool ok = replaced->commit();
        owned_.reset();
        return ok ? 1 : 0;
    }
    if (fd_ < 0) return 0;
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 1 : 0;
}

int QelFmDir::exists(const char* path, int mode) {
    struct stat st;
    if (!path || ::stat(path, &st) != 0) return 0;
    // The type bits are a code, not a set: a socket (0xC000) holds the regular-file bit too.
    if ((mode & S_IFMT) && (st.st_mode & S_IFMT) != (static_cast<mode_t>(mode) & S_IFMT)) return 0;
    const mode_t permissions = static_cast<mode_t>(mode) & 07777;
    return (st.st_mode & permissions) == permissions ? 1 : 0;
}
