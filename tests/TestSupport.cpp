#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

const char* const kUsageText =
    "\n\n  Usage: { -r file element... } | { [-c] [-o] file1 file2 [-i element...] } \n\n"
    "  This utility can diff two XML files with the option to ignore comments (-c)\n"
    "  and/or  ignore specific elements (-i). In addition, using the (-r) option,\n"
    "  the utility is able to remove specific elements from an xml file. The \n"
    "  errorlevel will be set to the following: 0 if files are not different (in the -r option "
    "if the file didn't change) \n"
    " 1 if files are different (in the -r option if the file has changed)\n"
    "-1 if failed to diff the files (in the -r option if fails to remove element(s) )  \n\n"
    "  options:\n"
    "  -i\tdiff suboption, igonre particular elements when diffing two files.\n"
    "  -c\tdiff suboption, igonre comments when diffing two files.\n"
    "  -o\tdiff suboption, igonre elements order when they are on the same level.\n"
    "  -r\tRemove elements from file. errorlevel will be set to the following: \n"
    "\t\t 0 if no elements were found, file stayed unchanged \n"
    "\t\t 1 if any element is found and removed, file has changed \n"
    "\t\t-1 if failed to remove the elements\n\n"
    " Examples:\n\n"
    "  W:\\m1.xml W:\\m2.xml\tdiff the two files\n"
    "  errorlevel is 0 if not different, 1 if different, -1 if fail\n\n"
    "  W:\\m1.xml W:\\m2.xml -i locale\tdiff the two files and ignores locale.\n"
    "  errorlevel is 0 if not different, 1 if different, -1 if fail\n\n"
    "  -c W:\\m1.xml W:\\m2.xml\tdiff the two files and ignores comments.\n"
    "  errorlevel is 0 if not different, 1 if different, -1 if fail\n\n"
    "  -o W:\\m1.xml W:\\m2.xml\tdiff the two files and ignores elements order.\n"
    "  errorlevel is 0 if not different, 1 if different, -1 if fail\n\n"
    "  -r W:\\model.xml lastChanged locale\tremove lastChanged and locale elements.\n"
    "  errorlevel is 0 if not different, 1 if different, -1 if fail\n\n"
    "     press any key to exit...\n";

RunResult runQuennel(const std::vector<std::string>& args, const RunOptions& options) {
    int outPipe[2], errPipe[2], inPipe[2] = {-1, -1};
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
    if (options.input && pipe(inPipe) != 0) throw std::runtime_error("pipe failed");
    signal(SIGPIPE, SIG_IGN);  // a child that stops reading its input must not kill the test
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
    for (const auto& extra : options.env) {
        const std::string name = extra.substr(0, extra.find('=') + 1);
        envStrings.erase(std::remove_if(envStrings.begin(), envStrings.end(),
                                        [&](const std::string& s) { return s.rfind(name, 0) == 0; }),
                         envStrings.end());
        if (extra.back() != '=') envStrings.push_back(extra);  // "NAME=" unsets NAME
    }
    std::vector<char*> argv{const_cast<char*>(QUENNEL_BINARY)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    const pid_t pid = fork();
    if (pid == 0) {
        if (options.input) {
            dup2(inPipe[0], 0);
            close(inPipe[0]);
            close(inPipe[1]);
        } else {
            dup2(open("/dev/null", O_RDONLY), 0);
        }
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
        signal(SIGPIPE, SIG_DFL);  // quennel starts as a shell would start it
        if (options.inChild) options.inChild();
        execve(QUENNEL_BINARY, argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    size_t fed = 0;
    if (options.input) {
        close(inPipe[0]);
        fcntl(inPipe[1], F_SETFL, O_NONBLOCK);
        if (options.input->empty()) {
            close(inPipe[1]);
            inPipe[1] = -1;
        }
    }
    RunResult result;
    pollfd fds[3] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}, {inPipe[1], POLLOUT, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 3, static_cast<int>(std::min<long long>(left, 1000))) < 0) continue;
        if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t put =
                write(fds[2].fd, options.input->data() + fed, options.input->size() - fed);
            if (put > 0) fed += static_cast<size_t>(put);
            if ((put < 0 && errno != EAGAIN) || fed == options.input->size()) {
                close(fds[2].fd);
                fds[2].fd = -1;
            }
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[65536];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

void expectCommand(const CommandCase& c, const RunOptions& options) {
    const RunResult r = runQuennel(c.args, options);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitCode, c.exitCode);
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/quennel-test-XXXXXX";
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    const std::string command = "chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'";
    if (std::system(command.c_str()) != 0) {
    }
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
    const std::string full = file(name);
    for (size_t slash = name.find('/'); slash != std::string::npos;
         slash = name.find('/', slash + 1))
        mkdir(file(name.substr(0, slash)).c_str(), 0755);
    writeFile(full, content);
    return full;
}

std::string TempDir::read(const std::string& name) const { return readFile(file(name)); }

std::vector<std::string> TempDir::list() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(path_.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.emplace_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out << content;
}

std::string utf16le(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

std::string utf16be(const std::u16string& text) {
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c >> 8);
        bytes += static_cast<char>(c & 0xFF);
    }
    return bytes;
}
