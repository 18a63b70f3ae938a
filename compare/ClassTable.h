#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "compare/CaseFolding.h"

// The classes of subtrees that compare equal with children in any order: a class is the
// content of its root (confirmed against a representative, never trusted to a hash alone) plus
// the sorted class ids of its children. Equality is an equivalence, so equal multisets of child
// classes are exactly a one-to-one pairing of the children. Node is whatever designates a
// subtree's root for the caller.
template <typename Node>
class ClassTable {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;

    ClassTable() : slots_(64, Slot{0, kNone}) { childIds_.push_back(0); }

    // The class of node, whose children's ids are children[0..count) (sorted here unless
    // ordered: then the order of children counts). sameContent(representative, node) confirms a
    // candidate. When no class fits: a new one when adding, else kNone. One table holds classes
    // of one kind only, ordered or not.
    template <typename SameContent>
    std::uint32_t intern(std::uint64_t contentHash, Node node, std::uint32_t* children,
                         std::size_t count, bool adding, SameContent&& sameContent,
                         bool ordered = false) {
        if (!ordered) std::sort(children, children + count);
        std::uint64_t h = contentHash;
        for (std::size_t i = 0; i < count; ++i) h = CaseFolding::mix(h + children[i] + 1);
        const auto hash = static_cast<std::uint32_t>(h);

        const std::size_t mask = slots_.size() - 1;
        std::size_t slot = hash & mask;
        for (; slots_[slot].id != kNone; slot = (slot + 1) & mask) {
            if (slots_[slot].hash != hash) continue;
            const Class& candidate = classes_[slots_[slot].id];
            if (sameChildren(candidate, children, count) &&
                sameContent(candidate.representative, node))
                return slots_[slot].id;
        }
        if (!adding) return kNone;

        std::uint32_t offset = 0;
        if (count > 0) {
            offset = static_cast<std::uint32_t>(childIds_.size());
            childIds_.push_back(static_cast<std::uint32_t>(count));
            childIds_.insert(childIds_.end(), children, children + count);
        }
        const std::uint32_t id = newClass(node, offset);
        slots_[slot] = {hash, id};
        if (++used_ * 2 > slots_.size()) grow();
        return id;
    }

    // A class that nothing else belongs to, for nodes that never equal anything.
    std::uint32_t unique(Node node) { return newClass(node, 0); }

private:
    struct Class {
        Node representative;
        std::uint32_t children;  // offset into childIds_: count, then the sorted ids
    };
    // The hash sits beside the id so that probing rarely touches classes_.
    struct Slot {
        std::uint32_t hash;
        std::uint32_t id;  // kNone when free
    };

    std::uint32_t newClass(Node node, std::uint32_t children) {
        classes_.push_back({node, children});
        return static_cast<std::uint32_t>(classes_.size() - 1);
    }

    bool sameChildren(const Class& c, const std::uint32_t* children, std::size_t count) const {
        if (childIds_[c.children] != count) return false;
        return std::equal(children, children + count, childIds_.begin() + c.children + 1);
    }

    void grow() {
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

    std::vector<Class> classes_;
    std::vector<std::uint32_t> childIds_;
    std::vector<Slot> slots_;  // open addressing over classes_
    std::size_t used_ = 0;
};
