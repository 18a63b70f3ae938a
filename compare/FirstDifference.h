#pragma once

#include <optional>

#include <xercesc/dom/DOMNode.hpp>

#include "compare/CaseFolding.h"
#include "compare/NodeContent.h"

// What one side of a difference holds at the place where the trees part.
struct DifferenceSide {
    enum Kind {
        Node,     // node: the node this side holds there
        Nothing,  // node: the element where the missing child or attribute would be (or null)
        NoMatch,  // node: the element among whose children no partner was found (-o)
    };
    Kind kind;
    const xercesc::DOMNode* node;
};

struct FirstDifference {
    const xercesc::DOMNode* located;  // the node the path names: the first file's when it has one
    DifferenceSide original;
    DifferenceSide compare;
};

// Finds where two stripped documents first differ, with the same rules as the comparison that
// gave the verdict: in order, depth first; or, ignoring order, the first child that has no
// partner. Meant for documents already known to differ; costs no more than the comparison.
class DifferenceFinder {
public:
    DifferenceFinder(CaseFolding& folding, bool ignoreOrder)
        : folding_(folding), content_(folding), ignoreOrder_(ignoreOrder) {}

    // Empty when the documents compare equal after all.
    std::optional<FirstDifference> find(const xercesc::DOMNode* originalDocument,
                                        const xercesc::DOMNode* compareDocument);

private:
    std::optional<FirstDifference> inOrder(const xercesc::DOMNode* a, const xercesc::DOMNode* b);
    std::optional<FirstDifference> unordered(const xercesc::DOMNode* a, const xercesc::DOMNode* b);
    std::optional<FirstDifference> ownDifference(const xercesc::DOMNode* a,
                                                 const xercesc::DOMNode* b);
    std::optional<FirstDifference> attributeDifference(const xercesc::DOMNode* a,
                                                       const xercesc::DOMNode* b);

    CaseFolding& folding_;
    NodeContent content_;
    bool ignoreOrder_;
};
