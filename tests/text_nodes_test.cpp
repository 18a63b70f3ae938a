// A text the scanner delivers in pieces must still become exactly the nodes the document holds.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "TestSupport.h"
#include "input/DocumentLoader.h"
#include "input/XercesLibrary.h"
#include "support/Utf8.h"

using namespace xercesc;

namespace {

// The children of a node as "kind:value" strings, entity references with their expansion.
std::string describe(const DOMNode* node) {
    std::string out;
    for (const DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling()) {
        switch (c->getNodeType()) {
            case DOMNode::TEXT_NODE: out += "T:" + encodeUtf8(c->getNodeValue()); break;
            case DOMNode::CDATA_SECTION_NODE: out += "C:" + encodeUtf8(c->getNodeValue()); break;
            case DOMNode::COMMENT_NODE: out += "!:" + encodeUtf8(c->getNodeValue()); break;
            case DOMNode::ELEMENT_NODE: out += "E:" + encodeUtf8(c->getNodeName()) + "{" + describe(c) + "}"; break;
            case DOMNode::ENTITY_REFERENCE_NODE: out += "&:" + encodeUtf8(c->getNodeName()) + "{" + describe(c) + "}"; break;
            case DOMNode::PROCESSING_INSTRUCTION_NODE: out += "?:" + encodeUtf8(c->getNodeName()); break;
            default: out += "?"; break;
        }
        out += "|";
    }
    return out;
}

struct TextCase {
    const char* name;
    std::string document;
    std::string children;  // of the document element
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class TextNodes : public testing::TestWithParam<TextCase> {
protected:
    void SetUp() override { ASSERT_TRUE(initializeXerces()); }
    void TearDown() override {
        delete parser;
        terminateXerces();
    }
    XercesDOMParser* parser = nullptr;
};

TEST_P(TextNodes, AreBuiltOnceWithTheWholeValue) {
    TempDir dir;
    const I18NString path(dir.write("t.xml", GetParam().document).c_str(), nullptr, -1, nullptr,
                          nullptr);
    DOMNode* root = loadDocument(&path, &parser, false);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(describe(static_cast<DOMDocument*>(root)->getDocumentElement()),
              GetParam().children);
}

const std::string kLong = [] {
    std::string s;
    for (int i = 0; i < 20000; ++i) s += "piece " + std::to_string(i) + " &amp; &#233; ";
    return s;
}();
const std::string kLongValue = [] {
    std::string s;
    for (int i = 0; i < 20000; ++i) s += "piece " + std::to_string(i) + " & \xC3\xA9 ";
    return s;
}();

INSTANTIATE_TEST_SUITE_P(
    Documents, TextNodes,
    testing::Values(
        TextCase{"References", "<r>a &amp; b &lt;c&gt; &#233;&#x10400; d</r>",
                 "T:a & b <c> \xC3\xA9\xF0\x90\x90\x80 d|"},
        TextCase{"LongerThanTheScannerBuffer", "<r>" + kLong + "</r>", "T:" + kLongValue + "|"},
        TextCase{"CdataStaysApart", "<r>a&amp;<![CDATA[b&amp;]]>c&amp;</r>",
                 "T:a&|C:b&amp;|T:c&|"},
        TextCase{"AroundChildrenAndComments", "<r>x&amp;<e>y&lt;</e>z<!--c-->w&#65;<?p d?>v</r>",
                 "T:x&|E:e{T:y<|}|T:z|!:c|T:wA|?:p|T:v|"},
        TextCase{"EntityExpansionIsItsOwnText",
                 "<!DOCTYPE r [<!ELEMENT r ANY><!ENTITY e 'in &#38;amp; out'>]><r>pre&amp; &e; post&lt;</r>",
                 "T:pre& |&:e{T:in & out|}|T: post<|"},
        TextCase{"NestedEntities",
                 "<!DOCTYPE r [<!ELEMENT r ANY><!ELEMENT x ANY><!ENTITY i 'I'><!ENTITY o 'a&i;b<x>c&i;</x>'>]><r>&o;&o;</r>",
                 "&:o{T:a|&:i{T:I|}|T:b|E:x{T:c|&:i{T:I|}|}|}|&:o{T:a|&:i{T:I|}|T:b|E:x{T:c|&:i{T:I|}|}|}|"}));

}  // namespace
