#include "compare/FirstDifference.h"

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>

#include "compare/SubtreeClasses.h"

using namespace xercesc;

namespace {

using Found = std::optional<FirstDifference>;

Found both(const DOMNode* a, const DOMNode* b) {
    return FirstDifference{a, {DifferenceSide::Node, a}, {DifferenceSide::Node, b}};
}

Found onlyOriginal(const DOMNode* a, const DOMNode* whereInCompare, DifferenceSide::Kind kind) {
    return FirstDifference{a, {DifferenceSide::Node, a}, {kind, whereInCompare}};
}

Found onlyCompare(const DOMNode* whereInOriginal, const DOMNode* b, DifferenceSide::Kind kind) {
    return FirstDifference{b, {kind, whereInOriginal}, {DifferenceSide::Node, b}};
}

const DOMNode* documentElement(const DOMNode* document) {
    return static_cast<const DOMDocument*>(document)->getDocumentElement();
}

std::vector<const DOMNode*> attributesOf(const DOMNode* element) {
    std::vector<const DOMNode*> list;
    if (const DOMNamedNodeMap* map = element->getAttributes()) {
        const XMLSize_t count = map->getLength();
        for (XMLSize_t i = 0; i < count; ++i) list.push_back(map->item(i));
    }
    return list;
}

std::vector<const DOMNode*> childrenOf(const DOMNode* node) {
    std::vector<const DOMNode*> list;
    for (const DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling()) list.push_back(c);
    return list;
}

}  // namespace

Found DifferenceFinder::find(const DOMNode* originalDocument, const DOMNode* compareDocument) {
    // -i may have removed a document element.
    const DOMNode* a = documentElement(originalDocument);
    const DOMNode* b = documentElement(compareDocument);
    if (!a && !b) return std::nullopt;
    if (!b) return onlyOriginal(a, nullptr, DifferenceSide::Nothing);
    if (!a) return onlyCompare(nullptr, b, DifferenceSide::Nothing);
    return ignoreOrder_ ? unordered(a, b) : inOrder(a, b);
}

// The walk of the in-order comparison, stopping where it would have failed.
Found DifferenceFinder::inOrder(const DOMNode* a, const DOMNode* b) {
    if (Found d = ownDifference(a, b)) return d;
    std::vector<std::pair<const DOMNode*, const DOMNode*>> open;
    for (;;) {
        const DOMNode* childA = a->getFirstChild();
        const DOMNode* childB = b->getFirstChild();
        if (childA || childB) {
            if (!childB) return onlyOriginal(childA, b, DifferenceSide::Nothing);
            if (!childA) return onlyCompare(a, childB, DifferenceSide::Nothing);
            if (Found d = ownDifference(childA, childB)) return d;
            open.emplace_back(a, b);
            a = childA;
            b = childB;
            continue;
        }
        for (;;) {
            if (open.empty()) return std::nullopt;
            const DOMNode* nextA = a->getNextSibling();
            const DOMNode* nextB = b->getNextSibling();
            if (nextA || nextB) {
                if (!nextB) return onlyOriginal(nextA, open.back().second, DifferenceSide::Nothing);
                if (!nextA) return onlyCompare(open.back().first, nextB, DifferenceSide::Nothing);
                if (Found d = ownDifference(nextA, nextB)) return d;
                a = nextA;
                b = nextB;
                break;
            }
            std::tie(a, b) = open.back();
            open.pop_back();
        }
    }
}

// Without order, equal children are paired one to one by subtree class; a child left over has no
// partner at all, so the search stops at that level.
Found DifferenceFinder::unordered(const DOMNode* a, const DOMNode* b) {
    if (Found d = ownDifference(a, b)) return d;
    SubtreeClasses classes(content_);
    const std::vector<const DOMNode*> left = childrenOf(a);
    const std::vector<const DOMNode*> right = childrenOf(b);
    std::vector<std::uint32_t> leftIds, rightIds;
    for (const DOMNode* child : left) leftIds.push_back(classes.add(child));
    for (const DOMNode* child : right) rightIds.push_back(classes.find(child));

    std::unordered_map<std::uint32_t, std::size_t> unpaired;
    for (std::uint32_t id : rightIds) ++unpaired[id];
    for (std::size_t i = 0; i < left.size(); ++i) {
        std::size_t& partners = unpaired[leftIds[i]];
        if (partners == 0) return onlyOriginal(left[i], b, DifferenceSide::NoMatch);
        --partners;
    }
    unpaired.clear();
    for (std::uint32_t id : leftIds) ++unpaired[id];
    for (std::size_t i = 0; i < right.size(); ++i) {
        std::size_t& partners = unpaired[rightIds[i]];
        if (partners == 0) return onlyCompare(a, right[i], DifferenceSide::NoMatch);
        --partners;
    }
    return std::nullopt;
}

Found DifferenceFinder::ownDifference(const DOMNode* a, const DOMNode* b) {
    if (content_.equal(a, b)) return std::nullopt;
    if (a->getNodeType() == DOMNode::ELEMENT_NODE && b->getNodeType() == DOMNode::ELEMENT_NODE &&
        folding_.equal(a->getNodeName(), b->getNodeName())) {
        if (Found d = attributeDifference(a, b)) return d;
    }
    return both(a, b);
}

// Equal attributes are paired first, as the comparison pairs them, so that only true leftovers
// are named: under one name a value that differs, else an attribute that one side lacks.
Found DifferenceFinder::attributeDifference(const DOMNode* a, const DOMNode* b) {
    std::vector<const DOMNode*> left = attributesOf(a);
    std::vector<const DOMNode*> right = attributesOf(b);
    const auto sameName = [this](const DOMNode* x, const DOMNode* y) {
        return folding_.equal(x->getNodeName(), y->getNodeName());
    };
    if (folding_.trusted()) {
        // Sorted by folded name and value, both lists meet in one merging pass.
        const auto before = [this](const DOMNode* x, const DOMNode* y) {
            const int byName = folding_.compare(x->getNodeName(), y->getNodeName());
            return byName != 0 ? byName < 0
                               : folding_.compare(x->getNodeValue(), y->getNodeValue()) < 0;
        };
        std::stable_sort(left.begin(), left.end(), before);
        std::stable_sort(right.begin(), right.end(), before);
        std::size_t i = 0, j = 0;
        for (; i < left.size() && j < right.size(); ++i, ++j) {
            const int byName = folding_.compare(left[i]->getNodeName(), right[j]->getNodeName());
            if (byName < 0) return onlyOriginal(left[i], b, DifferenceSide::Nothing);
            if (byName > 0) return onlyCompare(a, right[j], DifferenceSide::Nothing);
            if (!folding_.equal(left[i]->getNodeValue(), right[j]->getNodeValue()))
                return both(left[i], right[j]);
        }
        if (i < left.size()) return onlyOriginal(left[i], b, DifferenceSide::Nothing);
        if (j < right.size()) return onlyCompare(a, right[j], DifferenceSide::Nothing);
        return std::nullopt;
    }
    for (const DOMNode*& x : left) {
        for (const DOMNode*& y : right) {
            if (y && sameName(x, y) && folding_.equal(x->getNodeValue(), y->getNodeValue())) {
                x = y = nullptr;
                break;
            }
        }
    }
    for (const DOMNode* x : left) {
        if (!x) continue;
        for (const DOMNode* y : right)
            if (y && sameName(x, y)) return both(x, y);
        return onlyOriginal(x, b, DifferenceSide::Nothing);
    }
    for (const DOMNode* y : right)
        if (y) return onlyCompare(a, y, DifferenceSide::Nothing);
    return std::nullopt;
}
