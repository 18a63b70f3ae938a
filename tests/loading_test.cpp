#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "TestSupport.h"
#include "input/DocumentLoader.h"
#include "input/XercesLibrary.h"
#include "support/Utf8.h"

using namespace xercesc;

namespace {

const std::string kNotValid =
    "The file is not valid. Please insure that the file is \n valid according to its schema.";

std::string billionLaughs() {
    std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n"
                      "<!ELEMENT lolz (#PCDATA)>\n";
    for (int i = 1; i <= 9; ++i) {
        doc += "<!ENTITY lol" + std::to_string(i) + " \"";
        const std::string ref = i == 1 ? "&lol;" : "&lol" + std::to_string(i - 1) + ";";
        for (int k = 0; k < 10; ++k) doc += ref;
        doc += "\">\n";
    }
    return doc + "]>\n<lolz>&lol9;</lolz>";
}

// Few expansions of one large entity: 200 references to 100,000 characters each.
std::string quadraticBlowup() {
    std::string doc = "<!DOCTYPE r [<!ELEMENT r (#PCDATA)>\n<!ENTITY a \"" +
                      std::string(100000, 'x') + "\">]>\n<r>";
    for (int i = 0; i < 200; ++i) doc += "&a;";
    return doc + "</r>";
}

// Sends std::cout into a string stream for as long as it lives.
class CoutCapture {
public:
    explicit CoutCapture(std::ostringstream& into) : old(std::cout.rdbuf(into.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(old); }

private:
    std::streambuf* old;
};

// Loads one file with the library started; output is what the load printed.
class LoadTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(initializeXerces()); }
    static void TearDownTestSuite() { terminateXerces(); }
    void TearDown() override {
        for (XercesDOMParser* p : parsers) delete p;
    }

    // The document node, or null after a throw, whose text goes to thrown.
    DOMNode* load(const std::string& path, XercesDOMParser** slot = nullptr) {
        if (!slot) {
            parsers.push_back(nullptr);
            slot = &parsers.back();
        }
        names.emplace_back(path.c_str(), nullptr, -1, nullptr, nullptr);
        std::ostringstream captured;
        DOMNode* node = nullptr;
        thrown.clear();
        {
            const CoutCapture capture(captured);
            try {
                node = loadDocument(&names.back(), slot, false);
            } catch (const char* text) {
                thrown = text;
            }
        }
        output = captured.str();
        return node;
    }

    // The text of the document element.
    static std::string textOf(DOMNode* root) {
        return encodeUtf8(static_cast<DOMDocument*>(root)->getDocumentElement()->getTextContent());
    }

    TempDir dir;
    std::deque<XercesDOMParser*> parsers;
    std::deque<I18NString> names;
    std::string output;
    std::string thrown;
};

TEST_F(LoadTest, WellFormedWithoutDtdGivesTheDocumentNode) {
    DOMNode* root = load(dir.write("a.xml", "<?xml version=\"1.0\"?>\n<a x=\"1\"><b>t</b></a>"));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->getNodeType(), DOMNode::DOCUMENT_NODE);
    EXPECT_EQ(textOf(root), "t");
    EXPECT_EQ(output, "");
    EXPECT_EQ(thrown, "");
}

TEST_F(LoadTest, EncodingComesFromTheBytes) {
    DOMNode* root = load(dir.write(
        "latin.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>"));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(textOf(root), "caf\xC3\xA9");
    DOMNode* utf16 = load(dir.write("utf16.xml", std::string("\xFF\xFE<\0a\0/\0>\0", 10)));
    ASSERT_NE(utf16, nullptr);
    EXPECT_EQ(output, "");
}

TEST_F(LoadTest, LargeFileArrivesWhole) {
    std::string body;
    for (int i = 0; i < 20000; ++i) body += "<i>" + std::to_string(i) + "</i>";
    DOMNode* root = load(dir.write("big.xml", "<a>" + body + "</a>"));
    ASSERT_NE(root, nullptr);
    const DOMElement* a = static_cast<DOMDocument*>(root)->getDocumentElement();
    EXPECT_EQ(a->getChildElementCount(), 20000u);
    EXPECT_EQ(encodeUtf8(a->getLastElementChild()->getTextContent()), "19999");
}

TEST_F(LoadTest, WarningsArePrintedAndTheLoadSucceeds) {
    dir.write("w.dtd",
              "<!ELEMENT a (#PCDATA)>\n<!ATTLIST a x CDATA #IMPLIED>\n<!ATTLIST a x CDATA #IMPLIED>\n");
    DOMNode* root = load(dir.write("w.xml", "<!DOCTYPE a SYSTEM \"w.dtd\">\n<a x=\"1\">t</a>"));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(thrown, "");
    EXPECT_EQ(output, "\n Warning at file \"" + dir.file("w.dtd") +
                          "\", line 3, column 14"
                          "\n   Message: attribute 'x' has already been declared for element 'a'");
}

TEST_F(LoadTest, UnclosedTagIsAFatalError) {
    EXPECT_EQ(load(dir.write("bad.xml", "<a><b>x</a>")), nullptr);
    EXPECT_EQ(output, "\nFatal Error at file \"\", line 1, column 10"
                      "\n   Message: expected end of tag 'b'");
    EXPECT_EQ(thrown, kNotValid);
}

TEST_F(LoadTest, MissingOrUnreadablePathFailsWithoutTheStreamsText) {
    EXPECT_EQ(load(dir.file("missing.xml")), nullptr);
    EXPECT_EQ(thrown, "Error occured while parsing the file.");
    EXPECT_EQ(output, "");
    // A directory opens but cannot be read.
    EXPECT_EQ(load(dir.path()), nullptr);
    EXPECT_EQ(thrown, "Error occured while parsing the file.");
    EXPECT_EQ(output, "");
}

TEST_F(LoadTest, ReusedSlotKeepsItsParserAndGetsAFreshReporter) {
    XercesDOMParser* slot = nullptr;
    EXPECT_EQ(load(dir.write("bad.xml", "<a>"), &slot), nullptr);
    EXPECT_EQ(thrown, kNotValid);
    XercesDOMParser* const first = slot;
    ASSERT_NE(first, nullptr);

    DOMNode* root = load(dir.write("good.xml", "<b/>"), &slot);
    EXPECT_EQ(slot, first);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(thrown, "");
    EXPECT_EQ(output, "");
    EXPECT_EQ(encodeUtf8(static_cast<DOMDocument*>(root)->getDocumentElement()->getTagName()), "b");

    // Still validating after reuse.
    dir.write("v.dtd", "<!ELEMENT v EMPTY>");
    EXPECT_EQ(load(dir.write("v.xml", "<!DOCTYPE v SYSTEM \"v.dtd\"><v>x</v>"), &slot), nullptr);
    EXPECT_EQ(thrown, kNotValid);
    EXPECT_EQ(slot, first);
    delete slot;
}

TEST_F(LoadTest, RelativeDtdAndEntitiesResolveBesideWhatNamesThem) {
    dir.write("sub/dtd/x.dtd",
              "<!ELEMENT r (#PCDATA|q)*>\n<!ELEMENT q (#PCDATA)>\n<!ENTITY y SYSTEM \"y.ent\">\n");
    dir.write("sub/dtd/y.ent", "<q>from entity</q>");
    DOMNode* root = load(dir.write("sub/a.xml", "<!DOCTYPE r SYSTEM \"dtd/x.dtd\">\n<r>&y;</r>"));
    ASSERT_NE(root, nullptr) << output << thrown;
    EXPECT_EQ(textOf(root), "from entity");
    EXPECT_EQ(output, "");
}

TEST_F(LoadTest, ManyOrdinaryEntityReferencesLoad) {
    std::string body;
    for (int i = 0; i < 200000; ++i) body += "&amp;";
    for (int i = 0; i < 20000; ++i) body += "<x>&e;</x>";
    for (int i = 0; i < 20000; ++i) body += "&#65;";
    DOMNode* root = load(dir.write(
        "many.xml",
        "<!DOCTYPE r [<!ELEMENT r (#PCDATA|x)*><!ELEMENT x (#PCDATA)><!ENTITY e \"ee\">]>\n<r>" +
            body + "</r>"));
    ASSERT_NE(root, nullptr) << output;
    EXPECT_EQ(textOf(root).size(), 200000u + 40000u + 20000u);
}

struct FailingCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // written before the run
    std::vector<std::string> args;
    std::string out;
};

void PrintTo(const FailingCase& c, std::ostream* os) { *os << c.name; }

std::string notValidAfter(const std::string& parsed, const std::string& diagnostics) {
    return "\nParsing " + parsed + "\n" + diagnostics +
           "\n\n *** EXCEPTION: The file is not valid. Please insure that the file is "
           "\n valid according to its schema."
           "\n Insure validity of file (formatted properly)."
           "\n You can use Internet Explorer to validate the file."
           "\n *** Failed to diff files\n\n";
}

const std::pair<std::string, std::string> kOther{"other.xml", "<o/>"};

// Without the expansion limit a billion laughs would take all the memory there is.
void limitMemory() {
#if !defined(__SANITIZE_ADDRESS__)
    const rlimit limit{512u << 20, 512u << 20};
    setrlimit(RLIMIT_AS, &limit);
#endif
}

class LoadFailureEndToEnd : public testing::TestWithParam<FailingCase> {};

TEST_P(LoadFailureEndToEnd, PrintsDiagnosticsThenFails) {
    // Under the sanitizer one locale is enough: it looks for memory faults, which the plain
    // suite's other two locales do not add, and the billion laughs alone takes it minutes.
    const std::vector<const char*> langs =
        kAddressSanitizer ? std::vector<const char*>{"LANG=C.UTF-8"}
                          : std::vector<const char*>{"LANG=", "LANG=C", "LANG=C.UTF-8"};
    for (const char* lang : langs) {
        TempDir dir;
        for (const auto& [name, content] : GetParam().files) dir.write(name, content);
        RunOptions options;
        options.cwd = dir.path();
        options.env = {lang, "LC_ALL=", "LC_CTYPE=", "LC_MESSAGES="};
#if defined(__SANITIZE_ADDRESS__)
        options.timeoutSeconds = 600;  // the sanitizer takes minutes over the billion laughs
#else
        options.timeoutSeconds = 60;
#endif
        options.inChild = limitMemory;
        const RunResult r = runQuennel(GetParam().args, options);
        EXPECT_EQ(r.out, GetParam().out) << lang;
        EXPECT_EQ(r.err, "") << lang;
        EXPECT_EQ(r.exitCode, 2) << lang;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadFailureEndToEnd,
    testing::Values(
        FailingCase{"UnclosedTag",
                    {{"a.xml", "<a>\n  <b>x</a>"}, kOther},
                    {"a.xml", "other.xml"},
                    notValidAfter("a.xml", "\nFatal Error at file \"\", line 2, column 9"
                                           "\n   Message: expected end of tag 'b'")},
        FailingCase{"EmptyFile",
                    {{"a.xml", ""}, kOther},
                    {"a.xml", "other.xml"},
                    notValidAfter("a.xml", "\nFatal Error at file \"\", line 1, column 1"
                                           "\n   Message: invalid document structure")},
        FailingCase{"SecondFileInvalid",
                    {{"a.xml", "<a/>"}, {"b.xml", "<b></c>"}},
                    {"a.xml", "b.xml"},
                    notValidAfter("a.xml\nParsing b.xml",
                                  "\nFatal Error at file \"\", line 1, column 6"
                                  "\n   Message: expected end of tag 'b'")},
        FailingCase{"EveryValidityErrorPrinted",
                    {{"a.dtd", "<!ELEMENT a (b)>\n<!ELEMENT b (#PCDATA)>\n<!ELEMENT c EMPTY>\n"},
                     {"a.xml", "<!DOCTYPE a SYSTEM \"a.dtd\">\n<a><c/><d/></a>"},
                     kOther},
                    {"a.xml", "other.xml"},
                    notValidAfter("a.xml",
                                  "\n Error at file \"\", line 2, column 12"
                                  "\n   Message: no declaration found for element 'd'"
                                  "\n Error at file \"\", line 2, column 16"
                                  "\n   Message: element 'c' is not allowed for content model "
                                  "'(b)'")},
        FailingCase{"DtdInWorkingDirectoryKeepsItsPlainName",
                    {{"a.dtd", "<!ELEMENT a EMPTY>\n<!ELEMENT b (#PCDATA>\n"},
                     {"a.xml", "<!DOCTYPE a SYSTEM \"a.dtd\">\n<a/>"},
                     kOther},
                    {"a.xml", "other.xml"},
                    notValidAfter("a.xml",
                                  "\nFatal Error at file \"a.dtd\", line 2, column 21"
                                  "\n   Message: mixed content model 'b' not terminated "
                                  "properly")},
        // Nothing is fetched from the network, wherever the address stands.
        FailingCase{"DtdByUrl",
                    {{"a.xml", "<!DOCTYPE a SYSTEM \"http://127.0.0.1:1/a.dtd\">\n<a/>"}, kOther},
                    {"a.xml", "other.xml"},
                    notValidAfter("a.xml", "\nFatal Error at file \"\", line 1, column 47"
                                           "\n   Message: network access is off: "
                                           "http://127.0.0.1:1/a.dtd is not fetched (a local "
                                           "copy can be named in an XML catalog)")},
        FailingCase{"ExternalEntityByUrl",
                    {{"a.xml", "<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY e SYSTEM \"https://example.invalid/e\">]>"
                               "\n<a>&e;</a>"},
                     kOther},
                    {"-o", "a.xml", "other.xml"},
                    notValidAfter("a.xml", "\nFatal Error at file \"\", line 2, column 7"
                                           "\n   Message: network access is off: "
                                           "https://example.invalid/e is not fetched (a local "
                                           "copy can be named in an XML catalog)")},
        FailingCase{"ParameterEntityByUrlInLocalDtd",
                    {{"a.dtd", "<!ELEMENT a EMPTY>\n<!ENTITY % p SYSTEM \"ftp://x/p.ent\">\n%p;\n"},
                     {"a.xml", "<!DOCTYPE a SYSTEM \"a.dtd\">\n<a/>"},
                     kOther},
                    {"other.xml", "a.xml"},
                    notValidAfter("other.xml\nParsing a.xml",
                                  "\nFatal Error at file \"a.dtd\", line 3, column 4"
                                  "\n   Message: network access is off: ftp://x/p.ent is not "
                                  "fetched (a local copy can be named in an XML catalog)")},
        // A file: URL is a path, refused as the path would be: no waiting on a pipe.
        FailingCase{"FileUrlOfStandardInput",
                    {{"a.xml", "<!DOCTYPE a SYSTEM \"file:///dev/stdin\">\n<a/>"}, kOther},
                    {"a.xml", "other.xml"},
                    notValidAfter("a.xml", "\nFatal Error at file \"\", line 1, column 40"
                                           "\n   Message: unable to open DTD document "
                                           "'/dev/stdin'")},
        FailingCase{"FileUrlOfAnotherHost",
                    {{"a.xml", "<!DOCTYPE a SYSTEM \"file://server/a.dtd\">\n<a/>"}, kOther},
                    {"a.xml", "other.xml"},
                    notValidAfter("a.xml", "\nFatal Error at file \"\", line 1, column 42"
                                           "\n   Message: network access is off: "
                                           "file://server/a.dtd is not fetched (a local copy can "
                                           "be named in an XML catalog)")},
        FailingCase{"DtdBesideDocumentInSubdirectory",
                    {{"sub/a.dtd", "<!ELEMENT a EMPTY>\n<!ATTLIST a x CDATA #IMPLIED>\n"
                                   "<!ATTLIST a x CDATA #IMPLIED>\n"},
                     {"sub/a.xml", "<!DOCTYPE a SYSTEM \"a.dtd\">\n<a>t</a>"},
                     {"a.dtd", "<!ELEMENT a ANY>"},
                     kOther},
                    {"sub/a.xml", "other.xml"},
                    notValidAfter("sub/a.xml",
                                  "\n Warning at file \"sub/a.dtd\", line 3, column 14"
                                  "\n   Message: attribute 'x' has already been declared for "
                                  "element 'a'"
                                  "\n Error at file \"\", line 2, column 5"
                                  "\n   Message: no character data is allowed by content "
                                  "model")},
        FailingCase{"EntityBesideItsDtd",
                    {{"sub/dtd/x.dtd", "<!ELEMENT r (#PCDATA)>\n<!ENTITY y SYSTEM \"y.ent\">\n"},
                     {"sub/dtd/y.ent", "text<zz/>"},
                     {"sub/y.ent", "wrong one"},
                     {"sub/a.xml", "<!DOCTYPE r SYSTEM \"dtd/x.dtd\">\n<r>&y;</r>"},
                     kOther},
                    {"sub/a.xml", "other.xml"},
                    notValidAfter("sub/a.xml",
                                  "\n Error at file \"sub/dtd/y.ent\", line 1, column 10"
                                  "\n   Message: no declaration found for element 'zz'"
                                  "\n Error at file \"\", line 2, column 11"
                                  "\n   Message: element 'zz' is not allowed for content model "
                                  "'(#PCDATA)'")},
        FailingCase{"MissingDtdIsTheLibrarysFatalError",
                    {{"sub/a.xml", "<!DOCTYPE a SYSTEM \"none.dtd\">\n<a/>"}, kOther},
                    {"sub/a.xml", "other.xml"},
                    notValidAfter("sub/a.xml",
                                  "\nFatal Error at file \"\", line 1, column 31"
                                  "\n   Message: unable to open DTD document 'sub/none.dtd'")},
        FailingCase{"NonAsciiNamesInDiagnostics",
                    {{"d\xC3\xA9/\xC3\xA9.dtd", "<!ELEMENT \xC3\xA9 EMPTY>\n<!ATTLIST \xC3\xA9 b "
                                                "CDATA #IMPLIED>\n<!ATTLIST \xC3\xA9 b CDATA "
                                                "#IMPLIED>\n"},
                     {"d\xC3\xA9/a.xml", "<!DOCTYPE \xC3\xA9 SYSTEM \"\xC3\xA9.dtd\">\n"
                                         "<\xC3\xA9><\xE2\x82\xAC/></\xC3\xA9>"},
                     kOther},
                    {"d\xC3\xA9/a.xml", "other.xml"},
                    notValidAfter("d\xC3\xA9/a.xml",
                                  "\n Warning at file \"d\xC3\xA9/\xC3\xA9.dtd\", line 3, column 14"
                                  "\n   Message: attribute 'b' has already been declared for "
                                  "element '\xC3\xA9'"
                                  "\n Error at file \"\", line 2, column 8"
                                  "\n   Message: no declaration found for element '\xE2\x82\xAC'"
                                  "\n Error at file \"\", line 2, column 12"
                                  "\n   Message: element '\xE2\x82\xAC' is not allowed for content "
                                  "model 'EMPTY'")},
        FailingCase{"NameThatIsNotUtf8IsKeptAsTyped",
                    {{"caf\xE9/a.dtd", "<!ELEMENT a EMPTY>\n<!ELEMENT b (#PCDATA>\n"},
                     {"caf\xE9/a.xml", "<!DOCTYPE a SYSTEM \"a.dtd\">\n<a/>"},
                     kOther},
                    {"caf\xE9/a.xml", "other.xml"},
                    notValidAfter("caf\xE9/a.xml",
                                  "\nFatal Error at file \"caf\xE9/a.dtd\", line 2, column 21"
                                  "\n   Message: mixed content model 'b' not terminated "
                                  "properly")},
        FailingCase{"MissingNameThatIsNotUtf8", {kOther}, {"caf\xE9.xml", "other.xml"},
                    "\n\n *** INVALID FILE: The file caf\xE9.xml doesn't exist."
                    "\n Please insure the file and the directory are specified correctly."
                    "\n *** Failed to diff files\n\n"},
        FailingCase{"BillionLaughs",
                    {{"a.xml", billionLaughs()}, kOther},
                    {"a.xml", "other.xml"},
                    notValidAfter("a.xml", "\nFatal Error at file \"\", line 15, column 13"
                                           "\n   Message: parser has encountered more than "
                                           "'100000' entity expansions in the document; this "
                                           "is the limit imposed by the application")},
        FailingCase{"QuadraticBlowup",
                    {{"a.xml", quadraticBlowup()}, kOther},
                    {"a.xml", "other.xml"},
                    notValidAfter("a.xml", "\nFatal Error at file \"\", line 3, column 508"
                                           "\n   Message: entity references in the document "
                                           "expand to more than '16777216' characters; this is "
                                           "the limit imposed by the application")}),
    [](const testing::TestParamInfo<FailingCase>& info) { return info.param.name; });

TEST(LoadEndToEnd, UnreadableFileFailsWithoutTheStreamsText) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the tool as another user";
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    // Owner read is set, so the file passes the existence test, but the reader is not the owner.
    const std::string file = dir.write("a.xml", "<a/>");
    ASSERT_EQ(chmod(file.c_str(), 0400), 0);
    RunOptions options;
    options.cwd = dir.path();
    options.inChild = [] {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(125);
    };
    const RunResult r = runQuennel({"a.xml", "a.xml"}, options);
    EXPECT_EQ(r.out,
              "\nParsing a.xml\n"
              "\n\n *** EXCEPTION: Error occured while parsing the file."
              "\n Insure validity of file (formatted properly)."
              "\n You can use Internet Explorer to validate the file."
              "\n *** Failed to diff files\n\n");
    EXPECT_EQ(r.exitCode, 2);
}

}  // namespace

// A server that would see any request: it listens, and no connection may ever arrive.
TEST(LoadEndToEnd, NoAddressIsEverContacted) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 8), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    TempDir dir;
    dir.write("a.xml", "<!DOCTYPE a SYSTEM \"" + url + "/a.dtd\">\n<a/>");
    dir.write("e.xml", "<!DOCTYPE a [<!ENTITY % p SYSTEM \"" + url + "/p\"> %p;]>\n<a/>");
    dir.write("x.xml", "<a xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' "
                       "xsi:noNamespaceSchemaLocation='" + url + "/a.xsd'/>");
    RunOptions options;
    options.cwd = dir.path();
    options.timeoutSeconds = 60;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"a.xml", "e.xml"}, {"-o", "e.xml", "a.xml"},
          {"-r", "a.xml", "a"}, {"x.xml", "x.xml"}, {"-l", "x.xml", "e.xml"}}) {
        const RunResult r = runQuennel(args, options);
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.exitCode, -1) << "killed: it waited on the address";
    }
    EXPECT_LT(accept(listener, nullptr, nullptr), 0) << "a connection arrived";
    close(listener);
}

// DTDs named by URL or public id load from the local copies that the catalogs name.
TEST(LoadEndToEnd, CatalogsMapUrlsAndPublicIdsToLocalFiles) {
    TempDir dir;
    dir.write("copies/local.dtd", "<!ELEMENT a (#PCDATA)>\n<!ATTLIST a v CDATA 'x'>\n");
    dir.write("catalog.xml",
              "<?xml version='1.0'?>\n"
              "<catalog xmlns='urn:oasis:names:tc:entity:xmlns:xml:catalog'>\n"
              "  <system systemId='http://example.com/dtd/a.dtd' uri='copies/local.dtd'/>\n"
              "  <public publicId='-//Q//DTD A//EN' uri='file://" + dir.path() +
                  "/copies/local.dtd'/>\n"
              "</catalog>\n");
    dir.write("url.xml", "<!DOCTYPE a SYSTEM \"http://example.com/dtd/a.dtd\">\n<a>t</a>");
    dir.write("public.xml",
              "<!DOCTYPE a PUBLIC \"-//Q//DTD A//EN\" \"http://example.com/elsewhere.dtd\">\n"
              "<a v='x'>T</a>");
    dir.write("miss.xml", "<!DOCTYPE a SYSTEM \"http://example.com/dtd/b.dtd\">\n<a>t</a>");
    RunOptions options;
    options.cwd = dir.path();
    options.env = {"XML_CATALOG_FILES=" + dir.file("catalog.xml")};
    const RunResult same = runQuennel({"url.xml", "public.xml"}, options);
    EXPECT_EQ(same.out, "\nParsing url.xml\nParsing public.xml\n\nDiffing url.xml Vs. public.xml\n"
                        "\n ** Files are the same\n\n");
    EXPECT_EQ(same.exitCode, 0);
    const RunResult miss = runQuennel({"url.xml", "miss.xml"}, options);
    EXPECT_NE(miss.out.find("network access is off: http://example.com/dtd/b.dtd"),
              std::string::npos)
        << miss.out;
    EXPECT_EQ(miss.exitCode, 2);
    EXPECT_EQ(miss.err, "");
}

// However little memory there is, a diff ends with its verdict or its failure block: never an
// abort, never a word on standard error. Every limit on the way up cuts somewhere else: in a
// load, in the comparison, in a thread.
TEST(LoadEndToEnd, RunningOutOfMemoryAnywhereIsAFailureNeverAnAbort) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory does not fit an address-space limit";
#else
    std::string items;
    for (int i = 0; i < 60000; ++i)
        items += "<i a=\"" + std::to_string(i) + "\">text " + std::to_string(i) + "</i>\n";
    TempDir dir;
    dir.write("a.xml", "<r>\n<first/>\n" + items + "</r>");
    dir.write("b.xml", "<r>\n" + items + "<first/>\n</r>");
    RunOptions options;
    options.cwd = dir.path();
    for (const char* order : {"-o", "-c"}) {
        for (rlim_t megabytes = 96; megabytes <= 256; megabytes += 10) {
            options.inChild = [megabytes] {
                const rlimit limit{megabytes << 20, megabytes << 20};
                setrlimit(RLIMIT_AS, &limit);
            };
            const RunResult r = runQuennel({order, "a.xml", "b.xml"}, options);
            SCOPED_TRACE(std::string(order) + " within " + std::to_string(megabytes) + " MB");
            EXPECT_EQ(r.signal, 0);
            EXPECT_EQ(r.err, "");
            const bool verdict = r.out.find(" ** Files are") != std::string::npos;
            const bool failed = r.out.find(" *** Failed to diff files") != std::string::npos;
            EXPECT_TRUE(verdict != failed) << r.out;
            EXPECT_EQ(r.exitCode, failed ? 2 : std::string(order) == "-o" ? 0 : 1);
        }
    }
#endif
}
