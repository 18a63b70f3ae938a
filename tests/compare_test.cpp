// Comparison over small pairs of documents parsed in memory, plus large generated trees.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include "compare/CaseFolding.h"
#include "compare/NodeContent.h"
#include "compare/EventComparison.h"
#include "compare/Quennel.h"
#include "input/QelEventParser.h"
#include "compare/SubtreeClasses.h"

using namespace xercesc;

namespace {

std::u16string u16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A parsed document that lives as long as its parser.
class Doc {
public:
    explicit Doc(const std::string& xml) : parser_(std::make_unique<XercesDOMParser>()) {
        parser_->setDoNamespaces(true);
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "doc");
        parser_->parse(source);
        if (parser_->getErrorCount() != 0) throw std::runtime_error("not well-formed: " + xml);
    }
    DOMDocument* document() const { return parser_->getDocument(); }
    DOMElement* root() const { return document()->getDocumentElement(); }

private:
    std::unique_ptr<XercesDOMParser> parser_;
};

// A document built through the DOM, for shapes too large to write out.
class BuiltDoc {
public:
    BuiltDoc() {
        const XMLCh core[] = {'C', 'o', 'r', 'e', 0};
        document_ = DOMImplementationRegistry::getDOMImplementation(core)->createDocument();
    }
    ~BuiltDoc() { document_->release(); }
    BuiltDoc(const BuiltDoc&) = delete;
    BuiltDoc& operator=(const BuiltDoc&) = delete;

    DOMDocument* document() const { return document_; }
    DOMElement* element(const std::string& name) const {
        return document_->createElement(reinterpret_cast<const XMLCh*>(u16(name).c_str()));
    }
    DOMText* text(const std::u16string& value) const {
        return document_->createTextNode(reinterpret_cast<const XMLCh*>(value.c_str()));
    }
    void setAttribute(DOMElement* e, const std::string& name, const std::string& value) const {
        e->setAttribute(reinterpret_cast<const XMLCh*>(u16(name).c_str()),
                        reinterpret_cast<const XMLCh*>(u16(value).c_str()));
    }

private:
    DOMDocument* document_;
};

enum Verdict { Different, Same };

struct Options {
    bool ignoreComments = false;
    bool ignoreOrder = false;
};

// Strips both documents and compares them the way a diff run does.
bool compareDocs(DOMNode* first, DOMNode* second, Options options) {
    Quennel quennel;
    quennel.setIgnoreComments(options.ignoreComments);
    quennel.setIgnoreOrder(options.ignoreOrder);
    quennel.stripIgnorable(first);
    quennel.stripIgnorable(second);
    quennel.setRoots(first, second);
    return quennel.compareDocuments() == 0;
}

bool compareText(const std::string& first, const std::string& second, Options options) {
    Doc a(first), b(second);
    return compareDocs(a.document(), b.document(), options);
}

// The unordered comparison with case folding switched off: the pairwise fallback.
bool compareUnorderedPairwise(const std::string& first, const std::string& second,
                              bool ignoreComments) {
    Doc a(first), b(second);
    Quennel stripper;
    stripper.setIgnoreComments(ignoreComments);
    stripper.stripIgnorable(a.document());
    stripper.stripIgnorable(b.document());
    CaseFolding folding(false);
    EXPECT_FALSE(folding.trusted());
    NodeContent content(folding);
    SubtreeClasses classes(content);
    const std::uint32_t id = classes.add(a.root());
    return classes.find(b.root()) == id;
}

// The same comparison in document order, on event logs instead of trees.
bool compareByEvents(const std::string& first, const std::string& second, bool ignoreComments,
                     bool ignoreOrder = false, bool trustFolding = true) {
    const auto read = [&](QelEventParser& parser, const std::string& xml) {
        parser.setDoNamespaces(true);
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "doc");
        parser.parse(source);
        if (parser.getErrorCount() != 0) throw std::runtime_error("not well-formed: " + xml);
    };
    QelEventParser a(ignoreComments), b(ignoreComments);
    read(a, first);
    read(b, second);
    CaseFolding folding(trustFolding);
    return ignoreOrder ? eventLogsEqualUnordered(a.events(), b.events(), folding)
                       : eventLogsEqual(a.events(), b.events(), folding);
}

// The same comparison while both documents are read on threads of their own, handed on in
// chunks of chunkEvents events (1: every boundary between events is a chunk boundary).
bool compareByStreams(const std::string& first, const std::string& second, bool ignoreComments,
                      std::size_t chunkEvents) {
    EventStream a(1), b(1);
    const auto read = [&](const std::string& xml, EventStream& stream) {
        QelEventParser parser(ignoreComments);
        parser.setDoNamespaces(true);
        parser.streamTo(&stream, chunkEvents);
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(xml.data()), xml.size(), "doc");
        parser.parse(source);
        stream.close();
    };
    std::thread firstLoad(read, std::cref(first), std::ref(a));
    std::thread secondLoad(read, std::cref(second), std::ref(b));
    CaseFolding folding(true);
    const bool same = eventStreamsEqual(a, b, folding);
    firstLoad.join();
    secondLoad.join();
    return same;
}

bool hasProlog(const std::string& xml) { return xml.compare(0, 2, "<?") == 0 || xml.compare(0, 2, "<!") == 0; }

// Shape of a tree after stripping: name(children), texts in brackets.
std::string describe(const DOMNode* node) {
    std::string out;
    switch (node->getNodeType()) {
        case DOMNode::TEXT_NODE:
            out = "[";
            for (const XMLCh* p = node->getNodeValue(); *p; ++p)
                out += *p < 128 ? static_cast<char>(*p) : '?';
            return out + "]";
        case DOMNode::COMMENT_NODE:
            return "#comment";
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
            return "#pi";
        case DOMNode::DOCUMENT_TYPE_NODE:
            return "#doctype";
        default: {
            char* name = XMLString::transcode(node->getNodeName());
            out = name;
            XMLString::release(&name);
        }
    }
    if (!node->getFirstChild()) return out;
    out += "(";
    for (const DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling()) {
        out += describe(c);
        if (c->getNextSibling()) out += ",";
    }
    return out + ")";
}

class XercesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { XMLPlatformUtils::Initialize(); }
    static void TearDownTestSuite() { XMLPlatformUtils::Terminate(); }
};

using CaseFoldingTest = XercesTest;
using StripTest = XercesTest;
using CompareTest = XercesTest;
using LargeTreeTest = XercesTest;

TEST_F(CaseFoldingTest, AgreesWithTheLibraryComparison) {
    CaseFolding folding;
    ASSERT_TRUE(folding.trusted());
    const std::u16string words[] = {
        u"", u"a", u"A", u"b", u"ab", u"AB", u"abc", u"\u00c9cole", u"\u00e9COLE", u"stra\u00dfe",
        u"STRASSE", u"strasse", u"\u039f\u0394\u039f\u03a3", u"\u03bf\u03b4\u03bf\u03c2",
        u"\u03bf\u03b4\u03bf\u03c3", u"\u212a", u"k", u"K", u"\u0130", u"i", u"\u0131", u"I",
        u"\U00010400", u"\U00010428", u"\U00010401", u"\u00a0", u" ", u"a ", u" a", u"\uff21",
        u"\uff41"};
    for (const auto& x : words) {
        for (const auto& y : words) {
            const auto* a = reinterpret_cast<const XMLCh*>(x.c_str());
            const auto* b = reinterpret_cast<const XMLCh*>(y.c_str());
            const bool libraryEqual = XMLString::compareIString(a, b) == 0;
            SCOPED_TRACE(::testing::Message() << x.size() << "/" << y.size());
            EXPECT_EQ(folding.equal(a, b), libraryEqual);
            EXPECT_EQ(folding.compare(a, b) == 0, libraryEqual);
            // A consistent order: antisymmetric.
            EXPECT_EQ(folding.compare(a, b) < 0, folding.compare(b, a) > 0);
            if (libraryEqual) {
                EXPECT_EQ(folding.hash(a, 7), folding.hash(b, 7));
            }
        }
    }
    // As an event log holds them: the same answers and the same hashes, lone surrogates
    // (never handed to the library) included.
    std::vector<std::u16string> all(std::begin(words), std::end(words));
    for (const char16_t* lone : {u"\xd800", u"a\xdc00", u"\xdc00\xd800", u"\xd801\xd801\xdc00"})
        all.emplace_back(lone);
    CaseFolding pairwise(false);
    EventLog log;
    for (const auto& w : all) log.add(EventLog::Text, nullptr, 0, w.data(), w.size());
    const auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string_view x = log.value(log.events()[i]);
        const auto* a = reinterpret_cast<const XMLCh*>(all[i].c_str());
        EXPECT_EQ(folding.hash(x, 7), folding.hash(a, 7)) << i;
        for (std::size_t j = 0; j < all.size(); ++j) {
            const std::string_view y = log.value(log.events()[j]);
            const auto* b = reinterpret_cast<const XMLCh*>(all[j].c_str());
            SCOPED_TRACE(::testing::Message() << i << "/" << j);
            EXPECT_EQ(folding.equal(x, y), folding.equal(a, b));
            EXPECT_EQ(sign(folding.compare(x, y)), sign(folding.compare(a, b)));
            if (i < std::size(words) && j < std::size(words)) {
                EXPECT_EQ(pairwise.equal(x, y), folding.equal(a, b));
            }
        }
    }
}

TEST_F(CaseFoldingTest, HashSeparatesChainedParts) {
    CaseFolding folding;
    const XMLCh ab[] = {'a', 'b', 0}, c[] = {'c', 0}, a[] = {'a', 0}, bc[] = {'b', 'c', 0};
    EXPECT_NE(folding.hash(c, folding.hash(ab, 0)), folding.hash(bc, folding.hash(a, 0)));
}

TEST_F(StripTest, RemovesWhitespaceTextAndCommentsOnlyWhenAsked) {
    struct Case {
        const char* xml;
        bool ignoreComments;
        const char* after;
    };
    const Case cases[] = {
        {"<r>\n  <a> \t </a>\r\n</r>", false, "r(a)"},
        {"<r>&#160;<a>x</a> </r>", false, "r([?],a([x]))"},
        {"<r> x </r>", false, "r([ x ])"},
        {"<r><!--c--> <a/></r>", false, "r(#comment,a)"},
        {"<r><!--c--> <a/></r>", true, "r(a)"},
        // The texts around a stripped comment stay two nodes.
        {"<r>ab<!--c-->cd</r>", true, "r([ab],[cd])"},
        {"<r>ab <!--c--> </r>", true, "r([ab ])"},
        {"<r><a><b> <!--x--> <c/> </b></a></r>", true, "r(a(b(c)))"},
        {"<r><![CDATA[ ]]><?p x?></r>", true, "r(#cdata-section,#pi)"},
        // Nothing beside the document element is touched.
        {"<!--top--><?p x?><r/><!--end-->", true, "#document(#comment,#pi,r,#comment)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        Doc doc(c.xml);
        Quennel quennel;
        quennel.setIgnoreComments(c.ignoreComments);
        quennel.stripIgnorable(doc.document());
        const bool whole = std::string(c.after).rfind("#document", 0) == 0;
        EXPECT_EQ(describe(whole ? static_cast<DOMNode*>(doc.document()) : doc.root()), c.after);
    }
}

TEST_F(StripTest, WhitespaceIsUnitsOneToThirteenAndSpace) {
    BuiltDoc doc;
    Quennel quennel;
    for (char16_t unit = 1; unit <= 13; ++unit) {
        EXPECT_TRUE(quennel.isIgnorable(doc.text(std::u16string(2, unit)))) << int(unit);
    }
    EXPECT_TRUE(quennel.isIgnorable(doc.text(u" \t\n\r \x0b\x0c")));
    EXPECT_TRUE(quennel.isIgnorable(doc.text(u"")));
    EXPECT_FALSE(quennel.isIgnorable(doc.text(u"  \x0e")));
    EXPECT_FALSE(quennel.isIgnorable(doc.text(u"\u00a0")));
    EXPECT_FALSE(quennel.isIgnorable(doc.text(u"\u2003")));
    EXPECT_FALSE(quennel.isIgnorable(doc.text(u" . ")));
    EXPECT_FALSE(quennel.isIgnorable(doc.element("a")));
    const XMLCh blank[] = {' ', 0};
    DOMComment* comment = doc.document()->createComment(blank);
    EXPECT_FALSE(quennel.isIgnorable(comment));
    EXPECT_FALSE(quennel.isIgnorable(doc.document()->createCDATASection(blank)));
    quennel.setIgnoreComments(true);
    EXPECT_TRUE(quennel.isIgnorable(comment));
}

struct PairCase {
    const char* name;
    const char* first;
    const char* second;
    bool ignoreComments;
    Verdict inOrder;    // without -o
    Verdict unordered;  // with -o
};

// Long texts, whose lengths take two and three bytes in a log.
#define R8(x) x x x x x x x x
#define L128 R8("abcdefghijklmnop")
#define U128 R8("ABCDEFGHIJKLMNOP")
#define L16K R8(R8(L128)) R8(R8(L128))

// Every case is checked both ways round. With -o it also runs with the two documents put one
// level down behind a sibling in different places, which forces the class-id matching, and
// through the pairwise fallback.
const PairCase kPairCases[] = {
    // Letter case everywhere.
    {"tag case", "<Root><Item/></Root>", "<root><ITEM/></root>", false, Same, Same},
    {"attribute name case", "<r Attr='1'/>", "<r aTTR='1'/>", false, Same, Same},
    {"attribute value case", "<r a='Yes'/>", "<r a='yES'/>", false, Same, Same},
    {"text case", "<r>Hello World</r>", "<r>hELLO wORLD</r>", false, Same, Same},
    {"comment case", "<r><!--Note--></r>", "<r><!--NOTE--></r>", false, Same, Same},
    {"accented case", "<r>\xc3\x89""cole</r>", "<r>\xc3\xa9""COLE</r>", false, Same, Same},
    {"final sigma", "<r>\xce\x9f\xce\xa3</r>", "<r>\xce\xbf\xcf\x82</r>", false, Same, Same},
    {"kelvin sign", "<r>\xe2\x84\xaa</r>", "<r>k</r>", false, Same, Same},
    {"sharp s is not ss", "<r>\xc3\x9f</r>", "<r>ss</r>", false, Different, Different},
    {"deseret case", "<r>\xf0\x90\x90\x80</r>", "<r>\xf0\x90\x90\xa8</r>", false, Same, Same},
    {"different text", "<r>a</r>", "<r>b</r>", false, Different, Different},
    {"longer text", "<r>ab</r>", "<r>abc</r>", false, Different, Different},
    {"different tag", "<r><a/></r>", "<r><b/></r>", false, Different, Different},
    {"empty forms", "<r/>", "<r></r>", false, Same, Same},
    {"text against nothing", "<r>x</r>", "<r/>", false, Different, Different},
    {"element against text", "<r><x/></r>", "<r>x</r>", false, Different, Different},
    // Whitespace.
    {"leading blank", "<r>a</r>", "<r> a</r>", false, Different, Different},
    {"trailing blank", "<r>a</r>", "<r>a </r>", false, Different, Different},
    {"inner blanks", "<r>a b</r>", "<r>a  b</r>", false, Different, Different},
    {"whitespace between", "<r><a/><b/></r>", "<r>\n  <a/>\n\t<b/>\n</r>", false, Same, Same},
    {"whitespace only element", "<r><a>  \n\t </a></r>", "<r><a/></r>", false, Same, Same},
    {"no-break space", "<r>&#160;</r>", "<r/>", false, Different, Different},
    {"no-break spaces alike", "<r>&#160;&#160;</r>", "<r>\xc2\xa0\xc2\xa0</r>", false, Same, Same},
    // Comments.
    {"extra comment", "<r><!--x--><a/></r>", "<r><a/></r>", false, Different, Different},
    {"extra comment -c", "<r><!--x--><a/></r>", "<r><a/></r>", true, Same, Same},
    {"comments differ", "<r><!--x--></r>", "<r><!--y--></r>", false, Different, Different},
    {"comments differ -c", "<r><!--x--></r>", "<r><!--y--></r>", true, Same, Same},
    {"comment against text", "<r><!--x--></r>", "<r>x</r>", false, Different, Different},
    {"split text -c", "<r>ab<!--x-->cd</r>", "<r>abcd</r>", true, Different, Different},
    {"split text alike -c", "<r>ab<!--x-->cd</r>", "<r>AB<!--y-->CD</r>", true, Same, Same},
    // Outside the document element.
    {"outside nodes", "<?pi a?><!--top--><r/>", "<r/><!--end-->", false, Same, Same},
    {"doctype", "<!DOCTYPE r [<!ELEMENT r ANY>]><r/>", "<r/>", false, Same, Same},
    // CDATA, processing instructions, entity references.
    {"cdata alike", "<r><![CDATA[a<b]]></r>", "<r><![CDATA[A<B]]></r>", false, Same, Same},
    {"cdata differ", "<r><![CDATA[a]]></r>", "<r><![CDATA[b]]></r>", false, Different, Different},
    {"cdata against text", "<r><![CDATA[abc]]></r>", "<r>abc</r>", false, Different, Different},
    {"cdata blank kept", "<r><![CDATA[ ]]></r>", "<r/>", false, Different, Different},
    {"pi alike", "<r><?Target Data x?></r>", "<r><?target DATA X?></r>", false, Same, Same},
    {"pi target differs", "<r><?p x?></r>", "<r><?q x?></r>", false, Different, Different},
    {"pi data differs", "<r><?p x?></r>", "<r><?p y?></r>", false, Different, Different},
    {"pi against comment", "<r><?p x?></r>", "<r><!--p x--></r>", false, Different, Different},
    {"entity alike", "<!DOCTYPE r [<!ENTITY e '<b>x</b>'>]><r>&e;</r>",
     "<!DOCTYPE r [<!ENTITY E '<B>X</B>'>]><r>&E;</r>", false, Same, Same},
    {"entity name differs", "<!DOCTYPE r [<!ENTITY e 'x'><!ENTITY f 'x'>]><r>&e;</r>",
     "<!DOCTYPE r [<!ENTITY e 'x'><!ENTITY f 'x'>]><r>&f;</r>", false, Different, Different},
    {"entity expansion differs", "<!DOCTYPE r [<!ENTITY e 'x'>]><r>&e;</r>",
     "<!DOCTYPE r [<!ENTITY e 'y'>]><r>&e;</r>", false, Different, Different},
    {"entity against its text", "<!DOCTYPE r [<!ENTITY e 'x'>]><r>&e;</r>",
     "<!DOCTYPE r [<!ENTITY e 'x'>]><r>x</r>", false, Different, Different},
    {"entity children order", "<!DOCTYPE r [<!ENTITY e '<a/><b/>'>]><r>&e;</r>",
     "<!DOCTYPE r [<!ENTITY e '<b/><a/>'>]><r>&e;</r>", false, Different, Same},
    {"entity among siblings", "<!DOCTYPE r [<!ENTITY e 'x'>]><r><z/>&e;</r>",
     "<!DOCTYPE r [<!ENTITY e 'X'>]><r>&e;<z/></r>", false, Different, Same},
    {"entity vs cdata", "<!DOCTYPE r [<!ENTITY e 'x'>]><r><z/>&e;</r>",
     "<!DOCTYPE r [<!ENTITY e 'x'>]><r><![CDATA[x]]><z/></r>", false, Different, Different},
    // An expansion follows the rules of the rest of the document.
    {"entity blanks", "<!DOCTYPE r [<!ENTITY e ' <b> </b>\n'>]><r>&e;</r>",
     "<!DOCTYPE r [<!ENTITY e '<b/>'>]><r>&e;</r>", false, Same, Same},
    {"entity blank only", "<!DOCTYPE r [<!ENTITY e ' '>]><r>&e;</r>",
     "<!DOCTYPE r [<!ENTITY e ''>]><r>&e;</r>", false, Same, Same},
    {"nested entity blanks", "<!DOCTYPE r [<!ENTITY f ' <c/> '><!ENTITY e '<b>&f;</b>'>]><r>&e;</r>",
     "<!DOCTYPE r [<!ENTITY f '<c/>'><!ENTITY e '<b>&f;</b>'>]><r>&e;</r>", false, Same, Same},
    {"entity comment", "<!DOCTYPE r [<!ENTITY e '<!--x--><b/>'>]><r>&e;</r>",
     "<!DOCTYPE r [<!ENTITY e '<b/>'>]><r>&e;</r>", false, Different, Different},
    {"entity comment -c", "<!DOCTYPE r [<!ENTITY e '<!--x--><b/>'>]><r>&e;</r>",
     "<!DOCTYPE r [<!ENTITY e '<b/>'>]><r>&e;</r>", true, Same, Same},
    {"entity split text -c", "<!DOCTYPE r [<!ENTITY e 'a<!--x-->b'>]><r>&e;</r>",
     "<!DOCTYPE r [<!ENTITY e 'ab'>]><r>&e;</r>", true, Different, Different},
    // Prefixes are part of the tag name.
    {"prefix differs", "<r xmlns:p='u' xmlns:q='u'><p:a/></r>",
     "<r xmlns:p='u' xmlns:q='u'><q:a/></r>", false, Different, Different},
    {"prefix case", "<r xmlns:p='u' xmlns:P='u'><p:a/></r>",
     "<r xmlns:p='u' xmlns:P='u'><P:A/></r>", false, Same, Same},
    // Children order.
    {"A,B vs B,A", "<r><a/><b/></r>", "<r><b/><a/></r>", false, Different, Same},
    {"A,A vs A,B", "<r><a/><a/></r>", "<r><a/><b/></r>", false, Different, Different},
    {"A vs A,A", "<r><a/></r>", "<r><a/><a/></r>", false, Different, Different},
    {"A,A,B vs A,B,B", "<r><a/><a/><b/></r>", "<r><a/><b/><b/></r>", false, Different,
     Different},
    {"text and element", "<r>t<a/></r>", "<r><A/>T</r>", false, Different, Same},
    {"nested order", "<r><a><x/><y>1</y></a><b/></r>", "<r><b/><a><y>1</y><x/></a></r>", false,
     Different, Same},
    {"no matching across levels", "<r><a><b/></a></r>", "<r><a/><b/></r>", false, Different,
     Different},
    {"equal twins", "<r><a><x/><y/></a><a><y/><x/></a></r>",
     "<r><a><x/><y/></a><a><x/><y/></a></r>", false, Different, Same},
    {"twins differ deep", "<r><a><x>1</x></a><a><x>2</x></a></r>",
     "<r><a><x>2</x></a><a><x>2</x></a></r>", false, Different, Different},
    {"comments unordered", "<r><!--c--><a/></r>", "<r><a/><!--C--></r>", false, Different, Same},
    // Attributes are paired by name.
    {"attribute map order", "<e a='1' B='2'/>", "<e A='1' b='2'/>", false, Same, Same},
    {"attribute file order", "<e x='1' y='2'/>", "<e y='2' x='1'/>", false, Same, Same},
    {"extra attribute", "<e a='1'/>", "<e a='1' b='2'/>", false, Different, Different},
    {"attribute value differs", "<e a='1' b='2'/>", "<e a='1' b='3'/>", false, Different,
     Different},
    {"attribute value blank", "<e a='1'/>", "<e a=' 1'/>", false, Different, Different},
    {"attribute names swap", "<e a='1' b='2'/>", "<e a='2' b='1'/>", false, Different, Different},
    {"case twins pair", "<e a='1' A='2'/>", "<e a='2' A='1'/>", false, Same, Same},
    {"case twins one-to-one", "<e a='1' A='2'/>", "<e a='1' A='1'/>", false, Different,
     Different},
    {"attribute against child", "<e a='1'/>", "<e><a>1</a></e>", false, Different, Different},
    // Text beyond ASCII, and names, ignoring case.
    {"astral name case", "<r><\xf0\x90\x90\x80 \xc3\x84='\xc3\xa9'/></r>",
     "<r><\xf0\x90\x90\xa8 \xc3\xa4='\xc3\x89'/></r>", false, Same, Same},
    {"astral names unordered", "<r><a/><\xf0\x90\x90\x80>\xf0\x90\x90\x81</\xf0\x90\x90\x80></r>",
     "<r><\xf0\x90\x90\xa8>\xf0\x90\x90\xa9</\xf0\x90\x90\xa8><A/></r>", false, Different,
     Same},
    {"astral letters differ", "<r>\xf0\x90\x90\x80</r>", "<r>\xf0\x90\x90\x81</r>", false,
     Different, Different},
    {"astral against a three-byte letter", "<r>\xf0\x90\x90\x80</r>", "<r>\xed\x90\x80</r>", false,
     Different, Different},
    {"non-ASCII name order", "<r><\xc3\xa9t\xc3\xa9 n='1'/><\xe4\xb8\xad/></r>",
     "<r><\xe4\xb8\xad/><\xc3\x89T\xc3\x89 N='1'/></r>", false, Different, Same},
    {"wide letters differ", "<r>\xe4\xb8\xad\xe6\x96\x87</r>", "<r>\xe4\xb8\xad\xe6\x96\x88</r>",
     false, Different, Different},
    {"kelvin sign in a name", "<r><\xe2\x84\xaa/><a/></r>", "<r><a/><k/></r>", false, Different, Same},
    // Long values, as text, as attribute names and values.
    {"long text case", "<r>" L128 "x</r>", "<r>" U128 "X</r>", false, Same, Same},
    {"long text, one unit more", "<r>" L128 "</r>", "<r>" L128 "a</r>", false, Different,
     Different},
    {"127 units, 129 bytes", "<r>" R8("abcdefghijklmno") "\xc3\xa9</r>",
     "<r>" R8("ABCDEFGHIJKLMNO") "\xc3\x89</r>", false, Same, Same},
    {"very long text differs last", "<r>" L16K "a</r>", "<r>" L16K "b</r>", false, Different,
     Different},
    {"very long texts unordered", "<r><a/>" L16K "</r>", "<r>" L16K "<a/></r>", false, Different,
     Same},
    {"long attribute name", "<e " L128 "='1' b='2'/>", "<e B='2' " U128 "='1'/>", false, Same,
     Same},
    {"long attribute names, values differ", "<e " L128 "='1' b='2'/>", "<e b='2' " U128 "='2'/>",
     false, Different, Different},
    {"very long attribute value", "<e a='" L16K "' b='1'/>", "<e b='1' A='" L16K "'/>", false,
     Same, Same},
    // Empty values.
    {"empty attribute value", "<e a=''/>", "<e a='x'/>", false, Different, Different},
    {"empty attribute against none", "<e a=''/>", "<e/>", false, Different, Different},
    {"empty values alike", "<e a='' B=''/>", "<e b='' A=''/>", false, Same, Same},
    {"empty values unordered", "<r><e a=''/><e b=''/></r>", "<r><e B=''/><e A=''/></r>", false,
     Different, Same},
    {"empty pi data", "<r><?p?></r>", "<r><?p x?></r>", false, Different, Different},
    {"empty pi data alike", "<r><?P?></r>", "<r><?p ?></r>", false, Same, Same},
    {"empty comment", "<r><!----></r>", "<r><!-- --></r>", false, Different, Different},
    {"empty comment against none", "<r><!----></r>", "<r/>", false, Different, Different},
    {"empty comments unordered", "<r><!----><a/></r>", "<r><a/><!----></r>", false, Different,
     Same},
    {"empty cdata", "<r><![CDATA[]]></r>", "<r/>", false, Different, Different},
};

TEST_F(CompareTest, PairsOfDocuments) {
    for (const auto& c : kPairCases) {
        SCOPED_TRACE(c.name);
        for (bool swap : {false, true}) {
            const std::string first = swap ? c.second : c.first;
            const std::string second = swap ? c.first : c.second;
            SCOPED_TRACE(swap ? "swapped" : "as written");
            EXPECT_EQ(compareText(first, second, {c.ignoreComments, false}), c.inOrder == Same);
            EXPECT_EQ(compareByEvents(first, second, c.ignoreComments), c.inOrder == Same);
            for (std::size_t chunk : {1, 3, 16384})
                EXPECT_EQ(compareByStreams(first, second, c.ignoreComments, chunk),
                          c.inOrder == Same) << "in chunks of " << chunk;
            EXPECT_EQ(compareByEvents(first, second, c.ignoreComments, true), c.unordered == Same);
            // Without folding, digests collide on purpose and the exact class ids decide.
            EXPECT_EQ(compareByEvents(first, second, c.ignoreComments, true, false),
                      c.unordered == Same);
            EXPECT_EQ(compareText(first, second, {c.ignoreComments, true}), c.unordered == Same);
            EXPECT_EQ(compareUnorderedPairwise(first, second, c.ignoreComments),
                      c.unordered == Same);
            if (hasProlog(first) || hasProlog(second)) continue;
            // The same pair behind a sibling placed first in one and last in the other.
            const std::string wrappedFirst = "<w><zz/>" + first + "</w>";
            const std::string wrappedSecond = "<w>" + second + "<zz/></w>";
            EXPECT_EQ(compareText(wrappedFirst, wrappedSecond, {c.ignoreComments, true}),
                      c.unordered == Same);
            EXPECT_EQ(compareByEvents(wrappedFirst, wrappedSecond, c.ignoreComments, true),
                      c.unordered == Same);
        }
    }
}

TEST_F(CompareTest, FileComparesEqualToItsCopy) {
    const std::string xml =
        "<?xml version='1.0'?><!DOCTYPE r [<!ENTITY e '<i a=\"1\">t</i>'>]>"
        "<r xmlns:p='u'><p:a b='1' c='2'>text &e; <![CDATA[c]]><?p d?><!--c--></p:a>&e;</r>";
    for (bool ignoreComments : {false, true}) {
        for (bool ignoreOrder : {false, true}) {
            EXPECT_TRUE(compareText(xml, xml, {ignoreComments, ignoreOrder}));
        }
    }
}

TEST_F(CompareTest, DocumentsWithoutDocumentElement) {
    Doc a("<r/>"), b("<r/>"), c("<s/>");
    Quennel quennel;
    EXPECT_TRUE(quennel.compareNodes(a.document(), b.document()));
    EXPECT_FALSE(quennel.compareNodes(a.document(), c.document()));
    EXPECT_FALSE(quennel.compareNodes(a.document(), a.root()));
    // As left by -i removing the document element.
    b.document()->removeChild(b.root());
    EXPECT_FALSE(quennel.compareNodes(a.document(), b.document()));
    c.document()->removeChild(c.root());
    EXPECT_TRUE(quennel.compareNodes(b.document(), c.document()));
}

TEST_F(CompareTest, AttributeMapsByName) {
    Doc a("<r><e a='1' B='2'/><e A='1' b='2'/><e a='1' b='2' c=''/></r>");
    DOMNode* first = a.root()->getFirstChild();
    DOMNode* second = first->getNextSibling();
    DOMNode* third = second->getNextSibling();
    Quennel quennel;
    EXPECT_TRUE(quennel.compareAttributes(first->getAttributes(), second->getAttributes()));
    EXPECT_FALSE(quennel.compareAttributes(first->getAttributes(), third->getAttributes()));
    EXPECT_FALSE(quennel.compareAttributes(a.root()->getAttributes(), first->getAttributes()));
    EXPECT_TRUE(quennel.compareAttributes(a.root()->getAttributes(), a.root()->getAttributes()));
}

// A chain of nested elements with a whitespace text at every level and a text at the bottom.
DOMElement* buildChain(const BuiltDoc& doc, int depth, const std::u16string& leaf) {
    DOMElement* top = doc.element("a");
    DOMElement* current = top;
    for (int i = 1; i < depth; ++i) {
        current->appendChild(doc.text(u"\n "));
        DOMElement* next = doc.element(i % 2 ? "b" : "A");
        current->appendChild(next);
        current = next;
    }
    current->appendChild(doc.text(leaf));
    return top;
}

TEST_F(LargeTreeTest, HundredThousandLevelsDeep) {
    constexpr int kDepth = 100000;
    struct Case {
        std::u16string leaf;
        int depth;
        bool siblingFirst;
        Verdict inOrder, unordered;
    };
    const Case cases[] = {
        {u"X", kDepth, false, Same, Same},
        {u"y", kDepth, false, Different, Different},
        {u"x", kDepth + 1, false, Different, Different},
        {u"x", kDepth, true, Different, Same},
    };
    for (const auto& c : cases) {
        // Each side: root(chain, z), the second side possibly as root(z, chain).
        BuiltDoc first, second;
        DOMElement* root1 = first.element("r");
        first.document()->appendChild(root1);
        root1->appendChild(buildChain(first, kDepth, u"x"));
        root1->appendChild(first.element("z"));
        DOMElement* root2 = second.element("r");
        second.document()->appendChild(root2);
        if (c.siblingFirst) root2->appendChild(second.element("z"));
        root2->appendChild(buildChain(second, c.depth, c.leaf));
        if (!c.siblingFirst) root2->appendChild(second.element("z"));
        EXPECT_EQ(compareDocs(first.document(), second.document(), {false, false}),
                  c.inOrder == Same);
        EXPECT_EQ(compareDocs(first.document(), second.document(), {false, true}),
                  c.unordered == Same);
        EXPECT_EQ(compareDocs(second.document(), first.document(), {false, true}),
                  c.unordered == Same);
    }
}

// An element with n children, each an element holding an attribute and a text.
DOMElement* buildWide(const BuiltDoc& doc, int n, bool reversed, int changed) {
    DOMElement* root = doc.element("r");
    doc.document()->appendChild(root);
    for (int k = 0; k < n; ++k) {
        const int i = reversed ? n - 1 - k : k;
        DOMElement* child = doc.element(i % 3 ? "item" : "ITEM");
        doc.setAttribute(child, "n", std::to_string(i % 1000));
        const std::string value = std::to_string(i == changed ? i + 1 : i);
        child->appendChild(doc.text(u16(value)));
        root->appendChild(child);
        root->appendChild(doc.text(u"\n"));
    }
    return root;
}

TEST_F(LargeTreeTest, HundredThousandChildren) {
    constexpr int kCount = 100000;
    struct Case {
        bool reversed;
        int changed;
        Verdict inOrder, unordered;
    };
    const Case cases[] = {
        {false, -1, Same, Same},
        {true, -1, Different, Same},
        {true, 500, Different, Different},
        {false, kCount - 1, Different, Different},
    };
    for (const auto& c : cases) {
        BuiltDoc first, second;
        buildWide(first, kCount, false, -1);
        buildWide(second, kCount, c.reversed, c.changed);
        EXPECT_EQ(compareDocs(first.document(), second.document(), {false, false}),
                  c.inOrder == Same);
        EXPECT_EQ(compareDocs(first.document(), second.document(), {false, true}),
                  c.unordered == Same);
    }
}

// The same shapes as text, through the event logs: digests, pairing and the exact fallback.
TEST_F(LargeTreeTest, HundredThousandChildrenAsEvents) {
    constexpr int kCount = 100000;
    const auto wide = [](bool reversed, int changed) {
        std::string xml = "<r>";
        for (int k = 0; k < kCount; ++k) {
            const int i = reversed ? kCount - 1 - k : k;
            xml += "<e n='" + std::to_string(i % 7) + "'><v>" +
                   std::to_string(i == changed ? -i : i) + "</v>Text</e>";
        }
        return xml + "</r>";
    };
    const std::string first = wide(false, -1);
    EXPECT_TRUE(compareByEvents(first, wide(true, -1), false, true));
    EXPECT_FALSE(compareByEvents(first, wide(true, -1), false, false));
    EXPECT_FALSE(compareByEvents(first, wide(true, 500), false, true));
    EXPECT_FALSE(compareByEvents(first, wide(false, kCount - 1), false, true));
}

TEST_F(LargeTreeTest, HundredThousandIdenticalChildrenButOne) {
    // A,A,...,A against A,...,A,B: every A matches, so only one-to-one pairing finds B alone.
    constexpr int kCount = 100000;
    BuiltDoc first, second;
    DOMElement* root1 = first.element("r");
    DOMElement* root2 = second.element("r");
    first.document()->appendChild(root1);
    second.document()->appendChild(root2);
    for (int i = 0; i < kCount; ++i) {
        root1->appendChild(first.element("a"));
        root2->appendChild(second.element(i == 0 ? "b" : "a"));
    }
    EXPECT_FALSE(compareDocs(first.document(), second.document(), {false, true}));
    EXPECT_FALSE(compareDocs(second.document(), first.document(), {false, true}));
}

TEST_F(LargeTreeTest, HundredThousandAttributes) {
    constexpr int kCount = 100000;
    struct Case {
        bool upperNames;  // changes the order of the attribute map
        int changed;
        Verdict verdict;
    };
    const Case cases[] = {
        {false, -1, Same},
        {true, -1, Same},
        {true, 777, Different},
    };
    // Building the DOM dominates here (the library pools every name), so the first side is
    // built once.
    BuiltDoc first;
    DOMElement* e1 = first.element("e");
    first.document()->appendChild(e1);
    for (int i = 0; i < kCount; ++i)
        first.setAttribute(e1, "n" + std::to_string(i), "v" + std::to_string(i));
    for (const auto& c : cases) {
        BuiltDoc second;
        DOMElement* e2 = second.element("e");
        second.document()->appendChild(e2);
        for (int i = 0; i < kCount; ++i) {
            std::string name = "n" + std::to_string(i);
            if (c.upperNames && i % 2) name[0] = 'N';
            second.setAttribute(e2, name, "V" + std::to_string(i == c.changed ? 0 : i));
        }
        for (bool ignoreOrder : {false, true}) {
            EXPECT_EQ(compareDocs(first.document(), second.document(), {false, ignoreOrder}),
                      c.verdict == Same);
        }
    }
}

}  // namespace
