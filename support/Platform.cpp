#include "support/Platform.h"

#include <termios.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <mutex>

void waitForKey() {
    if (!::isatty(STDIN_FILENO)) return;
    termios saved;
    if (::tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios raw = saved;
    // Ctrl-C is a key like any other here; as a signal it would leave the terminal without echo.
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    char key;
    while (::read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
    }
    ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

namespace {
DebugOutputSink debugSink = nullptr;
}

void debugOutput(const char* text) {
    if (debugSink) debugSink(text);
}

DebugOutputSink setDebugOutputSink(DebugOutputSink sink) {
    const DebugOutputSink old = debugSink;
    debugSink = sink;
    return old;
}

const char* retainText(std::string text) {
    static std::mutex lock;
    static std::deque<std::string> texts;
    std::lock_guard<std::mutex> guard(lock);
    texts.push_back(std::move(text));
    return texts.back().c_str();
}

bool namesStandardStream(const char* name) { return name && name[0] == '-' && name[1] == 0; }

bool namesStandardStream(const std::u16string& name) { return name == u"-"; }

int standardInputDescriptor() { return 0; }

bool writeStandardOutput(const void* bytes, std::size_t count) {
    const char* at = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t put = ::write(1, at, count);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        at += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

void boundAllocatorReserve() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}
