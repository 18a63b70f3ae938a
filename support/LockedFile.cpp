#include "support/LockedFile.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr std::size_t kWriteBuffer = 1 << 16;
// A name that changes under us every time we look is refused rather than chased for ever.
constexpr int kOpenAttempts = 100;

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void splitPath(const std::string& path, std::string& dir, std::string& name) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        dir = ".";
        name = path;
    } else {
        dir = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

// The new file's removal when a signal ends the process during a replacement.
constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr std::size_t kSignalCount = sizeof kFatalSignals / sizeof kFatalSignals[0];

volatile sig_atomic_t temporaryPending = 0;
int temporaryDir = -1;
char temporaryName[NAME_MAX + 1];
struct sigaction previousActions[kSignalCount];
bool handlerInstalled[kSignalCount];

extern "C" void removeTemporaryAndDie(int signal) {
    if (temporaryPending) {
        ::unlinkat(temporaryDir, temporaryName, 0);
        temporaryPending = 0;
    }
    // SA_RESETHAND has put the default action back; the signal is blocked while this runs, so
    // it ends the process as soon as the handler returns.
    ::raise(signal);
}

// Keeps the four signals away while the new file's name is created, published or retired,
// so the handler never sees half of it.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : kFatalSignals) sigaddset(&set, s);
        pthread_sigmask(SIG_BLOCK, &set, &saved_);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t saved_;
};

// Call with the signals held. A signal the caller ignores stays ignored; one it handles itself
// keeps its handler.
void publishTemporary(int dir, const std::string& name) {
    std::memcpy(temporaryName, name.c_str(), name.size() + 1);
    temporaryDir = dir;
    temporaryPending = 1;
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        handlerInstalled[i] = false;
        if (::sigaction(kFatalSignals[i], nullptr, &previousActions[i]) != 0 ||
            previousActions[i].sa_handler != SIG_DFL)
            continue;
        struct sigaction action {};
        action.sa_handler = removeTemporaryAndDie;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        handlerInstalled[i] = ::sigaction(kFatalSignals[i], &action, nullptr) == 0;
    }
}

// Call with the signals held.
void retireTemporary() {
    temporaryPending = 0;
    for (std::size_t i = 0; i < kSignalCount; ++i)
        if (handlerInstalled[i]) ::sigaction(kFatalSignals[i], &previousActions[i], nullptr);
}

// ".NAME.quennel-XXXXXX", with NAME cut short (on a character boundary) where the whole would
// not fit the file system's limit on a name.
std::string temporaryNameFor(const std::string& name, int dir) {
    static const char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const long limit = ::fpathconf(dir, _PC_NAME_MAX);
    const std::size_t longest = std::min<std::size_t>(limit > 0 ? limit : NAME_MAX, NAME_MAX);
    const std::string suffix = ".quennel-";
    std::size_t keep = std::min(name.size(), longest - 1 - suffix.size() - 6);
    while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    unsigned char random[6];
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        unsigned long mix = static_cast<unsigned long>(now.tv_nsec) ^
                            (static_cast<unsigned long>(::getpid()) << 20);
        for (auto& r : random) {
            r = static_cast<unsigned char>(mix);
            mix = mix * 6364136223846793005UL + 1442695040888963407UL;
        }
    }
    std::string result = "." + name.substr(0, keep) + suffix;
    for (unsigned char r : random) result += kLetters[r % (sizeof kLetters - 1)];
    return result;
}

// Extended attributes; ACLs are among them (system.posix_acl_access, ..._default).
// The names of fd's extended attributes; false on an error other than "none supported".
bool attributeNames(int fd, std::vector<std::string>& names) {
    names.clear();
    for (;;) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0) return errno == ENOTSUP;
        if (size == 0) return true;
        std::vector<char> list(static_cast<std::size_t>(size));
        const ssize_t got = ::flistxattr(fd, list.data(), list.size());
        if (got < 0 && errno == ERANGE) continue;  // grew in between
        if (got < 0) return false;
        for (ssize_t at = 0; at < got;) {
            names.emplace_back(list.data() + at);
            at += static_cast<ssize_t>(names.back().size()) + 1;
        }
        return true;
    }
}

bool attributeValue(int fd, const std::string& name, std::vector<char>& value) {
    for (;;) {
        const ssize_t size = ::fgetxattr(fd, name.c_str(), nullptr, 0);
        if (size < 0) return false;
        value.resize(static_cast<std::size_t>(size));
        const ssize_t got = ::fgetxattr(fd, name.c_str(), value.data(), value.size());
        if (got < 0 && errno == ERANGE) continue;
        if (got < 0) return false;
        value.resize(static_cast<std::size_t>(got));
        return true;
    }
}

// Makes to's extended attributes those of from: the ones the new file got by itself (a
// directory's default ACL) go, unless the old file has them too.
bool copyAttributes(int from, int to) {
    std::vector<std::string> wanted, present;
    if (!attributeNames(from, wanted) || !attributeNames(to, present)) return false;
    for (const auto& name : present)
        if (std::find(wanted.begin(), wanted.end(), name) == wanted.end() &&
            ::fremovexattr(to, name.c_str()) != 0)
            return false;
    std::vector<char> value;
    for (const auto& name : wanted)
        if (!attributeValue(from, name, value) ||
            ::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0)
            return false;
    return true;
}

}  // namespace

LockedFile::~LockedFile() { close(); }

LockedFile::Status LockedFile::open(const char* path, bool mayBeNew) {
    close();
    links_ = 0;
    if (!path || !*path) return Missing;
    path_ = path;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        // The target of a symbolic link, followed to the end, is what gets replaced.
        std::string dirPath;
        {
            std::unique_ptr<char, decltype(&free)> resolved(::realpath(path, nullptr), &free);
            if (resolved) {
                splitPath(resolved.get(), dirPath, name_);
            } else if (mayBeNew && errno == ENOENT) {
                splitPath(path_, dirPath, name_);
            } else {
                return Missing;
            }
        }
        // O_PATH: the directory needs no read permission, only the search permission that
        // reaching the file needs anyway.
        dir_ = ::open(dirPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir_ < 0) return Missing;
        // O_NONBLOCK keeps the open of a FIFO from waiting; O_NOFOLLOW refuses a link put in
        // the file's place since the path was resolved.
        const int fd = ::openat(dir_, name_.c_str(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            struct stat st;
            if (error == ENOENT && mayBeNew && ::fstatat(dir_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
                ::lstat(path, &st) != 0)
                return Opened;  // new: nothing to read or lock
            if (error == EACCES) {
                const bool writable = ::faccessat(dir_, name_.c_str(), W_OK, AT_EACCESS) == 0;
                close();
                return writable ? Unreadable : ReadOnly;
            }
            close();
            if (error == ENOENT || error == ELOOP) continue;  // changed since it was resolved
            return Missing;
        }
        fd_ = fd;
        if (::fstat(fd_, &identity_) != 0 || !S_ISREG(identity_.st_mode)) {
            close();
            return Missing;
        }
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        int locked;
        while ((locked = ::flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
        }
        // Whoever held the lock may have put another file in this one's place: work on that.
        if (locked != 0 || !designatesOpenFile()) {
            close();
            if (locked != 0) return Unreadable;
            continue;
        }
        if (!(identity_.st_mode & S_IWUSR) ||
            ::faccessat(dir_, name_.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0) {
            close();
            return ReadOnly;
        }
        if (identity_.st_nlink > 1) {
            links_ = static_cast<unsigned long>(identity_.st_nlink);
            close();
            return HardLinked;
        }
        return Opened;
    }
    close();
    return Unreadable;
}

// The locked file is still the one under its name in the directory and at the path as given.
bool LockedFile::designatesOpenFile() {
    struct stat inDir, atPath;
    return ::fstat(fd_, &identity_) == 0 &&
           ::fstatat(dir_, name_.c_str(), &inDir, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::stat(path_.c_str(), &atPath) == 0 && sameFile(identity_, inDir) &&
           sameFile(identity_, atPath);
}

// The same, for the rename: the file has kept a single name; a new file's name is still free.
bool LockedFile::stillDesignatesOpenFile() {
    if (fd_ < 0) {
        struct stat st;
        return ::fstatat(dir_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT &&
               ::lstat(path_.c_str(), &st) != 0 && errno == ENOENT;
    }
    return designatesOpenFile() && identity_.st_nlink == 1;
}

bool LockedFile::beginReplacement() {
    if (!isOpen() || temporaryFd_ >= 0) return false;
    for (int attempt = 0; attempt < 100 && temporaryFd_ < 0; ++attempt) {
        const std::string name = temporaryNameFor(name_, dir_);
        const SignalsHeld held;
        const int fd = ::openat(dir_, name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        temporaryFd_ = fd;
        temporary_ = name;
        publishTemporary(dir_, temporary_);
    }
    failed_ = false;
    buffer_.clear();
    buffer_.reserve(kWriteBuffer);
    return temporaryFd_ >= 0;
}

bool LockedFile::writeAll(const char* bytes, std::size_t count) {
    while (count > 0 && !failed_) {
        const ssize_t put = ::write(temporaryFd_, bytes, count);
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

bool LockedFile::flushBuffer() {
    const bool ok = writeAll(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
}

long LockedFile::write(const void* bytes, std::size_t count) {
    if (temporaryFd_ < 0 || failed_) return -1;
    const char* from = static_cast<const char*>(bytes);
    if (buffer_.size() + count > kWriteBuffer && !flushBuffer()) return -1;
    // A piece as big as the buffer goes straight through instead of being copied first.
    if (count >= kWriteBuffer) return writeAll(from, count) ? static_cast<long>(count) : -1;
    buffer_.insert(buffer_.end(), from, from + count);
    return static_cast<long>(count);
}

// Owner first (changing it clears the set-id bits and file capabilities), then the extended
// attributes, then the mode, which a set ACL would otherwise have rewritten. Root keeps the
// owner; anyone else becomes the owner, as with any editor, but the group must stay the same,
// or the group's permission bits would reach other people.
bool LockedFile::keepAttributes() {
    if (fd_ < 0) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return ::fchmod(temporaryFd_, 0666 & ~mask) == 0;
    }
    struct stat old, now;
    if (::fstat(fd_, &old) != 0) return false;
    if (::fchown(temporaryFd_, old.st_uid, old.st_gid) != 0 &&
        ::fchown(temporaryFd_, static_cast<uid_t>(-1), old.st_gid) != 0)
        return false;
    if (!copyAttributes(fd_, temporaryFd_)) return false;
    if (::fchmod(temporaryFd_, old.st_mode & 07777) != 0) return false;
    // The kernel drops a set-group-id bit silently where the caller may not set it.
    return ::fstat(temporaryFd_, &now) == 0 && now.st_gid == old.st_gid &&
           (now.st_mode & 07777) == (old.st_mode & 07777);
}

bool LockedFile::commit() {
    if (temporaryFd_ < 0) return false;
    // The new content must be on disk before it takes the old file's place, or a crash could
    // leave an empty file where the old one was.
    bool ok = flushBuffer() && ::fsync(temporaryFd_) == 0 && keepAttributes();
    ok = (::close(temporaryFd_) == 0) && ok;
    temporaryFd_ = -1;
    if (ok) {
        const SignalsHeld held;
        ok = stillDesignatesOpenFile();
        if (ok && fd_ >= 0) {
            ok = ::renameat(dir_, temporary_.c_str(), dir_, name_.c_str()) == 0;
        } else if (ok) {
            ok = ::renameat2(dir_, temporary_.c_str(), dir_, name_.c_str(), RENAME_NOREPLACE) == 0;
            if (!ok && errno == EINVAL)  // a file system without it; the name was free just now
                ok = ::renameat(dir_, temporary_.c_str(), dir_, name_.c_str()) == 0;
        }
        if (ok) {
            temporary_.clear();
            retireTemporary();
        }
    }
    if (!ok) {
        abandon();
        return false;
    }
    close();
    return true;
}

void LockedFile::abandon() {
    if (temporaryFd_ >= 0) ::close(temporaryFd_);
    temporaryFd_ = -1;
    if (!temporary_.empty()) {
        const SignalsHeld held;
        ::unlinkat(dir_, temporary_.c_str(), 0);
        retireTemporary();
        temporary_.clear();
    }
    buffer_.clear();
}

void LockedFile::close() {
    abandon();
    // Closing the last descriptor of the open file releases the lock.
    if (fd_ >= 0) ::close(fd_);
    if (dir_ >= 0) ::close(dir_);
    fd_ = dir_ = -1;
}
