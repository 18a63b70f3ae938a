#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "support/I18NConverter.h"
#include "support/I18NString.h"
#include "support/Platform.h"
#include "support/QelException.h"
#include "support/QelFmFile.h"
#include "support/Utf8.h"

namespace {

const char* kDefault = I18NGetPlatformDefaultEncoding();

// A path in the default encoding, back to bytes the way a file is opened.
std::string roundTrip(const std::string& bytes) {
    const I18NString text(bytes.c_str(), kDefault, -1, nullptr, nullptr);
    char* out = nullptr;
    I18NConverter(kDefault).fromUnicode(&out, nullptr, text, nullptr, nullptr);
    std::unique_ptr<char[]> owned(out);
    return out;
}

TEST(Encoding, DefaultIsUtf8) {
    EXPECT_STRCASEEQ(kDefault, "UTF-8");
    const I18NString text("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", kDefault, -1, nullptr, nullptr);
    EXPECT_EQ(text.text(), u"\u00E9\u20AC\U0001F600");
}

TEST(Encoding, BytesRoundTripEvenWhenNotUtf8) {
    const std::string cases[] = {
        "plain.xml",
        "caf\xC3\xA9/\xE2\x82\xAC.xml",
        "\xF0\x9F\x98\x80",
        "caf\xE9.xml",             // Latin-1 byte
        "\xC3",                    // truncated sequence
        "\xE2\x82",                // truncated at the end
        "\xC0\xAF",                // overlong slash
        "\xED\xA0\x80\xED\xB0\x80",  // encoded surrogates
        "\xF4\x90\x80\x80",        // beyond U+10FFFF
        "\xFF\xFE\x80\xBF",
        "\xED\xB3\xA9",            // the UTF-8 form of an escape code unit itself
    };
    for (const std::string& bytes : cases) {
        EXPECT_EQ(roundTrip(bytes), bytes);
        const I18NString text(bytes.c_str(), nullptr, -1, nullptr, nullptr);
        EXPECT_EQ(std::string(text.toBytes(nullptr, nullptr, nullptr, nullptr)), bytes);
    }
}

TEST(Encoding, LengthLimitsTheText) {
    const I18NString text("-rx", nullptr, 2, nullptr, nullptr);
    EXPECT_EQ(text.text(), u"-r");
    int length = -1;
    EXPECT_STREQ(text.toBytes(nullptr, &length, nullptr, nullptr), "-r");
    EXPECT_EQ(length, 2);
}

TEST(Encoding, LoneSurrogatesFromUnicodeSideBecomeReplacement) {
    EXPECT_EQ(encodeUtf8(std::u16string(u"a") + char16_t(0xD800) + u"b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(encodeUtf8(std::u16string(1, char16_t(0xDC41))), "\xEF\xBF\xBD");
}

TEST(Encoding, UnknownEncodingThrows) {
    EXPECT_THROW(I18NString("x", "ISO-8859-1", -1, nullptr, nullptr), QelException);
    EXPECT_THROW(I18NConverter("EBCDIC"), QelException);
    EXPECT_NO_THROW(I18NConverter("utf-8"));
}

class ExistsTest : public testing::Test {
protected:
    TempDir dir;
    std::string path(const char* name) { return dir.file(name); }
    int exists(const std::string& p, int mode) { return QelFmDir::exists(p.c_str(), mode); }
};

TEST_F(ExistsTest, RegularFilesByPermission) {
    const std::string rw = dir.write("rw.xml", "<a/>");
    const std::string ro = dir.write("ro.xml", "<a/>");
    const std::string wo = dir.write("wo.xml", "<a/>");
    const std::string none = dir.write("none.xml", "<a/>");
    const std::string groupOnly = dir.write("group.xml", "<a/>");
    ASSERT_EQ(chmod(ro.c_str(), 0444), 0);
    ASSERT_EQ(chmod(wo.c_str(), 0200), 0);
    ASSERT_EQ(chmod(none.c_str(), 0000), 0);
    ASSERT_EQ(chmod(groupOnly.c_str(), 0066), 0);

    EXPECT_NE(exists(rw, 0x8100), 0);
    EXPECT_NE(exists(rw, 0x8180), 0);
    // The mode bits decide, not what the caller may do (root may write anything).
    EXPECT_NE(exists(ro, 0x8100), 0);
    EXPECT_EQ(exists(ro, 0x8180), 0);
    EXPECT_EQ(exists(wo, 0x8100), 0);
    EXPECT_EQ(exists(none, 0x8100), 0);
    EXPECT_EQ(exists(groupOnly, 0x8100), 0);
    EXPECT_EQ(exists(path("missing.xml"), 0x8100), 0);
    EXPECT_EQ(exists(path("missing/x.xml"), 0x8100), 0);
    EXPECT_EQ(exists("", 0x8100), 0);
}

TEST_F(ExistsTest, OnlyRegularFilesCount) {
    ASSERT_EQ(mkdir(path("dir").c_str(), 0777), 0);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0666), 0);
    const std::string target = dir.write("target.xml", "<a/>");
    ASSERT_EQ(symlink(target.c_str(), path("link.xml").c_str()), 0);
    ASSERT_EQ(symlink(path("nowhere").c_str(), path("dangling.xml").c_str()), 0);

    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = path("sock");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(chmod(socketPath.c_str(), 0777), 0);

    for (const std::string& p : {path("dir"), path("fifo"), socketPath, std::string("/dev/zero"),
                                 std::string("/dev/null"), std::string("."),
                                 path("dangling.xml")}) {
        EXPECT_EQ(exists(p, 0x8100), 0) << p;
        EXPECT_EQ(exists(p, 0x8180), 0) << p;
    }
    EXPECT_NE(exists(path("link.xml"), 0x8180), 0);
    close(sock);
}

TEST_F(ExistsTest, NonUtf8NameIsFoundAndRead) {
    const std::string name = dir.write("caf\xE9.xml", "<a>\xE9</a>");
    EXPECT_NE(exists(roundTrip(name), 0x8100), 0);

    QelFmFile file;
    ASSERT_NE(file.open(roundTrip(name).c_str(), QelFmFile::ModeRead, QelFmFile::FlagsExisting), 0);
    char buffer[16] = {};
    EXPECT_EQ(file.read(buffer, sizeof buffer), 8u);
    EXPECT_EQ(std::string(buffer, 8), "<a>\xE9</a>");
    EXPECT_NE(file.close(), 0);
}

TEST(FileRead, ChunksContinueWhereTheLastStoppedAndPositionDoesNotMove) {
    TempDir dir;
    std::string content;
    for (int i = 0; i < 10000; ++i) content += static_cast<char>('a' + i % 26);
    const std::string path = dir.write("big.xml", content);

    QelFmFile file;
    ASSERT_NE(file.open(path.c_str(), QelFmFile::ModeRead, QelFmFile::FlagsExisting), 0);
    std::string got;
    char buffer[4096];
    for (;;) {
        EXPECT_EQ(file.position(0, 0), got.size());
        EXPECT_EQ(file.position(0, 0), got.size());
        const std::size_t n = file.read(buffer, sizeof buffer);
        ASSERT_LE(n, sizeof buffer);
        if (n == 0) break;
        got.append(buffer, n);
    }
    EXPECT_EQ(got, content);
    EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
    EXPECT_NE(file.close(), 0);

    QelFmFile missing;
    EXPECT_EQ(missing.open(dir.file("missing.xml").c_str(), QelFmFile::ModeRead,
                           QelFmFile::FlagsExisting),
              0);
}

// Runs body with standard output and standard error sent to a file; returns what arrived there.
template <typename Body>
std::string captureDescriptors(Body body) {
    TempDir dir;
    const std::string sink = dir.write("captured", "");
    fflush(stdout);
    fflush(stderr);
    const int savedOut = dup(1), savedErr = dup(2);
    const int fd = open(sink.c_str(), O_WRONLY);
    dup2(fd, 1);
    dup2(fd, 2);
    close(fd);
    body();
    fflush(stdout);
    fflush(stderr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(savedOut);
    close(savedErr);
    return readFile(sink);
}

std::string lastNote;
void rememberNote(const char* text) { lastNote = text; }

TEST(DebugOutput, InvisibleUnlessASinkIsInstalled) {
    EXPECT_EQ(captureDescriptors([] { debugOutput("unhandled node type\n"); }), "");

    const DebugOutputSink old = setDebugOutputSink(&rememberNote);
    EXPECT_EQ(captureDescriptors([] { debugOutput("note"); }), "");
    setDebugOutputSink(old);
    EXPECT_EQ(lastNote, "note");
}

TEST(RetainText, KeepsEveryTextAlive) {
    const char* first = retainText("first");
    for (int i = 0; i < 1000; ++i) retainText(std::string(100, 'x'));
    EXPECT_STREQ(first, "first");
}

}  // namespace
