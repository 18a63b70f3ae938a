#include "compare/DifferenceList.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

#include "support/Utf8.h"

namespace {

// Child lists whose unmatched middles hold more pairs than this are paired by position: the
// table of the longest common run would cost too much memory.
constexpr std::size_t kMostCells = std::size_t{1} << 23;
// Groups of children with one name under -o beyond this many candidate pairs go by position.
constexpr std::size_t kMostCandidates = std::size_t{1} << 20;

using Pairs = std::vector<std::pair<std::size_t, std::size_t>>;

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

bool named(EventLog::Kind kind) {
    return kind == EventLog::ElementStart || kind == EventLog::EntityStart ||
           kind == EventLog::Instruction;
}

}  // namespace

std::vector<Difference> DifferenceList::find(const EventLog& original, const EventLog& compare,
                                             std::size_t most) {
    found_.clear();
    most_ = most;
    if (most == 0) return found_;
    constexpr std::size_t kNone = DifferenceSide::kNone;
    // -i may have removed a document element: its log is empty then.
    const bool hasA = !original.events().empty();
    const bool hasB = !compare.events().empty();
    if (!hasA && !hasB) return found_;
    if (!hasB) {
        report({{DifferenceSide::Node, 0}, {DifferenceSide::Nothing, kNone}});
        return found_;
    }
    if (!hasA) {
        report({{DifferenceSide::Nothing, kNone}, {DifferenceSide::Node, 0}});
        return found_;
    }
    sides_[0].log = &original;
    sides_[1].log = &compare;
    classify(0);
    classify(1);

    // Depth first without recursion: the steps of a pair replace it on the stack, last first.
    std::vector<Step> stack{{true, 0, 0, {}}};
    std::vector<Step> steps;
    while (!stack.empty() && found_.size() < most_) {
        const Step step = stack.back();
        stack.pop_back();
        if (!step.pair) {
            report(step.difference);
            continue;
        }
        const std::size_t x = step.a;
        const std::size_t y = step.b;
        if (id(0, x) == id(1, y)) continue;
        if (ownContentDiffers(x, y)) {
            report({{DifferenceSide::Node, x}, {DifferenceSide::Node, y}});
            continue;
        }
        if (event(0, x).kind == EventLog::ElementStart) attributeDifferences(x, y);
        const Nodes left = childrenOf(0, x);
        const Nodes right = childrenOf(1, y);
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

void DifferenceList::classify(int s) {
    Side& side = sides_[s];
    const EventLog& log = *side.log;
    const std::size_t count = log.events().size();
    // Left unset: only the entries of subtree starts and leaves are ever written and read.
    side.end.reset(new std::size_t[count]);
    side.id.reset(new std::uint32_t[count]);
    side.digest.reset(new std::uint64_t[count]);
    struct Value {
        std::uint32_t id;
        std::uint64_t digest;
    };
    std::vector<Value> pending;
    std::vector<std::uint32_t> ids;
    foldSubtrees<Value>(
        log, pending,
        [&](std::size_t start, std::size_t end, Value* children, std::size_t n) {
            const std::uint64_t own = content_.hash(log, start);
            std::uint64_t digest = own;
            ids.resize(n);
            for (std::size_t k = 0; k < n; ++k) {
                digest = CaseFolding::mix(digest + children[k].digest);
                ids[k] = children[k].id;
            }
            const std::uint32_t id = table_.intern(
                own, LogNode{&log, start}, ids.data(), n, true,
                [this](const LogNode& x, const LogNode& y) {
                    return content_.equal(*x.log, x.index, *y.log, y.index);
                },
                !ignoreOrder_);
            side.end[start] = end;
            side.id[start] = id;
            side.digest[start] = digest;
            return Value{id, digest};
        },
        [](const Value&) { return false; });
}

DifferenceList::Nodes DifferenceList::childrenOf(int s, std::size_t i) const {
    Nodes list;
    const EventLog::Event& e = event(s, i);
    if (e.kind != EventLog::ElementStart && e.kind != EventLog::EntityStart) return list;
    const std::size_t last = end(s, i) - 1;  // the end event
    for (std::size_t k = i + 1 + e.count; k < last; k = end(s, k)) list.push_back(k);
    return list;
}

DifferenceList::Nodes DifferenceList::attributesOf(int s, std::size_t i) const {
    Nodes list;
    const EventLog::Event& e = event(s, i);
    if (e.kind != EventLog::ElementStart) return list;
    std::vector<std::pair<std::u16string, std::size_t>> byName;
    for (std::size_t k = i + 1; k <= i + e.count; ++k)
        byName.emplace_back(EventLog::toUtf16(name(s, k)), k);
    std::sort(byName.begin(), byName.end());
    for (const auto& [key, k] : byName) list.push_back(k);
    return list;
}

// Text and CDATA are different kinds here: a CDATA section never equals a text.
bool DifferenceList::sameKindAndName(std::size_t x, std::size_t y) {
    const EventLog::Kind kind = event(0, x).kind;
    if (kind != event(1, y).kind) return false;
    return !named(kind) || folding_.equal(name(0, x), name(1, y));
}

std::uint64_t DifferenceList::kindAndNameKey(int s, std::size_t i) {
    // Seeded with the numbers the DOM gives node types, as the content hashes are.
    static constexpr std::uint8_t kNodeType[] = {1, 2, 0, 3, 4, 8, 7, 5, 0};
    const EventLog::Kind kind = event(s, i).kind;
    const std::uint64_t key = CaseFolding::mix(kNodeType[kind]);
    if (!named(kind)) return key;
    return folding_.trusted() ? folding_.hash(name(s, i), key) : key;
}

// Different kinds or names, or a value of its own that differs: nothing below is looked at.
bool DifferenceList::ownContentDiffers(std::size_t a, std::size_t b) {
    if (!sameKindAndName(a, b)) return true;
    switch (event(0, a).kind) {
        case EventLog::ElementStart:
        case EventLog::EntityStart:
            return false;
        default:
            return !content_.equal(*sides_[0].log, a, *sides_[1].log, b);
    }
}

// Equal attributes pair first, then the rest by name; what is left is on one side only.
// Reported in the first file's order, then the second file's leftovers.
void DifferenceList::attributeDifferences(std::size_t a, std::size_t b) {
    const Nodes left = attributesOf(0, a);
    const Nodes right = attributesOf(1, b);
    std::vector<bool> leftDone(left.size(), false), rightDone(right.size(), false);
    std::vector<std::size_t> partner(left.size(), SIZE_MAX);  // same name, another value
    if (folding_.trusted()) {
        // Sorted, both lists meet in one merging pass per round; the k-th of a group on one
        // side pairs with the k-th on the other, as taking the first free partner would.
        const auto pairSorted = [&](bool valueToo) {
            const auto order = [&](int s, const Nodes& list, const std::vector<bool>& done) {
                std::vector<std::size_t> out;
                for (std::size_t k = 0; k < list.size(); ++k)
                    if (!done[k]) out.push_back(k);
                std::stable_sort(out.begin(), out.end(), [&](std::size_t x, std::size_t y) {
                    const int byName = folding_.compare(name(s, list[x]), name(s, list[y]));
                    if (byName != 0 || !valueToo) return byName < 0;
                    return folding_.compare(value(s, list[x]), value(s, list[y])) < 0;
                });
                return out;
            };
            const std::vector<std::size_t> x = order(0, left, leftDone),
                                           y = order(1, right, rightDone);
            for (std::size_t i = 0, j = 0; i < x.size() && j < y.size();) {
                int c = folding_.compare(name(0, left[x[i]]), name(1, right[y[j]]));
                if (c == 0 && valueToo)
                    c = folding_.compare(value(0, left[x[i]]), value(1, right[y[j]]));
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
                    if (rightDone[j] || !folding_.equal(name(0, left[i]), name(1, right[j])))
                        continue;
                    if (valueToo && !folding_.equal(value(0, left[i]), value(1, right[j])))
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
            report({{DifferenceSide::Node, left[i]}, {DifferenceSide::Node, right[partner[i]]}});
        else if (!leftDone[i])
            report({{DifferenceSide::Node, left[i]}, {DifferenceSide::Nothing, b}});
    }
    for (std::size_t j = 0; j < right.size(); ++j)
        if (!rightDone[j]) report({{DifferenceSide::Nothing, a}, {DifferenceSide::Node, right[j]}});
}

// Like a line diff: equal children at both ends, then the longest in-order run of equal
// subtrees in the middle; what lies between two kept children pairs by kind and name.
void DifferenceList::alignInOrder(std::size_t a, std::size_t b, const Nodes& left,
                                  const Nodes& right, std::vector<Step>& steps) {
    std::size_t first = 0;
    while (first < left.size() && first < right.size() && id(0, left[first]) == id(1, right[first]))
        ++first;
    std::size_t lastLeft = left.size(), lastRight = right.size();
    while (lastLeft > first && lastRight > first &&
           id(0, left[lastLeft - 1]) == id(1, right[lastRight - 1])) {
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
            return id(0, left[fromLeft + i]) == id(1, right[fromRight + j]);
        },
        [&](std::size_t i) { return digest(0, left[fromLeft + i]); },
        [&](std::size_t j) { return digest(1, right[fromRight + j]); }, tooLarge);
    if (!tooLarge) {
        for (const auto& [i, j] : run) kept.emplace_back(fromLeft + i, fromRight + j);
        return;
    }
    if (depth > 8) return;  // what is left pairs by name, then by position
    // Children whose subtree stands once in each list, as (left, right) in left order. Sorted
    // (class, index) lists: a hash map of every child would take several times the memory.
    const auto once = [this](int side, const Nodes& list, std::size_t from, std::size_t to) {
        std::vector<std::pair<std::uint32_t, std::size_t>> byClass;
        byClass.reserve(to - from);
        for (std::size_t k = from; k < to; ++k) byClass.emplace_back(id(side, list[k]), k);
        std::sort(byClass.begin(), byClass.end());
        std::vector<std::pair<std::uint32_t, std::size_t>> single;
        for (std::size_t k = 0; k < byClass.size(); ++k) {
            const bool alone = (k == 0 || byClass[k - 1].first != byClass[k].first) &&
                               (k + 1 == byClass.size() || byClass[k + 1].first != byClass[k].first);
            if (alone) single.push_back(byClass[k]);
        }
        return single;
    };
    const auto onceLeft = once(0, left, fromLeft, toLeft);
    const auto onceRight = once(1, right, fromRight, toRight);
    Pairs anchors;
    for (std::size_t x = 0, y = 0; x < onceLeft.size() && y < onceRight.size();) {
        if (onceLeft[x].first < onceRight[y].first) {
            ++x;
        } else if (onceLeft[x].first > onceRight[y].first) {
            ++y;
        } else {
            anchors.emplace_back(onceLeft[x++].second, onceRight[y++].second);
        }
    }
    std::sort(anchors.begin(), anchors.end());
    // The longest run of anchors whose right indices rise too (patience sorting).
    std::vector<std::size_t> tails, previous(anchors.size(), SIZE_MAX);
    for (std::size_t k = 0; k < anchors.size(); ++k) {
        const auto at = std::lower_bound(
            tails.begin(), tails.end(), anchors[k].second,
            [&](std::size_t t, std::size_t v) { return anchors[t].second < v; });
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
               id(0, left[endLeft - 1]) == id(1, right[endRight - 1]))
            before.emplace_back(--endLeft, --endRight);
        while (i < endLeft && j < endRight && id(0, left[i]) == id(1, right[j]))
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
void DifferenceList::pairByName(std::size_t a, std::size_t b, const Nodes& left,
                                const Nodes& right, std::vector<Step>& steps) {
    bool tooLarge = false;
    Pairs byName = longestCommon(
        left.size(), right.size(),
        [&](std::size_t i, std::size_t j) { return sameKindAndName(left[i], right[j]); },
        [&](std::size_t i) { return kindAndNameKey(0, left[i]); },
        [&](std::size_t j) { return kindAndNameKey(1, right[j]); }, tooLarge);
    byName.emplace_back(left.size(), right.size());
    std::size_t i = 0, j = 0;
    for (const auto& [namedLeft, namedRight] : byName) {
        for (; i < namedLeft && j < namedRight; ++i, ++j)
            steps.push_back({true, left[i], right[j], {}});
        for (; i < namedLeft; ++i)
            steps.push_back(
                {false, 0, 0, {{DifferenceSide::Node, left[i]}, {DifferenceSide::Nothing, b}}});
        for (; j < namedRight; ++j)
            steps.push_back(
                {false, 0, 0, {{DifferenceSide::Nothing, a}, {DifferenceSide::Node, right[j]}}});
        if (i < left.size() && j < right.size()) steps.push_back({true, left[i], right[j], {}});
        ++i;
        ++j;
    }
}

// How alike two children of one kind and name are: their equal attributes plus the children
// they have in common as whole subtrees (given as sorted class ids).
std::size_t DifferenceList::alikeness(std::size_t x, std::size_t y,
                                      const std::vector<std::uint32_t>& left,
                                      const std::vector<std::uint32_t>& right) {
    std::size_t score = 0;
    if (event(0, x).kind == EventLog::ElementStart) {
        const Nodes mine = attributesOf(0, x);
        Nodes theirs = attributesOf(1, y);
        std::vector<bool> used(theirs.size(), false);
        for (std::size_t p : mine) {
            for (std::size_t q = 0; q < theirs.size(); ++q) {
                if (!used[q] && folding_.equal(name(0, p), name(1, theirs[q])) &&
                    folding_.equal(value(0, p), value(1, theirs[q]))) {
                    ++score;
                    used[q] = true;
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
void DifferenceList::alignUnordered(std::size_t a, std::size_t b, const Nodes& left,
                                    const Nodes& right, std::vector<Step>& steps) {
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> byClass;
    for (std::size_t j = right.size(); j-- > 0;) byClass[id(1, right[j])].push_back(j);
    std::vector<std::size_t> partner(left.size(), SIZE_MAX);
    std::vector<bool> rightTaken(right.size(), false);
    for (std::size_t i = 0; i < left.size(); ++i) {
        auto found = byClass.find(id(0, left[i]));
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
    const bool byPosition =
        restLeft.size() > kMostCandidates / std::max<std::size_t>(1, restRight.size());
    if (!byPosition) {
        const auto childIds = [this](int s, std::size_t node) {
            std::vector<std::uint32_t> ids;
            for (std::size_t c : childrenOf(s, node)) ids.push_back(id(s, c));
            std::sort(ids.begin(), ids.end());
            return ids;
        };
        std::vector<std::vector<std::uint32_t>> idsLeft, idsRight;
        std::size_t grandchildren = 0;
        for (std::size_t i : restLeft) {
            idsLeft.push_back(childIds(0, left[i]));
            grandchildren += idsLeft.back().size() * restRight.size();
        }
        for (std::size_t j : restRight) {
            idsRight.push_back(childIds(1, right[j]));
            grandchildren += idsRight.back().size() * restLeft.size();
        }
        // Comparing every pair's children would cost too much: by position then.
        if (grandchildren > 16 * kMostCandidates) idsLeft.clear();
        for (std::size_t x = 0; x < idsLeft.size(); ++x) {
            for (std::size_t y = 0; y < restRight.size(); ++y) {
                const std::size_t i = restLeft[x], j = restRight[y];
                if (!sameKindAndName(left[i], right[j])) continue;
                const std::uint64_t p = digest(0, left[i]), q = digest(1, right[j]);
                candidates.push_back({alikeness(left[i], right[j], idsLeft[x], idsRight[y]), i, j,
                                      std::min(p, q), std::max(p, q)});
            }
        }
        std::sort(candidates.begin(), candidates.end(), [](const Candidate& p, const Candidate& q) {
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
            steps.push_back(
                {false, 0, 0, {{DifferenceSide::Node, left[i]}, {DifferenceSide::Nothing, b}}});
    }
    for (std::size_t j = 0; j < right.size(); ++j)
        if (!rightTaken[j])
            steps.push_back(
                {false, 0, 0, {{DifferenceSide::Nothing, a}, {DifferenceSide::Node, right[j]}}});
}
