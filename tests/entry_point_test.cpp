#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/EntryPoint.h"

#include <xercesc/util/XercesVersion.hpp>

namespace {

I18NString option(const char* text) { return I18NString(text, nullptr, -1, nullptr, nullptr); }

int select(std::vector<std::string> args) {
    std::vector<char*> argv{const_cast<char*>("quennel")};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return selectAction(static_cast<int>(argv.size()) - 1, argv.data());
}

TEST(SelectAction, OnlyCountAndFirstArgumentDecide) {
    EXPECT_EQ(select({}), ActionUsage);
    EXPECT_EQ(select({"x"}), ActionUsage);
    EXPECT_EQ(select({"-r"}), ActionUsage);
    EXPECT_EQ(select({"-r", "f.xml"}), ActionRemove);
    EXPECT_EQ(select({"-r", "f.xml", "a"}), ActionRemove);
    EXPECT_EQ(select({"-R", "f.xml", "a"}), ActionRemove);
    EXPECT_EQ(select({"-rx", "a", "b"}), ActionDiff);
    EXPECT_EQ(select({"a.xml", "-r"}), ActionDiff);
    EXPECT_EQ(select({"-c", "a.xml", "b.xml"}), ActionDiff);
}

TEST(CompareNoCase, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(compareNoCase(option("-r"), option("-R")), 0);
    EXPECT_EQ(compareNoCase(option("-I"), option("-i")), 0);
    EXPECT_EQ(compareNoCase(option("AbC-xYz"), option("aBc-XyZ")), 0);
    EXPECT_NE(compareNoCase(option("-r"), option("-rx")), 0);
    EXPECT_NE(compareNoCase(option("-rx"), option("-r")), 0);
    EXPECT_NE(compareNoCase(option(""), option("-r")), 0);
    // Dotted capital I and dotless small i are not ASCII letters.
    EXPECT_NE(compareNoCase(option("-\xC4\xB0"), option("-i")), 0);
    EXPECT_NE(compareNoCase(option("-\xC4\xB1"), option("-i")), 0);
    EXPECT_NE(compareNoCase(option("-\xC3\x89"), option("-\xC3\xA9")), 0);
    // '@' and '`' sit next to the letters; '[' and '{' differ by the case bit.
    EXPECT_NE(compareNoCase(option("@"), option("`")), 0);
    EXPECT_NE(compareNoCase(option("["), option("{")), 0);
}

using EndToEndCase = CommandCase;

const char kDiffMissingA[] =
    "\n\n *** INVALID FILE: The file a.xml doesn't exist."
    "\n Please insure the file and the directory are specified correctly."
    "\n *** Failed to diff files\n\n";

class EntryPointEndToEnd : public testing::TestWithParam<EndToEndCase> {};

TEST_P(EntryPointEndToEnd, PrintsExactOutputAndExitCode) {
    TempDir dir;
    dir.write("present.xml", "<a/>");
    dir.write("same.xml", "<A>\n  <b>t</b>\n</A>");
    dir.write("other.xml", "<a><b>u</b></a>");
    dir.write("readonly.xml", "<a/>");
    ASSERT_EQ(chmod(dir.file("readonly.xml").c_str(), 0444), 0);
    RunOptions options;
    options.cwd = dir.path();
    expectCommand(GetParam(), options);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EntryPointEndToEnd,
    testing::Values(
        EndToEndCase{"NoArguments", {}, kUsageText, 1},
        EndToEndCase{"OneArgument", {"x"}, kUsageText, 1},
        EndToEndCase{"RemoveAlone", {"-r"}, kUsageText, 1},
        EndToEndCase{"DiffSame", {"present.xml", "present.xml"},
                     "\nParsing present.xml\nParsing present.xml\n"
                     "\nDiffing present.xml Vs. present.xml\n"
                     "\n ** Files are the same\n\n",
                     0},
        EndToEndCase{"DiffDifferent", {"same.xml", "other.xml"},
                     "\nParsing same.xml\nParsing other.xml\n"
                     "\nDiffing same.xml Vs. other.xml\n"
                     "\n ** Files are NOT the same\n\n",
                     1},
        EndToEndCase{"DiffFirstMissing", {"a.xml", "present.xml"}, kDiffMissingA, 2},
        EndToEndCase{"DiffSecondMissing", {"present.xml", "a.xml"}, kDiffMissingA, 2},
        EndToEndCase{"DiffBothMissing", {"a.xml", "b.xml"}, kDiffMissingA, 2},
        EndToEndCase{"DiffWithOptionsMissing", {"-C", "-O", "a.xml", "present.xml"},
                     kDiffMissingA, 2},
        EndToEndCase{"DirectoryIsNoFile", {".", "present.xml"},
                     "\n\n *** INVALID FILE: The file . doesn't exist."
                     "\n Please insure the file and the directory are specified correctly."
                     "\n *** Failed to diff files\n\n",
                     2},
        // -rx is no option: the diff takes it for the first file.
        EndToEndCase{"RxIsAFileName", {"-rx", "present.xml"},
                     "\n\n *** INVALID FILE: The file -rx doesn't exist."
                     "\n Please insure the file and the directory are specified correctly."
                     "\n *** Failed to diff files\n\n",
                     2},
        EndToEndCase{"RxThenWordThatIsNotIgnore", {"-rx", "a", "b"}, kUsageText, 1},
        EndToEndCase{"RemoveMissing", {"-r", "a.xml", "e"},
                     "\n\n *** INVALID FILE: The file a.xml doesn't exist."
                     "\n Please insure the file exist and try again."
                     "\n *** Failed to remove elements from file.\n\n",
                     2},
        EndToEndCase{"UpperRemoveMissing", {"-R", "a.xml", "e"},
                     "\n\n *** INVALID FILE: The file a.xml doesn't exist."
                     "\n Please insure the file exist and try again."
                     "\n *** Failed to remove elements from file.\n\n",
                     2},
        EndToEndCase{"RemoveReadOnly", {"-r", "readonly.xml"},
                     "\n\n *** FILE ACCESS: The file readonly.xml is set to be read-only."
                     "\n Please insure that the file has write access."
                     "\n *** Failed to remove elements from file.\n\n",
                     2}),
    [](const testing::TestParamInfo<EndToEndCase>& info) { return info.param.name; });

TEST(EntryPoint, HelpAndVersionAnswerAloneWithoutWaitingAndExitZero) {
    const std::string usage(kUsageText);
    const std::string usageBody = usage.substr(0, usage.find("     press any key"));
    for (const char* word : {"--help", "-h", "--HELP", "-H"}) {
        const RunResult r = runQuennel({word});
        EXPECT_EQ(r.exitCode, 0) << word;
        EXPECT_EQ(r.err, "") << word;
        ASSERT_EQ(r.out.rfind(usageBody, 0), 0u) << r.out;
        EXPECT_EQ(r.out.find("press any key"), std::string::npos);
        for (const char* option : {"\n  -v\t", "\n  -\t", "\n  --version\t", "\n  --help, -h\t", "\n  -r -k file element...\t"})
            EXPECT_NE(r.out.find(option), std::string::npos) << option;
    }
    const RunResult v = runQuennel({"--version"});
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(v.err, "");
    EXPECT_EQ(v.out, std::string("quennel ") + QUENNEL_VERSION + " (Xerces-C " +
                         std::to_string(XERCES_VERSION_MAJOR) + "." +
                         std::to_string(XERCES_VERSION_MINOR) + "." +
                         std::to_string(XERCES_VERSION_REVISION) + ")\n");
    // Beside other words they are no options: the diff reads them as file names.
    const RunResult withMore = runQuennel({"--help", "x.xml"});
    EXPECT_EQ(withMore.exitCode, 2);
    EXPECT_NE(withMore.out.find("The file --help doesn't exist."), std::string::npos);
}

// A command line, what standard input carries, and the exact output and exit code.
struct StdinCase {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::string out;
    int exitCode;
};
void PrintTo(const StdinCase& c, std::ostream* os) { *os << c.name; }

class StandardInput : public testing::TestWithParam<StdinCase> {};

TEST_P(StandardInput, ReadsTheDashFileFromStandardInput) {
    TempDir dir;
    dir.write("same.xml", "<A>\n  <b>t</b>\n</A>");
    dir.write("d.dtd", "<!ELEMENT a (#PCDATA)><!ENTITY e 'from the dtd'>");
    dir.write("withdtd.xml", "<!DOCTYPE a SYSTEM 'd.dtd'><a>&e;</a>");
    RunOptions options;
    options.cwd = dir.path();
    options.input = &GetParam().input;
    const RunResult r = runQuennel(GetParam().args, options);
    EXPECT_EQ(r.out, GetParam().out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitCode, GetParam().exitCode);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StandardInput,
    testing::Values(
        StdinCase{"FirstSame", {"-", "same.xml"}, "<a><b>T</b></a>",
                  "\nParsing -\nParsing same.xml\n\nDiffing - Vs. same.xml\n"
                  "\n ** Files are the same\n\n",
                  0},
        StdinCase{"SecondDiffersVerbose", {"-v", "same.xml", "-"}, "<a>\n<b>u</b></a>",
                  "\nParsing same.xml\nParsing -\n\nDiffing same.xml Vs. -\n"
                  "\n ** First difference: /A/b[1]/text()[1]"
                  "\n    same.xml:2:6: text \"t\""
                  "\n    -:2:4: text \"u\""
                  "\n ** Files are NOT the same\n\n",
                  1},
        StdinCase{"IgnoreUnordered", {"-o", "-", "same.xml", "-i", "c"}, "<a><c/><b>t</b></a>",
                  "\nParsing -\nParsing same.xml\n\n\n The element c was not found.\n"
                  "\n The root node has not changed. Elements don't exist.\n"
                  "Diffing - Vs. same.xml\n"
                  "\n ** Files are the same\n\n",
                  0},
        StdinCase{"IgnoreOnTrees", {"-v", "-", "same.xml", "-i", "c"}, "<a><c/><b>t</b></a>",
                  "\nParsing -\nParsing same.xml\n\n\n The element c was not found.\n"
                  "\n The root node has not changed. Elements don't exist.\n"
                  "Diffing - Vs. same.xml\n"
                  "\n ** Files are the same\n\n",
                  0},
        StdinCase{"DtdBesideTheWorkingDirectory", {"withdtd.xml", "-"},
                  "<!DOCTYPE a SYSTEM 'd.dtd'><a>&e;</a>",
                  "\nParsing withdtd.xml\nParsing -\n\nDiffing withdtd.xml Vs. -\n"
                  "\n ** Files are the same\n\n",
                  0},
        StdinCase{"Malformed", {"same.xml", "-"}, "<a>",
                  "\nParsing same.xml\nParsing -\n\nFatal Error at file \"\", line 1, column 4"
                  "\n   Message: input ended before all started tags were ended; last tag "
                  "started is 'a'\n"
                  "\n *** EXCEPTION: The file is not valid. Please insure that the file is "
                  "\n valid according to its schema."
                  "\n Insure validity of file (formatted properly)."
                  "\n You can use Internet Explorer to validate the file."
                  "\n *** Failed to diff files\n\n",
                  2},
        StdinCase{"BothDashes", {"-", "-"}, "<a/>",
                  "\n\n *** INVALID FILE: Standard input (-) can be only one of the two files."
                  "\n Please insure that the other file is named by its path."
                  "\n *** Failed to diff files\n\n",
                  2}),
    [](const testing::TestParamInfo<StdinCase>& info) { return info.param.name; });

// -r with - for its file: the document from standard input to standard output, the messages
// to standard error.
struct FilterCase {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::string out;
    std::string err;
    int exitCode;
};
void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

class RemoveFilter : public testing::TestWithParam<FilterCase> {};

TEST_P(RemoveFilter, WritesTheDocumentToStandardOutputAndTheMessagesToStandardError) {
    TempDir dir;
    RunOptions options;
    options.cwd = dir.path();
    options.input = &GetParam().input;
    const RunResult r = runQuennel(GetParam().args, options);
    EXPECT_EQ(r.out, GetParam().out);
    EXPECT_EQ(r.err, GetParam().err);
    EXPECT_EQ(r.exitCode, GetParam().exitCode);
    EXPECT_EQ(dir.list(), std::vector<std::string>{}) << "a filter writes no file";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoveFilter,
    testing::Values(
        FilterCase{"Removes", {"-r", "-", "a"}, "<?xml version=\"1.0\"?>\n<r><a/><b>x<a>y</a></b></r>\n",
                   "<r><b>x</b></r>\r\n",
                   "\n Removing: a( - )\n Number of Elements: 2\n"
                   "\n ** Removing elements was successful.\n\n",
                   1},
        FilterCase{"NothingMatchedStillWritesTheDocument", {"-R", "-", "q"}, "<r><b>x</b></r>",
                   "<r><b>x</b></r>\r\n",
                   "\n\n The element q was not found.\n\n The file has not changed."
                   "\n ** Removing elements was successful.\n\n",
                   1},
        FilterCase{"NoNamesCopies", {"-r", "-"}, "<r><b>x</b></r>", "<r><b>x</b></r>\r\n",
                   "No Elements are specified to be removed."
                   "\n ** Removing elements was successful.\n\n",
                   1},
        FilterCase{"KeepCutsTheBytes", {"-r", "-k", "-", "a"},
                   "<?xml version=\"1.0\"?>\n<r><a/><b>x<a>y</a></b></r>\n",
                   "<?xml version=\"1.0\"?>\n<r><b>x</b></r>\n",
                   "\n Removing: a( - )\n Number of Elements: 2\n"
                   "\n ** Removing elements was successful.\n\n",
                   1},
        FilterCase{"KeepWithNothingMatchedCopiesTheBytes", {"-r", "-K", "-", "q"},
                   "<r ><b>x</b></r>", "<r ><b>x</b></r>",
                   "\n\n The element q was not found.\n\n The file has not changed."
                   "\n ** Removing elements was successful.\n\n",
                   1},
        FilterCase{"DryRunWritesNoDocument", {"-r", "-n", "-", "a"}, "<r>\n<a/></r>", "",
                   "\n Removing: a( - )\n    -:2:5: element <a>\n Number of Elements: 1\n"
                   "\n\n Dry run (-n): nothing was written, the file was not changed."
                   "\n ** Removing elements was successful.\n\n",
                   1},
        FilterCase{"MalformedWritesNothing", {"-r", "-", "a"}, "<r><a/>", "",
                   "\nFatal Error at file \"\", line 1, column 8"
                   "\n   Message: input ended before all started tags were ended; last tag "
                   "started is 'r'\n"
                   "\n *** EXCEPTION: The file is not valid. Please insure that the file is "
                   "\n valid according to its schema."
                   "\n Insure validity of file (formatted properly)."
                   "\n You can use Internet Explorer to validate the file."
                   "\n *** Failed to remove elements from file.\n\n",
                   2}),
    [](const testing::TestParamInfo<FilterCase>& info) { return info.param.name; });

TEST(StandardInput, ALargeDocumentThroughThePipeEqualsTheFile) {
    std::string document = "<r>";
    for (int i = 0; i < 60000; ++i)
        document += "<item n=\"" + std::to_string(i) + "\">text " + std::to_string(i) + "</item>\n";
    document += "</r>";
    TempDir dir;
    dir.write("big.xml", document);
    RunOptions options;
    options.cwd = dir.path();
    options.input = &document;
    for (const char* order : {"-c", "-o"}) {
        const RunResult r = runQuennel({order, "big.xml", "-"}, options);
        EXPECT_EQ(r.exitCode, 0) << order << r.out;
    }
    std::string changed = document;
    changed.replace(changed.rfind("text 59999"), 10, "text 5999X");
    options.input = &changed;
    EXPECT_EQ(runQuennel({"-", "big.xml"}, options).exitCode, 1);
}

const char* const kGitListing =
    "\nParsing a/f.xml\nParsing b/f.xml\n\nDiffing a/f.xml Vs. b/f.xml\n"
    "\n ** Difference 1: /r/a[1]/@x"
    "\n    a/f.xml:2:13: attribute x=\"1\""
    "\n    b/f.xml:2:13: attribute x=\"2\""
    "\n ** Difference 2: /r/b[1]"
    "\n    a/f.xml:3:7: element <b>"
    "\n    b/f.xml:1:4: nothing"
    "\n ** 2 differences"
    "\n ** Files are NOT the same\n\n";

class GitDriver : public testing::TestWithParam<EndToEndCase> {};

// The words git passes: PATH OLD-FILE OLD-HEX OLD-MODE NEW-FILE NEW-HEX NEW-MODE [NEW-PATH MSG].
TEST_P(GitDriver, ListsUnderGitsNamesAndExitsZeroWheneverTheComparisonRan) {
    TempDir dir;
    dir.write("old.xml", "<r>\n  <a x=\"1\"/>\n  <b/>\n  <c>t</c>\n</r>\n");
    dir.write("new.xml", "<r>\n  <a x=\"2\"/>\n  <c>t</c>\n</r>\n");
    dir.write("bad.xml", "<r>");
    RunOptions options;
    options.cwd = dir.path();
    expectCommand(GetParam(), options);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GitDriver,
    testing::Values(
        EndToEndCase{"Different",
                     {"--git", "f.xml", "old.xml", "1111111", "100644", "new.xml", "2222222",
                      "100644"},
                     kGitListing, 0},
        EndToEndCase{"Same",
                     {"--GIT", "f.xml", "old.xml", "1111111", "100644", "old.xml", "1111111",
                      "100755"},
                     "\nParsing a/f.xml\nParsing b/f.xml\n\nDiffing a/f.xml Vs. b/f.xml\n"
                     "\n ** Files are the same\n\n",
                     0},
        EndToEndCase{"Renamed",
                     {"--git", "f.xml", "old.xml", "1111111", "100644", "old.xml", "1111111",
                      "100644", "g.xml", "similarity index 100%\nrename from f.xml\n"},
                     "\nParsing a/f.xml\nParsing b/g.xml\n\nDiffing a/f.xml Vs. b/g.xml\n"
                     "\n ** Files are the same\n\n",
                     0},
        EndToEndCase{"NewFile",
                     {"--git", "d/f.xml", "/dev/null", ".", ".", "new.xml", "2222222", "100644"},
                     "\n ** new file b/d/f.xml\n\n", 0},
        EndToEndCase{"DeletedFile",
                     {"--git", "f.xml", "old.xml", "1111111", "100644", "/dev/null", ".", "."},
                     "\n ** deleted file a/f.xml\n\n", 0},
        EndToEndCase{"Unmerged", {"--git", "f.xml"}, "\n ** unmerged f.xml\n\n", 0},
        EndToEndCase{"Failure",
                     {"--git", "f.xml", "old.xml", "1111111", "100644", "bad.xml", "2222222",
                      "100644"},
                     "\nParsing a/f.xml\nParsing b/f.xml\n\nFatal Error at file \"\", line 1, "
                     "column 4\n   Message: input ended before all started tags were ended; "
                     "last tag started is 'r'\n"
                     "\n *** EXCEPTION: The file is not valid. Please insure that the file is "
                     "\n valid according to its schema."
                     "\n Insure validity of file (formatted properly)."
                     "\n You can use Internet Explorer to validate the file."
                     "\n *** Failed to diff files\n\n",
                     2},
        EndToEndCase{"WordsMissing", {"--git", "f.xml", "old.xml", "1111111"}, kUsageText, 1}),
    [](const testing::TestParamInfo<EndToEndCase>& info) { return info.param.name; });

// Runs a shell command line in dir; its standard output, and its exit code in *code.
std::string shell(const std::string& dir, const std::string& command, int* code) {
    const std::string full = "cd '" + dir + "' && " + command;
    FILE* pipe = popen(full.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (size_t got; pipe && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, got);
    const int status = pipe ? pclose(pipe) : -1;
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

TEST(GitDriver, RealGitDiffCallsItThroughTheDriverTheReadmeSetsUp) {
    int code = 0;
    shell(".", "git --version >/dev/null 2>&1", &code);
    if (code != 0) GTEST_SKIP() << "git is not installed; ./setup.sh installs it";
    TempDir dir;
    const std::string git = "git -c user.name=t -c user.email=t@t ";
    dir.write(".gitattributes", "*.xml diff=quennel\n");
    dir.write("f.xml", "<r>\n  <a x=\"1\"/>\n  <b/>\n  <c>t</c>\n</r>\n");
    dir.write("notes.txt", "one\n");
    shell(dir.path(),
          "git init -q && git config diff.quennel.command '" QUENNEL_BINARY " --git' && " + git +
              "add . && " + git + "commit -qm first",
          &code);
    ASSERT_EQ(code, 0);
    dir.write("f.xml", "<r>\n  <a x=\"2\"/>\n  <c>t</c>\n</r>\n");
    dir.write("notes.txt", "two\n");
    // The XML file goes through quennel, the text file through git's own diff.
    const std::string out = shell(dir.path(), "git --no-pager diff -- f.xml", &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out, kGitListing);
    EXPECT_NE(shell(dir.path(), "git --no-pager diff -- notes.txt", &code).find("+two"),
              std::string::npos);
    // A version that does not parse stops git, with quennel's failure block on the way.
    dir.write("f.xml", "<r>");
    const std::string failed = shell(dir.path(), "git --no-pager diff -- f.xml 2>/dev/null", &code);
    EXPECT_NE(code, 0);
    EXPECT_NE(failed.find(" *** Failed to diff files"), std::string::npos) << failed;
    // difftool's -x form runs the plain diff on the two files.
    dir.write("f.xml", "<r>\n  <a x=\"2\"/>\n  <c>t</c>\n</r>\n");
    const std::string tool = shell(
        dir.path(), "git difftool -y -x '" QUENNEL_BINARY " -l' -- f.xml 2>/dev/null", &code);
    EXPECT_NE(tool.find(" ** 2 differences"), std::string::npos) << tool;
}

// No byte that a terminal acts on: C0 but tab and line feed, DEL, C1 in UTF-8.
bool holdsRawControls(const std::string& out) {
    for (size_t i = 0; i < out.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < out.size() && static_cast<unsigned char>(out[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(out[i + 1]) <= 0x9F)
            return true;
    }
    return false;
}

TEST(EntryPoint, ControlCharactersFromFilesAndNamesAreShownEscaped) {
    TempDir dir;
    dir.write("esc.xml", "<?xml version=\"1.1\"?><r a=\"&#x1B;[2Jx&#x7F;\"/>");
    dir.write("c1.xml", "<r a=\"\xC2\x9B" "2J\"/>");
    dir.write("plain.xml", "<r a=\"y\"/>");
    dir.write("dtd.xml", "<!DOCTYPE r SYSTEM \"x\xC2\x85.dtd\"><r/>");
    RunOptions options;
    options.cwd = dir.path();
    const struct {
        std::vector<std::string> args;
        std::string shown;
    } cases[] = {
        {{"-l", "esc.xml", "plain.xml"}, "attribute a=\"\\x1B[2Jx\\x7F\""},
        {{"-v", "c1.xml", "plain.xml"}, "attribute a=\"\\u009B2J\""},
        {{"-j", "c1.xml", "plain.xml"}, "\"value\": \"\\u009B2J\""},
        {{"x\x1B]0;t\x07.xml", "plain.xml"}, "The file x\\x1B]0;t\\x07.xml doesn't exist."},
        {{"dtd.xml", "plain.xml"}, "unable to open DTD document 'x\\u0085.dtd'"},
        {{"-r", "x\xC2\x9B.xml", "a"}, "The file x\\u009B.xml doesn't exist."},
    };
    for (const auto& c : cases) {
        const RunResult r = runQuennel(c.args, options);
        EXPECT_NE(r.out.find(c.shown), std::string::npos) << r.out;
        EXPECT_FALSE(holdsRawControls(r.out)) << r.out;
        EXPECT_EQ(r.err, "");
    }
}

TEST(EntryPoint, RemovalEndsWithSuccessAndCodeOneWhetherOrNotAnythingChanged) {
    TempDir dir;
    dir.write("f.xml", "<a><b/></a>");
    RunOptions options;
    options.cwd = dir.path();
    for (const char* name : {"b", "none"}) {
        const RunResult r = runQuennel({"-R", "f.xml", name}, options);
        const std::string verdict = "\n ** Removing elements was successful.\n\n";
        ASSERT_GE(r.out.size(), verdict.size()) << r.out;
        EXPECT_EQ(r.out.substr(r.out.size() - verdict.size()), verdict) << r.out;
        EXPECT_EQ(r.exitCode, 1) << name;
    }
}

TEST(EntryPoint, OptionMatchIgnoresTurkishLocale) {
    TempDir dir;
    RunOptions options;
    options.cwd = dir.path();
    options.env = {"LANG=tr_TR.UTF-8", "LC_ALL=tr_TR.UTF-8"};
    // Turkish folding would not take -I for -i and show the usage text instead.
    const RunResult r = runQuennel({"a.xml", "b.xml", "-I", "e"}, options);
    EXPECT_EQ(r.out, kDiffMissingA);
    EXPECT_EQ(r.exitCode, 2);
}

// Reads from the pseudo-terminal until want shows up, the child closes it, or time runs out.
bool readUntil(int master, std::string& seen, const std::string& want) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (seen.find(want) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) continue;
        char buffer[4096];
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) return false;
        seen.append(buffer, static_cast<size_t>(got));
    }
    return true;
}

// True once the terminal neither echoes nor waits for Enter; false after 30 seconds.
bool terminalGoesRaw(int master) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        termios mode{};
        if (tcgetattr(master, &mode) == 0 && !(mode.c_lflag & (ECHO | ICANON))) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        usleep(1000);
    }
}

// Waits for the child; kills it when it is still there after 30 seconds.
void reapWithin30Seconds(pid_t pid, int& status) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        usleep(10000);
    }
}

class UsageOnTerminal : public testing::TestWithParam<const char*> {};

TEST_P(UsageOnTerminal, WaitsForOneKeyWithoutEchoThenRestoresTheTerminal) {
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(QUENNEL_BINARY, QUENNEL_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string seen;
    const bool prompted = readUntil(master, seen, "press any key to exit...");
    int status = 0;
    const bool waiting = prompted && waitpid(pid, &status, WNOHANG) == 0;
    const bool rawMode = waiting && terminalGoesRaw(master);
    // One key, no Enter: a line-buffered read would never return.
    if (waiting) {
        EXPECT_EQ(write(master, GetParam(), 1), 1);
    }
    std::string rest;
    if (waiting) readUntil(master, rest, "\n");
    reapWithin30Seconds(pid, status);
    termios after{};
    const bool restored = tcgetattr(master, &after) == 0 && (after.c_lflag & ECHO) &&
                          (after.c_lflag & ICANON) && (after.c_lflag & ISIG);
    close(master);
    ASSERT_TRUE(prompted) << seen;
    EXPECT_TRUE(waiting) << "exited before a key was pressed";
    EXPECT_TRUE(rawMode) << "the terminal kept echo or line mode";
    EXPECT_EQ(rest, "\r\n");  // the key is not echoed
    EXPECT_TRUE(restored);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

INSTANTIATE_TEST_SUITE_P(Keys, UsageOnTerminal, testing::Values("x", "\x03"));

}  // namespace
