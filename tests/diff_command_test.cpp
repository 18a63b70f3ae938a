// The diff command end to end: command line and input files in, exact output and exit code out.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

std::string progress(const std::string& first, const std::string& second,
                     const std::string& between = "") {
    return "\nParsing " + first + "\nParsing " + second + "\n" + between + "\nDiffing " + first +
           " Vs. " + second + "\n";
}

const std::string kSame = "\n ** Files are the same\n\n";
const std::string kDifferent = "\n ** Files are NOT the same\n\n";
const std::string kFailed = "\n *** Failed to diff files\n\n";

std::string missing(const std::string& file) {
    return "\n\n *** INVALID FILE: The file " + file + " doesn't exist." +
           "\n Please insure the file and the directory are specified correctly." + kFailed;
}

std::string notFound(const std::string& name) {
    return "\n\n The element " + name + " was not found.";
}

const std::string kUnchanged = "\n\n The root node has not changed. Elements don't exist.";

const std::string kNotValid =
    "\n\n *** EXCEPTION: The file is not valid. Please insure that the file is \n valid according "
    "to its schema.\n Insure validity of file (formatted properly).\n You can use Internet "
    "Explorer to validate the file.";

const std::string kBadDiagnostic =
    "\nFatal Error at file \"\", line 1, column 9\n   Message: expected end of tag 'a'";

const std::string kLateDiagnostic =
    "\nFatal Error at file \"\", line 40002, column 3\n   Message: expected end of tag 'r'";

using DiffCase = CommandCase;

class DiffCommandEndToEnd : public testing::TestWithParam<DiffCase> {};

TEST_P(DiffCommandEndToEnd, PrintsExactOutputAndExitCode) {
    TempDir dir;
    dir.write("a.xml", "<?xml version='1.0'?>\n<!-- top -->\n<r>\n  <a k='v'>Text</a>\n"
                       "  <!-- note -->\n  <b/>\n</r>\n");
    dir.write("same.xml", "<R><A K='V'>tEXT</A><!-- NOTE --><B></B></R>");
    dir.write("nocomment.xml", "<r><a k='v'>text</a><b/></r>");
    dir.write("order.xml", "<r><b/><!-- note --><a k='v'>text</a></r>");
    dir.write("other.xml", "<r><a k='v'>text </a><!-- note --><b/></r>");
    dir.write("extra.xml", "<r><a k='v'>text</a><!-- note --><b/><x>1</x><x>2</x></r>");
    dir.write("skip.xml", "<r><a k='v'>text</a><!-- note --><b/><Skip>1</Skip></r>");
    dir.write("skip2.xml", "<r><a k='v'>text</a><!-- note --><b/><skip>2</skip></r>");
    dir.write("bad.xml", "<r><a></r>");
    // Matches inside entity expansions, and what never counts there.
    const auto entity = [](const std::string& value, const std::string& more = "") {
        return "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT a ANY><!ELEMENT x ANY><!ELEMENT y ANY>"
               "<!ELEMENT z ANY><!ATTLIST y k CDATA #IMPLIED><!ENTITY e \"" + value + "\">" + more +
               "]>\n<r>&e;<a/></r>";
    };
    dir.write("ent-one.xml", entity("<x>one</x>"));
    dir.write("ent-two.xml", entity("<x>two</x>"));
    dir.write("ent-attr1.xml", entity("<y k='1'>t</y>"));
    dir.write("ent-attr2.xml", entity("<y k='2'>t</y>"));
    dir.write("ent-blank.xml", entity("<x> </x>"));
    dir.write("ent-empty.xml", entity("<x></x>"));
    dir.write("ent-comment.xml", entity("<x><!-- n -->t </x><!-- m --> "));
    dir.write("ent-text.xml", entity("<x>t </x>"));
    dir.write("ent-nested.xml", entity("<x>&f;</x>", "<!ENTITY f '<z> <x>q</x></z>'>"));
    dir.write("ent-nested2.xml", entity("<x>&f;</x>", "<!ENTITY f '<z><x>Q</x> </z>'>"));
    // Selector forms, nested matches and what stays apart after a removal.
    dir.write("sel1.xml", "<r id='1'><x k='1'>t<y>u</y></x><p:z xmlns:p='u' p:q='3'>v<x/>w</p:z>"
                          "<y id='1'><x id='2'>in</x></y>tail</r>");
    dir.write("sel2.xml", "<r id='2'><x k='2'>t2<y>u</y></x><p:z xmlns:p='u' p:q='4'>v<x>h</x>w"
                          "</p:z><y id='3'><x id='4'>in2</x></y>tail</r>");
    dir.write("split.xml", "<r>a<x/>b</r>");
    dir.write("joined.xml", "<r>ab</r>");
    dir.write("other-root.xml", "<q><x/></q>");
    const std::string defaults = "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT x ANY>"
                                 "<!ATTLIST x k CDATA 'def' m CDATA #FIXED 'f'>]>";
    dir.write("dtd-given.xml", defaults + "<r><x k='1'/><x/></r>");
    dir.write("dtd-written.xml", defaults + "<r><x k='def'/><x k='2'/></r>");
    dir.write("sub/deep name.xml", "<R><A K='V'>tEXT</A><!-- NOTE --><B></B></R>");
    dir.write("attr1.xml", "<r stamp='1'><a k='1' n='x'><t>1</t></a><b><t>2</t></b></r>");
    dir.write("attr2.xml", "<r stamp='2'><a k='2' n='x'><t>1</t></a><b><t>3</t></b></r>");
    // Many buffers long: the first difference is read long before the end of either file.
    std::string many;
    for (int i = 0; i < 40000; ++i) many += "<b/>\n";
    dir.write("late-bad.xml", "<r><a k='x'>text</a>\n" + many + "</q>");
    dir.write("long.xml", "<r><a k='x'>text</a>\n" + many + "</r>");
    const std::string text(3 << 20, 'x');
    dir.write("text1.xml", "<r><t>" + text + "a</t></r>");
    dir.write("text2.xml", "<r><T>" + text + "A</T></r>");
    dir.write("text3.xml", "<r><t>" + text + "b</t></r>");
    dir.write("text4.xml", "<r><x/><T>" + text + "A</T></r>");
    dir.write("text5.xml", "<r><t>" + text + "a</t><x/></r>");
    dir.write("text6.xml", "<r><t>" + text + "b</t><x/></r>");
    // U+10400 and U+10428 are one letter in two cases; U+00C9 and U+00E9 too.
    dir.write("intl1.xml", "<r><\xf0\x90\x90\x80 \xc3\x89='\xc3\xa9'>\xf0\x90\x90\x80</\xf0\x90\x90\x80>"
                           "<e a=''/><x/></r>");
    dir.write("intl2.xml", "<r><x/><e A=''/><\xf0\x90\x90\xa8 \xc3\xa9='\xc3\x89'>\xf0\x90\x90\xa8"
                           "</\xf0\x90\x90\xa8></r>");
    dir.write("intl3.xml", "<r><x/><e/><\xf0\x90\x90\xa8 \xc3\xa9='\xc3\x89'>\xf0\x90\x90\xa8"
                           "</\xf0\x90\x90\xa8></r>");
    RunOptions options;
    options.cwd = dir.path();
    expectCommand(GetParam(), options);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, DiffCommandEndToEnd,
    testing::Values(
        DiffCase{"Plain", {"a.xml", "same.xml"}, progress("a.xml", "same.xml") + kSame, 0},
        DiffCase{"PlainReversed", {"same.xml", "a.xml"}, progress("same.xml", "a.xml") + kSame, 0},
        DiffCase{"PathAsTyped", {"a.xml", "sub/deep name.xml"},
                 progress("a.xml", "sub/deep name.xml") + kSame, 0},
        DiffCase{"TrailingBlankDiffers", {"a.xml", "other.xml"},
                 progress("a.xml", "other.xml") + kDifferent, 1},
        DiffCase{"CommentCounts", {"a.xml", "nocomment.xml"},
                 progress("a.xml", "nocomment.xml") + kDifferent, 1},
        DiffCase{"IgnoreComments", {"-c", "a.xml", "nocomment.xml"},
                 progress("a.xml", "nocomment.xml") + kSame, 0},
        DiffCase{"IgnoreCommentsUpper", {"-C", "nocomment.xml", "a.xml"},
                 progress("nocomment.xml", "a.xml") + kSame, 0},
        DiffCase{"OrderCounts", {"a.xml", "order.xml"},
                 progress("a.xml", "order.xml") + kDifferent, 1},
        DiffCase{"IgnoreOrder", {"-o", "a.xml", "order.xml"},
                 progress("a.xml", "order.xml") + kSame, 0},
        DiffCase{"IgnoreOrderUpper", {"-O", "order.xml", "a.xml"},
                 progress("order.xml", "a.xml") + kSame, 0},
        DiffCase{"BothOptions", {"-c", "-o", "order.xml", "nocomment.xml"},
                 progress("order.xml", "nocomment.xml") + kSame, 0},
        DiffCase{"BothOptionsSwapped", {"-o", "-c", "order.xml", "nocomment.xml"},
                 progress("order.xml", "nocomment.xml") + kSame, 0},
        DiffCase{"OnlyOrderIgnored", {"-o", "order.xml", "nocomment.xml"},
                 progress("order.xml", "nocomment.xml") + kDifferent, 1},
        // -i with nothing after it is a plain comparison: the remover is not involved.
        DiffCase{"EmptyIgnoreList", {"a.xml", "same.xml", "-i"},
                 progress("a.xml", "same.xml") + kSame, 0},
        DiffCase{"IgnoreNamesInNeither", {"a.xml", "same.xml", "-I", "q", "z", "q"},
                 progress("a.xml", "same.xml",
                          notFound("q") + notFound("z") + notFound("q") + kUnchanged +
                              notFound("q") + notFound("z") + notFound("q") + kUnchanged) +
                     kSame,
                 0},
        DiffCase{"IgnoreRemovesQuietly", {"a.xml", "extra.xml", "-i", "x"},
                 progress("a.xml", "extra.xml", notFound("x") + kUnchanged) + kSame, 0},
        DiffCase{"OptionAfterIgnoreIsAName", {"a.xml", "extra.xml", "-i", "x", "-c"},
                 progress("a.xml", "extra.xml",
                          notFound("x") + notFound("-c") + kUnchanged + notFound("-c")) +
                     kSame,
                 0},
        // The remover matches names exactly; the comparison then ignores case.
        DiffCase{"IgnoreNameCaseSensitive", {"skip.xml", "skip2.xml", "-i", "skip"},
                 progress("skip.xml", "skip2.xml", notFound("skip") + kUnchanged) + kDifferent,
                 1},
        DiffCase{"IgnoreBothNames", {"skip.xml", "skip2.xml", "-i", "skip", "Skip"},
                 progress("skip.xml", "skip2.xml", notFound("skip") + notFound("Skip")) + kSame,
                 0},
        DiffCase{"IgnoreDocumentElements", {"a.xml", "extra.xml", "-i", "r"},
                 progress("a.xml", "extra.xml") + kSame, 0},
        DiffCase{"OptionsAndIgnore", {"-o", "-c", "order.xml", "extra.xml", "-i", "x"},
                 progress("order.xml", "extra.xml", notFound("x") + kUnchanged) + kSame, 0},
        // Selectors: an ignored attribute is absent on both sides; paths pick by parent.
        DiffCase{"IgnoreAttributesAndAPath", {"attr1.xml", "attr2.xml", "-i", "@k", "@stamp", "b/t"},
                 progress("attr1.xml", "attr2.xml") + kSame, 0},
        DiffCase{"IgnoreAnchoredAttributeOnly", {"attr1.xml", "attr2.xml", "-i", "/r/@stamp", "a/@k"},
                 progress("attr1.xml", "attr2.xml") + kDifferent, 1},
        DiffCase{"IgnorePathUnderAnotherParent", {"-o", "attr1.xml", "attr2.xml", "-i", "@*", "a/t"},
                 progress("attr1.xml", "attr2.xml") + kDifferent, 1},
        // Every form on the comparison made while reading, under -c and under -o.
        DiffCase{"IgnoreNamedEverywhere", {"sel1.xml", "sel2.xml", "-i", "x", "@id", "@p:q"},
                 progress("sel1.xml", "sel2.xml") + kSame, 0},
        DiffCase{"IgnoreNameKeepsPrefix", {"-c", "sel1.xml", "sel2.xml", "-i", "z", "x", "@id"},
                 progress("sel1.xml", "sel2.xml", notFound("z") + notFound("z")) + kDifferent, 1},
        DiffCase{"IgnorePrefixedName", {"-o", "sel1.xml", "sel2.xml", "-i", "p:z", "x", "@id"},
                 progress("sel1.xml", "sel2.xml") + kSame, 0},
        DiffCase{"IgnoreEveryAttribute", {"-o", "sel1.xml", "sel2.xml", "-i", "@*", "x"},
                 progress("sel1.xml", "sel2.xml") + kSame, 0},
        DiffCase{"IgnoreAttributePaths",
                 {"-c", "sel1.xml", "sel2.xml", "-i", "r/x", "/r/@id", "r/*/x", "y/@id", "p:z/@p:q",
                  "x/@k"},
                 progress("sel1.xml", "sel2.xml", notFound("x/@k") + notFound("x/@k")) + kSame, 0},
        // y/x goes with y, which the selector before it removed.
        DiffCase{"IgnoreInsideAnEarlierMatch", {"sel1.xml", "sel2.xml", "-i", "y", "y/x", "x"},
                 progress("sel1.xml", "sel2.xml", notFound("y/x") + notFound("y/x")) + kDifferent,
                 1},
        DiffCase{"IgnoreNestedBeforeItsParent", {"sel1.xml", "sel2.xml", "-i", "y/x", "y", "@*", "x"},
                 progress("sel1.xml", "sel2.xml") + kSame, 0},
        DiffCase{"IgnoreStarTakesTheDocumentElement", {"-o", "sel1.xml", "other-root.xml", "-i", "*", "x"},
                 progress("sel1.xml", "other-root.xml", notFound("x") + notFound("x")) +
                     kSame,
                 0},
        DiffCase{"IgnoreAnchoredDocumentElementOnOneSide", {"sel1.xml", "other-root.xml", "-i", "/r"},
                 progress("sel1.xml", "other-root.xml", notFound("/r") + kUnchanged) + kDifferent, 1},
        DiffCase{"IgnoreAnchoredPath", {"-c", "sel1.xml", "sel2.xml", "-i", "/r/x", "/x", "@*"},
                 progress("sel1.xml", "sel2.xml", notFound("/x") + notFound("/x")) + kDifferent, 1},
        // The texts on either side of a removed element stay two texts.
        DiffCase{"IgnoreLeavesTextsApart", {"split.xml", "joined.xml", "-i", "x"},
                 progress("split.xml", "joined.xml", notFound("x") + kUnchanged) + kDifferent, 1},
        DiffCase{"IgnoreLeavesTextsApartUnordered", {"-o", "split.xml", "joined.xml", "-i", "x"},
                 progress("split.xml", "joined.xml", notFound("x") + kUnchanged) + kDifferent, 1},
        // A removed attribute that the DTD defaults comes back with its default; a defaulted
        // one is never selected.
        DiffCase{"IgnoreDefaultedAttribute", {"dtd-given.xml", "dtd-written.xml", "-i", "@k", "@m"},
                 progress("dtd-given.xml", "dtd-written.xml", notFound("@m") + notFound("@m")) + kSame,
                 0},
        DiffCase{"IgnoreDefaultedAttributeUnordered", {"-o", "dtd-given.xml", "dtd-written.xml", "-i", "x/@k"},
                 progress("dtd-given.xml", "dtd-written.xml") + kSame, 0},
        // Inside entity expansions: matches are removed, blanks and (-c) comments dropped.
        DiffCase{"IgnoreInsideEntity", {"ent-one.xml", "ent-two.xml", "-i", "x"},
                 progress("ent-one.xml", "ent-two.xml") + kSame, 0},
        DiffCase{"IgnoreInsideEntityUnordered", {"-o", "-c", "ent-one.xml", "ent-two.xml", "-i", "x"},
                 progress("ent-one.xml", "ent-two.xml") + kSame, 0},
        DiffCase{"EntityStillCounts", {"ent-one.xml", "ent-two.xml"},
                 progress("ent-one.xml", "ent-two.xml") + kDifferent, 1},
        DiffCase{"IgnoreAttributeInsideEntity", {"ent-attr1.xml", "ent-attr2.xml", "-i", "@k"},
                 progress("ent-attr1.xml", "ent-attr2.xml") + kSame, 0},
        DiffCase{"IgnoreInsideNestedEntity", {"ent-nested.xml", "ent-nested2.xml", "-i", "z/x"},
                 progress("ent-nested.xml", "ent-nested2.xml") + kSame, 0},
        DiffCase{"NestedEntityBlanksDropped", {"ent-nested.xml", "ent-nested2.xml"},
                 progress("ent-nested.xml", "ent-nested2.xml") + kSame, 0},
        DiffCase{"EntityBlankDropped", {"ent-blank.xml", "ent-empty.xml"},
                 progress("ent-blank.xml", "ent-empty.xml") + kSame, 0},
        DiffCase{"EntityBlankDroppedUnordered", {"-o", "ent-blank.xml", "ent-empty.xml"},
                 progress("ent-blank.xml", "ent-empty.xml") + kSame, 0},
        DiffCase{"EntityCommentCounts", {"ent-comment.xml", "ent-text.xml"},
                 progress("ent-comment.xml", "ent-text.xml") + kDifferent, 1},
        DiffCase{"EntityCommentIgnored", {"-c", "ent-comment.xml", "ent-text.xml"},
                 progress("ent-comment.xml", "ent-text.xml") + kSame, 0},
        DiffCase{"EntityCommentIgnoredUnordered", {"-c", "-o", "ent-comment.xml", "ent-text.xml"},
                 progress("ent-comment.xml", "ent-text.xml") + kSame, 0},
        DiffCase{"MalformedSelectorBeforeAnyFile", {"none.xml", "attr2.xml", "-i", "a", "b/@c/d"},
                 "\n\n *** INVALID SELECTOR: b/@c/d is not well formed: an attribute step must be "
                 "the last step.\n Please insure each selector is a name, @name, or a path such as "
                 "a/b, /a/b or a/@name." + kFailed,
                 2},
        // Failures.
        DiffCase{"FirstNotWellFormed", {"bad.xml", "a.xml"},
                 "\nParsing bad.xml\n" + kBadDiagnostic + kNotValid + kFailed, 2},
        DiffCase{"SecondNotWellFormed", {"a.xml", "bad.xml"},
                 "\nParsing a.xml\nParsing bad.xml\n" + kBadDiagnostic + kNotValid + kFailed, 2},
        // Both files are read to their end, whatever the comparison found on the way.
        DiffCase{"EarlyDifferenceThenSecondMalformed", {"a.xml", "late-bad.xml"},
                 "\nParsing a.xml\nParsing late-bad.xml\n" + kLateDiagnostic + kNotValid + kFailed,
                 2},
        DiffCase{"EarlyDifferenceThenFirstMalformed", {"late-bad.xml", "a.xml"},
                 "\nParsing late-bad.xml\n" + kLateDiagnostic + kNotValid + kFailed, 2},
        DiffCase{"SecondFailsWhileFirstIsRead", {"long.xml", "bad.xml"},
                 "\nParsing long.xml\nParsing bad.xml\n" + kBadDiagnostic + kNotValid + kFailed,
                 2},
        DiffCase{"LongTextsSameIgnoringCase", {"text1.xml", "text2.xml"},
                 progress("text1.xml", "text2.xml") + kSame, 0},
        DiffCase{"LongTextsDifferAtTheEnd", {"text1.xml", "text3.xml"},
                 progress("text1.xml", "text3.xml") + kDifferent, 1},
        DiffCase{"LongTextsUnordered", {"-o", "text5.xml", "text4.xml"},
                 progress("text5.xml", "text4.xml") + kSame, 0},
        DiffCase{"LongTextsUnorderedDifferAtTheEnd", {"-o", "text6.xml", "text4.xml"},
                 progress("text6.xml", "text4.xml") + kDifferent, 1},
        DiffCase{"AstralNamesUnorderedIgnoringCase", {"-o", "intl1.xml", "intl2.xml"},
                 progress("intl1.xml", "intl2.xml") + kSame, 0},
        DiffCase{"AstralNamesInOrder", {"intl1.xml", "intl2.xml"},
                 progress("intl1.xml", "intl2.xml") + kDifferent, 1},
        DiffCase{"EmptyValueAgainstNoAttribute", {"-c", "-o", "intl1.xml", "intl3.xml"},
                 progress("intl1.xml", "intl3.xml") + kDifferent, 1},
        DiffCase{"FirstMissing", {"none.xml", "a.xml"}, missing("none.xml"), 2},
        DiffCase{"SecondMissing", {"a.xml", "none.xml"}, missing("none.xml"), 2},
        DiffCase{"BothMissingNamesTheFirst", {"none1.xml", "none2.xml"}, missing("none1.xml"),
                 2},
        DiffCase{"MissingWithOptions", {"-o", "-c", "a.xml", "none.xml", "-i", "x"},
                 missing("none.xml"), 2},
        DiffCase{"DirectoryIsMissing", {"a.xml", "sub"}, missing("sub"), 2},
        // Option positions.
        DiffCase{"OptionInSecondPlaceShifts", {"a.xml", "-c", "same.xml"}, missing("-c"), 2},
        DiffCase{"WordAfterFiles", {"a.xml", "same.xml", "x"}, kUsageText, 1},
        DiffCase{"OptionAfterFiles", {"a.xml", "same.xml", "-c"}, kUsageText, 1},
        DiffCase{"OptionTwice", {"-c", "-c", "a.xml", "same.xml"}, kUsageText, 1},
        DiffCase{"MalformedTailBeatsMissingFile", {"none.xml", "a.xml", "x"}, kUsageText, 1},
        DiffCase{"OptionLeavesOneFile", {"-c", "a.xml"}, kUsageText, 1},
        DiffCase{"OptionsLeaveOneFile", {"-c", "-o", "a.xml"}, kUsageText, 1},
        DiffCase{"OptionsLeaveOneFileSwapped", {"-O", "-C", "a.xml"}, kUsageText, 1},
        DiffCase{"OptionsLeaveNoFile", {"-o", "-c"}, kUsageText, 1}),
    [](const testing::TestParamInfo<DiffCase>& info) { return info.param.name; });

}  // namespace
