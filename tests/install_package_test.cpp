// Installing like a Unix tool: the install rules, the man page and the Debian package.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

struct Shell {
    std::string out;  // standard output and standard error together
    int status = -1;
};

Shell shell(const std::string& command) {
    Shell result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool haveCommand(const std::string& name) {
    return shell("command -v " + name + " >/dev/null").status == 0;
}

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// The build tree is where the binary under test was built.
std::string buildDirectory() {
    const std::string binary = QUENNEL_BINARY;
    return binary.substr(0, binary.rfind('/'));
}

const std::string kManPage = std::string(QUENNEL_SOURCE_DIR) + "/doc/quennel.1";

TEST(Install, PlacesBinaryAndManPageUnderThePrefix) {
    TempDir dir;
    const std::string prefix = dir.file("usr");
    const Shell install =
        shell("cmake --install " + quoted(buildDirectory()) + " --prefix " + quoted(prefix));
    ASSERT_EQ(install.status, 0) << install.out;

    struct stat info {};
    ASSERT_EQ(stat((prefix + "/bin/quennel").c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IXUSR);
    EXPECT_EQ(readFile(prefix + "/share/man/man1/quennel.1"), readFile(kManPage));

    // The installed copy is the tool itself.
    dir.write("a.xml", "<r><a/></r>");
    dir.write("b.xml", "<R><A/></R>");
    const Shell run = shell("cd " + quoted(dir.path()) + " && " + quoted(prefix + "/bin/quennel") +
                            " a.xml b.xml");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "\nParsing a.xml\nParsing b.xml\n\nDiffing a.xml Vs. b.xml\n"
                       "\n ** Files are the same\n\n");
}

TEST(ManPage, RendersWithoutWarnings) {
    if (!haveCommand("groff")) GTEST_SKIP() << "groff is not installed";
    const Shell lint = shell("groff -man -ww -z " + quoted(kManPage));
    EXPECT_EQ(lint.status, 0);
    EXPECT_EQ(lint.out, "");
    const Shell text = shell("groff -man -Tutf8 -P-cbou " + quoted(kManPage));
    ASSERT_EQ(text.status, 0);
    // Every option and every exit code is documented.
    for (const char* word : {"-v", "-l", "-j", "-c", "-o", "-i", "-r", "First difference",
                             "Difference", "\"same\": null", "EXIT STATUS"})
        EXPECT_NE(text.out.find(word), std::string::npos) << word;
}

TEST(DebianPackage, HoldsTheToolAndNeedsTheXercesRuntime) {
    if (!haveCommand("dpkg-deb") || !haveCommand("cpack")) GTEST_SKIP() << "no dpkg-deb or cpack";
    TempDir dir;
    const Shell pack = shell("cd " + quoted(buildDirectory()) + " && cpack -G DEB -B " +
                             quoted(dir.path()));
    ASSERT_EQ(pack.status, 0) << pack.out;
    const Shell found = shell("ls " + quoted(dir.path()) + "/*.deb");
    ASSERT_EQ(found.status, 0) << found.out;
    const std::string deb = found.out.substr(0, found.out.find('\n'));

    const Shell depends = shell("dpkg-deb -f " + quoted(deb) + " Depends");
    EXPECT_NE(depends.out.find("libxerces-c3.2"), std::string::npos) << depends.out;
    const Shell contents = shell("dpkg-deb -c " + quoted(deb));
    EXPECT_NE(contents.out.find("./usr/bin/quennel\n"), std::string::npos) << contents.out;
    EXPECT_NE(contents.out.find("./usr/share/man/man1/quennel.1"), std::string::npos)
        << contents.out;
}

}  // namespace
