#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

const std::string kSuccess = "\n ** Removing elements was successful.\n\n";
const std::string kFailure = "\n *** Failed to remove elements from file.\n\n";
const std::string kStringBlockEnd =
    "\n Insure validity of file (formatted properly)."
    "\n You can use Internet Explorer to validate the file.";
const std::string kArgumentsBlockEnd =
    "\n Please insure the validity of arguments. If the problem"
    "\n persists, contact the Varno development team."
    "\n\n Changes will not be saved.";
const char* const kUnchanged = "(unchanged)";

unsigned modeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}
mode_t lmodeOf(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

std::string removing(const std::string& name, int count, const std::string& path = "f.xml") {
    return "\n Removing: " + name + "( " + path + " )\n Number of Elements: " +
           std::to_string(count) + "\n";
}
std::string notFound(const std::string& name) {
    return "\n\n The element " + name + " was not found.";
}

struct RemoveCase {
    const char* what;
    std::vector<std::string> args;  // run in the directory that holds f.xml
    std::string input;              // content of f.xml
    std::string out;
    int exitCode;
    std::string after;  // f.xml afterwards, or kUnchanged
};

const std::string kDoc = "<r>\n  <a>1</a>\n  <c><a/><k/></c>\n</r>\n";
const std::string kDtdDoc =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE r [\n<!ELEMENT r (a|b)*>\n<!ELEMENT a (#PCDATA)>\n<!ELEMENT b EMPTY>\n"
    "<!ATTLIST a k CDATA \"dflt\">\n]>\n"
    "<!-- top -->\n<r><a>x</a><b/></r>\n<?done?>\n";

const RemoveCase kCases[] = {
    {"one name found twice (one nested), one not found",
     {"-r", "f.xml", "a", "b"}, kDoc,
     removing("a", 2) + notFound("b") + kSuccess, 1,
     "<r>\r\n  \r\n  <c><k/></c>\r\n</r>\r\n"},
    {"no names: nothing read or written",
     {"-r", "f.xml"}, kDoc,
     "No Elements are specified to be removed." + kSuccess, 1, kUnchanged},
    {"no name occurs: file not written",
     {"-r", "f.xml", "x", "y"}, kDoc,
     notFound("x") + notFound("y") + "\n\n The file has not changed." + kSuccess, 1, kUnchanged},
    {"option word in any case", {"-R", "f.xml", "k"}, kDoc,
     removing("k", 1) + kSuccess, 1, "<r>\r\n  <a>1</a>\r\n  <c><a/></c>\r\n</r>\r\n"},
    {"names are case-sensitive", {"-r", "f.xml", "A"}, kDoc,
     notFound("A") + "\n\n The file has not changed." + kSuccess, 1, kUnchanged},
    {"a match inside a match is counted and goes with it",
     {"-r", "f.xml", "a"}, "<r><a><a><a/></a></a><a/></r>",
     removing("a", 4) + kSuccess, 1, "<r/>\r\n"},
    {"the same name twice", {"-r", "f.xml", "k", "k"}, kDoc,
     removing("k", 1) + notFound("k") + kSuccess, 1,
     "<r>\r\n  <a>1</a>\r\n  <c><a/></c>\r\n</r>\r\n"},
    {"names in command-line order; a name gone with an earlier one is not found",
     {"-r", "f.xml", "c", "k", "a"}, kDoc,
     removing("c", 1) + notFound("k") + removing("a", 1) + kSuccess, 1,
     "<r>\r\n  \r\n  \r\n</r>\r\n"},
    {"words after the file are names, even options", {"-r", "f.xml", "-c", "-i"}, kDoc,
     notFound("-c") + notFound("-i") + "\n\n The file has not changed." + kSuccess, 1,
     kUnchanged},
    {"star removes every element; what stands beside the root stays",
     {"-r", "f.xml", "*"}, "<?pi x?>\n<!--c-->\n<r><a/><b><c/></b></r>\n<!--d-->",
     removing("*", 4) + kSuccess, 1, "<?pi x?>\r\n<!--c-->\r\n<!--d-->\r\n"},
    {"document type, defaults and top-level nodes are written back",
     {"-r", "f.xml", "b"}, kDtdDoc,
     removing("b", 1) + kSuccess, 1,
     "<!DOCTYPE r[\n<!ELEMENT r (a|b)*>\n<!ELEMENT a (#PCDATA)>\n<!ELEMENT b EMPTY>\n"
     "<!ATTLIST a k CDATA \"dflt\">\n]>\r\n<!-- top -->\r\n<r><a k=\"dflt\">x</a></r>\r\n"
     "<?done?>\r\n"},
    {"removing the document element leaves the document type",
     {"-r", "f.xml", "r"}, kDtdDoc,
     removing("r", 1) + kSuccess, 1,
     "<!DOCTYPE r[\n<!ELEMENT r (a|b)*>\n<!ELEMENT a (#PCDATA)>\n<!ELEMENT b EMPTY>\n"
     "<!ATTLIST a k CDATA \"dflt\">\n]>\r\n<!-- top -->\r\n<?done?>\r\n"},
    {"escapes and character references survive",
     {"-r", "f.xml", "x"},
     "<r a=\"&lt;&amp;&quot;&#9;&#13;\">&lt;&amp;&gt;&#13;'\"<x/></r>",
     removing("x", 1) + kSuccess, 1,
     "<r a=\"&lt;&amp;&quot;&#x9;&#xD;\">&lt;&amp;&gt;&#xD;&apos;&quot;</r>\r\n"},
    {"texts built from references on both sides of a removal stay whole",
     {"-r", "f.xml", "x"},
     "<r>a &amp; b&#233;<x>in &lt;</x>&#x10400;c &lt; d<x/>e</r>",
     removing("x", 2) + kSuccess, 1,
     "<r>a &amp; b\xC3\xA9\xF0\x90\x90\x80" "c &lt; de</r>\r\n"},
    {"a Latin-1 file is written as UTF-8 without declaration",
     {"-r", "f.xml", "x"},
     "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r a=\"\xE9\">\xFC<x/></r>",
     removing("x", 1) + kSuccess, 1, "<r a=\"\xC3\xA9\">\xC3\xBC</r>\r\n"},
    {"a non-ASCII name given as UTF-8",
     {"-r", "f.xml", "\xC3\xA9l\xC3\xA9ment"},
     "<r><\xC3\xA9l\xC3\xA9ment>x</\xC3\xA9l\xC3\xA9ment><e/></r>",
     removing("\xC3\xA9l\xC3\xA9ment", 1) + kSuccess, 1, "<r><e/></r>\r\n"},
    {"a prefixed name matches as written",
     {"-r", "f.xml", "p:a", "a"}, "<r xmlns:p=\"urn:p\"><p:a/><a/></r>",
     removing("p:a", 1) + removing("a", 1) + kSuccess, 1, "<r xmlns:p=\"urn:p\"/>\r\n"},
    {"an element inside an entity reference cannot be removed",
     {"-r", "f.xml", "b"},
     "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT b ANY><!ENTITY e \"<b>x</b>\">]><r>&e;<b/></r>",
     removing("b", 2) + "\n\n *** UNKNOWN EXCEPTION: " + kArgumentsBlockEnd + kFailure, 2,
     kUnchanged},
    {"a file that does not parse is left alone",
     {"-r", "f.xml", "a"}, "<r><a></r>",
     "\nFatal Error at file \"\", line 1, column 9\n   Message: expected end of tag 'a'"
     "\n\n *** EXCEPTION: The file is not valid. Please insure that the file is \n valid "
     "according to its schema." + kStringBlockEnd + kFailure,
     2, kUnchanged},
    {"missing file", {"-r", "missing.xml", "a"}, kDoc,
     "\n\n *** INVALID FILE: The file missing.xml doesn't exist."
     "\n Please insure the file exist and try again." + kFailure,
     2, kUnchanged},
    {"a directory is not a file", {"-r", ".", "a"}, kDoc,
     "\n\n *** INVALID FILE: The file . doesn't exist."
     "\n Please insure the file exist and try again." + kFailure,
     2, kUnchanged},
};

TEST(RemoveCommandTest, EndToEnd) {
    for (const auto& c : kCases) {
        TempDir dir;
        const std::string path = dir.write("f.xml", c.input);
        RunOptions options;
        options.cwd = dir.path();
        const RunResult r = runQuennel(c.args, options);
        EXPECT_EQ(r.out, c.out) << c.what;
        EXPECT_EQ(r.err, "") << c.what;
        EXPECT_EQ(r.exitCode, c.exitCode) << c.what;
        EXPECT_EQ(readFile(path), c.after == kUnchanged ? c.input : c.after) << c.what;
        EXPECT_EQ(dir.list(), std::vector<std::string>{"f.xml"}) << c.what;
    }
}

TEST(RemoveCommandTest, ReadOnlyFileIsRefused) {
    TempDir dir;
    const std::string path = dir.write("f.xml", kDoc);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const RunResult r = runQuennel({"-r", path, "a"});
    EXPECT_EQ(r.out, "\n\n *** FILE ACCESS: The file " + path + " is set to be read-only." +
                         "\n Please insure that the file has write access." + kFailure);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(readFile(path), kDoc);
    EXPECT_EQ(modeOf(path), 0444u);
}

TEST(RemoveCommandTest, FailedSaveLeavesTheFileAsItWas) {
    TempDir dir;
    std::string input = "<r><x/>";
    for (int i = 0; i < 200; ++i) input += "\n<keep n=\"" + std::to_string(i) + "\"/>";
    input += "</r>";
    const std::string path = dir.write("f.xml", input);
    RunOptions options;
    options.cwd = dir.path();
    options.inChild = [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{512, 512};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
    const RunResult r = runQuennel({"-r", "f.xml", "x"}, options);
    EXPECT_EQ(r.out, removing("x", 1) +
                         "\n\n *** EXCEPTION: An error occured while saving the DOM tree to the file." +
                         kStringBlockEnd + kFailure);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(readFile(path), input);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"f.xml"});
}

TEST(RemoveCommandTest, SaveKeepsModeAndLinks) {
    TempDir dir;
    const std::string real = dir.write("data/f.xml", kDoc);
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("data/f.xml", dir.file("link.xml").c_str()), 0);
    RunOptions options;
    options.cwd = dir.path();
    const RunResult r = runQuennel({"-r", "link.xml", "k"}, options);
    EXPECT_EQ(r.out, removing("k", 1, "link.xml") + kSuccess);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readFile(real), "<r>\r\n  <a>1</a>\r\n  <c><a/></c>\r\n</r>\r\n");
    EXPECT_TRUE(S_ISLNK(lmodeOf(dir.file("link.xml"))));
    EXPECT_EQ(modeOf(real), 0640u);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"data", "link.xml"}));
}

TEST(RemoveCommandTest, LargeFileIsWrittenWhole) {
    TempDir dir;
    std::string input = "<r>", expected = "<r>";
    for (int i = 0; i < 30000; ++i) {
        const std::string keep = "<k n=\"" + std::to_string(i) + "\">t&amp;" + std::to_string(i) + "</k>";
        input += "\n" + keep + "<x/>";
        expected += "\r\n" + keep;
    }
    input += "</r>";
    expected += "</r>\r\n";
    const std::string path = dir.write("f.xml", input);
    RunOptions options;
    options.cwd = dir.path();
    const RunResult r = runQuennel({"-r", "f.xml", "x"}, options);
    EXPECT_EQ(r.out, removing("x", 30000) + kSuccess);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readFile(path), expected);
}

TEST(RemoveCommandTest, VeryDeepDocument) {
    constexpr int depth = 100000;
    TempDir dir;
    std::string input, expected;
    for (int i = 0; i < depth; ++i) input += "<d>";
    input += "<x/>";
    for (int i = 0; i < depth; ++i) input += "</d>";
    for (int i = 1; i < depth; ++i) expected += "<d>";
    expected += "<d/>";
    for (int i = 1; i < depth; ++i) expected += "</d>";
    expected += "\r\n";
    const std::string path = dir.write("f.xml", input);
    RunOptions options;
    options.cwd = dir.path();
    options.timeoutSeconds = 900;  // the library's parse is quadratic in depth with namespaces on
    const RunResult r = runQuennel({"-r", "f.xml", "x"}, options);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.out, removing("x", 1) + kSuccess);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(readFile(path) == expected) << "deep document written differently";
}

}  // namespace
