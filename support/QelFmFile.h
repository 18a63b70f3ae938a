#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A file, opened either for reading from its first byte or for replacing its whole content.
// Only a regular file opens for reading, so a FIFO or a device named anywhere never blocks a read.
//
// A file opened for writing never touches the file at its path until close(): the bytes go to a
// new file beside it, which close() renames over the path once every byte is written and the
// new file is closed. A file destroyed without a successful close() leaves the old one as it was
// and removes the new one. A symbolic link keeps pointing where it did; its target is replaced.
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
    // Non-zero on success; for a file opened for writing, success means the new content is in place.
    int close();

private:
    bool writeAll(const char* bytes, std::size_t count);
    bool flushBuffer();
    void discard();

    int fd_ = -1;
    int mode_ = 0;
    bool failed_ = false;
    std::string target_;     // the file a write replaces
    std::string temporary_;  // the new file written beside it
    std::vector<char> buffer_;
};

// Tests on paths.
class QelFmDir {
public:
    // Non-zero when path names an existing file whose stat mode holds every bit of mode:
    // 0x8000 asks for a regular file, 0x0100 for owner read, 0x0080 for owner write.
    static int exists(const char* path, int mode);
};
