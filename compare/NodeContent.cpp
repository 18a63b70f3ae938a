#include "compare/NodeContent.h"

#include <algorithm>

#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/dom/DOMProcessingInstruction.hpp>

using namespace xercesc;

namespace {

const XMLCh* attributeName(const DOMNode* attribute) { return attribute->getNodeName(); }
const XMLCh* attributeValue(const DOMNode* attribute) { return attribute->getNodeValue(); }

XMLSize_t lengthOf(const DOMNamedNodeMap* map) { return map ? map->getLength() : 0; }

}  // namespace

bool NodeContent::comparable(const DOMNode* node) {
    switch (node->getNodeType()) {
        case DOMNode::ELEMENT_NODE:
        case DOMNode::TEXT_NODE:
        case DOMNode::CDATA_SECTION_NODE:
        case DOMNode::ENTITY_REFERENCE_NODE:
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
        case DOMNode::COMMENT_NODE:
            return true;
        default:
            return false;
    }
}

bool NodeContent::equal(const DOMNode* a, const DOMNode* b) {
    const DOMNode::NodeType type = a->getNodeType();
    if (type != b->getNodeType()) return false;
    switch (type) {
        case DOMNode::ELEMENT_NODE:
            return folding_.equal(a->getNodeName(), b->getNodeName()) &&
                   attributesEqual(a->getAttributes(), b->getAttributes());
        case DOMNode::TEXT_NODE:
        case DOMNode::CDATA_SECTION_NODE:
        case DOMNode::COMMENT_NODE:
            return folding_.equal(a->getNodeValue(), b->getNodeValue());
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
            return folding_.equal(static_cast<const DOMProcessingInstruction*>(a)->getTarget(),
                                  static_cast<const DOMProcessingInstruction*>(b)->getTarget()) &&
                   folding_.equal(static_cast<const DOMProcessingInstruction*>(a)->getData(),
                                  static_cast<const DOMProcessingInstruction*>(b)->getData());
        case DOMNode::ENTITY_REFERENCE_NODE:
            return folding_.equal(a->getNodeName(), b->getNodeName());
        default:
            return false;
    }
}

bool NodeContent::attributesEqual(const DOMNamedNodeMap* a, const DOMNamedNodeMap* b) {
    const XMLSize_t count = lengthOf(a);
    if (count != lengthOf(b)) return false;
    // Same attributes at the same positions is the usual case and already a valid pairing.
    XMLSize_t i = 0;
    while (i < count && folding_.equal(attributeName(a->item(i)), attributeName(b->item(i))) &&
           folding_.equal(attributeValue(a->item(i)), attributeValue(b->item(i))))
        ++i;
    return i == count || attributesEqualUnordered(a, b, count);
}

void NodeContent::sortedAttributes(const DOMNamedNodeMap* map, XMLSize_t count,
                                   std::vector<const DOMNode*>& out) {
    out.clear();
    out.reserve(count);
    for (XMLSize_t i = 0; i < count; ++i) out.push_back(map->item(i));
    std::sort(out.begin(), out.end(), [this](const DOMNode* x, const DOMNode* y) {
        const int byName = folding_.compare(attributeName(x), attributeName(y));
        if (byName != 0) return byName < 0;
        return folding_.compare(attributeValue(x), attributeValue(y)) < 0;
    });
}

// Equality ignoring case is an equivalence, so a one-to-one pairing exists exactly when both
// sides sort to the same sequence (or, pairwise, when greedy matching succeeds).
bool NodeContent::attributesEqualUnordered(const DOMNamedNodeMap* a, const DOMNamedNodeMap* b,
                                           XMLSize_t count) {
    if (folding_.trusted()) {
        std::vector<const DOMNode*> left, right;
        sortedAttributes(a, count, left);
        sortedAttributes(b, count, right);
        for (XMLSize_t i = 0; i < count; ++i) {
            if (!folding_.equal(attributeName(left[i]), attributeName(right[i])) ||
                !folding_.equal(attributeValue(left[i]), attributeValue(right[i])))
                return false;
        }
        return true;
    }
    std::vector<bool> used(count, false);
    for (XMLSize_t i = 0; i < count; ++i) {
        const DOMNode* x = a->item(i);
        XMLSize_t j = 0;
        while (j < count && (used[j] || !folding_.equal(attributeName(x), attributeName(b->item(j))) ||
                             !folding_.equal(attributeValue(x), attributeValue(b->item(j)))))
            ++j;
        if (j == count) return false;
        used[j] = true;
    }
    return true;
}

std::uint64_t NodeContent::hash(const DOMNode* node) {
    const DOMNode::NodeType type = node->getNodeType();
    std::uint64_t h = CaseFolding::mix(static_cast<std::uint64_t>(type));
    if (!folding_.trusted()) {
        // Without a trusted fold only what equal() keeps exactly may enter the hash.
        const DOMNamedNodeMap* attributes = node->getAttributes();
        return type == DOMNode::ELEMENT_NODE ? CaseFolding::mix(h + lengthOf(attributes)) : h;
    }
    switch (type) {
        case DOMNode::ELEMENT_NODE: {
            h = folding_.hash(node->getNodeName(), h);
            // Order-independent: a sum of one hash per attribute.
            const DOMNamedNodeMap* attributes = node->getAttributes();
            const XMLSize_t count = lengthOf(attributes);
            std::uint64_t sum = 0;
            for (XMLSize_t i = 0; i < count; ++i) {
                const DOMNode* attribute = attributes->item(i);
                sum += CaseFolding::mix(folding_.hash(attributeValue(attribute),
                                         folding_.hash(attributeName(attribute), 0)));
            }
            return CaseFolding::mix(h ^ CaseFolding::mix(sum + count));
        }
        case DOMNode::TEXT_NODE:
        case DOMNode::CDATA_SECTION_NODE:
        case DOMNode::COMMENT_NODE:
            return folding_.hash(node->getNodeValue(), h);
        case DOMNode::PROCESSING_INSTRUCTION_NODE: {
            const auto* pi = static_cast<const DOMProcessingInstruction*>(node);
            return folding_.hash(pi->getData(), folding_.hash(pi->getTarget(), h));
        }
        case DOMNode::ENTITY_REFERENCE_NODE:
            return folding_.hash(node->getNodeName(), h);
        default:
            return h;
    }
}
