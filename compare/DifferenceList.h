#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "compare/CaseFolding.h"
#include "compare/ClassTable.h"
#include "compare/Difference.h"
#include "compare/EventComparison.h"
#include "compare/SubtreeFold.h"
#include "input/EventLog.h"

// Every difference between two documents read as event logs, in document order of the first
// file (the second's leftovers where they fall). Children that are equal as whole subtrees are
// paired first: without ignoreOrder the longest in-order run of them, like a line diff; with
// it, one to one in any order. What is left pairs by kind and name (under ignoreOrder most
// alike first), and the rest by position; a pair that differs is looked into, a child left
// alone is one difference against nothing. The list is empty exactly when the comparison says
// "same".
class DifferenceList {
public:
    DifferenceList(CaseFolding& folding, bool ignoreOrder)
        : folding_(folding), content_(folding), ignoreOrder_(ignoreOrder) {}

    // At most `most` differences (the first ones). The logs must outlive the list.
    std::vector<Difference> find(const EventLog& original, const EventLog& compare,
                                 std::size_t most = std::numeric_limits<std::size_t>::max());

    // Where the subtree that starts at event i of a side's log ends (one past its last event).
    std::size_t end(int side, std::size_t i) const { return sides_[side].end[i]; }

private:
    // One document: per event that starts a subtree (or is a leaf), its end, its class id
    // (equal subtrees of both files, and only they, share one) and a digest that is alike
    // whatever file it is in. Entries of other events are never written or read.
    struct Side {
        const EventLog* log = nullptr;
        std::unique_ptr<std::size_t[]> end;
        std::unique_ptr<std::uint32_t[]> id;
        std::unique_ptr<std::uint64_t[]> digest;
    };
    // Work of the walk: a pair to look into, or a difference to report in its turn.
    struct Step {
        bool pair;
        std::size_t a, b;
        Difference difference;
    };
    using Nodes = std::vector<std::size_t>;

    void classify(int side);
    std::uint32_t id(int side, std::size_t i) const { return sides_[side].id[i]; }
    std::uint64_t digest(int side, std::size_t i) const { return sides_[side].digest[i]; }
    const EventLog::Event& event(int side, std::size_t i) const {
        return sides_[side].log->events()[i];
    }
    std::string_view name(int side, std::size_t i) const {
        return sides_[side].log->name(event(side, i));
    }
    std::string_view value(int side, std::size_t i) const {
        return sides_[side].log->value(event(side, i));
    }
    Nodes childrenOf(int side, std::size_t i) const;
    // The attribute events of the element at i, in the order a DOM keeps them: by name.
    Nodes attributesOf(int side, std::size_t i) const;
    bool sameKindAndName(std::size_t x, std::size_t y);
    std::uint64_t kindAndNameKey(int side, std::size_t i);
    bool ownContentDiffers(std::size_t a, std::size_t b);
    void attributeDifferences(std::size_t a, std::size_t b);
    // Steps for the children of a and b, in the order their differences are reported.
    void alignInOrder(std::size_t a, std::size_t b, const Nodes& left, const Nodes& right,
                      std::vector<Step>& steps);
    void alignUnordered(std::size_t a, std::size_t b, const Nodes& left, const Nodes& right,
                        std::vector<Step>& steps);
    // Pairs of equal children to keep, in order: the longest run, or for lists too long for
    // that, children found once in each list kept where their order agrees, and the same
    // again between them.
    void keepEqual(const Nodes& left, std::size_t fromLeft, std::size_t toLeft, const Nodes& right,
                   std::size_t fromRight, std::size_t toRight, int depth,
                   std::vector<std::pair<std::size_t, std::size_t>>& kept);
    void pairByName(std::size_t a, std::size_t b, const Nodes& left, const Nodes& right,
                    std::vector<Step>& steps);
    std::size_t alikeness(std::size_t x, std::size_t y, const std::vector<std::uint32_t>& left,
                          const std::vector<std::uint32_t>& right);
    void report(const Difference& difference);

    CaseFolding& folding_;
    EventContent content_;
    bool ignoreOrder_;
    Side sides_[2];
    ClassTable<LogNode> table_;
    std::vector<Difference> found_;
    std::size_t most_ = 0;
};
