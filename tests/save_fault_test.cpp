// The remove command's save under faults: a write that fails part way, and the process killed at
// any moment. The file must always hold either its old or its new content, whole.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
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

pid_t spawnRemove(const std::string& cwd) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        const char* argv[] = {QUENNEL_BINARY, "-r", "f.xml", "x", nullptr};
        ::execv(QUENNEL_BINARY, const_cast<char**>(argv));
        ::_exit(127);
    }
    return pid;
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

}  // namespace
