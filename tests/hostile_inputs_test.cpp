// Broken and hostile inputs, end to end: each ends with a clear message and the documented exit
// code, without a crash, a hang or unbounded memory, and writes nothing it should not.
#include <limits.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

constexpr rlim_t kMB = rlim_t(1) << 20;

const std::string kFailedDiff = "\n *** Failed to diff files\n\n";
const std::string kFailedRemove = "\n *** Failed to remove elements from file.\n\n";
const std::string kRemoved = "\n ** Removing elements was successful.\n\n";
const std::string kStringBlockEnd =
    "\n Insure validity of file (formatted properly)."
    "\n You can use Internet Explorer to validate the file.";

std::string parsing(const std::string& name) { return "\nParsing " + name + "\n"; }
std::string notValid(const std::string& diagnostics) {
    return diagnostics +
           "\n\n *** EXCEPTION: The file is not valid. Please insure that the file is "
           "\n valid according to its schema." + kStringBlockEnd;
}
std::string fatal(int line, int column, const std::string& message,
                  const std::string& file = "") {
    return "\nFatal Error at file \"" + file + "\", line " + std::to_string(line) + ", column " +
           std::to_string(column) + "\n   Message: " + message;
}
std::string missingForDiff(const std::string& name) {
    return "\n\n *** INVALID FILE: The file " + name + " doesn't exist."
           "\n Please insure the file and the directory are specified correctly." + kFailedDiff;
}
std::string missingForRemove(const std::string& name) {
    return "\n\n *** INVALID FILE: The file " + name + " doesn't exist."
           "\n Please insure the file exist and try again." + kFailedRemove;
}
std::string verdict(const std::string& a, const std::string& b, bool same) {
    return parsing(a) + "Parsing " + b + "\n\nDiffing " + a + " Vs. " + b + "\n" +
           (same ? "\n ** Files are the same\n\n" : "\n ** Files are NOT the same\n\n");
}
// a.xml against b.xml that differ, with the lines a listing prints between.
std::string listed(const std::string& blocks) {
    return parsing("a.xml") + "Parsing b.xml\n\nDiffing a.xml Vs. b.xml\n" + blocks +
           " ** Files are NOT the same\n\n";
}
std::string removing(const std::string& name, int count) {
    return "\n Removing: " + name + "( f.xml )\n Number of Elements: " + std::to_string(count) +
           "\n";
}
std::string notFound(const std::string& name) {
    return "\n\n The element " + name + " was not found.";
}


// The same bytes on every platform: mt19937 is fully specified.
std::string randomBytes(std::size_t count) {
    std::mt19937 generator(20240611);
    std::string bytes(count, '\0');
    for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// Stands for an attribute value of 50 MB, made only by the case that needs it: every test
// process builds the whole table.
const std::string kBig = "@50MB@";
// Two files of 1,600,000 children that differ in every one, made only where a test writes them:
// the cases are built in every run of the test program.
const std::string kNeverA = "\x01never-a\x01", kNeverB = "\x01never-b\x01";
std::string neverLinesUp(const char* prefix) {
    std::string text = "<r>\n";
    for (int i = 0; i < 1600000; ++i) text += "<e n=\"" + (prefix + std::to_string(i)) + "\"/>\n";
    return text + "</r>\n";
}

// 4 MB of elements with three attributes each (with changed, one value differs far in), and
// 4 MB of empty elements, made only where a test writes them too.
const std::string kAttributes = "\x01attributes\x01";
const std::string kAttributesChanged = "\x01attributes-changed\x01";
const std::string kEmpties = "\x01empties\x01";
// The first rewritten without its n attributes (a line end in a text is written CR LF).
const std::string kAttributesLessN = "\x01attributes-less-n\x01";
std::string attributesDocument(bool changed) {
    std::string text = "<r>\n";
    for (int i = 0; i < 120000; ++i)
        text += "<e id=\"" + std::to_string(i) + "\" k=\"v" + std::to_string(i % 7) + "\" n=\"" +
                (changed && i == 60000 ? "y" : "x") + "\"/>\n";
    return text + "</r>\n";
}
std::string emptiesDocument() {
    std::string text = "<r>";
    for (int i = 0; i < 1000000; ++i) text += "<a/>";
    return text + "</r>";
}

// One child of 20 MB, with one text changed half way in, and a change after it.
const std::string kOneLargeChild = "\x01one-large-child\x01";
const std::string kOneLargeChildChanged = "\x01one-large-child-changed\x01";
// The same 20 MB child after a small one that differs.
const std::string kVersionA = "\x01version-a\x01", kVersionB = "\x01version-b\x01";
// And a 20 MB child whose start differs; and one after a small child inserted before it.
const std::string kInserted = "\x01inserted\x01";
const std::string kCountA = "\x01count-a\x01", kCountB = "\x01count-b\x01";
std::string oneLargeChild(bool changed, const char* head = "<head/>", const char* big = "<big>") {
    std::string text = std::string("<r>") + head + big + "\n";
    for (int i = 0; i < 500000; ++i)
        text += "<i n=\"" + std::to_string(i) + "\"><a>" +
                (changed && i == 250000 ? std::string("changed") : "v" + std::to_string(i)) +
                "</a></i>\n";
    return text + (changed ? "</big><tail x=\"1\"/></r>\n" : "</big><tail/></r>\n");
}

// The same 27 MB of children under document elements whose attributes differ.
const std::string kGeneratedA = "\x01generated-a\x01", kGeneratedB = "\x01generated-b\x01";

std::string expandBig(std::string text) {
    if (text == kGeneratedA || text == kGeneratedB)
        return "<r generated=\"" + std::string(text == kGeneratedA ? "1" : "2") + "\"" +
               neverLinesUp("a").substr(2);
    if (text == kOneLargeChild) return oneLargeChild(false);
    if (text == kCountA) return oneLargeChild(false, "<head/>", "<big n=\"500000\">");
    if (text == kCountB) return oneLargeChild(true, "<head/>", "<big n=\"500001\">");
    if (text == kInserted) return oneLargeChild(false, "<head/><note/>");
    if (text == kVersionA) return oneLargeChild(false, "<version>1</version>");
    if (text == kVersionB) return oneLargeChild(false, "<version>2</version>");
    if (text == kOneLargeChildChanged) return oneLargeChild(true);
    if (text == kNeverA) return neverLinesUp("a");
    if (text == kNeverB) return neverLinesUp("b");
    if (text == kAttributes) return attributesDocument(false);
    if (text == kAttributesChanged) return attributesDocument(true);
    if (text == kEmpties) return emptiesDocument();
    if (text == kAttributesLessN) {
        std::string less = "<r>\r\n";
        for (int i = 0; i < 120000; ++i)
            less += "<e id=\"" + std::to_string(i) + "\" k=\"v" + std::to_string(i % 7) + "\"/>\r\n";
        return less + "</r>\r\n";
    }
    const auto at = text.find(kBig);
    if (at != std::string::npos) text.replace(at, kBig.size(), std::string(50u << 20, 'v'));
    return text;
}

std::string manyAttributes(int count, bool reversed, bool upperCase, int changed) {
    std::string element = "<r";
    for (int k = 0; k < count; ++k) {
        const int i = reversed ? count - 1 - k : k;
        element += std::string(" ") + (upperCase ? "A" : "a") + std::to_string(i) + "=\"" +
                   std::to_string(i == changed ? -1 : i) + "\"";
    }
    return element;
}

// Attributes are written in the order of their names, as the library keeps them.
std::string manyAttributesWritten(int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back("a" + std::to_string(i));
    std::sort(names.begin(), names.end());
    std::string element = "<r";
    for (const auto& name : names) element += " " + name + "=\"" + name.substr(1) + "\"";
    return element + "/>\r\n";
}

struct Special {
    enum Kind { Fifo, Directory, Link } kind;
    std::string name;
    std::string target;  // of a link
};

struct HostileCase {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<Special> specials;
    std::vector<std::string> args;
    std::string out;
    int exitCode;
    std::map<std::string, std::string> rewritten = {};  // files the run must change, and to what
    rlim_t memory = 512 * kMB;                     // address space of the run
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.what; }

const std::pair<std::string, std::string> kOther{"o.xml", "<o/>"};
const std::string kEntityDoc = "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT x ANY>";

// The first offset where two long strings differ, for a readable failure.
std::string firstDifference(const std::string& a, const std::string& b) {
    const auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    const std::size_t offset = static_cast<std::size_t>(at.first - a.begin());
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) +
           ", first difference at " + std::to_string(offset) + ": \"" + a.substr(offset, 40) +
           "\" vs \"" + b.substr(offset, 40) + "\"";
}

std::vector<HostileCase> hostileCases() {
    const std::string random = randomBytes(4096);
    const std::string longPath = [] {
        std::string p;
        while (p.size() <= PATH_MAX) p += "d/";
        return p + "f.xml";
    }();
    const std::string longName = std::string(NAME_MAX + 1, 'n') + ".xml";
    // The new file written beside these must still fit the limit on a name.
    const std::string name240 = std::string(236, 'n') + ".xml";
    std::string nameMax;
    while (nameMax.size() + 2 < NAME_MAX - 5) nameMax += "\xC3\xA9";
    nameMax += std::string(NAME_MAX - 4 - nameMax.size(), 'n') + ".xml";
    const std::u16string wide = u"<r><a>\u00e9t\u00e9</a><x/></r>";
    const std::string narrow = "<r><a>\xC3\xA9t\xC3\xA9</a><x/></r>";
    const std::string truncated = "<r>\n <a k=\"v\">caf\xC3";

    // Expansions that read nothing: an attribute value, an attribute default and parameter
    // entities in an external DTD, each bounded by what the files hold, not only content.
    const std::string bigValue(100000, 'x');
    std::string refs500, refs2000;
    for (int i = 0; i < 500; ++i) refs500 += "&e;";
    for (int i = 0; i < 2000; ++i) refs2000 += "&e;";
    const std::string valueEntity = "<!DOCTYPE r [<!ENTITY e \"" + bigValue + "\">";
    std::string laughs = "<!ELEMENT r ANY>\n<!ENTITY % l0 \"lol\">\n";
    for (int i = 1; i < 10; ++i) {
        std::string body;
        for (int k = 0; k < 10; ++k) body += "%l" + std::to_string(i - 1) + ";";
        laughs += "<!ENTITY % l" + std::to_string(i) + " \"" + body + "\">\n";
    }
    laughs += "<!ENTITY big \"%l9;\">\n";
    const std::string tooFar = fatal(0, 0, "the document needs more memory than its size allows "
                                           "(64 MB and 32 bytes for each byte read): entities "
                                           "expand too far");
    std::string deepMatch = "<r>", deepPlain = "<r>";
    for (int i = 0; i < 20000; ++i) deepMatch += "<d>";
    deepPlain = deepMatch;
    deepMatch += "<x>" + bigValue + "</x>";
    for (int i = 0; i < 20000; ++i) deepMatch += "</d>";
    for (int i = 0; i < 20000; ++i) deepPlain += "</d>";
    // What reading in order or as lean logs needs: within 64 MB and 32 bytes for each byte of
    // the files, in address space.
    const std::size_t attributes = attributesDocument(false).size();
    const std::size_t empties = emptiesDocument().size();
    const auto within = [](std::size_t bytes) { return rlim_t(64 * kMB + 32 * bytes); };
    // The same with one value changed far in: the listings hold what differs, with places.
    const std::string listedChange =
        listed("\n ** Difference 1: /r/e[60001]/@n\n    a.xml:60002:29: attribute n=\"x\"\n"
               "    b.xml:60002:29: attribute n=\"y\"\n ** 1 difference\n");
    const std::string side = "{\"line\": 60002, \"column\": 29, \"kind\": \"attribute\", "
                             "\"name\": \"n\", \"value\": ";

    return {
        {"4 MB of attributes within 64 MB and 32 bytes a byte, diff",
         {{"a.xml", kAttributes}, {"b.xml", kAttributes}}, {}, {"a.xml", "b.xml"},
         verdict("a.xml", "b.xml", true), 0, {}, within(2 * attributes)},
        {"4 MB of attributes within 64 MB and 32 bytes a byte, -o",
         {{"a.xml", kAttributes}, {"b.xml", kAttributes}}, {}, {"-o", "a.xml", "b.xml"},
         verdict("a.xml", "b.xml", true), 0, {}, within(2 * attributes)},
        {"4 MB of empty elements within 64 MB and 32 bytes a byte, -c -o",
         {{"a.xml", kEmpties}, {"b.xml", kEmpties}}, {}, {"-c", "-o", "a.xml", "b.xml"},
         verdict("a.xml", "b.xml", true), 0, {}, within(2 * empties)},
        {"4 MB of attributes, one value changed, within 64 MB and 32 bytes a byte, -l",
         {{"a.xml", kAttributes}, {"b.xml", kAttributesChanged}}, {}, {"-l", "a.xml", "b.xml"},
         listedChange, 1, {}, within(2 * attributes)},
        {"4 MB of attributes, one value changed, within 64 MB and 32 bytes a byte, -o -l",
         {{"a.xml", kAttributes}, {"b.xml", kAttributesChanged}}, {}, {"-l", "-o", "a.xml", "b.xml"},
         listedChange, 1, {}, within(2 * attributes)},
        {"4 MB of attributes, one value changed, within 64 MB and 32 bytes a byte, -j",
         {{"a.xml", kAttributes}, {"b.xml", kAttributesChanged}}, {}, {"-j", "a.xml", "b.xml"},
         "{\"same\": false, \"file1\": \"a.xml\", \"file2\": \"b.xml\", \"differences\": [\n"
         "  {\"path\": \"/r/e[60001]/@n\", \"file1\": " + side + "\"x\"}, \"file2\": " + side +
             "\"y\"}}\n]}\n",
         1, {}, within(2 * attributes)},
        // Files that differ in every child never line up again: what a listing holds is
        // bounded all the same (without that, -v took 690 MB for two 7 MB files of this kind).
        {"two 27 MB files that never line up again, -v within 400 MB",
         {{"a.xml", kNeverA}, {"b.xml", kNeverB}}, {}, {"-v", "a.xml", "b.xml"},
         listed("\n ** First difference: /r/e[1]/@n\n    a.xml:2:12: attribute n=\"a0\"\n"
                "    b.xml:2:12: attribute n=\"b0\"\n"),
         1, {}, 400 * kMB},
        // A child too large to hold is compared inside, child by child, and the listing goes on
        // after it (holding the child whole took 950 MB for two such 28 MB files).
        {"one 20 MB child with a change deep inside, -v within 300 MB",
         {{"a.xml", kOneLargeChild}, {"b.xml", kOneLargeChildChanged}}, {}, {"-v", "a.xml", "b.xml"},
         listed("\n ** First difference: /r/big[1]/i[250001]/a[1]/text()[1]\n"
                "    a.xml:250002:18: text \"v250000\"\n    b.xml:250002:18: text \"changed\"\n"),
         1, {}, 300 * kMB},
        {"one 20 MB child with a change deep inside, -l within 300 MB",
         {{"a.xml", kOneLargeChild}, {"b.xml", kOneLargeChildChanged}}, {}, {"-l", "a.xml", "b.xml"},
         listed("\n ** Difference 1: /r/big[1]/i[250001]/a[1]/text()[1]\n"
                "    a.xml:250002:18: text \"v250000\"\n    b.xml:250002:18: text \"changed\"\n"
                " ** Difference 2: /r/tail[1]/@x\n    a.xml:500002:14: nothing\n"
                "    b.xml:500002:20: attribute x=\"1\"\n ** 2 differences\n"),
         1, {}, 300 * kMB},
        // Nor is a child too large to hold read ahead: it is compared in step.
        {"a changed child before one of 20 MB, -v within 300 MB",
         {{"a.xml", kVersionA}, {"b.xml", kVersionB}}, {}, {"-v", "a.xml", "b.xml"},
         listed("\n ** First difference: /r/version[1]/text()[1]\n    a.xml:1:13: text \"1\"\n"
                "    b.xml:1:13: text \"2\"\n"),
         1, {}, 300 * kMB},
        {"a child inserted before one of 20 MB, -v within 300 MB",
         {{"a.xml", kOneLargeChild}, {"b.xml", kInserted}}, {}, {"-v", "a.xml", "b.xml"},
         listed("\n ** First difference: /r/note[1]\n    a.xml:1:4: nothing\n"
                "    b.xml:1:18: element <note>\n"),
         1, {}, 300 * kMB},
        {"a 20 MB child deleted, -l within 300 MB",
         {{"a.xml", kOneLargeChild}, {"b.xml", "<r><head/><tail/></r>"}}, {}, {"-l", "a.xml", "b.xml"},
         listed("\n ** Difference 1: /r/big[1]\n    a.xml:1:16: element <big>\n    b.xml:1:4: nothing\n"
                " ** 1 difference\n"),
         1, {}, 300 * kMB},
        {"a 20 MB child whose start differs in an attribute, -l within 300 MB",
         {{"a.xml", kCountA}, {"b.xml", kCountB}}, {}, {"-l", "a.xml", "b.xml"},
         listed("\n ** Difference 1: /r/big[1]/@n\n    a.xml:1:27: attribute n=\"500000\"\n"
                "    b.xml:1:27: attribute n=\"500001\"\n"
                " ** Difference 2: /r/big[1]/i[250001]/a[1]/text()[1]\n"
                "    a.xml:250002:18: text \"v250000\"\n    b.xml:250002:18: text \"changed\"\n"
                " ** Difference 3: /r/tail[1]/@x\n    a.xml:500002:14: nothing\n"
                "    b.xml:500002:20: attribute x=\"1\"\n ** 3 differences\n"),
         1, {}, 300 * kMB},
        // -v needs nothing past a difference at the document element's start.
        {"27 MB files whose document elements differ in an attribute, -v within 200 MB",
         {{"a.xml", kGeneratedA}, {"b.xml", kGeneratedB}}, {}, {"-v", "a.xml", "b.xml"},
         listed("\n ** First difference: /r/@generated\n    a.xml:1:18: attribute generated=\"1\"\n"
                "    b.xml:1:18: attribute generated=\"2\"\n"),
         1, {}, 200 * kMB},
        {"4 MB of attributes within 64 MB and 32 bytes a byte, remove -k",
         {{"f.xml", kAttributes}}, {}, {"-r", "-k", "f.xml", "e"},
         removing("e", 120000) + kRemoved, 1, {{"f.xml", "<r>\n</r>\n"}},
         within(attributes)},
        // A rewrite writes as it reads, and holds no more than a -k removal.
        {"4 MB of attributes within 64 MB and 32 bytes a byte, remove",
         {{"f.xml", kAttributes}}, {}, {"-r", "f.xml", "@n"},
         removing("@n", 120000) + kRemoved, 1, {{"f.xml", kAttributesLessN}}, within(attributes)},
        {"4 MB of empty elements within 64 MB and 32 bytes a byte, remove",
         {{"f.xml", kEmpties}}, {}, {"-r", "f.xml", "a"},
         removing("a", 1000000) + kRemoved, 1, {{"f.xml", "<r/>\r\n"}}, within(empties)},
        // What -i leaves out is still read, and its expansions still count.
        {"500 references to a large entity inside an ignored element, diff",
         {{"a.xml", kEntityDoc + "<!ENTITY e \"" + bigValue + "\">]>\n<r><x>" + refs500 + "</x></r>"},
          kOther},
         {}, {"a.xml", "o.xml", "-i", "x"},
         parsing("a.xml") +
             notValid(fatal(2, 511, "entity references in the document expand to more than "
                                    "'16777216' characters; this is the limit imposed by the "
                                    "application")) +
             kFailedDiff,
         2},
        {"an ignored match 20,000 levels deep, diff",
         {{"a.xml", deepMatch + "</r>"}, {"b.xml", deepPlain + "</r>"}}, {},
         {"a.xml", "b.xml", "-i", "x", "/r/d/d"},
         parsing("a.xml") + "Parsing b.xml\n" + notFound("x") + "\nDiffing a.xml Vs. b.xml\n"
             "\n ** Files are the same\n\n",
         0},
        {"500 references to a large entity in one attribute value, diff",
         {{"a.xml", valueEntity + "]>\n<r a=\"" + refs500 + "\"/>"}, kOther}, {},
         {"a.xml", "o.xml"}, parsing("a.xml") + notValid(tooFar) + kFailedDiff, 2},
        {"2,000 references in one attribute value, listed",
         {{"a.xml", valueEntity + "]>\n<r a=\"" + refs2000 + "\"/>"}, kOther}, {},
         {"-l", "a.xml", "o.xml"}, parsing("a.xml") + notValid(tooFar) + kFailedDiff, 2},
        {"references in an attribute default, remove",
         {{"f.xml", valueEntity + "<!ATTLIST r a CDATA \"" + refs500 + "\">]>\n<r/>"}}, {},
         {"-r", "f.xml", "x"}, notValid(tooFar) + kFailedRemove, 2},
        {"parameter-entity laughs in an external DTD, diff",
         {{"l.dtd", laughs}, {"a.xml", "<!DOCTYPE r SYSTEM \"l.dtd\">\n<r/>"}, kOther}, {},
         {"-o", "o.xml", "a.xml"}, parsing("o.xml") + "Parsing a.xml\n" + notValid(tooFar) + kFailedDiff,
         2},
        {"random bytes, diff", {{"a.xml", random}, kOther}, {}, {"a.xml", "o.xml"},
         parsing("a.xml") + notValid(fatal(1, 1, "invalid byte '\\x18' at position 3 of a 3-byte "
                                                  "sequence")) + kFailedDiff,
         2},
        {"random bytes, remove", {{"f.xml", random}}, {}, {"-r", "f.xml", "a"},
         notValid(fatal(1, 1, "invalid byte '\\x18' at position 3 of a 3-byte sequence")) +
             kFailedRemove,
         2},
        {"truncated in a character, diff", {{"a.xml", truncated}, kOther}, {}, {"a.xml", "o.xml"},
         parsing("a.xml") +
             notValid(fatal(2, 14, "input ended before all started tags were ended; last tag "
                                   "started is 'a'")) + kFailedDiff,
         2},
        {"truncated in a tag, remove", {{"f.xml", "<r><a>x</a><a k=\"v"}}, {}, {"-r", "f.xml", "a"},
         notValid(fatal(1, 19, "unexpected end of input")) + kFailedRemove, 2},
        {"empty, remove", {{"f.xml", ""}}, {}, {"-r", "f.xml", "a"},
         notValid(fatal(1, 1, "invalid document structure")) + kFailedRemove, 2},
        {"UTF-16LE with byte order mark equals its UTF-8 text",
         {{"a.xml", "\xFF\xFE" + utf16le(wide)}, {"b.xml", narrow}}, {}, {"a.xml", "b.xml"},
         verdict("a.xml", "b.xml", true), 0},
        {"UTF-16BE with byte order mark is rewritten as UTF-8",
         {{"f.xml", "\xFE\xFF" + utf16be(wide)}}, {}, {"-r", "f.xml", "x"},
         removing("x", 1) + kRemoved, 1, {{"f.xml", "<r><a>\xC3\xA9t\xC3\xA9</a></r>\r\n"}}},
        {"UTF-16 without byte order mark but with a declaration is recognised",
         {{"a.xml", utf16le(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + wide)},
          {"b.xml", narrow}},
         {}, {"a.xml", "b.xml"}, verdict("a.xml", "b.xml", true), 0},
        {"UTF-16 with neither byte order mark nor declaration is refused",
         {{"a.xml", utf16le(wide)}, kOther}, {}, {"a.xml", "o.xml"},
         parsing("a.xml") + notValid(fatal(1, 1, "invalid byte '' at position 2 of a 3-byte sequence")) +
             kFailedDiff,
         2},
        {"invalid UTF-8, diff", {{"a.xml", "<r>caf\xC3(</r>"}, kOther}, {}, {"a.xml", "o.xml"},
         parsing("a.xml") + notValid(fatal(1, 1, "invalid byte '(' at position 2 of a 2-byte sequence")) +
             kFailedDiff,
         2},
        {"overlong UTF-8, remove", {{"f.xml", "<r>\xC0\xAF</r>"}}, {}, {"-r", "f.xml", "r"},
         notValid(fatal(1, 1, "invalid byte '\xEF\xBF\xBD' at position 1 of a 1-byte sequence")) +
             kFailedRemove,
         2},
        {"UTF-8 of a surrogate, remove", {{"f.xml", "<r>\xED\xA0\x80</r>"}}, {}, {"-r", "f.xml", "r"},
         notValid(fatal(1, 1, "irregular bytes '\xEF\xBF\xBD' and '\xEF\xBF\xBD' of a 3-byte sequence")) +
             kFailedRemove,
         2},
        {"XML 1.1 control characters and a namespace undeclaration, remove",
         {{"f.xml", "<?xml version=\"1.1\"?>\n<r xmlns:p=\"urn:p\" a=\"&#x7F;\">"
                    "<s xmlns:p=\"\">&#x1;\xC2\x85" "&#x2028;</s><x/></r>"}},
         {}, {"-r", "f.xml", "x"}, removing("x", 1) + kRemoved, 1,
         {{"f.xml", "<?xml version=\"1.1\" encoding=\"UTF-8\"?>\r\n<r a=\"&#x7F;\" xmlns:p=\"urn:p\">"
                    "<s xmlns:p=\"\">&#x1;\n&#x2028;</s></r>\r\n"}}},
        {"an attribute value of 50 MB, diff",
         {{"a.xml", "<r a=\"" + kBig + "\"/>"}, {"b.xml", "<r A=\"" + kBig + "\"/>"}},
         {}, {"a.xml", "b.xml"}, verdict("a.xml", "b.xml", true), 0, {}, 2048 * kMB},
        {"an attribute value of 50 MB, remove",
         {{"f.xml", "<r a=\"" + kBig + "\"><x/></r>"}}, {}, {"-r", "f.xml", "x"},
         removing("x", 1) + kRemoved, 1, {{"f.xml", "<r a=\"" + kBig + "\"/>\r\n"}},
         1024 * kMB},
        {"an attribute value of 50 MB beyond the memory limit, remove",
         {{"f.xml", "<r a=\"" + kBig + "\"><x/></r>"}}, {}, {"-r", "f.xml", "x"},
         notValid(fatal(0, 0, "out of memory")) + kFailedRemove, 2, {}, 256 * kMB},
        // A diff reads events; the DOM (-r, -i) files attributes one by one in a list searched
        // from the start, so 100,000 attributes take it minutes and 10,000 a second.
        {"100,000 attributes in another order and case",
         {{"a.xml", manyAttributes(100000, false, false, -1) + "/>"},
          {"b.xml", manyAttributes(100000, true, true, -1) + "></r>"}},
         {}, {"a.xml", "b.xml"}, verdict("a.xml", "b.xml", true), 0},
        {"100,000 attributes, one value changed",
         {{"a.xml", manyAttributes(100000, false, false, -1) + "/>"},
          {"b.xml", manyAttributes(100000, true, false, 90000) + "/>"}},
         {}, {"a.xml", "b.xml"}, verdict("a.xml", "b.xml", false), 1},
        {"10,000 attributes as trees, one value changed",
         {{"a.xml", manyAttributes(10000, false, false, -1) + "/>"},
          {"b.xml", manyAttributes(10000, true, true, 9000) + "/>"}},
         {}, {"a.xml", "b.xml", "-i", "x"},
         parsing("a.xml") + "Parsing b.xml\n" + notFound("x") +
             "\n\n The root node has not changed. Elements don't exist." + notFound("x") +
             "\n\n The root node has not changed. Elements don't exist.\nDiffing a.xml Vs. b.xml\n"
             "\n ** Files are NOT the same\n\n",
         1},
        {"10,000 attributes, remove",
         {{"f.xml", manyAttributes(10000, true, false, -1) + "><x/></r>"}}, {}, {"-r", "f.xml", "x"},
         removing("x", 1) + kRemoved, 1, {{"f.xml", manyAttributesWritten(10000)}}},
        {"an external entity naming a missing file, diff",
         {{"a.xml", kEntityDoc + "<!ENTITY e SYSTEM \"missing.ent\">]>\n<r>&e;</r>"}, kOther},
         {}, {"a.xml", "o.xml"},
         parsing("a.xml") + notValid(fatal(2, 7, "unable to open external entity 'missing.ent'")) +
             kFailedDiff,
         2},
        {"an external entity naming a missing file, remove",
         {{"f.xml", kEntityDoc + "<!ENTITY e SYSTEM \"missing.ent\">]>\n<r>&e;<x/></r>"}}, {},
         {"-r", "f.xml", "x"},
         notValid(fatal(2, 7, "unable to open external entity 'missing.ent'")) + kFailedRemove, 2},
        {"a recursive entity, diff",
         {{"a.xml", kEntityDoc + "<!ENTITY a \"x&b;\"><!ENTITY b \"y&a;\">]>\n<r>&a;</r>"}, kOther},
         {}, {"a.xml", "o.xml"},
         parsing("a.xml") + notValid(fatal(2, 7, "recursive entity expansion 'a'")) + kFailedDiff, 2},
        {"a recursive entity, remove",
         {{"f.xml", kEntityDoc + "<!ENTITY a \"x&a;\">]>\n<r>&a;<x/></r>"}}, {},
         {"-r", "f.xml", "x"},
         notValid(fatal(2, 7, "recursive entity expansion 'a'")) + kFailedRemove, 2},
        {"a directory, diff", {kOther}, {{Special::Directory, "d.xml", ""}}, {"d.xml", "o.xml"},
         missingForDiff("d.xml"), 2},
        {"a FIFO, diff", {kOther}, {{Special::Fifo, "p.xml", ""}}, {"o.xml", "p.xml"},
         missingForDiff("p.xml"), 2},
        {"a FIFO, remove", {}, {{Special::Fifo, "p.xml", ""}}, {"-r", "p.xml", "a"},
         missingForRemove("p.xml"), 2},
        {"/dev/zero, diff", {kOther}, {}, {"/dev/zero", "o.xml"}, missingForDiff("/dev/zero"), 2},
        {"/dev/zero, remove", {}, {}, {"-r", "/dev/zero", "a"}, missingForRemove("/dev/zero"), 2},
        {"a link to /dev/zero, diff", {kOther}, {{Special::Link, "z.xml", "/dev/zero"}},
         {"z.xml", "o.xml"}, missingForDiff("z.xml"), 2},
        {"a FIFO named as the DTD",
         {{"a.xml", "<!DOCTYPE r SYSTEM \"p.dtd\">\n<r/>"}, kOther},
         {{Special::Fifo, "p.dtd", ""}}, {"a.xml", "o.xml"},
         parsing("a.xml") + notValid(fatal(1, 28, "unable to open DTD document 'p.dtd'")) +
             kFailedDiff,
         2},
        {"a FIFO named as an external entity",
         {{"f.xml", kEntityDoc + "<!ENTITY e SYSTEM \"p.ent\">]>\n<r>&e;<x/></r>"}},
         {{Special::Fifo, "p.ent", ""}}, {"-r", "f.xml", "x"},
         notValid(fatal(2, 7, "unable to open external entity 'p.ent'")) + kFailedRemove, 2},
        {"/dev/zero named as the DTD",
         {{"a.xml", "<!DOCTYPE r SYSTEM \"/dev/zero\">\n<r/>"}, kOther}, {}, {"a.xml", "o.xml"},
         parsing("a.xml") + notValid(fatal(1, 32, "unable to open DTD document '/dev/zero'")) +
             kFailedDiff,
         2},
        {"a directory named as the DTD",
         {{"a.xml", "<!DOCTYPE r SYSTEM \"d\">\n<r/>"}, kOther},
         {{Special::Directory, "d", ""}}, {"a.xml", "o.xml"},
         parsing("a.xml") + notValid(fatal(1, 24, "unable to open DTD document 'd'")) + kFailedDiff,
         2},
        {"a path longer than PATH_MAX, diff", {kOther}, {}, {longPath, "o.xml"},
         missingForDiff(longPath), 2},
        {"a path longer than PATH_MAX, remove", {}, {}, {"-r", longPath, "a"},
         missingForRemove(longPath), 2},
        {"a name longer than NAME_MAX, remove", {}, {}, {"-r", longName, "a"},
         missingForRemove(longName), 2},
        {"a name of 240 bytes, remove", {{name240, "<r><x/><a/></r>"}}, {}, {"-r", name240, "x"},
         "\n Removing: x( " + name240 + " )\n Number of Elements: 1\n" + kRemoved, 1,
         {{name240, "<r><a/></r>\r\n"}}},
        {"a name of NAME_MAX bytes ending in two-byte characters, remove",
         {{nameMax, "<r><x/><a/></r>"}}, {}, {"-r", nameMax, "x"},
         "\n Removing: x( " + nameMax + " )\n Number of Elements: 1\n" + kRemoved, 1,
         {{nameMax, "<r><a/></r>\r\n"}}},
        {"names no element can have, remove",
         {{"f.xml", "<r><a/></r>"}}, {}, {"-r", "f.xml", "<a>", "a b", "", "&amp;", "\xFF", "1a"},
         notFound("<a>") + notFound("a b") + notFound("") + notFound("&amp;") + notFound("\xFF") +
             notFound("1a") + "\n\n The file has not changed." + kRemoved,
         1},
        {"names no element can have, diff",
         {{"a.xml", "<r><a/></r>"}, {"b.xml", "<r><a/></r>"}}, {},
         {"a.xml", "b.xml", "-i", "<a>", "", "\xFF"},
         parsing("a.xml") + "Parsing b.xml\n" +
             notFound("<a>") + notFound("") + notFound("\xFF") +
             "\n\n The root node has not changed. Elements don't exist." + notFound("<a>") +
             notFound("") + notFound("\xFF") +
             "\n\n The root node has not changed. Elements don't exist.\nDiffing a.xml Vs. b.xml\n"
             "\n ** Files are the same\n\n",
         0},
    };
}

class HostileInputs : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileInputs, FailOrSucceedCleanly) {
    const HostileCase& c = GetParam();
    if (kAddressSanitizer && c.memory < 512 * kMB)
        GTEST_SKIP() << "needs a memory limit, which the address sanitizer does not allow";
    TempDir dir;
    for (const auto& [name, content] : c.files) dir.write(name, expandBig(content));
    for (const auto& s : c.specials) {
        const std::string path = dir.file(s.name);
        const int made = s.kind == Special::Fifo        ? ::mkfifo(path.c_str(), 0644)
                         : s.kind == Special::Directory ? ::mkdir(path.c_str(), 0755)
                                                        : ::symlink(s.target.c_str(), path.c_str());
        ASSERT_EQ(made, 0) << s.name;
    }
    const std::vector<std::string> before = dir.list();

    RunOptions options;
    options.cwd = dir.path();
    // The sanitizer makes the rows of 100,000 attributes take minutes.
    options.timeoutSeconds = kAddressSanitizer ? 600 : 120;
    const rlim_t memory = c.memory;
    options.inChild = [memory] {
        if (kAddressSanitizer) return;  // it reserves terabytes of address space
        const rlimit limit{memory, memory};
        ::setrlimit(RLIMIT_AS, &limit);
    };
    const RunResult r = runQuennel(c.args, options);

    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_EQ(r.err, "");
    if (r.out.size() < 100000)
        EXPECT_EQ(r.out, c.out);
    else
        EXPECT_TRUE(r.out == c.out) << firstDifference(r.out, c.out);
    for (const auto& [name, content] : c.files) {
        const auto changed = c.rewritten.find(name);
        const std::string expected =
            expandBig(changed == c.rewritten.end() ? content : changed->second);
        const std::string now = dir.read(name);
        EXPECT_TRUE(now == expected) << name << ": " << firstDifference(now, expected);
    }
    EXPECT_EQ(dir.list(), before) << "files left or removed";
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileInputs, testing::ValuesIn(hostileCases()),
                         [](const testing::TestParamInfo<HostileCase>& info) {
                             std::string name;
                             for (const char* p = info.param.what; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return std::to_string(info.index) + "_" + name;
                         });

}  // namespace

namespace {

// A DOCTYPE case: the file up to the end of the root's start tag, the children x, y and k
// follow. Written, the file must start with doctype (up to the root's start tag, as UTF-8).
struct SubsetCase {
    const char* what;
    std::string head;
    std::string written;
    bool utf16 = false;  // head and the rest go to the file as UTF-16LE with a byte order mark
    std::vector<std::pair<std::string, std::string>> others = {};  // files beside f.xml
};

std::string asUtf16(const std::string& utf8) {
    std::u16string wide;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? b : b & (0x3F >> (length - 1));
        for (int k = 1; k < length; ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
        i += length;
        if (c >= 0x10000) {
            wide += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<char16_t>(c);
        }
    }
    return "\xFF\xFE" + utf16le(wide);
}

// The file is written with its internal subset as it stands in the file, and reads back as
// the same tree; writing it again gives the same bytes.
TEST(RewrittenDoctype, EveryCaseIsKeptAndReadsBackTheSame) {
    const std::string declared =
        "<!ELEMENT r ANY><!ELEMENT x EMPTY><!ELEMENT y EMPTY><!ELEMENT k EMPTY>";
    auto doc = [&](const std::string& subset) { return "<!DOCTYPE r [" + declared + subset + "]>"; };
    auto out = [&](const std::string& subset) {
        return "<!DOCTYPE r[" + declared + subset + "]>\r\n";
    };
    const std::string pic = "<!NOTATION gif PUBLIC \"-//G//GIF\">"
                            "<!ENTITY pic PUBLIC \"-//P//PIC\" 'pic.gif' NDATA gif>"
                            "<!ATTLIST r img ENTITY #IMPLIED>";
    const std::string eleven = "<!ATTLIST r xmlns:p CDATA #FIXED 'urn:p'><!ELEMENT s (#PCDATA)>"
                               "<!ATTLIST s xmlns:p CDATA #IMPLIED a CDATA #IMPLIED>";
    const SubsetCase cases[] = {
        {"quote in an entity value", doc("<!ENTITY q 'say \"hi\"'>") + "\n<r>&q;",
         out("<!ENTITY q 'say \"hi\"'>") + "<r>&q;"},
        {"character reference in an entity value", doc("<!ENTITY e \"a&#38;#60;b\">") + "<r>&e;",
         out("<!ENTITY e \"a&#38;#60;b\">") + "<r>&e;"},
        {"ampersand in a default value", doc("<!ATTLIST r t CDATA \"a&amp;b\">") + "<r>",
         out("<!ATTLIST r t CDATA \"a&amp;b\">") + "<r>"},
        {"quote in a default value", doc("<!ATTLIST r t CDATA '\"'>") + "<r>",
         out("<!ATTLIST r t CDATA '\"'>") + "<r>"},
        {"NOTATION list",
         doc("<!NOTATION n SYSTEM \"n\"><!ELEMENT z (#PCDATA)>"
             "<!ATTLIST z k NOTATION (n) #IMPLIED>") + "<r><z k=\"n\">t</z>",
         out("<!NOTATION n SYSTEM \"n\"><!ELEMENT z (#PCDATA)>"
             "<!ATTLIST z k NOTATION (n) #IMPLIED>") + "<r><z k=\"n\">t</z>"},
        {"parameter entity", doc("<!ENTITY % p \"<!ENTITY e 'from p'>\"> %p;") + "<r>&e;",
         out("<!ENTITY % p \"<!ENTITY e 'from p'>\"> %p;") + "<r>&e;"},
        {"quote in an entity's system literal", doc("<!ENTITY u SYSTEM 'a\"b.ent'>") + "<r>",
         out("<!ENTITY u SYSTEM 'a\"b.ent'>") + "<r>"},
        {"entity with a public and a system id",
         doc("<!ENTITY e PUBLIC \"-//X//Y\" \"e.ent\">") + "<r>&e;",
         out("<!ENTITY e PUBLIC \"-//X//Y\" \"e.ent\">") + "<r>&e;", false,
         {{"e.ent", "from a file"}}},
        {"unparsed entity with a public id", doc(pic) + "<r img=\"pic\">",
         out(pic) + "<r img=\"pic\">"},
        {"quotes in the DOCTYPE's system literal",
         "<!DOCTYPE r SYSTEM 'a\"b.dtd' [" + declared + "]><r>",
         "<!DOCTYPE r SYSTEM 'a\"b.dtd'[" + declared + "]>\r\n<r>", false,
         {{"a\"b.dtd", "<!ELEMENT unused EMPTY>"}}},
        {"comments and processing instructions in the subset",
         doc("\n<!--  a comment  -->\r\n<?pi  some data ?>\t") + "<r>",
         out("\n<!--  a comment  -->\r\n<?pi  some data ?>\t") + "<r>"},
        {"UTF-16 with non-ASCII text in the subset",
         doc("<!ENTITY e \"\xC3\xA9t\xC3\xA9 \xE6\x97\xA5 \xF0\x9D\x84\x9E\"><!--\xC3\xBC-->") + "<r>&e;",
         out("<!ENTITY e \"\xC3\xA9t\xC3\xA9 \xE6\x97\xA5 \xF0\x9D\x84\x9E\"><!--\xC3\xBC-->") + "<r>&e;",
         true},
        {"ISO-8859-1 with non-ASCII text in the subset",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" +
             doc("<!ENTITY e \"\xE9t\xE9\"><!--\xFC--><!ATTLIST r t CDATA '\xE0'>") + "<r>&e;",
         out("<!ENTITY e \"\xC3\xA9t\xC3\xA9\"><!--\xC3\xBC--><!ATTLIST r t CDATA '\xC3\xA0'>") +
             "<r>&e;"},
        {"XML 1.1 with a control character and a namespace undeclaration",
         "<?xml version=\"1.1\"?>" + doc(eleven) + "<r><s xmlns:p=\"\" a=\"&#x1;\">&#x1;&#x85;</s>",
         "<?xml version=\"1.1\" encoding=\"UTF-8\"?>\r\n" + out(eleven) +
             "<r><s a=\"&#x1;\" xmlns:p=\"\">&#x1;&#x85;</s>"},
        {"a defaulted attribute", doc("<!ATTLIST r d CDATA 'dflt' g CDATA 'given'>") +
                                      "<r g=\"given\">",
         out("<!ATTLIST r d CDATA 'dflt' g CDATA 'given'>") + "<r g=\"given\">"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string text = c.head + "<x/><y/><k/></r>";
        const std::string original = c.utf16 ? asUtf16(text) : text;
        dir.write("f.xml", original);
        dir.write("orig.xml", original);
        for (const auto& [name, content] : c.others) dir.write(name, content);
        RunOptions options;
        options.cwd = dir.path();

        const RunResult r = runQuennel({"-r", "f.xml", "x"}, options);
        EXPECT_EQ(r.exitCode, 1) << c.what;
        EXPECT_EQ(r.out, removing("x", 1) + kRemoved) << c.what;
        std::string once = dir.read("f.xml");
        EXPECT_EQ(once.substr(0, c.written.size()), c.written) << c.what;
        EXPECT_EQ(once.substr(c.written.size()), "<y/><k/></r>\r\n") << c.what;

        const RunResult same = runQuennel({"orig.xml", "f.xml", "-i", "x"}, options);
        EXPECT_EQ(same.exitCode, 0) << c.what << same.out;
        EXPECT_EQ(runQuennel({"-r", "f.xml", "y"}, options).exitCode, 1) << c.what;
        once.erase(once.find("<y/>"), 4);
        EXPECT_EQ(dir.read("f.xml"), once) << c.what;
    }
}

}  // namespace
