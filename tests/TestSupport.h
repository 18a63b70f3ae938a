#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// What one run of the quennel binary did.
// Whether the suite runs under AddressSanitizer (slower, no address-space limits).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

struct RunResult {
    std::string out;
    std::string err;
    int exitCode = -1;  // -1 when killed by a signal
    int signal = 0;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr int kRunTimeoutSeconds = 600;  // the sanitizer slows some runs tenfold
#else
constexpr int kRunTimeoutSeconds = 120;
#endif

struct RunOptions {
    std::string cwd;                          // working directory; empty: inherit
    std::vector<std::string> env;             // extra NAME=VALUE entries
    std::function<void()> inChild;            // runs in the child before exec (setrlimit, ...)
    int timeoutSeconds = kRunTimeoutSeconds;  // the child is killed after this
    const std::string* input = nullptr;       // fed through a pipe as standard input
};

// Runs the built binary with args, standard input from /dev/null unless options.input is set.
RunResult runQuennel(const std::vector<std::string>& args, const RunOptions& options = {});

// One end-to-end case: a command line and the exact output and exit code it must give.
struct CommandCase {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    int exitCode;
};
void PrintTo(const CommandCase& c, std::ostream* os);
// Runs the case and checks its output, an empty standard error and its exit code.
void expectCommand(const CommandCase& c, const RunOptions& options);

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes name (creating directories on the way) and returns its full path.
    std::string write(const std::string& name, const std::string& content) const;
    std::string read(const std::string& name) const;
    std::vector<std::string> list() const;  // names in the top directory, sorted

private:
    std::string path_;
};

// Text as UTF-16 bytes, low byte first or high byte first; no byte order mark.
std::string utf16le(const std::u16string& text);
std::string utf16be(const std::u16string& text);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

// The usage text, byte for byte, as the binary prints it when standard input is not a terminal.
extern const char* const kUsageText;
