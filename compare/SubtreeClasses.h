#pragma once

#include <cstdint>
#include <vector>

#include <xercesc/dom/DOMNode.hpp>

#include "compare/NodeContent.h"

// Equality of subtrees when the order of children does not count. Each subtree gets the id of
// its class, computed bottom-up: node content plus the sorted ids of its children. Two subtrees
// are equal exactly when their ids are, which pairs children one to one (equality is an
// equivalence, so equal multisets of child classes are a perfect matching).
//
// Only the classes of the first tree are stored; the second tree is only looked up, and the
// first subtree without a class already decides that it differs.
class SubtreeClasses {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    explicit SubtreeClasses(NodeContent& content);

    // Classifies every subtree below and including root, adding classes as needed.
    std::uint32_t add(const xercesc::DOMNode* root);
    // The class of root's subtree, or kNone when it (or any part of it) has none.
    std::uint32_t find(const xercesc::DOMNode* root);

private:
    struct Class {
        const xercesc::DOMNode* representative;
        std::uint32_t children;  // offset into childIds_: count, then the sorted ids
    };
    // The hash sits beside the id so that probing rarely touches classes_.
    struct Slot {
        std::uint32_t hash;
        std::uint32_t id;  // kNone when free
    };
    struct Open {
        const xercesc::DOMNode* node;
        std::size_t firstChild;  // where its children's ids begin in pending_
    };

    std::uint32_t classify(const xercesc::DOMNode* root, bool adding);
    std::uint32_t classOf(const xercesc::DOMNode* node, std::size_t firstChild, bool adding);
    bool sameChildren(const Class& c, std::size_t firstChild) const;
    void grow();

    NodeContent& content_;
    std::vector<Class> classes_;
    std::vector<std::uint32_t> childIds_;
    std::vector<Slot> slots_;  // open addressing over classes_
    std::size_t used_ = 0;     // filled slots

    // Work space of one walk: ids of finished children, and the nodes whose children are being
    // classified (parents are taken from here: getParentNode costs a dynamic_cast in Xerces).
    std::vector<std::uint32_t> pending_;
    std::vector<Open> open_;
};
