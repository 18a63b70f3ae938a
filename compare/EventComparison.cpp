#include "compare/EventComparison.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "compare/ClassTable.h"
#include "compare/SubtreeFold.h"

namespace {

using Events = GrowingArray<EventLog::Event>;

// Class ids of subtrees for the unordered comparison (see ClassTable).
class LogClasses {
public:
    explicit LogClasses(EventContent& content) : content(content) {}

    std::uint32_t add(const EventLog& log) { return classify(log, true); }
    std::uint32_t find(const EventLog& log) { return classify(log, false); }

private:
    std::uint32_t classify(const EventLog& log, bool adding) {
        return foldSubtrees<std::uint32_t>(
            log, pending,
            [&](std::size_t start, std::size_t, std::uint32_t* children, std::size_t count) {
                return table.intern(content.hash(log, start), LogNode{&log, start}, children,
                                    count, adding, [this](const LogNode& x, const LogNode& y) {
                                        return content.equal(*x.log, x.index, *y.log, y.index);
                                    });
            },
            [](std::uint32_t id) { return id == ClassTable<LogNode>::kNone; });
    }

    EventContent& content;
    ClassTable<LogNode> table;
    std::vector<std::uint32_t> pending;  // ids of finished children
};

// For every event that starts a subtree (or is a leaf): where the subtree ends, and a digest of
// it that ignores letter case and, at every level, the order of children. Equal subtrees have
// equal digests; equal digests are only a candidate, confirmed by the full comparison.
class Digests {
public:
    Digests() = default;
    // Left unset: only the entries of subtree starts and leaves are ever written and read, and
    // zeroing the rest would cost a pass over all of it.
    explicit Digests(std::size_t events)
        : digest_(new std::uint64_t[events]),
          span_(events >> 32 ? nullptr : new std::uint32_t[events]),
          longSpan_(events >> 32 ? new std::size_t[events] : nullptr) {}

    std::uint64_t digest(std::size_t i) const { return digest_[i]; }
    std::size_t end(std::size_t i) const { return i + (span_ ? span_[i] : longSpan_[i]); }
    void set(std::size_t start, std::size_t end, std::uint64_t digest) {
        digest_[start] = digest;
        // Spans fit in 32 bits unless the log has more events than that.
        if (span_)
            span_[start] = static_cast<std::uint32_t>(end - start);
        else
            longSpan_[start] = end - start;
    }

private:
    std::unique_ptr<std::uint64_t[]> digest_;
    std::unique_ptr<std::uint32_t[]> span_;  // end - start
    std::unique_ptr<std::size_t[]> longSpan_;
};

Digests digestSubtrees(const EventLog& log, EventContent& content) {
    Digests d(log.events().size());
    std::vector<std::uint64_t> pending;
    foldSubtrees<std::uint64_t>(
        log, pending,
        [&](std::size_t start, std::size_t end, std::uint64_t* children, std::size_t count) {
            std::sort(children, children + count);
            std::uint64_t h = content.hash(log, start);
            for (std::size_t k = 0; k < count; ++k) h = CaseFolding::mix(h + children[k]);
            d.set(start, end, h);
            return h;
        },
        [](std::uint64_t) { return false; });
    return d;
}

// Events [i, endA) of a and [j, endB) of b compare equal in document order.
bool rangesEqual(const EventLog& a, std::size_t i, std::size_t endA, const EventLog& b,
                 std::size_t j, std::size_t endB, EventContent& content) {
    if (endA - i != endB - j) return false;
    for (; i < endA; ++i, ++j) {
        if (!content.equal(a, i, b, j)) return false;
        i += a.events()[i].count;  // attributes were compared with their element
        j += b.events()[j].count;
    }
    return true;
}

enum class Match { Same, Different, Unsure };

constexpr std::size_t kOnePass = 256;  // events

// Pairs the children of corresponding subtrees by digest, level by level, and confirms every
// pair with the full comparison of its content. A pair that fails to confirm means two
// different subtrees share a digest: only the exact class ids can decide then.
Match pairByDigests(const EventLog& a, const Digests& da, const EventLog& b, const Digests& db,
                    EventContent& content) {
    if (a.events().empty() || b.events().empty()) return Match::Unsure;
    if (da.digest(0) != db.digest(0)) return Match::Different;
    const auto children = [](const EventLog& log, const Digests& d, std::size_t i,
                             std::vector<std::size_t>& out) {
        out.clear();
        const std::size_t last = d.end(i) - 1;  // the end event
        for (std::size_t k = i + 1 + log.events()[i].count; k < last; k = d.end(k))
            out.push_back(k);
        std::sort(out.begin(), out.end(),
                  [&](std::size_t x, std::size_t y) { return d.digest(x) < d.digest(y); });
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
            if (da.digest(ca[k]) != db.digest(cb[k])) return Match::Unsure;
            // A small pair alike in document order is confirmed by one pass over both. Only a
            // small one: an event is then passed over by a bounded number of its ancestors'
            // checks, where a deep chain would have every level check everything below it.
            const std::size_t endA = da.end(ca[k]);
            if (endA - ca[k] > kOnePass ||
                !rangesEqual(a, ca[k], endA, b, cb[k], db.end(cb[k]), content))
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
    // Seeded per kind, with the numbers the DOM gives node types (element 1, text 3, ...).
    static constexpr std::uint8_t kNodeType[] = {1, 2, 0, 3, 4, 8, 7, 5, 0};
    std::uint64_t h = CaseFolding::mix(kNodeType[e.kind]);
    // Without a trusted fold only what equal() keeps exactly may enter the hash.
    if (!folding.trusted()) return CaseFolding::mix(h + e.count);
    switch (e.kind) {
        case EventLog::ElementStart: {
            h = folding.hash(log.name(e), h);
            // Order-independent: a sum of one hash per attribute.
            std::uint64_t sum = 0;
            for (std::uint32_t k = 1; k <= e.count; ++k) {
                const EventLog::Event& attribute = log.events()[i + k];
                sum += CaseFolding::mix(folding.hash(log.value(attribute), folding.hash(log.name(attribute), 0)));
            }
            return CaseFolding::mix(h ^ CaseFolding::mix(sum + e.count));
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
        std::vector<std::pair<std::string_view, std::string_view>> out;
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
    EventContent content(folding);
    return rangesEqual(a, 0, a.events().size(), b, 0, b.events().size(), content);
}

bool eventLogsEqualUnordered(const EventLog& a, const EventLog& b, CaseFolding& folding) {
    // Document order is one valid pairing, and the cheapest to check.
    if (eventLogsEqual(a, b, folding)) return true;
    // -i may have left a document without its element; an empty log has no class to pair.
    if (a.events().empty() || b.events().empty()) return false;
    EventContent content(folding);
    // The digests of the two logs are independent: one of them on a thread of its own, with a
    // folding table of its own (the table fills as it is used) that hashes alike.
    Digests db;
    // Out of memory on either side is the caller's failure, never an abort: what the thread
    // throws comes back here, and the thread is joined on every path.
    std::exception_ptr secondFailed;
    const auto digestSecond = [&b, &db, &secondFailed, trusted = folding.trusted()] {
        try {
            CaseFolding ownFolding(trusted);
            EventContent ownContent(ownFolding);
            db = digestSubtrees(b, ownContent);
        } catch (...) {
            secondFailed = std::current_exception();
        }
    };
    std::thread second;
    try {
        second = std::thread(digestSecond);
    } catch (const std::system_error&) {
        digestSecond();
    }
    struct JoinOnExit {
        std::thread& thread;
        ~JoinOnExit() {
            if (thread.joinable()) thread.join();
        }
    } joinOnExit{second};
    const Digests da = digestSubtrees(a, content);
    if (second.joinable()) second.join();
    if (secondFailed) std::rethrow_exception(secondFailed);
    const Match match = pairByDigests(a, da, b, db, content);
    if (match != Match::Unsure) return match == Match::Same;
    LogClasses classes(content);
    const std::uint32_t id = classes.add(a);
    return id != ClassTable<LogNode>::kNone && classes.find(b) == id;
}

std::pair<int, std::string> siblingKey(const EventLog& log, std::size_t i) {
    const EventLog::Event& e = log.events()[i];
    switch (e.kind) {
        case EventLog::Cdata:
            return {EventLog::Text, std::string()};
        case EventLog::ElementStart:
        case EventLog::Instruction:
        case EventLog::EntityStart:
            return {e.kind, std::string(log.name(e))};
        default:
            return {e.kind, std::string()};
    }
}

namespace {

// Where a comparison stands in one stream: an event of the chunk in hand. When holding, the
// chunks from the one with the mark on are kept, so that the events from the mark can be had
// again.
struct StreamCursor {
    EventStream& stream;
    EventLog chunk;
    std::size_t at = 0;
    bool ended = false;
    bool holding = false;
    std::deque<EventLog> held;  // chunks before chunk, the mark in the first
    std::size_t markAt = 0;     // in held.front(), or in chunk when nothing is held

    StreamCursor(EventStream& stream, bool holding) : stream(stream), holding(holding) { fill(); }
    // Skips empty chunks; ends with the stream.
    void fill() {
        while (at >= chunk.events().size()) {
            if (holding && !chunk.events().empty()) held.push_back(std::move(chunk));
            if (!stream.take(chunk)) {
                ended = true;
                return;
            }
            at = 0;
        }
    }
    void advance() {
        at += 1 + chunk.events()[at].count;  // attributes were compared with their element
        fill();
    }
    // Marks the event in hand; what was held before it goes back to the stream for reuse.
    void mark() {
        while (!held.empty()) {
            stream.recycle(std::move(held.front()));
            held.pop_front();
        }
        markAt = at;
    }
    // Appends the events from the mark (from the one in hand when not holding) to the end of
    // the stream.
    void keepRest(EventLog& out) {
        std::size_t from = holding ? markAt : at;
        for (const EventLog& h : held) {
            out.append(h, from, h.events().size());
            from = 0;
        }
        while (!ended) {
            out.append(chunk, from, chunk.events().size());
            from = 0;
            if (!stream.take(chunk)) ended = true;
        }
    }
    void drain() {
        while (!ended && stream.take(chunk)) {
        }
        ended = true;
    }
};

}  // namespace

bool eventStreamsEqual(EventStream& a, EventStream& b, CaseFolding& folding, StreamedRest* rest) {
    EventContent content(folding);
    const bool holding = rest != nullptr;
    StreamCursor x(a, holding);
    StreamCursor y(b, holding);
    bool same = true;
    long depth = 0;  // elements and entity references open around the event in hand
    std::pair<int, std::string> current;  // the document element's child in hand
    bool inChild = false;
    while (!x.ended && !y.ended) {
        const EventLog::Event& e = x.chunk.events()[x.at];
        if (holding && depth == 1) {
            // A child of the document element starts (or the element ends): the files are
            // equal up to here, and a listing needs nothing before it.
            if (inChild) ++rest->rootCounts[current];
            current = siblingKey(x.chunk, x.at);
            inChild = true;
            x.mark();
            y.mark();
        }
        if (!content.equal(x.chunk, x.at, y.chunk, y.at)) {
            same = false;
            break;
        }
        if (holding && depth == 0) {
            rest->original.append(x.chunk, x.at, x.at + 1 + e.count);
            rest->compare.append(y.chunk, y.at, y.at + 1 + y.chunk.events()[y.at].count);
        }
        if (e.kind == EventLog::ElementStart || e.kind == EventLog::EntityStart)
            ++depth;
        else if (e.kind == EventLog::ElementEnd || e.kind == EventLog::EntityEnd)
            --depth;
        x.advance();
        y.advance();
    }
    same = same && x.ended && y.ended;
    if (!same && holding) {
        if (depth == 0) {
            // Parted at the document element itself: all of both.
            rest->original.clear();
            rest->compare.clear();
            rest->rootCounts.clear();
            x.holding = y.holding = false;
        }
        x.keepRest(rest->original);
        y.keepRest(rest->compare);
    }
    x.drain();
    y.drain();
    return same;
}
