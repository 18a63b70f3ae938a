#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <vector>

#include <xercesc/dom/DOMNode.hpp>

#include "compare/CaseFolding.h"
#include "compare/ClassTable.h"
#include "compare/Difference.h"
#include "compare/NodeContent.h"

// Every difference between two stripped documents, in document order of the first file (the
// second's leftovers where they fall). Children that are equal as whole subtrees are paired
// first: without ignoreOrder the longest in-order run of them, like a line diff; with it, one to
// one in any order. What is left pairs by kind and name (under ignoreOrder most alike first),
// and the rest by position; a pair that differs is looked into, a child left alone is one
// difference against nothing. The list is empty exactly when the comparison says "same".
class DifferenceList {
public:
    DifferenceList(CaseFolding& folding, bool ignoreOrder)
        : folding_(folding), content_(folding), ignoreOrder_(ignoreOrder) {}

    // At most `most` differences (the first ones).
    std::vector<Difference> find(const xercesc::DOMNode* originalDocument,
                                 const xercesc::DOMNode* compareDocument,
                                 std::size_t most = std::numeric_limits<std::size_t>::max());

private:
    struct Subtree {
        std::uint32_t id;       // equal subtrees, and only they, share an id
        std::uint64_t digest;   // alike in both files whatever file it is in
    };
    // Work of the walk: a pair to look into, or a difference to report in its turn.
    struct Step {
        bool pair;
        const xercesc::DOMNode* a;
        const xercesc::DOMNode* b;
        Difference difference;
    };
    using Nodes = std::vector<const xercesc::DOMNode*>;

    void classify(const xercesc::DOMNode* root);
    const Subtree& subtree(const xercesc::DOMNode* node) const { return subtrees_.at(node); }
    bool sameKindAndName(const xercesc::DOMNode* x, const xercesc::DOMNode* y);
    std::uint64_t kindAndNameKey(const xercesc::DOMNode* node);
    bool ownContentDiffers(const xercesc::DOMNode* a, const xercesc::DOMNode* b);
    void attributeDifferences(const xercesc::DOMNode* a, const xercesc::DOMNode* b);
    // Steps for the children of a and b, in the order their differences are reported.
    void alignInOrder(const xercesc::DOMNode* a, const xercesc::DOMNode* b, const Nodes& left,
                      const Nodes& right, std::vector<Step>& steps);
    void alignUnordered(const xercesc::DOMNode* a, const xercesc::DOMNode* b, const Nodes& left,
                        const Nodes& right, std::vector<Step>& steps);
    // Pairs of equal children to keep, in order: the longest run, or for lists too long for
    // that, children found once in each list kept where their order agrees, and the same
    // again between them.
    void keepEqual(const Nodes& left, std::size_t fromLeft, std::size_t toLeft, const Nodes& right,
                   std::size_t fromRight, std::size_t toRight, int depth,
                   std::vector<std::pair<std::size_t, std::size_t>>& kept);
    void pairByName(const xercesc::DOMNode* a, const xercesc::DOMNode* b, const Nodes& left,
                    const Nodes& right, std::vector<Step>& steps);
    std::size_t alikeness(const xercesc::DOMNode* x, const xercesc::DOMNode* y,
                          const std::vector<std::uint32_t>& left,
                          const std::vector<std::uint32_t>& right);
    void report(const Difference& difference);

    CaseFolding& folding_;
    NodeContent content_;
    bool ignoreOrder_;
    ClassTable<const xercesc::DOMNode*> table_;
    std::unordered_map<const xercesc::DOMNode*, Subtree> subtrees_;
    std::vector<Difference> found_;
    std::size_t most_ = 0;
};
