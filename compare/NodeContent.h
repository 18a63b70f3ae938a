#pragma once

#include <cstdint>
#include <vector>

#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include "compare/CaseFolding.h"

// What one node holds apart from its children, compared ignoring case: tag name and attributes of
// an element, the value of text, CDATA and comments, target and data of a processing
// instruction, the name of an entity reference. Other node types never match anything.
class NodeContent {
public:
    explicit NodeContent(CaseFolding& folding) : folding_(folding) {}

    // Whether a node of this type can ever equal another one.
    static bool comparable(const xercesc::DOMNode* node);

    bool equal(const xercesc::DOMNode* a, const xercesc::DOMNode* b);
    // Attributes paired by name, not by position; null maps count as empty.
    bool attributesEqual(const xercesc::DOMNamedNodeMap* a, const xercesc::DOMNamedNodeMap* b);
    // Equal content gives equal hashes.
    std::uint64_t hash(const xercesc::DOMNode* node);

private:
    bool attributesEqualUnordered(const xercesc::DOMNamedNodeMap* a,
                                  const xercesc::DOMNamedNodeMap* b, XMLSize_t count);
    void sortedAttributes(const xercesc::DOMNamedNodeMap* map, XMLSize_t count,
                          std::vector<const xercesc::DOMNode*>& out);

    CaseFolding& folding_;
};
