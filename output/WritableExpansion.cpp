#include "output/WritableExpansion.h"

#include <xercesc/dom/impl/DOMCasts.hpp>
#include <xercesc/dom/impl/DOMElementImpl.hpp>

using namespace xercesc;

void makeExpansionWritable(DOMNode* reference) {
    DOMNode* node = reference;
    for (;;) {
        // An element's own call also frees its attributes; the plain node call skips the check
        // that an entity reference's own override makes.
        if (auto* element = dynamic_cast<DOMElementImpl*>(node))
            element->setReadOnly(false, false);
        else
            castToNodeImpl(node)->setReadOnly(false, false);
        if (DOMNode* child = node->getFirstChild()) {
            node = child;
            continue;
        }
        while (node != reference && !node->getNextSibling()) node = node->getParentNode();
        if (node == reference) return;
        node = node->getNextSibling();
    }
}

DOMNode* enclosingReference(DOMNode* node) {
    DOMNode* outermost = nullptr;
    for (DOMNode* up = node ? node->getParentNode() : nullptr; up; up = up->getParentNode())
        if (up->getNodeType() == DOMNode::ENTITY_REFERENCE_NODE) outermost = up;
    return outermost;
}
