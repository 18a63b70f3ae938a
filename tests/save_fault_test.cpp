// The remove command's save under faults and races: a write that fails part way, the process
// killed or signalled at any moment, the file changed or locked by someone else while it is
// read. The file must always hold either its old or its new content, whole, and nothing else may
// be written.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

const std::string kSaveFailed =
    "\n\n *** EXCEPTION: An error occured while saving the DOM tree to the file."
    "\n Insure validity of file (formatted properly)."
    "\n You can use Internet Explorer to validate the file."
    "\n *** Failed to remove elements from file.\n\n";

// About 1 MB per 15,000 elements; the save writes everything but the <x/> elements.
std::string largeDocument(int elements) {
    std::string doc = "<r>";
    for (int i = 0; i < elements; ++i)
        doc += "\n<k n=\"" + std::to_string(i) + "\">text &amp; more " + std::to_string(i) + "</k><x/>";
    return doc + "</r>";
}

std::string removingX(int count) {
    return "\n Removing: x( f.xml )\n Number of Elements: " + std::to_string(count) + "\n";
}

unsigned modeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool isTemporary(const std::string& name) { return name.rfind(".f.xml.quennel-", 0) == 0; }

// The program ignores SIGXFSZ itself, so a write past the limit fails with EFBIG even when the
// caller left the signal at its default, which would otherwise kill it mid-save.
TEST(SaveFault, WriteFailingPartWayKeepsTheOldFile) {
    const int elements = 15000;
    const std::string input = largeDocument(elements);
    // 0: the first write fails; 1000: the flush at close fails; the others: a write in the middle.
    for (rlim_t limit : {rlim_t(0), rlim_t(1000), rlim_t(100000), rlim_t(300000)}) {
        TempDir dir;
        const std::string path = dir.write("f.xml", input);
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        RunOptions options;
        options.cwd = dir.path();
        options.inChild = [limit] {
            ::signal(SIGXFSZ, SIG_DFL);
            const rlimit rl{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &rl);
        };
        const RunResult r = runQuennel({"-r", "f.xml", "x"}, options);
        EXPECT_EQ(r.signal, 0) << limit;
        EXPECT_EQ(r.out, removingX(elements) + kSaveFailed) << limit;
        EXPECT_EQ(r.exitCode, 2) << limit;
        EXPECT_TRUE(readFile(path) == input) << limit;
        EXPECT_EQ(modeOf(path), 0640u) << limit;
        EXPECT_EQ(dir.list(), std::vector<std::string>{"f.xml"}) << limit;
    }
}

// Starts quennel (-r f.xml x unless told otherwise) in cwd with its output on out (/dev/null
// when -1) and the signal ignored, if any, that its caller would ignore.
pid_t spawnRemove(const std::string& cwd,
                  const std::vector<std::string>& args = {"-r", "f.xml", "x"}, int out = -1,
                  int ignored = 0) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(out >= 0 ? out : null, 1);
        ::dup2(null, 2);
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        // Not what the test program ignores (a run before this one may have set SIGPIPE so).
        ::signal(SIGPIPE, SIG_DFL);
        if (ignored) ::signal(ignored, SIG_IGN);
        std::vector<char*> argv{const_cast<char*>(QUENNEL_BINARY)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(QUENNEL_BINARY, argv.data());
        ::_exit(127);
    }
    return pid;
}

// A run whose output goes to a pipe. A held run finds the pipe full: it stops at its first
// flush, which comes after the file was read and before it is saved, until collect() reads.
// A process still there when the test ends (a failed assertion) is killed and reaped.
struct HeldRun {
    pid_t pid = -1;
    int out = -1;
    std::size_t filler = 0;

    HeldRun() = default;
    HeldRun(const HeldRun&) = delete;
    HeldRun(HeldRun&& o) noexcept { *this = std::move(o); }
    HeldRun& operator=(HeldRun&& o) noexcept {
        std::swap(pid, o.pid);
        std::swap(out, o.out);
        std::swap(filler, o.filler);
        return *this;
    }
    ~HeldRun() {
        if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
        if (out >= 0) ::close(out);
    }
};

HeldRun startRun(const std::string& cwd, const std::vector<std::string>& args, bool held) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    HeldRun run;
    if (held) {
        ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
        while (::write(fds[1], "-", 1) == 1) ++run.filler;
        ::fcntl(fds[1], F_SETFL, 0);
    }
    run.pid = spawnRemove(cwd, args, fds[1]);
    ::close(fds[1]);
    run.out = fds[0];
    return run;
}

// Everything the run printed (without the filler), then its exit code; -signal when killed.
std::pair<std::string, int> collect(HeldRun& run) {
    std::string out;
    char buffer[65536];
    for (ssize_t got; (got = ::read(run.out, buffer, sizeof buffer)) != 0;)
        if (got > 0) out.append(buffer, static_cast<std::size_t>(got));
        else if (errno != EINTR) break;
    ::close(run.out);
    int status = 0;
    ::waitpid(run.pid, &status, 0);
    run.pid = run.out = -1;
    return {out.substr(std::min(run.filler, out.size())),
            WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status)};
}

// Whether /proc/locks shows pid holding a flock lock, or with waiting, waiting for one.
bool inLocks(pid_t pid, bool waiting) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, arrow, kind, advisory, access, owner;
        fields >> number >> arrow;
        if ((arrow == "->") != waiting) continue;
        if (waiting)
            fields >> kind;
        else
            kind = arrow;
        fields >> advisory >> access >> owner;
        if (kind == "FLOCK" && owner == std::to_string(pid)) return true;
    }
    return false;
}

// Whether pid sleeps in a write to a full pipe: a held run has read its file and printed its
// count, so whatever changes now comes after every check made on opening.
bool blockedWriting(pid_t pid) {
    std::ifstream wchan("/proc/" + std::to_string(pid) + "/wchan");
    std::string where;
    std::getline(wchan, where);
    return where.find("pipe_write") != std::string::npos;
}

bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool temporaryExists(const TempDir& dir) {
    for (const auto& name : dir.list())
        if (isTemporary(name)) return true;
    return false;
}

// SIGKILL at random moments of a run, half of them after the new file has appeared beside the
// old one, so that some land in the middle of the save. A killed save may leave its temporary
// file behind (nothing runs after SIGKILL); the target itself must be the old or the new file.
TEST(SaveFault, KilledAtAnyMomentLeavesTheOldOrTheNewFile) {
    const int elements = 60000;  // about 4 MB
    const std::string input = largeDocument(elements);
    TempDir dir;
    const std::string path = dir.file("f.xml");

    writeFile(path, input);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    RunOptions options;
    options.cwd = dir.path();
    const auto started = std::chrono::steady_clock::now();
    const RunResult whole = runQuennel({"-r", "f.xml", "x"}, options);
    const auto runTime = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(whole.exitCode, 1) << whole.out;
    const std::string output = readFile(path);
    ASSERT_NE(output, input);

    std::mt19937 random(7);
    int killedInSave = 0;
    for (int run = 0; run < 30; ++run) {
        writeFile(path, input);
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        const pid_t pid = spawnRemove(dir.path());
        ASSERT_GT(pid, 0);
        const auto deadline = std::chrono::steady_clock::now() + runTime * 3 / 2;
        if (run % 2 == 0) {
            std::uniform_int_distribution<long long> delay(0, std::chrono::duration_cast<
                std::chrono::microseconds>(runTime).count());
            std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        } else {
            while (!temporaryExists(dir) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            std::uniform_int_distribution<int> delay(0, 20000);
            std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        }
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);

        const std::string now = readFile(path);
        EXPECT_TRUE(now == input || now == output)
            << "run " << run << ": " << now.size() << " bytes, neither old nor new";
        EXPECT_EQ(modeOf(path), 0640u) << "run " << run;
        for (const auto& name : dir.list()) {
            if (name == "f.xml") continue;
            EXPECT_TRUE(isTemporary(name)) << name;
            ++killedInSave;
            ::unlink(dir.file(name).c_str());
        }
    }
    // Otherwise the loop never reached the save and proved nothing.
    EXPECT_GT(killedInSave, 0);
}

struct NameChange {
    const char* what;
    std::function<void(const TempDir&)> change;  // made while quennel reads link.xml
    int exitCode;
    std::string fileAfter;  // f.xml afterwards; "" when it is gone
};

// A name that designates another file by the time of the save is refused: nothing is written
// there, nor in the old file's place, and nothing is left beside it.
TEST(SaveRace, NameChangedWhileTheFileIsReadIsNotWritten) {
    const std::string input = "<r><k/><x/></r>";
    const std::string output = "<r><k/></r>\r\n";
    const NameChange kChanges[] = {
        {"nothing changes: the run saves", [](const TempDir&) {}, 1, output},
        {"the link is pointed at another file",
         [](const TempDir& d) {
             ::symlink("v.xml", d.file("l.new").c_str());
             ::rename(d.file("l.new").c_str(), d.file("link.xml").c_str());
         },
         2, input},
        {"another file is renamed over the file",
         [](const TempDir& d) {
             d.write("n.xml", "<n><x/></n>");
             ::rename(d.file("n.xml").c_str(), d.file("f.xml").c_str());
         },
         2, "<n><x/></n>"},
        {"the file gets a second name",
         [](const TempDir& d) { ::link(d.file("f.xml").c_str(), d.file("g.xml").c_str()); }, 2,
         input},
        {"the file is removed", [](const TempDir& d) { ::unlink(d.file("f.xml").c_str()); }, 2, ""},
    };
    for (const auto& c : kChanges) {
        TempDir dir;
        dir.write("f.xml", input);
        dir.write("v.xml", "<victim><x/></victim>");
        ASSERT_EQ(::symlink("f.xml", dir.file("link.xml").c_str()), 0);
        HeldRun run = startRun(dir.path(), {"-r", "link.xml", "x"}, true);
        // Holding the lock is not enough: right after taking it the run still looks at what the
        // name designates (a file renamed over while it waited is the one to edit).
        ASSERT_TRUE(eventually([&] { return inLocks(run.pid, false) && blockedWriting(run.pid); }))
            << c.what;
        c.change(dir);
        const auto [out, code] = collect(run);
        EXPECT_EQ(out, "\n Removing: x( link.xml )\n Number of Elements: 1\n" +
                           (c.exitCode == 1 ? std::string("\n ** Removing elements was successful.\n\n")
                                            : kSaveFailed))
            << c.what;
        EXPECT_EQ(code, c.exitCode) << c.what;
        EXPECT_EQ(dir.read("v.xml"), "<victim><x/></victim>") << c.what;
        EXPECT_EQ(c.fileAfter.empty() ? "(gone)" : dir.read("f.xml"),
                  c.fileAfter.empty() ? "(gone)" : c.fileAfter)
            << c.what;
        EXPECT_FALSE(temporaryExists(dir)) << c.what;
    }
}

// Another process holds the lock and changes the file meanwhile: the run waits, then reads what
// the holder left under the name. The holder is another run of quennel (removing y), or a
// process that rewrites the file in place or renames a new one over it.
TEST(SaveRace, RunWaitsForTheLockAndWorksOnTheHoldersResult) {
    enum Holder { AnotherRun, InPlace, ByRename };
    const std::string changed = "<r><x/><k/><x/></r>";
    for (const Holder holding : {AnotherRun, InPlace, ByRename}) {
        TempDir dir;
        const std::string path = dir.write("f.xml", holding == AnotherRun ? "<r><x/><y/><k/><x/></r>"
                                                                          : "<r><x/></r>");
        int go[2];
        ASSERT_EQ(::pipe2(go, O_CLOEXEC), 0);
        HeldRun holder;
        if (holding == AnotherRun) {
            holder = startRun(dir.path(), {"-r", "f.xml", "y"}, true);
        } else if ((holder.pid = ::fork()) == 0) {
            const int fd = ::open(path.c_str(), O_RDWR);
            char byte;
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::read(go[0], &byte, 1) != 1) ::_exit(1);
            if (holding == ByRename) {
                writeFile(dir.file("n.xml"), changed);
                ::_exit(::rename(dir.file("n.xml").c_str(), path.c_str()) == 0 ? 0 : 1);
            }
            const bool ok = ::ftruncate(fd, 0) == 0 &&
                            ::pwrite(fd, changed.data(), changed.size(), 0) ==
                                static_cast<ssize_t>(changed.size());
            ::_exit(ok ? 0 : 1);
        }
        ::close(go[0]);
        ASSERT_TRUE(eventually([&] { return inLocks(holder.pid, false); })) << holding;
        HeldRun run = startRun(dir.path(), {"-r", "f.xml", "x"}, false);
        ASSERT_TRUE(eventually([&] { return inLocks(run.pid, true); })) << holding;
        // The other run goes on as its output is read.
        if (holding != AnotherRun) {
            EXPECT_EQ(::write(go[1], "g", 1), 1);
        }
        ::close(go[1]);
        EXPECT_EQ(collect(holder),
                  holding == AnotherRun
                      ? std::make_pair(std::string("\n Removing: y( f.xml )\n Number of Elements: 1\n"
                                                   "\n ** Removing elements was successful.\n\n"),
                                       1)
                      : std::make_pair(std::string(), 0))
            << holding;
        EXPECT_EQ(collect(run),
                  std::make_pair(removingX(2) + "\n ** Removing elements was successful.\n\n", 1))
            << holding;
        EXPECT_EQ(readFile(path), "<r><k/></r>\r\n") << holding;
        EXPECT_EQ(dir.list(), std::vector<std::string>{"f.xml"}) << holding;
    }
}

// SIGINT, SIGTERM, SIGHUP and SIGPIPE while the new file is being written remove it and leave
// the old one; the run then ends by the signal. A signal its caller ignores stays ignored. Each
// run is stopped as soon as the new file appears, so the signal lands inside the save.
TEST(SaveFault, SignalDuringTheSaveRemovesTheNewFile) {
    const int elements = 60000;
    const std::string input = largeDocument(elements);
    struct Case {
        int signal;
        bool ignored;
    };
    for (const Case c : {Case{SIGINT, false}, Case{SIGTERM, false}, Case{SIGHUP, false},
                         Case{SIGPIPE, false}, Case{SIGHUP, true}}) {
        bool landed = false;
        for (int attempt = 0; attempt < 5 && !landed; ++attempt) {
            TempDir dir;
            const std::string path = dir.write("f.xml", input);
            ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
            const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
            ASSERT_GE(watch, 0);
            ASSERT_GE(::inotify_add_watch(watch, dir.path().c_str(), IN_CREATE), 0);
            HeldRun run;
            const pid_t pid = run.pid = spawnRemove(dir.path(), {"-r", "f.xml", "x"}, -1,
                                                    c.ignored ? c.signal : 0);
            bool created = false;
            for (pollfd p{watch, POLLIN, 0}; !created && ::poll(&p, 1, 60000) > 0;) {
                alignas(inotify_event) char events[4096];
                const ssize_t got = ::read(watch, events, sizeof events);
                for (ssize_t at = 0; at < got;) {
                    const auto* e = reinterpret_cast<const inotify_event*>(events + at);
                    created = created || (e->len > 0 && isTemporary(e->name));
                    at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                }
            }
            ::close(watch);
            ::kill(pid, SIGSTOP);
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, WUNTRACED), pid);
            landed = created && WIFSTOPPED(status) && temporaryExists(dir);
            if (landed) ::kill(pid, c.signal);
            ::kill(pid, SIGCONT);
            if (WIFSTOPPED(status)) {
                ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            }
            run.pid = -1;
            if (!landed) continue;  // the save was over before the stop: try again
            if (c.ignored) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << c.signal;
                EXPECT_NE(readFile(path), input) << c.signal;
            } else {
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal)
                    << c.signal << " status " << status;
                EXPECT_TRUE(readFile(path) == input) << c.signal;
            }
            EXPECT_EQ(modeOf(path), 0640u) << c.signal;
            EXPECT_EQ(dir.list(), std::vector<std::string>{"f.xml"}) << c.signal;
        }
        EXPECT_TRUE(landed) << "signal " << c.signal << " never reached a save";
    }
}

}  // namespace
