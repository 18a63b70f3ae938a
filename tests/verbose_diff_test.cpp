// -v end to end: where two files first differ, and that -v changes nothing else.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

const std::string kSame = "\n ** Files are the same\n\n";
const std::string kDifferent = "\n ** Files are NOT the same\n\n";

std::string progress(const std::string& first, const std::string& second,
                     const std::string& between = "") {
    return "\nParsing " + first + "\nParsing " + second + "\n" + between + "\nDiffing " + first +
           " Vs. " + second + "\n";
}

// The whole output of a run that finds a difference.
std::string different(const std::string& first, const std::string& second,
                      const std::string& path, const std::string& firstSide,
                      const std::string& secondSide, const std::string& between = "") {
    return progress(first, second, between) + "\n ** First difference: " + path + "\n    " +
           first + ":" + firstSide + "\n    " + second + ":" + secondSide + kDifferent;
}

// One element per line, so that each start tag's end is easy to count: catalog 1:10,
// book[1] 2:28, title 3:8, price 5:8, book[2] 7:18, its title 8:8.
std::string catalog(const std::string& book1 = "<book id=\"bk101\" lang=\"en\">",
                    const std::string& note = "<!-- first -->",
                    const std::string& price = "<price>44.95</price>\n",
                    const std::string& book2 = "<book id=\"bk102\">",
                    const std::string& title2 = "<title>Midnight Rain</title>",
                    const std::string& extra = "") {
    return "<catalog>\n" + book1 + "\n<title>XML Guide</title>\n" + note + "\n" + price +
           "</book>\n" + book2 + "\n" + title2 + "\n</book>\n" + extra + "</catalog>\n";
}

void writeInputs(const TempDir& dir) {
    dir.write("book.xml", catalog());
    dir.write("case.xml", "<CATALOG>\n<BOOK ID=\"BK101\" LANG=\"EN\">\n<TITLE>xml guide</TITLE>\n"
                          "<!-- FIRST -->\n<PRICE>44.95</PRICE>\n</BOOK>\n<BOOK ID=\"BK102\">\n"
                          "<TITLE>Midnight Sun</TITLE>\n</BOOK>\n</CATALOG>\n");
    dir.write("tag.xml", catalog("<book id=\"bk101\" lang=\"en\">", "<!-- first -->",
                                 "<price>44.95</price>\n", "<book id=\"bk102\">",
                                 "<name>Midnight Rain</name>"));
    dir.write("value.xml", catalog("<book id=\"bk101\" lang=\"en\">", "<!-- first -->",
                                   "<price>44.95</price>\n", "<book id=\"bk103\">"));
    dir.write("noattr.xml", catalog("<book id=\"bk101\">"));
    dir.write("extraattr.xml", catalog("<book id=\"bk101\" lang=\"en\">", "<!-- first -->",
                                       "<price>44.95</price>\n",
                                       "<book id=\"bk102\" year=\"2000\">"));
    dir.write("text.xml", catalog("<book id=\"bk101\" lang=\"en\">", "<!-- first -->",
                                  "<price>45.00</price>\n"));
    dir.write("comment.xml", catalog("<book id=\"bk101\" lang=\"en\">", "<!-- second -->"));
    dir.write("extrachild.xml",
              catalog("<book id=\"bk101\" lang=\"en\">", "<!-- first -->", "<price>44.95</price>\n",
                      "<book id=\"bk102\">", "<title>Midnight Rain</title>",
                      "<book id=\"bk103\"/>\n"));
    dir.write("missingchild.xml", catalog("<book id=\"bk101\" lang=\"en\">", "<!-- first -->", ""));
    // Both books swapped, and the first one's price changed.
    dir.write("reordered.xml",
              "<catalog>\n<book id=\"bk102\">\n<title>Midnight Rain</title>\n</book>\n"
              "<book id=\"bk101\" lang=\"en\">\n<title>XML Guide</title>\n<!-- first -->\n"
              "<price>45.00</price>\n</book>\n</catalog>\n");
    dir.write("shuffled.xml", "<catalog>\n<book id=\"bk102\">\n<title>Midnight Rain</title>\n"
                              "</book>\n<book id=\"bk101\" lang=\"en\">\n<title>XML Guide</title>\n"
                              "<!-- first -->\n<price>44.95</price>\n</book>\n</catalog>\n");
    dir.write("ignore1.xml", "<r>\n<x/>\n<a>1</a>\n<x/>\n<a>2</a>\n</r>\n");
    dir.write("ignore2.xml", "<r>\n<a>1</a>\n<x/>\n<a>3</a>\n</r>\n");
    dir.write("loose.xml", "<r>\n  <!-- c -->\n  <b k=\"1\"/>\n  <a/>\n  <b k=\"3\"/>\n</r>\n");
    dir.write("tight.xml", "<r><b k=\"1\"/><a/><b k=\"2\"/></r>");
    dir.write("catalog.xml", "<catalog/>");
    dir.write("library.xml", "<library/>");
    dir.write("text-a.xml", "<r>a</r>");
    dir.write("element-a.xml", "<r><a/></r>");
    dir.write("cdata-a.xml", "<r><![CDATA[a]]></r>");
    dir.write("long.xml", "<r>line one\nline two " + std::string(60, 'x') + "</r>");
    dir.write("short.xml", "<r>line one</r>");
    dir.write("cafe1.xml", "<r><e name=\"caf\xC3\xA9\"/></r>");
    dir.write("cafe2.xml", "<r><e name=\"cafe\"/></r>");
    dir.write("pi1.xml", "<r><?go fast?></r>");
    dir.write("pi2.xml", "<r><?go slow?></r>");
    dir.write("s.xml", "<s/>");
    dir.write("bad.xml", "<r><a></r>");
}

using VerboseCase = CommandCase;

class VerboseDiff : public testing::TestWithParam<VerboseCase> {};

TEST_P(VerboseDiff, PrintsTheFirstDifference) {
    TempDir dir;
    writeInputs(dir);
    RunOptions options;
    options.cwd = dir.path();
    expectCommand(GetParam(), options);
}

INSTANTIATE_TEST_SUITE_P(
    Differences, VerboseDiff,
    testing::Values(
        VerboseCase{"Tag", {"-v", "book.xml", "tag.xml"},
                    different("book.xml", "tag.xml", "/catalog/book[2]/title[1]",
                              "8:8: element <title>", "8:7: element <name>"),
                    1},
        VerboseCase{"NamesAsInTheFirstFile", {"-V", "book.xml", "case.xml"},
                    different("book.xml", "case.xml", "/catalog/book[2]/title[1]/text()[1]",
                              "8:8: text \"Midnight Rain\"", "8:8: text \"Midnight Sun\""),
                    1},
        VerboseCase{"AttributeValue", {"-v", "book.xml", "value.xml"},
                    different("book.xml", "value.xml", "/catalog/book[2]/@id",
                              "7:18: attribute id=\"bk102\"", "7:18: attribute id=\"bk103\""),
                    1},
        VerboseCase{"MissingAttribute", {"-v", "book.xml", "noattr.xml"},
                    different("book.xml", "noattr.xml", "/catalog/book[1]/@lang",
                              "2:28: attribute lang=\"en\"", "2:18: nothing"),
                    1},
        VerboseCase{"ExtraAttribute", {"-v", "book.xml", "extraattr.xml"},
                    different("book.xml", "extraattr.xml", "/catalog/book[2]/@year",
                              "7:18: nothing", "7:30: attribute year=\"2000\""),
                    1},
        VerboseCase{"Text", {"-v", "book.xml", "text.xml"},
                    different("book.xml", "text.xml", "/catalog/book[1]/price[1]/text()[1]",
                              "5:8: text \"44.95\"", "5:8: text \"45.00\""),
                    1},
        VerboseCase{"Comment", {"-v", "book.xml", "comment.xml"},
                    different("book.xml", "comment.xml", "/catalog/book[1]/comment()[1]",
                              "2:28: comment \" first \"", "2:28: comment \" second \""),
                    1},
        VerboseCase{"ExtraChild", {"-v", "book.xml", "extrachild.xml"},
                    different("book.xml", "extrachild.xml", "/catalog/book[3]", "1:10: nothing",
                              "10:19: element <book>"),
                    1},
        VerboseCase{"MissingChild", {"-v", "book.xml", "missingchild.xml"},
                    different("book.xml", "missingchild.xml", "/catalog/book[1]/price[1]",
                              "5:8: element <price>", "2:28: nothing"),
                    1},
        VerboseCase{"DocumentElement", {"-v", "catalog.xml", "library.xml"},
                    different("catalog.xml", "library.xml", "/catalog",
                              "1:11: element <catalog>", "1:11: element <library>"),
                    1},
        VerboseCase{"KindOfNode", {"-v", "text-a.xml", "element-a.xml"},
                    different("text-a.xml", "element-a.xml", "/r/text()[1]", "1:4: text \"a\"",
                              "1:8: element <a>"),
                    1},
        VerboseCase{"CdataIsNotText", {"-v", "cdata-a.xml", "text-a.xml"},
                    different("cdata-a.xml", "text-a.xml", "/r/text()[1]",
                              "1:4: CDATA section \"a\"", "1:4: text \"a\""),
                    1},
        VerboseCase{"ProcessingInstruction", {"-v", "pi1.xml", "pi2.xml"},
                    different("pi1.xml", "pi2.xml", "/r/processing-instruction('go')[1]",
                              "1:4: processing instruction go \"fast\"",
                              "1:4: processing instruction go \"slow\""),
                    1},
        // Sixty characters, line breaks spelled out, then "...".
        VerboseCase{"LongTextIsCut", {"-v", "long.xml", "short.xml"},
                    different("long.xml", "short.xml", "/r/text()[1]",
                              "1:4: text \"line one\\nline two " + std::string(42, 'x') + "...\"",
                              "1:4: text \"line one\""),
                    1},
        // Columns count characters, not bytes.
        VerboseCase{"Utf8Value", {"-v", "cafe1.xml", "cafe2.xml"},
                    different("cafe1.xml", "cafe2.xml", "/r/e[1]/@name",
                              "1:20: attribute name=\"caf\xC3\xA9\"",
                              "1:20: attribute name=\"cafe\""),
                    1},
        // Without -o the swap is the first difference; with it, the changed book has no match.
        VerboseCase{"OrderCounts", {"-v", "book.xml", "shuffled.xml"},
                    different("book.xml", "shuffled.xml", "/catalog/book[1]/@id",
                              "2:28: attribute id=\"bk101\"", "2:18: attribute id=\"bk102\""),
                    1},
        VerboseCase{"OrderIgnoredNoMatch", {"-v", "-o", "book.xml", "reordered.xml"},
                    different("book.xml", "reordered.xml", "/catalog/book[1]",
                              "2:28: element <book>", "1:10: no match in element <catalog>"),
                    1},
        VerboseCase{"OrderIgnoredLeftOverInSecond", {"-v", "-O", "book.xml", "extrachild.xml"},
                    different("book.xml", "extrachild.xml", "/catalog/book[3]",
                              "1:10: no match in element <catalog>", "10:19: element <book>"),
                    1},
        // Positions count what is left after -i: the second <a> of ignore1.xml is a[2].
        VerboseCase{"UnderIgnore", {"-v", "ignore1.xml", "ignore2.xml", "-i", "x"},
                    different("ignore1.xml", "ignore2.xml", "/r/a[2]/text()[1]", "5:4: text \"2\"",
                              "4:4: text \"3\""),
                    1},
        VerboseCase{"IgnoredDocumentElement", {"-v", "catalog.xml", "s.xml", "-i", "catalog"},
                    progress("catalog.xml", "s.xml",
                             "\n\n The element catalog was not found."
                             "\n\n The root node has not changed. Elements don't exist.") +
                        "\n ** First difference: /s\n    catalog.xml: nothing\n    s.xml:1:5: "
                        "element <s>" +
                        kDifferent,
                    1},
        // The comment and the blanks are gone before counting: the second <b> is b[2].
        VerboseCase{"CommentsAndOrderIgnored", {"-v", "-c", "-o", "loose.xml", "tight.xml"},
                    different("loose.xml", "tight.xml", "/r/b[2]", "5:13: element <b>",
                              "1:4: no match in element <r>"),
                    1}),
    [](const testing::TestParamInfo<VerboseCase>& info) { return info.param.name; });

// -v only adds the block to a "different" verdict: equal files and failures look exactly alike
// with and without it.
class VerboseChangesNothing : public testing::TestWithParam<VerboseCase> {};

TEST_P(VerboseChangesNothing, OutputIsByteIdentical) {
    TempDir dir;
    writeInputs(dir);
    RunOptions options;
    options.cwd = dir.path();
    std::vector<std::string> verbose{"-v"};
    verbose.insert(verbose.end(), GetParam().args.begin(), GetParam().args.end());
    const RunResult plain = runQuennel(GetParam().args, options);
    const RunResult withV = runQuennel(verbose, options);
    EXPECT_EQ(plain.exitCode, GetParam().exitCode);
    EXPECT_EQ(withV.exitCode, plain.exitCode);
    EXPECT_EQ(withV.out, plain.out);
    EXPECT_EQ(withV.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    SameOrFailed, VerboseChangesNothing,
    testing::Values(VerboseCase{"Same", {"book.xml", "book.xml"}, "", 0},
                    VerboseCase{"SameIgnoringCase", {"tag.xml", "tag.xml"}, "", 0},
                    VerboseCase{"SameIgnoringOrder", {"-o", "book.xml", "shuffled.xml"}, "", 0},
                    VerboseCase{"SameIgnoringComments",
                                {"-c", "-o", "book.xml", "comment.xml"}, "", 0},
                    VerboseCase{"SameUnderIgnore", {"book.xml", "missingchild.xml", "-i", "price"},
                                "", 0},
                    VerboseCase{"NotWellFormed", {"book.xml", "bad.xml"}, "", 2},
                    VerboseCase{"Missing", {"book.xml", "none.xml"}, "", 2},
                    VerboseCase{"OneFileLeft", {"-c", "book.xml"}, "", 1}),
    [](const testing::TestParamInfo<VerboseCase>& info) { return info.param.name; });

TEST(VerboseCommandLine, OnlyTheFirstWordIsTheOption) {
    TempDir dir;
    writeInputs(dir);
    RunOptions options;
    options.cwd = dir.path();
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-v", "book.xml"},
                                               {"-v", "-c", "book.xml"},
                                               {"-c", "-v", "book.xml", "tag.xml"},
                                               {"book.xml", "tag.xml", "-v"},
                                               {"-v", "-v", "book.xml", "tag.xml"}}) {
        const RunResult r = runQuennel(args, options);
        EXPECT_EQ(r.out, kUsageText) << args[0] << " " << args[1];
        EXPECT_EQ(r.exitCode, 1);
    }
}

}  // namespace
