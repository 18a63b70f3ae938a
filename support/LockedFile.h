#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <vector>

// A file that is read and then replaced in one piece, safe from other programs and other runs.
//
// open() follows a symbolic link to its target (the file that gets replaced; the link stays),
// opens the directory that holds it and the file itself, takes an advisory lock on the file
// (flock: a second run waits here) and checks that the caller may rewrite it. The content is read
// through descriptor(). beginReplacement(), write() and commit() then write the new bytes to a
// new file beside the old one, give it the old file's owner, group, extended attributes (ACLs
// included) and mode, and rename it over the old name within the directory opened at the start,
// but only while that name, and the path as given, still designate the file that was read. The
// lock is held until the file is replaced or closed. A replacement that is not committed is
// removed, also when SIGINT, SIGTERM, SIGHUP or SIGPIPE ends the process during it; one
// replacement runs at a time in a process.
class LockedFile {
public:
    enum Status {
        Opened,      // open, locked and writable by the caller
        Missing,     // no regular file at the path
        Unreadable,  // there, but it cannot be opened for reading, or kept changing under us
        ReadOnly,    // no owner write bit, or the kernel would not let the caller write it
        HardLinked,  // more than one name: a replacement would split them
    };

    LockedFile() = default;
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // With mayBeNew, a path that names nothing yet opens too, with nothing to read or lock;
    // commit() then creates the file, and fails if something has taken the name by then.
    Status open(const char* path, bool mayBeNew = false);
    bool isOpen() const { return dir_ >= 0; }
    // The open file to read from; -1 for a new one. Reads move the offset that it shares with
    // every duplicate of it.
    int descriptor() const { return fd_; }
    // The file's link count when open() said HardLinked.
    unsigned long links() const { return links_; }

    // Creates the new file beside the old one. False when it cannot be made.
    bool beginReplacement();
    // Appends bytes to the new file: the count, or -1 once any write has failed.
    long write(const void* bytes, std::size_t count);
    // Puts the new file in the old one's place, then releases the file. False when any write,
    // the flush, an attribute or the rename failed, or the name now designates another file:
    // the old file then stays as it was and the new one is removed.
    bool commit();
    // Removes the new file, if any; the old one stays and stays locked.
    void abandon();
    // Abandons any replacement and releases the lock and both descriptors.
    void close();

private:
    bool designatesOpenFile();  // refreshes identity_
    bool stillDesignatesOpenFile();
    bool keepAttributes();
    bool writeAll(const char* bytes, std::size_t count);
    bool flushBuffer();

    std::string path_;  // as given, checked again before the rename
    std::string name_;  // the file's name in its directory
    int dir_ = -1;      // the directory that holds the file
    int fd_ = -1;       // the file, open for reading and locked
    unsigned long links_ = 0;
    struct stat identity_ {};

    std::string temporary_;  // the new file's name in the same directory
    int temporaryFd_ = -1;
    bool failed_ = false;
    std::vector<char> buffer_;
};
