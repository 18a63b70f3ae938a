#include "output/DOMElementRemover.h"

#include <iostream>
#include <optional>
#include <unordered_set>

#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>

#include "output/Selector.h"
#include "output/WritableExpansion.h"
#include "support/FailureHandlers.h"

using namespace xercesc;

namespace {

struct Matches {
    std::size_t count = 0;          // every match, nested ones included
    std::vector<DOMNode*> outermost;  // matches not inside another match, in document order
    std::vector<std::size_t> sizes;   // how many matches each outermost one takes with it
    std::vector<DOMAttr*> attributes;  // for an attribute selector, every match
};

// One walk over the whole tree instead of a live list that recounts after every removal. An
// attribute that a DTD supplies by default is not in the file, and is not selected.
Matches findMatches(DOMNode* root, const Selector& selector) {
    Matches found;
    if (!root) return found;
    std::vector<const XMLCh*> path;  // names of the open elements, the document element first
    DOMNode* inside = nullptr;
    DOMNode* node = root->getFirstChild();
    while (node) {
        if (node->getNodeType() == DOMNode::ELEMENT_NODE) {
            path.push_back(node->getNodeName());
            if (selector.selectsAttributes()) {
                DOMNamedNodeMap* attributes = node->getAttributes();
                for (XMLSize_t i = 0; attributes && i < attributes->getLength(); ++i) {
                    auto* attribute = static_cast<DOMAttr*>(attributes->item(i));
                    if (attribute->getSpecified() &&
                        selector.matchesAttribute(path.data(), path.size(), attribute->getName())) {
                        ++found.count;
                        found.attributes.push_back(attribute);
                    }
                }
            } else if (selector.matchesElement(path.data(), path.size())) {
                ++found.count;
                if (!inside) {
                    inside = node;
                    found.outermost.push_back(node);
                    found.sizes.push_back(0);
                }
                ++found.sizes.back();
            }
        }
        if (DOMNode* child = node->getFirstChild()) {
            node = child;
            continue;
        }
        while (node && node != root) {
            if (node->getNodeType() == DOMNode::ELEMENT_NODE) path.pop_back();
            if (node == inside) inside = nullptr;
            if (DOMNode* next = node->getNextSibling()) {
                node = next;
                break;
            }
            node = node->getParentNode();
        }
        if (node == root) break;
    }
    return found;
}

}  // namespace

bool DOMElementRemover::removeElements() {
    bool changed = false;
    for (const char* name : namesToRemove) {
        // The commands refuse a malformed selector before anything is read.
        const std::optional<Selector> selector = Selector::parse(name, nullptr);
        const Matches matches = selector ? findMatches(rootNode, *selector) : Matches();
        if (matches.count == 0) {
            std::cout << "\n\n The element " << name << " was not found.";
            continue;
        }
        changed = true;
        // Matches inside an entity's expansion go as well: this tree is never saved.
        std::unordered_set<DOMNode*> freed;
        const auto free = [&](DOMNode* node) {
            DOMNode* reference = enclosingReference(node);
            if (reference && freed.insert(reference).second) makeExpansionWritable(reference);
        };
        for (DOMAttr* attribute : matches.attributes) free(attribute->getOwnerElement());
        for (DOMNode* element : matches.outermost) free(element);
        for (DOMAttr* attribute : matches.attributes)
            attribute->getOwnerElement()->removeAttributeNode(attribute);
        std::size_t remaining = matches.count;
        for (std::size_t i = 0; i < matches.outermost.size(); ++i) {
            DOMNode* element = matches.outermost[i];
            if (!element->getParentNode()->removeChild(element)) {
                std::cout << "\n\n *** FAILURE: failed to remove the element " << name
                          << " at location " << remaining
                          << "\n\n *** EXITING: removing process is stopped";
                throw "Element removal failure.";
            }
            remaining -= matches.sizes[i];
        }
    }
    return changed;
}

bool DOMElementRemover::removeElementsFromDocument(DOMNode*& root, const ElementNames& names) {
    if (names.empty()) {
        std::cout << "No Elements are specified to be removed.";
        return true;
    }
    namesToRemove = names;
    rootNode = root;
    const bool result = runGuarded([&] {
        if (!removeElements()) std::cout << "\n\n The root node has not changed. Elements don't exist.";
    });
    return result;
}
