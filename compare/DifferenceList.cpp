#include "compare/DifferenceList.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/dom/DOMProcessingInstruction.hpp>

using namespace xercesc;

namespace {

// Child lists whose unmatched middles hold more pairs than this are paired by position: the
// table of the longest common run would cost too much memory.
constexpr std::size_t kMostCells = std::size_t{1} << 23;
// Groups of children with one name under -o beyond this many candidate pairs go by position.
constexpr std::size_t kMostCandidates = std::size_t{1} << 20;

using Pairs = std::vector<std::pair<std::size_t, std::size_t>>;

const DOMNode* documentElement(const DOMNode* document) {
    return static_cast<const DOMDocument*>(document)->getDocumentElement();
}

std::vector<const DOMNode*> childrenOf(const DOMNode* node) {
    std::vector<const DOMNode*> list;
    for (const DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling()) list.push_back(c);
    return list;
}

std::vector<const DOMNode*> attributesOf(const DOMNode* element) {
    std::vector<const DOMNode*> list;
    if (const DOMNamedNodeMap* map = element->getAttributes()) {
        const XMLSize_t count = map->getLength();
        for (XMLSize_t i = 0; i < count; ++i) list.push_back(map->item(i));
    }
    return list;
}

// The longest common subsequence of x[0..n) and y[0..m) under same(i, j), as pairs of indices.
// Where skipping x[i] and skipping y[j] are equally good, the one with the smaller key goes:
// the choice depends on the two children only, so swapping the files swaps the pairs. Empty
// with tooLarge set when the table would be too big.
template <typename Same, typename KeyX, typename KeyY>
Pairs longestCommon(std::size_t n, std::size_t m, Same&& same, KeyX&& keyX, KeyY&& keyY,
                    bool& tooLarge) {
    Pairs pairs;
    tooLarge = false;
    if (n == 0 || m == 0) return pairs;
    if ((n + 1) > kMostCells / (m + 1)) {
        tooLarge = true;
        return pairs;
    }
    // length[i][j]: the longest common run of x[i..n) and y[j..m).
    const std::size_t width = m + 1;
    std::vector<std::uint32_t> length((n + 1) * width, 0);
    std::vector<bool> equal(n * m);
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m; j-- > 0;) {
            const bool e = same(i, j);
            equal[i * m + j] = e;
            length[i * width + j] =
                e ? length[(i + 1) * width + j + 1] + 1
                  : std::max(length[(i + 1) * width + j], length[i * width + j + 1]);
        }
    }
    std::size_t i = 0, j = 0;
    while (i < n && j < m) {
        if (equal[i * m + j]) {
            pairs.emplace_back(i++, j++);
            continue;
        }
        const std::uint32_t skipX = length[(i + 1) * width + j];
        const std::uint32_t skipY = length[i * width + j + 1];
        if (skipX != skipY ? skipX > skipY : keyX(i) <= keyY(j))
            ++i;
        else
            ++j;
    }
    return pairs;
}

}  // namespace

std::vector<Difference> DifferenceList::find(const DOMNode* originalDocument,
                                             const DOMNode* compareDocument, std::size_t most) {
    found_.clear();
    most_ = most;
    if (most == 0) return found_;
    // -i may have removed a document element.
    const DOMNode* a = documentElement(originalDocument);
    const DOMNode* b = documentElement(compareDocument);
    if (!a && !b) return found_;
    if (!b) {
        report({a, {DifferenceSide::Node, a}, {DifferenceSide::Nothing, nullptr}});
        return found_;
    }
    if (!a) {
        report({b, {DifferenceSide::Nothing, nullptr}, {DifferenceSide::Node, b}});
        return found_;
    }
    classify(a);
    classify(b);

    // Depth first without recursion: the steps of a pair replace it on the stack, last first.
    std::vector<Step> stack{{true, a, b, {}}};
    std::vector<Step> steps;
    while (!stack.empty() && found_.size() < most_) {
        const Step step = stack.back();
        stack.pop_back();
        if (!step.pair) {
            report(step.difference);
            continue;
        }
        const DOMNode* x = step.a;
        const DOMNode* y = step.b;
        if (subtree(x).id == subtree(y).id) continue;
        if (ownContentDiffers(x, y)) {
            report({x, {DifferenceSide::Node, x}, {DifferenceSide::Node, y}});
            continue;
        }
        if (x->getNodeType() == DOMNode::ELEMENT_NODE) attributeDifferences(x, y);
        const Nodes left = childrenOf(x);
        const Nodes right = childrenOf(y);
        steps.clear();
        if (ignoreOrder_)
            alignUnordered(x, y, left, right, steps);
        else
            alignInOrder(x, y, left, right, steps);
        stack.insert(stack.end(), steps.rbegin(), steps.rend());
    }
    return found_;
}

void DifferenceList::report(const Difference& difference) {
    if (found_.size() < most_) found_.push_back(difference);
}

// Post-order over first-child and next-sibling links, as SubtreeClasses walks.
void DifferenceList::classify(const DOMNode* root) {
    struct Open {
        const DOMNode* node;
        std::size_t firstChild;
    };
    std::vector<Open> open;
    std::vector<std::uint32_t> ids;
    std::vector<std::uint64_t> digests;
    const DOMNode* node = root;
    for (;;) {
        open.push_back({node, ids.size()});
        if (const DOMNode* child = node->getFirstChild()) {
            node = child;
            continue;
        }
        for (;;) {
            const Open finished = open.back();
            open.pop_back();
            const std::size_t count = ids.size() - finished.firstChild;
            const std::uint64_t own = content_.hash(finished.node);
            std::uint64_t digest = own;
            for (std::size_t k = 0; k < count; ++k)
                digest = CaseFolding::mix(digest + digests[finished.firstChild + k]);
            std::uint32_t id;
            if (!NodeContent::comparable(finished.node)) {
                id = table_.unique(finished.node);
            } else {
                // The children's ids are dropped right after, so they may be sorted in place.
                id = table_.intern(
                    own, finished.node, ids.data() + finished.firstChild,
                    count, true,
                    [this](const DOMNode* representative, const DOMNode* candidate) {
                        return content_.equal(representative, candidate);
                    },
                    !ignoreOrder_);
            }
            subtrees_[finished.node] = {id, digest};
            if (finished.node == root) return;
            ids.resize(finished.firstChild);
            digests.resize(finished.firstChild);
            ids.push_back(id);
            digests.push_back(digest);
            node = finished.node->getNextSibling();
            if (node) break;
        }
    }
}

// Text and CDATA are different kinds here: a CDATA section never equals a text.
bool DifferenceList::sameKindAndName(const DOMNode* x, const DOMNode* y) {
    const DOMNode::NodeType type = x->getNodeType();
    if (type != y->getNodeType()) return false;
    switch (type) {
        case DOMNode::ELEMENT_NODE:
        case DOMNode::ENTITY_REFERENCE_NODE:
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
            return folding_.equal(x->getNodeName(), y->getNodeName());
        default:
            return true;
    }
}

std::uint64_t DifferenceList::kindAndNameKey(const DOMNode* node) {
    std::uint64_t key = CaseFolding::mix(static_cast<std::uint64_t>(node->getNodeType()));
    switch (node->getNodeType()) {
        case DOMNode::ELEMENT_NODE:
        case DOMNode::ENTITY_REFERENCE_NODE:
        case DOMNode::PROCESSING_INSTRUCTION_NODE:
            return folding_.trusted() ? folding_.hash(node->getNodeName(), key) : key;
        default:
            return key;
    }
}

// Different kinds or names, or a value of its own that differs: nothing below is looked at.
bool DifferenceList::ownContentDiffers(const DOMNode* a, const DOMNode* b) {
    if (!sameKindAndName(a, b)) return true;
    switch (a->getNodeType()) {
        case DOMNode::ELEMENT_NODE:
        case DOMNode::ENTITY_REFERENCE_NODE:
            return false;
        default:
            return !content_.equal(a, b);
    }
}

// Equal attributes pair first, then the rest by name; what is left is on one side only.
// Reported in the first file's order, then the second file's leftovers.
void DifferenceList::attributeDifferences(const DOMNode* a, const DOMNode* b) {
    const Nodes left = attributesOf(a);
    const Nodes right = attributesOf(b);
    std::vector<bool> leftDone(left.size(), false), rightDone(right.size(), false);
    std::vector<std::size_t> partner(left.size(), SIZE_MAX);  // same name, another value
    if (folding_.trusted()) {
        // Sorted, both lists meet in one merging pass per round; the k-th of a group on one
        // side pairs with the k-th on the other, as taking the first free partner would.
        const auto pairSorted = [&](bool valueToo) {
            const auto order = [&](const Nodes& list, const std::vector<bool>& done) {
                std::vector<std::size_t> out;
                for (std::size_t k = 0; k < list.size(); ++k)
                    if (!done[k]) out.push_back(k);
                std::stable_sort(out.begin(), out.end(), [&](std::size_t x, std::size_t y) {
                    const int byName = folding_.compare(list[x]->getNodeName(), list[y]->getNodeName());
                    if (byName != 0 || !valueToo) return byName < 0;
                    return folding_.compare(list[x]->getNodeValue(), list[y]->getNodeValue()) < 0;
                });
                return out;
            };
            const std::vector<std::size_t> x = order(left, leftDone), y = order(right, rightDone);
            for (std::size_t i = 0, j = 0; i < x.size() && j < y.size();) {
                int c = folding_.compare(left[x[i]]->getNodeName(), right[y[j]]->getNodeName());
                if (c == 0 && valueToo)
                    c = folding_.compare(left[x[i]]->getNodeValue(), right[y[j]]->getNodeValue());
                if (c < 0) {
                    ++i;
                } else if (c > 0) {
                    ++j;
                } else {
                    leftDone[x[i]] = rightDone[y[j]] = true;
                    if (!valueToo) partner[x[i]] = y[j];
                    ++i;
                    ++j;
                }
            }
        };
        pairSorted(true);
        pairSorted(false);
    } else {
        const auto pairFirst = [&](bool valueToo) {
            for (std::size_t i = 0; i < left.size(); ++i) {
                if (leftDone[i]) continue;
                for (std::size_t j = 0; j < right.size(); ++j) {
                    if (rightDone[j] ||
                        !folding_.equal(left[i]->getNodeName(), right[j]->getNodeName()))
                        continue;
                    if (valueToo &&
                        !folding_.equal(left[i]->getNodeValue(), right[j]->getNodeValue()))
                        continue;
                    leftDone[i] = rightDone[j] = true;
                    if (!valueToo) partner[i] = j;
                    break;
                }
            }
        };
        pairFirst(true);
        pairFirst(false);
    }
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (partner[i] != SIZE_MAX)
            report({left[i], {DifferenceSide::Node, left[i]}, {DifferenceSide::Node, right[partner[i]]}});
        else if (!leftDone[i])
            report({left[i], {DifferenceSide::Node, left[i]}, {DifferenceSide::Nothing, b}});
    }
    for (std::size_t j = 0; j < right.size(); ++j)
        if (!rightDone[j])
            report({right[j], {DifferenceSide::Nothing, a}, {DifferenceSide::Node, right[j]}});
}

// Like a line diff: equal children at both ends, then the longest in-order run of equal
// subtrees in the middle; what lies between two kept children pairs by kind and name.
void DifferenceList::alignInOrder(const DOMNode* a, const DOMNode* b, const Nodes& left,
                                  const Nodes& right, std::vector<Step>& steps) {
    std::size_t first = 0;
    while (first < left.size() && first < right.size() &&
           subtree(left[first]).id == subtree(right[first]).id)
        ++first;
    std::size_t lastLeft = left.size(), lastRight = right.size();
    while (lastLeft > first && lastRight > first &&
           subtree(left[lastLeft - 1]).id == subtree(right[lastRight - 1]).id) {
        --lastLeft;
        --lastRight;
    }
    const Nodes middleLeft(left.begin() + first, left.begin() + lastLeft);
    const Nodes middleRight(right.begin() + first, right.begin() + lastRight);
    Pairs kept;
    keepEqual(middleLeft, 0, middleLeft.size(), middleRight, 0, middleRight.size(), 0, kept);
    kept.emplace_back(middleLeft.size(), middleRight.size());  // the end closes the last gap
    std::size_t i = 0, j = 0;
    for (const auto& [keptLeft, keptRight] : kept) {
        pairByName(a, b, Nodes(middleLeft.begin() + i, middleLeft.begin() + keptLeft),
                   Nodes(middleRight.begin() + j, middleRight.begin() + keptRight), steps);
        i = keptLeft + 1;
        j = keptRight + 1;
    }
}

void DifferenceList::keepEqual(const Nodes& left, std::size_t fromLeft, std::size_t toLeft,
                               const Nodes& right, std::size_t fromRight, std::size_t toRight,
                               int depth, Pairs& kept) {
    bool tooLarge = false;
    const Pairs run = longestCommon(
        toLeft - fromLeft, toRight - fromRight,
        [&](std::size_t i, std::size_t j) {
            return subtree(left[fromLeft + i]).id == subtree(right[fromRight + j]).id;
        },
        [&](std::size_t i) { return subtree(left[fromLeft + i]).digest; },
        [&](std::size_t j) { return subtree(right[fromRight + j]).digest; }, tooLarge);
    if (!tooLarge) {
        for (const auto& [i, j] : run) kept.emplace_back(fromLeft + i, fromRight + j);
        return;
    }
    if (depth > 8) return;  // what is left pairs by name, then by position
    // Children whose subtree stands once in each list, as (left, right) in left order.
    std::unordered_map<std::uint32_t, std::pair<std::size_t, std::size_t>> seen;  // count, index
    for (std::size_t i = fromLeft; i < toLeft; ++i) {
        auto& entry = seen[subtree(left[i]).id];
        entry = {entry.first + 1, i};
    }
    std::unordered_map<std::uint32_t, std::pair<std::size_t, std::size_t>> seenRight;
    for (std::size_t j = fromRight; j < toRight; ++j) {
        auto& entry = seenRight[subtree(right[j]).id];
        entry = {entry.first + 1, j};
    }
    Pairs anchors;
    for (const auto& [id, entry] : seen) {
        if (entry.first != 1) continue;
        const auto other = seenRight.find(id);
        if (other != seenRight.end() && other->second.first == 1)
            anchors.emplace_back(entry.second, other->second.second);
    }
    std::sort(anchors.begin(), anchors.end());
    // The longest run of anchors whose right indices rise too (patience sorting).
    std::vector<std::size_t> tails, previous(anchors.size(), SIZE_MAX);
    for (std::size_t k = 0; k < anchors.size(); ++k) {
        const auto at = std::lower_bound(
            tails.begin(), tails.end(), anchors[k].second,
            [&](std::size_t t, std::size_t value) { return anchors[t].second < value; });
        if (at != tails.begin()) previous[k] = *(at - 1);
        if (at == tails.end())
            tails.push_back(k);
        else
            *at = k;
    }
    Pairs chain;
    for (std::size_t k = tails.empty() ? SIZE_MAX : tails.back(); k != SIZE_MAX; k = previous[k])
        chain.push_back(anchors[k]);
    std::reverse(chain.begin(), chain.end());
    chain.emplace_back(toLeft, toRight);
    std::size_t i = fromLeft, j = fromRight;
    for (const auto& [anchorLeft, anchorRight] : chain) {
        // Equal neighbours of an anchor belong to the run too, as at the ends of the list.
        Pairs before;
        std::size_t endLeft = anchorLeft, endRight = anchorRight;
        while (endLeft > i && endRight > j &&
               subtree(left[endLeft - 1]).id == subtree(right[endRight - 1]).id)
            before.emplace_back(--endLeft, --endRight);
        while (i < endLeft && j < endRight && subtree(left[i]).id == subtree(right[j]).id)
            kept.emplace_back(i++, j++);
        keepEqual(left, i, endLeft, right, j, endRight, depth + 1, kept);
        kept.insert(kept.end(), before.rbegin(), before.rend());
        if (anchorLeft < toLeft) kept.emplace_back(anchorLeft, anchorRight);
        i = anchorLeft + 1;
        j = anchorRight + 1;
    }
}

// Between two kept children: the longest in-order run of same kind and name pairs (each pair
// is looked into); what is left between those pairs pairs by position, and a child without a
// partner stands against nothing.
void DifferenceList::pairByName(const DOMNode* a, const DOMNode* b, const Nodes& left,
                                const Nodes& right, std::vector<Step>& steps) {
    bool tooLarge = false;
    Pairs named = longestCommon(
        left.size(), right.size(),
        [&](std::size_t i, std::size_t j) { return sameKindAndName(left[i], right[j]); },
        [&](std::size_t i) { return kindAndNameKey(left[i]); },
        [&](std::size_t j) { return kindAndNameKey(right[j]); }, tooLarge);
    named.emplace_back(left.size(), right.size());
    std::size_t i = 0, j = 0;
    for (const auto& [namedLeft, namedRight] : named) {
        for (; i < namedLeft && j < namedRight; ++i, ++j)
            steps.push_back({true, left[i], right[j], {}});
        for (; i < namedLeft; ++i)
            steps.push_back({false, nullptr, nullptr,
                             {left[i], {DifferenceSide::Node, left[i]}, {DifferenceSide::Nothing, b}}});
        for (; j < namedRight; ++j)
            steps.push_back({false, nullptr, nullptr,
                             {right[j], {DifferenceSide::Nothing, a}, {DifferenceSide::Node, right[j]}}});
        if (i < left.size() && j < right.size()) steps.push_back({true, left[i], right[j], {}});
        ++i;
        ++j;
    }
}

// How alike two children of one kind and name are: their equal attributes plus the children
// they have in common as whole subtrees (given as sorted class ids).
std::size_t DifferenceList::alikeness(const DOMNode* x, const DOMNode* y,
                                      const std::vector<std::uint32_t>& left,
                                      const std::vector<std::uint32_t>& right) {
    std::size_t score = 0;
    if (x->getNodeType() == DOMNode::ELEMENT_NODE) {
        const Nodes mine = attributesOf(x);
        Nodes theirs = attributesOf(y);
        for (const DOMNode* p : mine) {
            for (const DOMNode*& q : theirs) {
                if (q && folding_.equal(p->getNodeName(), q->getNodeName()) &&
                    folding_.equal(p->getNodeValue(), q->getNodeValue())) {
                    ++score;
                    q = nullptr;
                    break;
                }
            }
        }
    }
    for (std::size_t i = 0, j = 0; i < left.size() && j < right.size();) {
        if (left[i] == right[j]) {
            ++score;
            ++i;
            ++j;
        } else if (left[i] < right[j]) {
            ++i;
        } else {
            ++j;
        }
    }
    return score;
}

// Equal subtrees pair one to one first, as the verdict pairs them; the rest pair by kind and
// name, most alike first; what is still left pairs by position.
void DifferenceList::alignUnordered(const DOMNode* a, const DOMNode* b, const Nodes& left,
                                    const Nodes& right, std::vector<Step>& steps) {
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> byClass;
    for (std::size_t j = right.size(); j-- > 0;) byClass[subtree(right[j]).id].push_back(j);
    std::vector<std::size_t> partner(left.size(), SIZE_MAX);
    std::vector<bool> rightTaken(right.size(), false);
    for (std::size_t i = 0; i < left.size(); ++i) {
        auto found = byClass.find(subtree(left[i]).id);
        if (found == byClass.end() || found->second.empty()) continue;
        partner[i] = found->second.back();
        rightTaken[partner[i]] = true;
        found->second.pop_back();
    }
    std::vector<bool> leftEqual(left.size());
    for (std::size_t i = 0; i < left.size(); ++i) leftEqual[i] = partner[i] != SIZE_MAX;

    // Candidates of one kind and name, best first; ties go to the pair nearest the start of
    // both lists, then by content, so that swapping the files picks the same pairs.
    struct Candidate {
        std::size_t score, i, j;
        std::uint64_t low, high;
    };
    std::vector<Candidate> candidates;
    std::vector<std::size_t> restLeft, restRight;
    for (std::size_t i = 0; i < left.size(); ++i)
        if (!leftEqual[i]) restLeft.push_back(i);
    for (std::size_t j = 0; j < right.size(); ++j)
        if (!rightTaken[j]) restRight.push_back(j);
    const bool byPosition = restLeft.size() > kMostCandidates / std::max<std::size_t>(1, restRight.size());
    if (!byPosition) {
        const auto childIds = [this](const DOMNode* node) {
            std::vector<std::uint32_t> ids;
            for (const DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling())
                ids.push_back(subtree(c).id);
            std::sort(ids.begin(), ids.end());
            return ids;
        };
        std::vector<std::vector<std::uint32_t>> idsLeft, idsRight;
        std::size_t grandchildren = 0;
        for (std::size_t i : restLeft) {
            idsLeft.push_back(childIds(left[i]));
            grandchildren += idsLeft.back().size() * restRight.size();
        }
        for (std::size_t j : restRight) {
            idsRight.push_back(childIds(right[j]));
            grandchildren += idsRight.back().size() * restLeft.size();
        }
        // Comparing every pair's children would cost too much: by position then.
        if (grandchildren > 16 * kMostCandidates) idsLeft.clear();
        for (std::size_t x = 0; x < idsLeft.size(); ++x) {
            for (std::size_t y = 0; y < restRight.size(); ++y) {
                const std::size_t i = restLeft[x], j = restRight[y];
                if (!sameKindAndName(left[i], right[j])) continue;
                const std::uint64_t p = subtree(left[i]).digest, q = subtree(right[j]).digest;
                candidates.push_back({alikeness(left[i], right[j], idsLeft[x], idsRight[y]), i, j,
                                      std::min(p, q), std::max(p, q)});
            }
        }
        std::sort(candidates.begin(), candidates.end(),
                  [](const Candidate& p, const Candidate& q) {
                      return std::make_tuple(q.score, p.i + p.j, p.low, p.high, std::min(p.i, p.j)) <
                             std::make_tuple(p.score, q.i + q.j, q.low, q.high, std::min(q.i, q.j));
                  });
        for (const Candidate& c : candidates) {
            if (partner[c.i] != SIZE_MAX || rightTaken[c.j]) continue;
            partner[c.i] = c.j;
            rightTaken[c.j] = true;
        }
    }
    // Left over: by position, in document order on both sides.
    std::size_t next = 0;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (partner[i] != SIZE_MAX) continue;
        while (next < right.size() && rightTaken[next]) ++next;
        if (next == right.size()) break;
        partner[i] = next;
        rightTaken[next] = true;
    }
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (leftEqual[i]) continue;
        if (partner[i] != SIZE_MAX)
            steps.push_back({true, left[i], right[partner[i]], {}});
        else
            steps.push_back({false, nullptr, nullptr,
                             {left[i], {DifferenceSide::Node, left[i]}, {DifferenceSide::Nothing, b}}});
    }
    for (std::size_t j = 0; j < right.size(); ++j)
        if (!rightTaken[j])
            steps.push_back({false, nullptr, nullptr,
                             {right[j], {DifferenceSide::Nothing, a}, {DifferenceSide::Node, right[j]}}});
}
