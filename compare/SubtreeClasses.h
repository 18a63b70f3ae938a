#pragma once

#include <cstdint>
#include <vector>

#include <xercesc/dom/DOMNode.hpp>

#include "compare/ClassTable.h"
#include "compare/NodeContent.h"

// Equality of DOM subtrees when the order of children does not count: each subtree gets the id
// of its class (see ClassTable), computed bottom-up without recursion.
//
// Only the classes of the first tree are stored; the second tree is only looked up, and the
// first subtree without a class already decides that it differs.
class SubtreeClasses {
public:
    static constexpr std::uint32_t kNone = ClassTable<const xercesc::DOMNode*>::kNone;

    explicit SubtreeClasses(NodeContent& content) : content_(content) {}

    // Classifies every subtree below and including root, adding classes as needed.
    std::uint32_t add(const xercesc::DOMNode* root);
    // The class of root's subtree, or kNone when it (or any part of it) has none.
    std::uint32_t find(const xercesc::DOMNode* root);

private:
    struct Open {
        const xercesc::DOMNode* node;
        std::size_t firstChild;  // where its children's ids begin in pending_
    };

    std::uint32_t classify(const xercesc::DOMNode* root, bool adding);
    std::uint32_t classOf(const xercesc::DOMNode* node, std::size_t firstChild, bool adding);

    NodeContent& content_;
    ClassTable<const xercesc::DOMNode*> table_;

    // Work space of one walk: ids of finished children, and the nodes whose children are being
    // classified (parents are taken from here: getParentNode costs a dynamic_cast in Xerces).
    std::vector<std::uint32_t> pending_;
    std::vector<Open> open_;
};
