// -v and -l end to end: where two files first differ, every difference, and that neither
// changes anything else.
#include <cstdlib>
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
// book[1] 2:28, title 3:8, the comment 4:15, price 5:8, book[2] 7:18, its title 8:8.
std::string catalog(const std::string& book1 = "<book id=\"bk101\" lang=\"en\">",
                    const std::string& note = "<!-- first -->",
                    const std::string& price = "<price>44.95</price>\n",
                    const std::string& book2 = "<book id=\"bk102\">",
                    const std::string& title2 = "<title>Midnight Rain</title>",
                    const std::string& extra = "") {
    return "<catalog>\n" + book1 + "\n<title>XML Guide</title>\n" + note + "\n" + price +
           "</book>\n" + book2 + "\n" + title2 + "\n</book>\n" + extra + "</catalog>\n";
}

// One block of -l: the path, then what each file holds there (after "file:").
struct Block {
    std::string path, firstSide, secondSide;
};

// The whole output of -l on a pair that differs.
std::string listed(const std::string& first, const std::string& second,
                   const std::vector<Block>& blocks, const std::string& between = "") {
    std::string out = progress(first, second, between);
    for (std::size_t n = 0; n < blocks.size(); ++n)
        out += "\n ** Difference " + std::to_string(n + 1) + ": " + blocks[n].path + "\n    " +
               first + ":" + blocks[n].firstSide + "\n    " + second + ":" + blocks[n].secondSide;
    out += blocks.size() == 1 ? "\n ** 1 difference"
                              : "\n ** " + std::to_string(blocks.size()) + " differences";
    return out + kDifferent;
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
    dir.write("abc.xml", "<r><a/><b/><c/></r>");
    dir.write("ac.xml", "<r><a/><c/></r>");
    dir.write("axc.xml", "<r><a/><x/><c/></r>");
    // Ten equal children after the insertion point: none of them may count.
    const std::string tail = "<e/><f/><g/><h/><i/><j/><k/><l/><m/><n/>";
    dir.write("long1.xml", "<r>\n<a/>" + tail + "\n</r>");
    dir.write("long2.xml", "<r>\n<new/><a/>" + tail + "\n</r>");
    dir.write("attrs1.xml", "<r x=\"1\" y=\"2\"/>");
    dir.write("attrs2.xml", "<r y=\"3\" z=\"4\"/>");
    // Records changed in place, one inserted between them.
    dir.write("records1.xml",
              "<db>\n<rec id=\"1\"><v>one</v></rec>\n<rec id=\"2\"><v>two</v></rec>\n"
              "<rec id=\"3\"><v>three</v></rec>\n</db>");
    dir.write("records2.xml",
              "<db>\n<rec id=\"1\"><v>uno</v></rec>\n<rec id=\"9\"/>\n"
              "<rec id=\"2\"><v>two</v></rec>\n<rec id=\"3\"><v>tres</v></rec>\n</db>");
    dir.write("commented.xml", "<r><!-- a --><a/><b/><c/></r>");
    dir.write("twocase.xml", "<r a=\"1\" A=\"2\"/>");
    // Outside the Basic Multilingual Plane, in UTF-8 and in UTF-16 with its byte order mark.
    dir.write("emoji1.xml", "<r a=\"\xF0\x9F\x98\x80\">\r\n \xF0\x9F\x98\x80<x/></r>");
    dir.write("emoji2.xml", std::string("\xFF\xFE", 2) +
                                utf16le(u"<r a=\"\U0001F600\">\r\n \U0001F600<y/></r>"));
    dir.write("onecase.xml", "<r a=\"2\"/>");
    dir.write("alike1.xml", "<r><b k=\"1\" m=\"x\"/><b k=\"2\" m=\"y\"/></r>");
    dir.write("alike2.xml", "<r><b k=\"2\" m=\"z\"/><b k=\"1\" m=\"w\"/></r>");
    // Too many children for the table of the longest run: children found once in each list
    // still keep the rest in place.
    std::string wide1 = "<r>\n", wide2 = "<r>\n";
    for (int i = 0; i < 4000; ++i) {
        const std::string e = "<e n=\"" + std::to_string(i) + "\"/>\n";
        wide1 += e;
        wide2 += i == 10 ? "<e n=\"ten\"/>\n" : i == 3000 ? "<new/>\n" + e : e;
    }
    dir.write("wide1.xml", wide1 + "</r>");
    dir.write("wide2.xml", wide2 + "</r>");
    // Many times what is read in one go: the list starts where the files part, far in.
    std::string chunks1 = "<r>\n", chunks2 = "<r>\n";
    for (int i = 0; i < 30000; ++i) {
        const std::string n = std::to_string(i);
        const std::string e = "<e n=\"" + n + "\"><v>" + n + "</v></e>\n";
        chunks1 += e;
        chunks2 += i == 20000 ? "<e n=\"" + n + "\"><v>X</v></e>\n" : i == 25000 ? "<new/>\n" + e : e;
    }
    dir.write("chunks1.xml", chunks1 + "</r>");
    dir.write("chunks2.xml", chunks2 + "</r>");
    // Entity expansions: a match inside one is removed, blanks and (-c) comments are dropped.
    const auto entity = [](const std::string& value, const std::string& after) {
        return "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT x ANY><!ELEMENT a ANY>\n<!ENTITY e \"" +
               value + "\">]>\n<r>&e;\n<a>" + after + "</a></r>\n";
    };
    dir.write("ent-one.xml", entity("<x>one</x>", "1"));
    dir.write("ent-two.xml", entity("<x>two</x>", "1"));
    dir.write("ent-three.xml", entity("<x>two</x>", "3"));
    dir.write("ent-blank.xml", entity("<x> <!-- n --></x> ", "1"));
    dir.write("ent-empty.xml", entity("<x></x>", "1"));
    dir.write("ent-text.xml", entity("<x> t</x>", "1"));
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
                              "4:15: comment \" first \"", "4:16: comment \" second \""),
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
                              "1:17: CDATA section \"a\"", "1:4: text \"a\""),
                    1},
        VerboseCase{"ProcessingInstruction", {"-v", "pi1.xml", "pi2.xml"},
                    different("pi1.xml", "pi2.xml", "/r/processing-instruction('go')[1]",
                              "1:15: processing instruction go \"fast\"",
                              "1:15: processing instruction go \"slow\""),
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
        // An emoji is one column, in either encoding.
        VerboseCase{"AstralCharacterIsOneColumn", {"-v", "emoji1.xml", "emoji2.xml"},
                    different("emoji1.xml", "emoji2.xml", "/r/x[1]", "2:7: element <x>",
                              "2:7: element <y>"),
                    1},
        // Without -o a swap keeps one book in place and moves the other: first comes the
        // second file's bk102 against nothing. With -o the books pair up and the changed price
        // is found inside the moved one.
        VerboseCase{"OrderCounts", {"-v", "book.xml", "shuffled.xml"},
                    different("book.xml", "shuffled.xml", "/catalog/book[1]", "1:10: nothing",
                              "2:18: element <book>"),
                    1},
        VerboseCase{"OrderIgnoredChangeInsideMovedChild", {"-v", "-o", "book.xml", "reordered.xml"},
                    different("book.xml", "reordered.xml", "/catalog/book[1]/price[1]/text()[1]",
                              "5:8: text \"44.95\"", "8:8: text \"45.00\""),
                    1},
        VerboseCase{"OrderIgnoredLeftOverInSecond", {"-v", "-O", "book.xml", "extrachild.xml"},
                    different("book.xml", "extrachild.xml", "/catalog/book[3]", "1:10: nothing",
                              "10:19: element <book>"),
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
        VerboseCase{"IgnoreInsideEntity", {"-v", "ent-one.xml", "ent-three.xml", "-i", "x"},
                    different("ent-one.xml", "ent-three.xml", "/r/a[1]/text()[1]",
                              "4:4: text \"1\"", "4:4: text \"3\""),
                    1},
        // The blank before the comment is gone; a node inside an expansion shows where the
        // element around the reference stands.
        VerboseCase{"EntityBlankDropped", {"-v", "ent-blank.xml", "ent-text.xml"},
                    different("ent-blank.xml", "ent-text.xml",
                              "/r/entity-reference('e')[1]/x[1]/comment()[1]",
                              "3:4: comment \" n \"", "3:4: text \" t\""),
                    1},
        // The comment and the blanks are gone before counting: the second <b> is b[2], and it
        // pairs with the other <b> that found no equal.
        VerboseCase{"CommentsAndOrderIgnored", {"-v", "-c", "-o", "loose.xml", "tight.xml"},
                    different("loose.xml", "tight.xml", "/r/b[2]/@k", "5:13: attribute k=\"3\"",
                              "1:28: attribute k=\"2\""),
                    1}),
    [](const testing::TestParamInfo<VerboseCase>& info) { return info.param.name; });

using ListCase = CommandCase;

class ListDiff : public testing::TestWithParam<ListCase> {};

TEST_P(ListDiff, PrintsEveryDifference) {
    TempDir dir;
    writeInputs(dir);
    RunOptions options;
    options.cwd = dir.path();
    expectCommand(GetParam(), options);
}

INSTANTIATE_TEST_SUITE_P(
    Differences, ListDiff,
    testing::Values(
        ListCase{"OneDeletion", {"-l", "abc.xml", "ac.xml"},
                 listed("abc.xml", "ac.xml", {{"/r/b[1]", "1:12: element <b>", "1:4: nothing"}}),
                 1},
        ListCase{"OneInsertion", {"-L", "ac.xml", "abc.xml"},
                 listed("ac.xml", "abc.xml", {{"/r/b[1]", "1:4: nothing", "1:12: element <b>"}}),
                 1},
        ListCase{"InsertionBeforeManySiblings", {"-l", "long1.xml", "long2.xml"},
                 listed("long1.xml", "long2.xml", {{"/r/new[1]", "1:4: nothing", "2:7: element <new>"}}),
                 1},
        ListCase{"ReplacedByAnotherName", {"-l", "abc.xml", "axc.xml"},
                 listed("abc.xml", "axc.xml", {{"/r/b[1]", "1:12: element <b>", "1:12: element <x>"}}),
                 1},
        ListCase{"EachAttribute", {"-l", "attrs1.xml", "attrs2.xml"},
                 listed("attrs1.xml", "attrs2.xml",
                        {{"/r/@x", "1:17: attribute x=\"1\"", "1:17: nothing"},
                         {"/r/@y", "1:17: attribute y=\"2\"", "1:17: attribute y=\"3\""},
                         {"/r/@z", "1:17: nothing", "1:17: attribute z=\"4\""}}),
                 1},
        // Names compare ignoring case: A="2" equals a="2", and a="1" is left over.
        ListCase{"AttributeNamesIgnoringCase", {"-l", "twocase.xml", "onecase.xml"},
                 listed("twocase.xml", "onecase.xml",
                        {{"/r/@a", "1:17: attribute a=\"1\"", "1:11: nothing"}}),
                 1},
        // Changed where they stand: reported inside, the inserted record once.
        ListCase{"ChangedInPlaceAndInserted", {"-l", "records1.xml", "records2.xml"},
                 listed("records1.xml", "records2.xml",
                        {{"/db/rec[1]/v[1]/text()[1]", "2:16: text \"one\"", "2:16: text \"uno\""},
                         {"/db/rec[2]", "1:5: nothing", "3:14: element <rec>"},
                         {"/db/rec[3]/v[1]/text()[1]", "4:16: text \"three\"",
                          "5:16: text \"tres\""}}),
                 1},
        ListCase{"KindOfNode", {"-l", "text-a.xml", "element-a.xml"},
                 listed("text-a.xml", "element-a.xml",
                        {{"/r/text()[1]", "1:4: text \"a\"", "1:8: element <a>"}}),
                 1},
        ListCase{"DocumentElementHidesWhatIsBelow", {"-l", "book.xml", "s.xml"},
                 listed("book.xml", "s.xml",
                        {{"/catalog", "1:10: element <catalog>", "1:5: element <s>"}}),
                 1},
        ListCase{"Several", {"-l", "book.xml", "tag.xml"},
                 listed("book.xml", "tag.xml",
                        {{"/catalog/book[2]/title[1]", "8:8: element <title>", "8:7: element <name>"}}),
                 1},
        // Without -o a swap is one book kept in place and the other moved: two differences.
        ListCase{"SwapInOrder", {"-l", "book.xml", "shuffled.xml"},
                 listed("book.xml", "shuffled.xml",
                        {{"/catalog/book[1]", "1:10: nothing", "2:18: element <book>"},
                         {"/catalog/book[2]", "7:18: element <book>", "1:10: nothing"}}),
                 1},
        ListCase{"ChangeInsideMovedChild", {"-l", "-o", "book.xml", "reordered.xml"},
                 listed("book.xml", "reordered.xml",
                        {{"/catalog/book[1]/price[1]/text()[1]", "5:8: text \"44.95\"",
                          "8:8: text \"45.00\""}}),
                 1},
        // Each <b> pairs with the one that shares its k, not with the one at its position.
        ListCase{"MostAlikeUnderOrderIgnored", {"-l", "-o", "alike1.xml", "alike2.xml"},
                 listed("alike1.xml", "alike2.xml",
                        {{"/r/b[1]/@m", "1:20: attribute m=\"x\"", "1:36: attribute m=\"w\""},
                         {"/r/b[2]/@m", "1:36: attribute m=\"y\"", "1:20: attribute m=\"z\""}}),
                 1},
        ListCase{"LeftOverUnderOrderIgnored", {"-l", "-o", "axc.xml", "ac.xml"},
                 listed("axc.xml", "ac.xml", {{"/r/x[1]", "1:12: element <x>", "1:4: nothing"}}),
                 1},
        ListCase{"UnderIgnore", {"-l", "ignore1.xml", "ignore2.xml", "-i", "x"},
                 listed("ignore1.xml", "ignore2.xml",
                        {{"/r/a[2]/text()[1]", "5:4: text \"2\"", "4:4: text \"3\""}}),
                 1},
        ListCase{"EntityCommentCounts", {"-l", "ent-blank.xml", "ent-three.xml", "-i", "a"},
                 listed("ent-blank.xml", "ent-three.xml",
                        {{"/r/entity-reference('e')[1]/x[1]/comment()[1]", "3:4: comment \" n \"",
                          "3:4: text \"two\""}}),
                 1},
        ListCase{"CommentCountsWithoutC", {"-l", "commented.xml", "abc.xml"},
                 listed("commented.xml", "abc.xml",
                        {{"/r/comment()[1]", "1:14: comment \" a \"", "1:4: nothing"}}),
                 1},
        ListCase{"WideList", {"-l", "wide1.xml", "wide2.xml"},
                 listed("wide1.xml", "wide2.xml",
                        {{"/r/e[11]/@n", "12:12: attribute n=\"10\"", "12:13: attribute n=\"ten\""},
                         {"/r/new[1]", "1:4: nothing", "3002:7: element <new>"}}),
                 1},
        ListCase{"FarIntoLongFiles", {"-l", "chunks1.xml", "chunks2.xml"},
                 listed("chunks1.xml", "chunks2.xml",
                        {{"/r/e[20001]/v[1]/text()[1]", "20002:17: text \"20000\"",
                          "20002:17: text \"X\""},
                         {"/r/new[1]", "1:4: nothing", "25002:7: element <new>"}}),
                 1},
        ListCase{"CommentsIgnored", {"-l", "-c", "commented.xml", "ac.xml"},
                 listed("commented.xml", "ac.xml", {{"/r/b[1]", "1:22: element <b>", "1:4: nothing"}}),
                 1}),
    [](const testing::TestParamInfo<ListCase>& info) { return info.param.name; });

// -v and -l only add blocks to a "different" verdict: equal files and failures look exactly
// alike with and without them.
class VerboseChangesNothing : public testing::TestWithParam<VerboseCase> {};

TEST_P(VerboseChangesNothing, OutputIsByteIdentical) {
    TempDir dir;
    writeInputs(dir);
    RunOptions options;
    options.cwd = dir.path();
    const RunResult plain = runQuennel(GetParam().args, options);
    EXPECT_EQ(plain.exitCode, GetParam().exitCode);
    for (const char* option : {"-v", "-l"}) {
        std::vector<std::string> listing{option};
        listing.insert(listing.end(), GetParam().args.begin(), GetParam().args.end());
        const RunResult withOption = runQuennel(listing, options);
        EXPECT_EQ(withOption.exitCode, plain.exitCode) << option;
        EXPECT_EQ(withOption.out, plain.out) << option;
        EXPECT_EQ(withOption.err, "") << option;
    }
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
                    VerboseCase{"SameIgnoringInsideEntity",
                                {"ent-one.xml", "ent-two.xml", "-i", "x"}, "", 0},
                    VerboseCase{"SameIgnoringAttributeInsideEntity",
                                {"-o", "ent-blank.xml", "ent-empty.xml", "-i", "x/@*", "/r/x"}, "", 0},
                    VerboseCase{"SameWithoutEntityBlanks",
                                {"-c", "ent-blank.xml", "ent-empty.xml"}, "", 0},
                    VerboseCase{"SameWithoutEntityBlanksUnordered",
                                {"-c", "-o", "ent-blank.xml", "ent-empty.xml"}, "", 0},
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
                                               {"-v", "-v", "book.xml", "tag.xml"},
                                               {"-l", "book.xml"},
                                               {"-c", "-l", "book.xml", "tag.xml"},
                                               {"-l", "-v", "book.xml", "tag.xml"},
                                               {"-j", "-c", "book.xml"},
                                               {"book.xml", "tag.xml", "-j"}}) {
        const RunResult r = runQuennel(args, options);
        EXPECT_EQ(r.out, kUsageText) << args[0] << " " << args[1];
        EXPECT_EQ(r.exitCode, 1);
    }
}

// -j: one JSON object and nothing else, whatever the outcome; each checked byte for byte and
// parsed by a JSON reader.
struct JsonCase {
    const char* name;
    std::vector<std::string> args;
    std::string out;  // empty: only parsed, with "same": null and an error holding `error`
    int exitCode;
    std::string error;
};
void PrintTo(const JsonCase& c, std::ostream* os) { *os << c.name; }

class JsonDiff : public testing::TestWithParam<JsonCase> {};

bool parsesAsJson(const TempDir& dir, const std::string& text) {
    const std::string path = dir.write("out.json", text);
    const std::string command = "python3 -c 'import json,sys; json.load(open(sys.argv[1], "
                                "encoding=\"utf-8\", errors=\"strict\"))' '" + path + "'";
    return std::system(command.c_str()) == 0;
}

TEST_P(JsonDiff, PrintsOneJsonObject) {
    TempDir dir;
    writeInputs(dir);
    dir.write("caf\xE9.xml", "<r><a/><b/><c/></r>");
    RunOptions options;
    options.cwd = dir.path();
    const JsonCase& c = GetParam();
    const RunResult r = runQuennel(c.args, options);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(parsesAsJson(dir, r.out)) << r.out;
    if (!c.out.empty()) {
        EXPECT_EQ(r.out, c.out);
    } else {
        EXPECT_EQ(r.out.rfind("{\"same\": null, ", 0), 0u) << r.out;
        EXPECT_NE(r.out.find(c.error), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Parsing "), std::string::npos) << r.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, JsonDiff,
    testing::Values(
        JsonCase{"Same", {"-j", "book.xml", "case.xml", "-i", "title", "TITLE"},
                 "{\"same\": true, \"file1\": \"book.xml\", \"file2\": \"case.xml\", "
                 "\"differences\": []}\n",
                 0, ""},
        JsonCase{"Different", {"-J", "-o", "attrs1.xml", "abc.xml"},
                 "{\"same\": false, \"file1\": \"attrs1.xml\", \"file2\": \"abc.xml\", "
                 "\"differences\": [\n"
                 "  {\"path\": \"/r/@x\", \"file1\": {\"line\": 1, \"column\": 17, \"kind\": "
                 "\"attribute\", \"name\": \"x\", \"value\": \"1\"}, \"file2\": {\"line\": 1, "
                 "\"column\": 4, \"kind\": \"nothing\"}},\n"
                 "  {\"path\": \"/r/@y\", \"file1\": {\"line\": 1, \"column\": 17, \"kind\": "
                 "\"attribute\", \"name\": \"y\", \"value\": \"2\"}, \"file2\": {\"line\": 1, "
                 "\"column\": 4, \"kind\": \"nothing\"}},\n"
                 "  {\"path\": \"/r/a[1]\", \"file1\": {\"line\": 1, \"column\": 17, \"kind\": "
                 "\"nothing\"}, \"file2\": {\"line\": 1, \"column\": 8, \"kind\": \"element\", "
                 "\"name\": \"a\"}},\n"
                 "  {\"path\": \"/r/b[1]\", \"file1\": {\"line\": 1, \"column\": 17, \"kind\": "
                 "\"nothing\"}, \"file2\": {\"line\": 1, \"column\": 12, \"kind\": \"element\", "
                 "\"name\": \"b\"}},\n"
                 "  {\"path\": \"/r/c[1]\", \"file1\": {\"line\": 1, \"column\": 17, \"kind\": "
                 "\"nothing\"}, \"file2\": {\"line\": 1, \"column\": 16, \"kind\": \"element\", "
                 "\"name\": \"c\"}}\n]}\n",
                 1, ""},
        // Whole values, quotes and line breaks escaped.
        JsonCase{"WholeValues", {"-j", "long.xml", "short.xml"},
                 "{\"same\": false, \"file1\": \"long.xml\", \"file2\": \"short.xml\", "
                 "\"differences\": [\n"
                 "  {\"path\": \"/r/text()[1]\", \"file1\": {\"line\": 1, \"column\": 4, "
                 "\"kind\": \"text\", \"value\": \"line one\\nline two " + std::string(60, 'x') +
                     "\"}, \"file2\": {\"line\": 1, \"column\": 4, \"kind\": \"text\", "
                     "\"value\": \"line one\"}}\n]}\n",
                 1, ""},
        JsonCase{"NameNotUtf8", {"-j", "caf\xE9.xml", "ac.xml"},
                 "{\"same\": false, \"file1\": \"caf\xEF\xBF\xBD.xml\", \"file2\": \"ac.xml\", "
                 "\"differences\": [\n"
                 "  {\"path\": \"/r/b[1]\", \"file1\": {\"line\": 1, \"column\": 12, \"kind\": "
                 "\"element\", \"name\": \"b\"}, \"file2\": {\"line\": 1, \"column\": 4, "
                 "\"kind\": \"nothing\"}}\n]}\n",
                 1, ""},
        JsonCase{"NotWellFormed", {"-j", "book.xml", "bad.xml"}, "", 2,
                 "Message: expected end of tag 'a'\\n\\n *** EXCEPTION: The file is not valid."},
        JsonCase{"Missing", {"-j", "book.xml", "none.xml"}, "", 2,
                 "*** INVALID FILE: The file none.xml doesn't exist."}),
    [](const testing::TestParamInfo<JsonCase>& info) { return info.param.name; });

}  // namespace
