#include "compare/SubtreeClasses.h"

using namespace xercesc;

std::uint32_t SubtreeClasses::add(const DOMNode* root) { return classify(root, true); }
std::uint32_t SubtreeClasses::find(const DOMNode* root) { return classify(root, false); }

// Post-order walk over first-child and next-sibling links: no recursion, so depth is bounded by
// memory only.
std::uint32_t SubtreeClasses::classify(const DOMNode* root, bool adding) {
    pending_.clear();
    open_.clear();
    const DOMNode* node = root;
    for (;;) {
        open_.push_back({node, pending_.size()});
        if (const DOMNode* child = node->getFirstChild()) {
            node = child;
            continue;
        }
        for (;;) {
            const Open finished = open_.back();
            open_.pop_back();
            const std::uint32_t id = classOf(finished.node, finished.firstChild, adding);
            if (id == kNone || finished.node == root) return id;
            pending_.resize(finished.firstChild);
            pending_.push_back(id);
            node = finished.node->getNextSibling();
            if (node) break;
        }
    }
}

std::uint32_t SubtreeClasses::classOf(const DOMNode* node, std::size_t firstChild, bool adding) {
    if (!NodeContent::comparable(node)) {
        // Equal to nothing, not even itself elsewhere: a class of its own, never looked up.
        return adding ? table_.unique(node) : kNone;
    }
    return table_.intern(content_.hash(node), node, pending_.data() + firstChild,
                         pending_.size() - firstChild, adding,
                         [this](const DOMNode* representative, const DOMNode* candidate) {
                             return content_.equal(representative, candidate);
                         });
}
