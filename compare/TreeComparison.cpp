#include <tuple>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/util/XMLString.hpp>

#include "compare/NodeContent.h"
#include "compare/Quennel.h"
#include "compare/SubtreeClasses.h"
#include "input/EventLog.h"
#include "output/WritableExpansion.h"

using namespace xercesc;

namespace {

const DOMNode* documentElement(const DOMNode* document) {
    return static_cast<const DOMDocument*>(document)->getDocumentElement();
}

}  // namespace

bool Quennel::isIgnorable(DOMNode* node) const {
    switch (node->getNodeType()) {
        case DOMNode::TEXT_NODE: {
            const XMLCh* value = node->getNodeValue();
            return !value || EventLog::isBlank(value, XMLString::stringLen(value));
        }
        case DOMNode::COMMENT_NODE:
            return ignoreComments;
        default:
            return false;
    }
}

// Depth first over element and entity reference children only, by sibling links and a stack of
// open nodes (no recursion, and no getParentNode, which costs a dynamic_cast in Xerces). Texts
// that become neighbours are left apart. An expansion is stripped like the rest: the tree is
// never saved, so its read-only nodes may change.
void Quennel::stripIgnorable(DOMNode* node) {
    if (node->getNodeType() == DOMNode::DOCUMENT_NODE)
        node = static_cast<DOMDocument*>(node)->getDocumentElement();
    if (!node || node->getNodeType() != DOMNode::ELEMENT_NODE) return;
    std::vector<DOMNode*> open{node};
    std::size_t references = 0;  // entity references among the open nodes
    DOMNode* child = node->getFirstChild();
    for (;;) {
        while (child) {
            DOMNode* const next = child->getNextSibling();
            const DOMNode::NodeType type = child->getNodeType();
            if (isIgnorable(child)) {
                open.back()->removeChild(child);
            } else if (type == DOMNode::ELEMENT_NODE || type == DOMNode::ENTITY_REFERENCE_NODE) {
                if (type == DOMNode::ENTITY_REFERENCE_NODE && references++ == 0)
                    makeExpansionWritable(child);
                open.push_back(child);
                child = child->getFirstChild();
                continue;
            }
            child = next;
        }
        child = open.back()->getNextSibling();
        if (open.back()->getNodeType() == DOMNode::ENTITY_REFERENCE_NODE) --references;
        open.pop_back();
        if (open.empty()) return;
    }
}

int Quennel::compareDocuments() { return compareNodes(originalRoot, compareRoot) ? 0 : 1; }

bool Quennel::compareNodes(DOMNode* a, DOMNode* b) {
    const DOMNode* x = a;
    const DOMNode* y = b;
    if (x && x->getNodeType() == DOMNode::DOCUMENT_NODE) {
        if (!y || y->getNodeType() != DOMNode::DOCUMENT_NODE) return false;
        // -i may have removed a document element: two empty documents are alike.
        x = documentElement(x);
        y = documentElement(y);
    }
    if (!x || !y) return x == y;
    if (compareInOrder(x, y)) return true;
    // Same order is one valid pairing; only a failed walk needs the class ids.
    return ignoreOrder && compareUnordered(x, y);
}

bool Quennel::compareElements(DOMElement* a, DOMElement* b) { return compareNodes(a, b); }

bool Quennel::compareAttributes(DOMNamedNodeMap* a, DOMNamedNodeMap* b) {
    return NodeContent(folding()).attributesEqual(a, b);
}

bool Quennel::compareText(DOMNode* a, DOMNode* b) {
    return folding().equal(a->getNodeValue(), b->getNodeValue());
}

bool Quennel::compareComments(DOMNode* a, DOMNode* b) { return compareText(a, b); }

CaseFolding& Quennel::folding() {
    if (!caseFolding) caseFolding = std::make_unique<CaseFolding>();
    return *caseFolding;
}

// Parallel walk of both subtrees over child and sibling links, with a stack of open pairs.
bool Quennel::compareInOrder(const DOMNode* a, const DOMNode* b) {
    NodeContent content(folding());
    if (!content.equal(a, b)) return false;
    std::vector<std::pair<const DOMNode*, const DOMNode*>> open;
    for (;;) {
        const DOMNode* childA = a->getFirstChild();
        const DOMNode* childB = b->getFirstChild();
        if (childA || childB) {
            if (!childA || !childB || !content.equal(childA, childB)) return false;
            open.emplace_back(a, b);
            a = childA;
            b = childB;
            continue;
        }
        for (;;) {
            if (open.empty()) return true;
            const DOMNode* nextA = a->getNextSibling();
            const DOMNode* nextB = b->getNextSibling();
            if (nextA || nextB) {
                if (!nextA || !nextB || !content.equal(nextA, nextB)) return false;
                a = nextA;
                b = nextB;
                break;
            }
            std::tie(a, b) = open.back();
            open.pop_back();
        }
    }
}

bool Quennel::compareUnordered(const DOMNode* a, const DOMNode* b) {
    NodeContent content(folding());
    SubtreeClasses classes(content);
    const std::uint32_t id = classes.add(a);
    return classes.find(b) == id;
}
