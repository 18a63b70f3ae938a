#include "compare/EventComparison.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "compare/ClassTable.h"

namespace {

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    return h ^ (h >> 33);
}

using Events = std::vector<EventLog::Event>;

// A subtree of a log: the event that starts it.
struct LogNode {
    const EventLog* log;
    std::size_t index;
};

// Class ids of subtrees for the unordered comparison, from one pass over a log: elements and
// entity references are closed by their end events, everything else is a leaf.
class LogClasses {
public:
    explicit LogClasses(EventContent& content) : content(content) {}

    std::uint32_t add(const EventLog& log) { return classify(log, true); }
    std::uint32_t find(const EventLog& log) { return classify(log, false); }

private:
    std::uint32_t classify(const EventLog& log, bool adding) {
        const Events& events = log.events();
        pending.clear();
        open.clear();
        std::uint32_t root = ClassTable<LogNode>::kNone;
        for (std::size_t i = 0; i < events.size(); ++i) {
            const EventLog::Event& e = events[i];
            switch (e.kind) {
                case EventLog::ElementStart:
                case EventLog::EntityStart:
                    open.emplace_back(i, pending.size());
                    i += e.count;  // attributes belong to the element's content
                    continue;
                case EventLog::ElementEnd:
                case EventLog::EntityEnd: {
                    const auto [start, firstChild] = open.back();
                    open.pop_back();
                    const std::uint32_t id = classOf(log, start, firstChild, adding);
                    if (id == ClassTable<LogNode>::kNone) return id;
                    pending.resize(firstChild);
                    if (open.empty()) root = id;
                    pending.push_back(id);
                    continue;
                }
                default: {
                    const std::uint32_t id = classOf(log, i, pending.size(), adding);
                    if (id == ClassTable<LogNode>::kNone) return id;
                    pending.push_back(id);
                }
            }
        }
        return root;
    }

    std::uint32_t classOf(const EventLog& log, std::size_t index, std::size_t firstChild,
                          bool adding) {
        return table.intern(content.hash(log, index), LogNode{&log, index},
                            pending.data() + firstChild, pending.size() - firstChild, adding,
                            [this](const LogNode& x, const LogNode& y) {
                                return content.equal(*x.log, x.index, *y.log, y.index);
                            });
    }

    EventContent& content;
    ClassTable<LogNode> table;
    std::vector<std::uint32_t> pending;                     // ids of finished children
    std::vector<std::pair<std::size_t, std::size_t>> open;  // start event, its first child id
};

// For every event that starts a subtree (or is a leaf): where the subtree ends, and a digest of
// it that ignores letter case and, at every level, the order of children. Equal subtrees have
// equal digests; equal digests are only a candidate, confirmed by the full comparison.
struct Digests {
    std::vector<std::uint64_t> digest;
    std::vector<std::size_t> end;  // the index after the subtree
};

Digests digestSubtrees(const EventLog& log, EventContent& content) {
    const Events& events = log.events();
    Digests d{std::vector<std::uint64_t>(events.size()), std::vector<std::size_t>(events.size())};
    std::vector<std::uint64_t> pending;                     // digests of finished children
    std::vector<std::pair<std::size_t, std::size_t>> open;  // start event, its first child
    for (std::size_t i = 0; i < events.size(); ++i) {
        const EventLog::Event& e = events[i];
        switch (e.kind) {
            case EventLog::ElementStart:
            case EventLog::EntityStart:
                open.emplace_back(i, pending.size());
                i += e.count;
                continue;
            case EventLog::ElementEnd:
            case EventLog::EntityEnd: {
                const auto [start, first] = open.back();
                open.pop_back();
                std::sort(pending.begin() + first, pending.end());
                std::uint64_t h = content.hash(log, start);
                for (std::size_t k = first; k < pending.size(); ++k) h = mix(h + pending[k]);
                d.digest[start] = h;
                d.end[start] = i + 1;
                pending.resize(first);
                pending.push_back(h);
                continue;
            }
            default:
                d.digest[i] = content.hash(log, i);
                d.end[i] = i + 1;
                pending.push_back(d.digest[i]);
        }
    }
    return d;
}

enum class Match { Same, Different, Unsure };

// Pairs the children of corresponding subtrees by digest, level by level, and confirms every
// pair with the full comparison of its content. A pair that fails to confirm means two
// different subtrees share a digest: only the exact class ids can decide then.
Match pairByDigests(const EventLog& a, const Digests& da, const EventLog& b, const Digests& db,
                    EventContent& content) {
    if (a.events().empty() || b.events().empty()) return Match::Unsure;
    if (da.digest[0] != db.digest[0]) return Match::Different;
    const auto children = [](const EventLog& log, const Digests& d, std::size_t i,
                             std::vector<std::size_t>& out) {
        out.clear();
        const std::size_t last = d.end[i] - 1;  // the end event
        for (std::size_t k = i + 1 + log.events()[i].count; k < last; k = d.end[k])
            out.push_back(k);
        std::sort(out.begin(), out.end(),
                  [&](std::size_t x, std::size_t y) { return d.digest[x] < d.digest[y]; });
    };
    std::vector<std::pair<std::size_t, std::size_t>> todo{{0, 0}};
    std::vector<std::size_t> ca, cb;
    while (!todo.empty()) {
        const auto [i, j] = todo.back();
        todo.pop_back();
        if (!content.equal(a, i, b, j)) return Match::Unsure;
        const EventLog::Kind kind = a.events()[i].kind;
        if (kind != EventLog::ElementStart && kind != EventLog::EntityStart) continue;
        children(a, da, i, ca);
        children(b, db, j, cb);
        if (ca.size() != cb.size()) return Match::Unsure;
        for (std::size_t k = 0; k < ca.size(); ++k) {
            if (da.digest[ca[k]] != db.digest[cb[k]]) return Match::Unsure;
            todo.emplace_back(ca[k], cb[k]);
        }
    }
    return Match::Same;
}

}  // namespace

bool EventContent::equal(const EventLog& a, std::size_t i, const EventLog& b, std::size_t j) {
    const EventLog::Event& p = a.events()[i];
    const EventLog::Event& q = b.events()[j];
    if (p.kind != q.kind) return false;
    switch (p.kind) {
        case EventLog::ElementStart:
            return p.count == q.count && folding.equal(a.name(p), b.name(q)) &&
                   attributesEqual(a, i + 1, b, j + 1, p.count);
        case EventLog::Text:
        case EventLog::Cdata:
        case EventLog::Comment:
            return folding.equal(a.value(p), b.value(q));
        case EventLog::Instruction:
            return folding.equal(a.name(p), b.name(q)) && folding.equal(a.value(p), b.value(q));
        case EventLog::EntityStart:
            return folding.equal(a.name(p), b.name(q));
        default:
            return true;
    }
}

std::uint64_t EventContent::hash(const EventLog& log, std::size_t i) {
    const EventLog::Event& e = log.events()[i];
    std::uint64_t h = mix(static_cast<std::uint64_t>(e.kind) + 1);
    // Without a trusted fold only what equal() keeps exactly may enter the hash.
    if (!folding.trusted()) return mix(h + e.count);
    switch (e.kind) {
        case EventLog::ElementStart: {
            h = folding.hash(log.name(e), h);
            // Order-independent: a sum of one hash per attribute.
            std::uint64_t sum = 0;
            for (std::uint32_t k = 1; k <= e.count; ++k) {
                const EventLog::Event& attribute = log.events()[i + k];
                sum += mix(folding.hash(log.value(attribute), folding.hash(log.name(attribute), 0)));
            }
            return mix(h ^ mix(sum + e.count));
        }
        case EventLog::Text:
        case EventLog::Cdata:
        case EventLog::Comment:
            return folding.hash(log.value(e), h);
        case EventLog::Instruction:
            return folding.hash(log.value(e), folding.hash(log.name(e), h));
        case EventLog::EntityStart:
            return folding.hash(log.name(e), h);
        default:
            return h;
    }
}

bool EventContent::attributeEqual(const EventLog& a, std::size_t i, const EventLog& b,
                                  std::size_t j) {
    const EventLog::Event& p = a.events()[i];
    const EventLog::Event& q = b.events()[j];
    return folding.equal(a.name(p), b.name(q)) && folding.equal(a.value(p), b.value(q));
}

// Same positions first, the usual case; otherwise paired by name whatever the order.
bool EventContent::attributesEqual(const EventLog& a, std::size_t i, const EventLog& b,
                                   std::size_t j, std::uint32_t count) {
    std::uint32_t k = 0;
    while (k < count && attributeEqual(a, i + k, b, j + k)) ++k;
    if (k == count) return true;
    if (!folding.trusted()) {
        // Equality ignoring case is an equivalence, so taking the first free partner never
        // fails where another choice would succeed.
        std::vector<bool> used(count, false);
        for (std::uint32_t x = 0; x < count; ++x) {
            std::uint32_t y = 0;
            while (y < count && (used[y] || !attributeEqual(a, i + x, b, j + y))) ++y;
            if (y == count) return false;
            used[y] = true;
        }
        return true;
    }
    const auto sorted = [&](const EventLog& log, std::size_t from) {
        std::vector<std::pair<const XMLCh*, const XMLCh*>> out;
        for (std::uint32_t x = 0; x < count; ++x) {
            const EventLog::Event& e = log.events()[from + x];
            out.emplace_back(log.name(e), log.value(e));
        }
        std::sort(out.begin(), out.end(), [&](const auto& l, const auto& r) {
            const int byName = folding.compare(l.first, r.first);
            if (byName != 0) return byName < 0;
            return folding.compare(l.second, r.second) < 0;
        });
        return out;
    };
    const auto left = sorted(a, i);
    const auto right = sorted(b, j);
    for (std::uint32_t x = 0; x < count; ++x) {
        if (!folding.equal(left[x].first, right[x].first) ||
            !folding.equal(left[x].second, right[x].second))
            return false;
    }
    return true;
}

bool eventLogsEqual(const EventLog& a, const EventLog& b, CaseFolding& folding) {
    const Events& x = a.events();
    const Events& y = b.events();
    if (x.size() != y.size()) return false;
    EventContent content(folding);
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!content.equal(a, i, b, i)) return false;
        if (x[i].kind == EventLog::ElementStart) i += x[i].count;
    }
    return true;
}

bool eventLogsEqualUnordered(const EventLog& a, const EventLog& b, CaseFolding& folding) {
    // Document order is one valid pairing, and the cheapest to check.
    if (eventLogsEqual(a, b, folding)) return true;
    EventContent content(folding);
    // The digests of the two logs are independent: one of them on a thread of its own, with a
    // folding table of its own (the table fills as it is used) that hashes alike.
    Digests db;
    const auto digestSecond = [&b, &db, trusted = folding.trusted()] {
        CaseFolding ownFolding(trusted);
        EventContent ownContent(ownFolding);
        db = digestSubtrees(b, ownContent);
    };
    std::thread second;
    try {
        second = std::thread(digestSecond);
    } catch (const std::system_error&) {
        digestSecond();
    }
    const Digests da = digestSubtrees(a, content);
    if (second.joinable()) second.join();
    const Match match = pairByDigests(a, da, b, db, content);
    if (match != Match::Unsure) return match == Match::Same;
    LogClasses classes(content);
    const std::uint32_t id = classes.add(a);
    return id != ClassTable<LogNode>::kNone && classes.find(b) == id;
}
