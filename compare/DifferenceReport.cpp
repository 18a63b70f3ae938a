#include "compare/DifferenceReport.h"

#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/util/XMLString.hpp>

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

// Text and CDATA count as one kind; other kinds count by their name.
int kindGroup(const DOMNode* node) {
    const DOMNode::NodeType type = node->getNodeType();
    return isTextLike(type) ? DOMNode::TEXT_NODE : type;
}

std::size_t positionOf(const DOMNode* node, SiblingPositions* known) {
    if (!known) {
        std::size_t position = 1;
        for (const DOMNode* s = node->getPreviousSibling(); s; s = s->getPreviousSibling())
            if (sameKind(s, node)) ++position;
        return position;
    }
    const auto found = known->position.find(node);
    if (found != known->position.end()) return found->second;
    std::map<std::pair<int, std::u16string>, std::size_t> counts;
    for (const DOMNode* s = node->getParentNode()->getFirstChild(); s; s = s->getNextSibling()) {
        const bool named = s->getNodeType() == DOMNode::ELEMENT_NODE ||
                           s->getNodeType() == DOMNode::PROCESSING_INSTRUCTION_NODE ||
                           s->getNodeType() == DOMNode::ENTITY_REFERENCE_NODE;
        known->position[s] = ++counts[{kindGroup(s), named ? s->getNodeName() : u""}];
    }
    return known->position.at(node);
}

std::string stepOf(const DOMNode* node, SiblingPositions* known) {
    const std::string index = "[" + std::to_string(positionOf(node, known)) + "]";
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

const char* kindOf(const DOMNode* node) {
    switch (node->getNodeType()) {
        case DOMNode::ELEMENT_NODE:
            return "element";
        case DOMNode::ATTRIBUTE_NODE:
            return "attribute";
        case DOMNode::TEXT_NODE:
            return "text";
        case DOMNode::CDATA_SECTION_NODE:
            return "cdata";
        case DOMNode::COMMENT_NODE:
            return "comment";
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
            return "processing-instruction";
        case DOMNode::ENTITY_REFERENCE_NODE:
            return "entity-reference";
        default:
            return "node";
    }
}

// The nearest element at or above node that has a recorded position: attributes and character
// data stand at their element's place.
void place(const DOMNode* node, const SourcePositions* positions, ListedSide& side) {
    if (!positions) return;
    for (; node; node = parentOf(node)) {
        const auto found = positions->find(node);
        if (found != positions->end()) {
            side.placed = true;
            side.line = found->second.line;
            side.column = found->second.column;
            return;
        }
    }
}

ListedSide listSide(const DifferenceSide& side, const SourcePositions* positions) {
    ListedSide out;
    place(side.node, positions, out);
    if (side.kind == DifferenceSide::Nothing) {
        out.kind = "nothing";
        out.what = "nothing";
        return out;
    }
    const DOMNode* node = side.node;
    out.kind = kindOf(node);
    out.what = nodeDescription(node);
    switch (node->getNodeType()) {
        case DOMNode::ELEMENT_NODE:
        case DOMNode::ENTITY_REFERENCE_NODE:
            out.hasName = true;
            out.name = utf8(node->getNodeName());
            break;
        case DOMNode::ATTRIBUTE_NODE:
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
            out.hasName = true;
            out.name = utf8(node->getNodeName());
            out.hasValue = true;
            out.value = utf8(node->getNodeValue());
            break;
        default:
            out.hasValue = true;
            out.value = utf8(node->getNodeValue());
            break;
    }
    return out;
}

std::string sideLine(const ListedSide& side, const std::string& name) {
    std::string line = "\n    " + name;
    if (side.placed) line += ":" + std::to_string(side.line) + ":" + std::to_string(side.column);
    return line + ": " + side.what;
}

}  // namespace

std::string pathOf(const DOMNode* node, SiblingPositions* known) {
    std::vector<std::string> steps;
    if (node->getNodeType() == DOMNode::ATTRIBUTE_NODE) {
        steps.push_back("@" + utf8(node->getNodeName()));
        node = parentOf(node);
    }
    for (; node && node->getNodeType() != DOMNode::DOCUMENT_NODE; node = node->getParentNode()) {
        const DOMNode* parent = node->getParentNode();
        const bool top = !parent || parent->getNodeType() == DOMNode::DOCUMENT_NODE;
        steps.push_back(top ? utf8(node->getNodeName()) : stepOf(node, known));
    }
    std::string path;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) path += "/" + *step;
    return path;
}

ListedDifference listDifference(const Difference& difference,
                                const SourcePositions* originalPositions,
                                const SourcePositions* comparePositions,
                                SiblingPositions* known) {
    return {pathOf(difference.located, known), listSide(difference.original, originalPositions),
            listSide(difference.compare, comparePositions)};
}

std::string describeDifference(const ListedDifference& difference, const std::string& heading,
                               const std::string& originalName, const std::string& compareName) {
    return "\n ** " + heading + ": " + difference.path + sideLine(difference.original, originalName) +
           sideLine(difference.compare, compareName);
}
