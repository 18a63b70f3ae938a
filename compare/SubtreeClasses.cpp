#include "compare/SubtreeClasses.h"

#include <algorithm>

using namespace xercesc;

namespace {

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 31;
    h *= 0x7fb5d329728ea185ULL;
    h ^= h >> 27;
    h *= 0x81dadef4bc2dd44dULL;
    return h ^ (h >> 33);
}

}  // namespace

SubtreeClasses::SubtreeClasses(NodeContent& content)
    : content_(content), slots_(64, Slot{0, kNone}) {
    childIds_.push_back(0);  // shared empty child list at offset 0
}

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
        if (!adding) return kNone;
        // Equal to nothing, not even itself elsewhere: a class of its own, never looked up.
        classes_.push_back({node, 0});
        return static_cast<std::uint32_t>(classes_.size() - 1);
    }
    std::sort(pending_.begin() + firstChild, pending_.end());
    std::uint64_t h = content_.hash(node);
    for (std::size_t i = firstChild; i < pending_.size(); ++i) h = mix(h + pending_[i] + 1);
    const auto hash = static_cast<std::uint32_t>(h);

    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = hash & mask;
    for (; slots_[slot].id != kNone; slot = (slot + 1) & mask) {
        if (slots_[slot].hash != hash) continue;
        const std::uint32_t id = slots_[slot].id;
        const Class& candidate = classes_[id];
        if (sameChildren(candidate, firstChild) && content_.equal(candidate.representative, node))
            return id;
    }
    if (!adding) return kNone;

    std::uint32_t children = 0;
    if (pending_.size() > firstChild) {
        children = static_cast<std::uint32_t>(childIds_.size());
        childIds_.push_back(static_cast<std::uint32_t>(pending_.size() - firstChild));
        childIds_.insert(childIds_.end(), pending_.begin() + firstChild, pending_.end());
    }
    classes_.push_back({node, children});
    const auto id = static_cast<std::uint32_t>(classes_.size() - 1);
    slots_[slot] = {hash, id};
    if (++used_ * 2 > slots_.size()) grow();
    return id;
}

bool SubtreeClasses::sameChildren(const Class& c, std::size_t firstChild) const {
    const std::uint32_t count = childIds_[c.children];
    if (count != pending_.size() - firstChild) return false;
    return std::equal(pending_.begin() + firstChild, pending_.end(),
                      childIds_.begin() + c.children + 1);
}

void SubtreeClasses::grow() {
    std::vector<Slot> old(slots_.size() * 2, Slot{0, kNone});
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (s.id == kNone) continue;
        std::size_t slot = s.hash & mask;
        while (slots_[slot].id != kNone) slot = (slot + 1) & mask;
        slots_[slot] = s;
    }
}
