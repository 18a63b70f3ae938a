#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "support/LockedFile.h"

// A file, opened either for reading from its first byte or for replacing its whole content.
// Only a regular file opens for reading, so a FIFO or a device named anywhere never blocks a read.
//
// A file opened for writing never touches the file at its path until close(): the bytes go to a
// new file beside it, which close() puts in the old one's place through a LockedFile (same
// owner, group, mode and attributes; refused if the name has come to designate another file).
// A file destroyed without a successful close() leaves the old one as it was and removes the new
// one. A symbolic link keeps pointing where it did; its target is replaced.
class QelFmFile {
public:
    enum Mode { ModeWrite = 2, ModeRead = 3 };
    enum Flags { FlagsNone = 0, FlagsExisting = 1 };

    QelFmFile();
    virtual ~QelFmFile();
    QelFmFile(const QelFmFile&) = delete;
    QelFmFile& operator=(const QelFmFile&) = delete;

    // Bytes stored into buffer, at most maxBytes; 0 at the end. Throws QelException on an error.
    std::size_t read(void* buffer, std::size_t maxBytes);
    // Appends the bytes; the number written, or -1 once any write has failed.
    long write(const void* buffer, std::size_t count);
    // With (0, 0): the current offset, unmoved.
    std::uint64_t position(std::int64_t offset, int whence);
    // Non-zero on success. ModeRead with FlagsExisting, or ModeWrite with FlagsNone.
    int open(const char* path, int mode, int flags);
    // For reading, from its first byte, a file already open: a duplicate of descriptor is read.
    int open(int descriptor);
    // For writing the replacement of a file that the caller opened and locked, and keeps.
    int open(LockedFile& replaced);
    // Non-zero on success; for a file opened for writing, success means the new content is in place.
    int close();

private:
    int fd_ = -1;  // for reading
    int mode_ = 0;
    std::unique_ptr<LockedFile> owned_;  // for writing by path
    LockedFile* replacing_ = nullptr;    // for writing: owned_, or the caller's
};

// Tests on paths.
class QelFmDir {
public:
    // Non-zero when path names an existing file whose stat mode holds every bit of mode:
    // 0x8000 asks for a regular file, 0x0100 for owner read, 0x0080 for owner write.
    static int exists(const char* path, int mode);
};
