#include "compare/DifferenceReport.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/util/XMLString.hpp>

#include "compare/Quennel.h"
#include "support/Utf8.h"

using namespace xercesc;

namespace {

constexpr std::size_t kShownCharacters = 60;

std::string utf8(const XMLCh* text) { return text ? encodeUtf8(text) : std::string(); }

bool isTextLike(DOMNode::NodeType type) {
    return type == DOMNode::TEXT_NODE || type == DOMNode::CDATA_SECTION_NODE;
}

// Text and CDATA count together, as XPath's text() does; named kinds count by name.
bool sameKind(const DOMNode* x, const DOMNode* y) {
    const DOMNode::NodeType type = x->getNodeType();
    if (isTextLike(type)) return isTextLike(y->getNodeType());
    if (type != y->getNodeType()) return false;
    switch (type) {
        case DOMNode::ELEMENT_NODE:
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
        case DOMNode::ENTITY_REFERENCE_NODE:
            return XMLString::equals(x->getNodeName(), y->getNodeName());
        default:
            return true;
    }
}

std::string stepOf(const DOMNode* node) {
    std::size_t position = 1;
    for (const DOMNode* s = node->getPreviousSibling(); s; s = s->getPreviousSibling())
        if (sameKind(s, node)) ++position;
    const std::string index = "[" + std::to_string(position) + "]";
    switch (node->getNodeType()) {
        case DOMNode::ELEMENT_NODE:
            return utf8(node->getNodeName()) + index;
        case DOMNode::TEXT_NODE:
        case DOMNode::CDATA_SECTION_NODE:
            return "text()" + index;
        case DOMNode::COMMENT_NODE:
            return "comment()" + index;
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
            return "processing-instruction('" + utf8(node->getNodeName()) + "')" + index;
        case DOMNode::ENTITY_REFERENCE_NODE:
            return "entity-reference('" + utf8(node->getNodeName()) + "')" + index;
        default:
            return "node()" + index;
    }
}

const DOMNode* parentOf(const DOMNode* node) {
    if (node->getNodeType() == DOMNode::ATTRIBUTE_NODE)
        return static_cast<const DOMAttr*>(node)->getOwnerElement();
    return node->getParentNode();
}

// At most kShownCharacters characters, control characters spelled out so that the report
// keeps one line per file.
std::string shown(const XMLCh* value) {
    std::u16string out;
    std::size_t characters = 0;
    const XMLCh* p = value ? value : u"";
    for (; *p && characters < kShownCharacters; ++p, ++characters) {
        const char16_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            out += c;
            out += *++p;
        } else if (c == u'\n') {
            out += u"\\n";
        } else if (c == u'\r') {
            out += u"\\r";
        } else if (c == u'\t') {
            out += u"\\t";
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            out.append(escape, escape + 4);
        } else {
            out += c;
        }
    }
    return "\"" + encodeUtf8(out) + (*p ? "...\"" : "\"");
}

std::string nodeDescription(const DOMNode* node) {
    switch (node->getNodeType()) {
        case DOMNode::ELEMENT_NODE:
            return "element <" + utf8(node->getNodeName()) + ">";
        case DOMNode::ATTRIBUTE_NODE:
            return "attribute " + utf8(node->getNodeName()) + "=" + shown(node->getNodeValue());
        case DOMNode::TEXT_NODE:
            return "text " + shown(node->getNodeValue());
        case DOMNode::CDATA_SECTION_NODE:
            return "CDATA section " + shown(node->getNodeValue());
        case DOMNode::COMMENT_NODE:
            return "comment " + shown(node->getNodeValue());
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
            return "processing instruction " + utf8(node->getNodeName()) + " " +
                   shown(node->getNodeValue());
        case DOMNode::ENTITY_REFERENCE_NODE:
            return "entity reference &" + utf8(node->getNodeName()) + ";";
        default:
            return "node " + utf8(node->getNodeName());
    }
}

std::string sideDescription(const DifferenceSide& side) {
    switch (side.kind) {
        case DifferenceSide::Node:
            return nodeDescription(side.node);
        case DifferenceSide::NoMatch:
            return "no match in " + nodeDescription(side.node);
        case DifferenceSide::Nothing:
        default:
            return "nothing";
    }
}

// ":line:column" of the nearest element at or above node that has a recorded position:
// attributes and character data stand at their element's place.
std::string placeOf(const DOMNode* node, const SourcePositions* positions) {
    if (!positions) return "";
    for (; node; node = parentOf(node)) {
        const auto found = positions->find(node);
        if (found != positions->end())
            return ":" + std::to_string(found->second.line) + ":" +
                   std::to_string(found->second.column);
    }
    return "";
}

std::string sideLine(const DifferenceSide& side, const DifferenceFile& file) {
    return "\n    " + std::string(file.name) + placeOf(side.node, file.positions) + ": " +
           sideDescription(side);
}

}  // namespace

std::string pathOf(const DOMNode* node) {
    std::vector<std::string> steps;
    if (node->getNodeType() == DOMNode::ATTRIBUTE_NODE) {
        steps.push_back("@" + utf8(node->getNodeName()));
        node = parentOf(node);
    }
    for (; node && node->getNodeType() != DOMNode::DOCUMENT_NODE; node = node->getParentNode()) {
        const DOMNode* parent = node->getParentNode();
        const bool top = !parent || parent->getNodeType() == DOMNode::DOCUMENT_NODE;
        steps.push_back(top ? utf8(node->getNodeName()) : stepOf(node));
    }
    std::string path;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) path += "/" + *step;
    return path;
}

std::string describeDifference(const FirstDifference& difference, const DifferenceFile& original,
                               const DifferenceFile& compare) {
    return "\n ** First difference: " + pathOf(difference.located) +
           sideLine(difference.original, original) + sideLine(difference.compare, compare);
}

void Quennel::prepareParsers(XercesDOMParser** original, XercesDOMParser** compare) const {
    if (!verbose) return;
    for (XercesDOMParser** slot : {original, compare}) {
        if (*slot) continue;
        auto parser = std::make_unique<QelDOMParser>();
        parser->setRecordPositions(true);
        *slot = parser.release();  // the slot's owner deletes it, as any loaded parser
    }
}

void Quennel::reportFirstDifference(const I18NString& original,
                                    const XercesDOMParser* originalParser,
                                    const I18NString& compare,
                                    const XercesDOMParser* compareParser) {
    const auto positionsOf = [](const XercesDOMParser* parser) -> const SourcePositions* {
        const auto* own = dynamic_cast<const QelDOMParser*>(parser);
        return own ? &own->positions() : nullptr;
    };
    std::string block;
    try {
        DifferenceFinder finder(folding(), ignoreOrder);
        const std::optional<FirstDifference> found = finder.find(originalRoot, compareRoot);
        if (!found) return;
        // Names as typed, like the progress lines.
        const std::string originalName = original.toBytes(nullptr, nullptr, nullptr, nullptr);
        const std::string compareName = compare.toBytes(nullptr, nullptr, nullptr, nullptr);
        block = describeDifference(*found, {originalName.c_str(), positionsOf(originalParser)},
                                   {compareName.c_str(), positionsOf(compareParser)});
    } catch (...) {
        return;
    }
    std::cout << block;
}
