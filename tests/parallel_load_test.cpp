// Both files of a diff load at once; what the user sees must be what one load after the other
// would print.
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

const std::string kDtd =
    "<!ELEMENT a (#PCDATA)>\n<!ATTLIST a x CDATA #IMPLIED>\n<!ATTLIST a x CDATA #IMPLIED>\n";

std::string warning(const std::string& dtd) {
    return "\n Warning at file \"" + dtd +
           "\", line 3, column 14\n   Message: attribute 'x' has already been declared for "
           "element 'a'";
}

std::string fatal(int column) {
    return "\nFatal Error at file \"\", line 1, column " + std::to_string(column) +
           "\n   Message: expected end of tag 'a'";
}

const std::string kNotValid =
    "\n\n *** EXCEPTION: The file is not valid. Please insure that the file is \n valid according "
    "to its schema.\n Insure validity of file (formatted properly).\n You can use Internet "
    "Explorer to validate the file.\n *** Failed to diff files\n\n";

struct Case {
    const char* name;
    std::string first, second;
    std::string out;
    int exitCode;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ParallelLoad : public testing::TestWithParam<Case> {};

TEST_P(ParallelLoad, PrintsAsIfLoadedOneAfterTheOther) {
    TempDir dir;
    dir.write("a.dtd", kDtd);
    dir.write("b.dtd", kDtd);
    dir.write("a.xml", GetParam().first);
    dir.write("b.xml", GetParam().second);
    RunOptions options;
    options.cwd = dir.path();
    const RunResult r = runQuennel({"a.xml", "b.xml"}, options);
    EXPECT_EQ(r.out, GetParam().out);
    EXPECT_EQ(r.exitCode, GetParam().exitCode);
}

const std::string kWarnsA = "<!DOCTYPE a SYSTEM 'a.dtd'><a x='1'>t</a>";
const std::string kWarnsB = "<!DOCTYPE a SYSTEM 'b.dtd'><a x='1'>T</a>";
// Long enough that the second file is still loading when the first one fails.
const std::string kBadLongB = "<a>" + std::string(4 << 20, 'x') + "</b>";

INSTANTIATE_TEST_SUITE_P(
    Diagnostics, ParallelLoad,
    testing::Values(
        Case{"BothWarn", kWarnsA, kWarnsB,
             "\nParsing a.xml\n" + warning("a.dtd") + "Parsing b.xml\n" + warning("b.dtd") +
                 "\nDiffing a.xml Vs. b.xml\n\n ** Files are the same\n\n",
             0},
        Case{"FirstFailsSecondIsNeverShown", "<a></b>", kBadLongB,
             "\nParsing a.xml\n" + fatal(6) + kNotValid, 2},
        Case{"FirstFailsSecondWarns", "<a></b>", kWarnsB,
             "\nParsing a.xml\n" + fatal(6) + kNotValid, 2},
        Case{"SecondFails", kWarnsA, "<a>xy</b>",
             "\nParsing a.xml\n" + warning("a.dtd") + "Parsing b.xml\n" + fatal(8) + kNotValid,
             2}));

}  // namespace
