#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "TestSupport.h"
#include "output/FileTarget.h"
#include "support/QelFmFile.h"

using namespace xercesc;

namespace {

const char* const kSaveFailure = "An error occured while saving the DOM tree to the file.";

I18NString pathOf(const std::string& path) {
    return I18NString(path.c_str(), I18NGetPlatformDefaultEncoding(), -1, nullptr, nullptr);
}

mode_t modeOf(const std::string& path) {
    struct stat st;
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode;
}

// The text of whatever saveDocument threw, or "" when it returned.
std::string saveFailure(DOMNode* root, const std::string& path) {
    try {
        saveDocument(root, pathOf(path));
    } catch (const char* text) {
        return text;
    }
    return "";
}

class FileTargetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { XMLPlatformUtils::Initialize(); }
    static void TearDownTestSuite() { XMLPlatformUtils::Terminate(); }

    void SetUp() override {
        DOMImplementation* impl = DOMImplementationRegistry::getDOMImplementation(u"Core");
        doc = impl->createDocument();
        DOMElement* r = doc->createElement(u"r");
        doc->appendChild(doc->createComment(u"c"));
        doc->appendChild(r);
        r->appendChild(doc->createTextNode(u"\n\u00e9"));
    }
    void TearDown() override { doc->release(); }

    DOMDocument* doc = nullptr;
    const std::string written = "<!--c-->\r\n<r>\r\n\xC3\xA9</r>\r\n";
    TempDir dir;
};

TEST_F(FileTargetTest, SaveReplacesTheWholeFileAndLeavesNothingBeside) {
    const std::string path = dir.write("f.xml", std::string(5000, 'x'));
    EXPECT_EQ(saveFailure(doc, path), "");
    EXPECT_EQ(readFile(path), written);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"f.xml"});
}

TEST_F(FileTargetTest, SaveKeepsPermissionBitsAndOwner) {
    const bool root = ::geteuid() == 0;
    for (mode_t mode : {0600, 0640, 0604, 0755, 02644}) {
        const std::string path = dir.write("f.xml", "<old/>");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        if (root) {
            ASSERT_EQ(::chown(path.c_str(), 4321, 4322), 0);
        }
        EXPECT_EQ(saveFailure(doc, path), "");
        struct stat st;
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
        if (root) {
            EXPECT_EQ(st.st_uid, 4321u);
            EXPECT_EQ(st.st_gid, 4322u);
        }
        EXPECT_EQ(readFile(path), written);
    }
}

TEST_F(FileTargetTest, SaveThroughASymbolicLinkReplacesItsTarget) {
    const std::string target = dir.write("real/f.xml", "<old/>");
    const std::string link = dir.file("link.xml");
    ASSERT_EQ(::symlink("real/f.xml", link.c_str()), 0);
    EXPECT_EQ(saveFailure(doc, link), "");
    EXPECT_TRUE(S_ISLNK(modeOf(link)));
    char pointsTo[256] = {};
    ASSERT_GT(::readlink(link.c_str(), pointsTo, sizeof pointsTo - 1), 0);
    EXPECT_STREQ(pointsTo, "real/f.xml");
    EXPECT_EQ(readFile(target), written);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"link.xml", "real"}));
}

TEST_F(FileTargetTest, FailuresBecomeOneMessageAndChangeNothing) {
    // The open fails: no such directory.
    EXPECT_EQ(saveFailure(doc, dir.file("missing/f.xml")), kSaveFailure);
    // The rename fails: a directory cannot be replaced by a file.
    const std::string sub = dir.write("sub/keep", "k");
    EXPECT_EQ(saveFailure(doc, dir.file("sub")), kSaveFailure);
    EXPECT_EQ(readFile(sub), "k");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"sub"});
    // A new file's name is taken by someone else before the save ends: theirs stays.
    {
        FileTarget target(pathOf(dir.file("new.xml")));
        writeFile(dir.file("new.xml"), "theirs");
        target.writeChars(reinterpret_cast<const XMLByte*>("<new/>"), 6, nullptr);
        EXPECT_THROW(target.commit(), const char*);
    }
    EXPECT_EQ(readFile(dir.file("new.xml")), "theirs");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"new.xml", "sub"}));
}

TEST_F(FileTargetTest, UncommittedTargetLeavesTheFileAsItWas) {
    const std::string path = dir.write("f.xml", "<old/>");
    {
        FileTarget target(pathOf(path));
        target.writeChars(reinterpret_cast<const XMLByte*>("<new/>"), 6, nullptr);
    }
    EXPECT_EQ(readFile(path), "<old/>");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"f.xml"});
}

// Pieces of every size around the file's buffer must come out whole and in order.
TEST(QelFmFileTest, WritesPiecesAcrossTheBufferInOrder) {
    TempDir dir;
    const std::string path = dir.file("out");
    std::string expected;
    QelFmFile file;
    ASSERT_NE(file.open(path.c_str(), QelFmFile::ModeWrite, QelFmFile::FlagsNone), 0);
    const std::size_t sizes[] = {1, 7, 65535, 1, 65536, 3, 200000, 65536, 65537, 2, 0, 100};
    char fill = 'a';
    for (std::size_t size : sizes) {
        const std::string piece(size, fill);
        fill = fill == 'z' ? 'a' : fill + 1;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(file.write(piece.data(), piece.size()), static_cast<long>(size));
            expected += piece;
        }
    }
    for (int i = 0; i < 100000; ++i) {
        const char c = static_cast<char>('0' + i % 10);
        file.write(&c, 1);
        expected += c;
    }
    EXPECT_FALSE(::access(path.c_str(), F_OK) == 0) << "visible before close";
    EXPECT_NE(file.close(), 0);
    EXPECT_EQ(readFile(path), expected);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out"});
}

// Runs body in a child limited to files of limit bytes, with SIGXFSZ ignored so that a write
// past the limit fails with EFBIG; the child's exit code is body's result.
int withFileSizeLimit(rlim_t limit, int (*body)(const std::string&), const std::string& path) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(99);
        ::_exit(body(path));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// 0: the failure was reported by write or close. 1: everything claimed success.
int writeAndClose(const std::string& path, std::size_t size) {
    QelFmFile file;
    if (!file.open(path.c_str(), QelFmFile::ModeWrite, QelFmFile::FlagsNone)) return 2;
    const std::string bytes(size, 'n');
    bool failed = false;
    for (std::size_t at = 0; at < size; at += 1000)
        failed = file.write(bytes.data() + at, std::min<std::size_t>(1000, size - at)) < 0 || failed;
    return (file.close() == 0 || failed) ? 0 : 1;
}

TEST(QelFmFileTest, AFailedWriteOrFlushKeepsTheOldFile) {
    TempDir dir;
    const std::string old(3000, 'o');
    const std::string path = dir.write("f.xml", old);
    // Small: every byte still sits in the buffer until close() flushes it.
    EXPECT_EQ(withFileSizeLimit(1024, [](const std::string& p) { return writeAndClose(p, 2000); },
                                path),
              0);
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"f.xml"});
    // Large: a write in the middle fails.
    EXPECT_EQ(withFileSizeLimit(100000, [](const std::string& p) { return writeAndClose(p, 300000); },
                                path),
              0);
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"f.xml"});
}

}  // namespace
