#include "compare/EventComparison.h"

#include <algorithm>
#include <deque>
#include <exception>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>
#include <tuple>
#include <unordered_map>
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
                sum += CaseFolding::mix(
                    folding.hash(log.value(attribute), folding.hash(log.name(attribute), 0)));
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

namespace {

// A hash of the start of a text: its first characters folded, and its length in characters.
std::uint64_t prefixHash(CaseFolding& folding, std::string_view text, std::uint64_t seed) {
    constexpr std::size_t kCharacters = 4;
    std::size_t characters = 0, prefix = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (++characters == kCharacters + 1) prefix = i;
    }
    if (characters <= kCharacters) prefix = text.size();
    return folding.hash(text.substr(0, prefix), seed + characters);
}

}  // namespace

std::uint64_t EventContent::roughHash(const EventLog& log, std::size_t from, std::size_t to) {
    std::uint64_t h = 0;
    if (!folding.trusted()) return h;
    const GrowingArray<EventLog::Event>& events = log.events();
    for (std::size_t i = from; i < to; i += 1 + events[i].count) {
        const EventLog::Event& e = events[i];
        std::uint64_t own = prefixHash(folding, log.name(e), CaseFolding::mix(e.kind + 1));
        own = prefixHash(folding, log.value(e), own);
        // Attributes in any order: a sum.
        std::uint64_t sum = e.count;
        for (std::uint32_t k = 1; k <= e.count; ++k) {
            const EventLog::Event& a = events[i + k];
            sum += CaseFolding::mix(
                prefixHash(folding, log.value(a), prefixHash(folding, log.name(a), 0)));
        }
        h = CaseFolding::mix(h + (own ^ CaseFolding::mix(sum)));
    }
    return h;
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

// Where a comparison stands in one stream: an event of the chunk in hand, and how many
// elements and entity references are open around it. For a listing it also keeps the chunks
// from the mark on (the start of the child in hand of the element whose children are compared
// whole: the document element, or one that was too large to hold), and children read ahead
// whole.
struct StreamCursor {
    EventStream& stream;
    EventLog chunk;
    std::size_t at = 0;
    bool ended = false;
    long depth = 0;
    const bool holding;
    std::deque<EventLog> held;  // chunks before chunk, the mark in the first
    std::size_t markAt = 0;     // in held.front(), or in chunk when nothing is held

    long unit = 1;  // the depth of the children compared whole
    // Children of that element read ahead, back to back in buffer.
    struct Child {
        std::size_t start, end;
        std::uint64_t hash;  // rough (see EventContent::roughHash), once asked for
        bool hashed;
        bool startOnly = false;  // its start and end only: equal to nothing
    };
    EventLog buffer;
    std::deque<Child> children;
    bool parentEnded = false;  // the event in hand ends their element
    bool cutShort = false;     // the last child taken was larger than asked and is not whole
    // The next child is too large to read ahead (more than mostAhead bytes of events): it is
    // left in the stream, to be compared in step with one as large on the other side. Once the
    // other side has no more children it is read all the same: it has no such counterpart.
    bool blocked = false;
    std::size_t mostAhead = SIZE_MAX;
    const StreamCursor* other = nullptr;
    CaseFolding* folding = nullptr;  // names pair as the listing pairs them
    std::size_t partialStart = 0;  // in buffer, where the child cut short starts

    StreamCursor(EventStream& stream, bool holding) : stream(stream), holding(holding) { fill(); }
    const EventLog::Event& event() const { return chunk.events()[at]; }
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
        const EventLog::Event& e = event();
        if (e.kind == EventLog::ElementStart || e.kind == EventLog::EntityStart)
            ++depth;
        else if (e.kind == EventLog::ElementEnd || e.kind == EventLog::EntityEnd)
            --depth;
        at += 1 + e.count;  // attributes were compared with their element
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
    // Appends the events from the mark (from the one in hand when not holding) that have
    // been taken so far.
    void keepTaken(EventLog& out) {
        std::size_t from = holding ? markAt : at;
        for (const EventLog& h : held) {
            out.append(h, from, h.events().size());
            from = 0;
        }
        if (!ended) out.append(chunk, from, chunk.events().size());
    }
    // Takes the next chunk, appending it to out when given; ends with the stream.
    void takeNext(EventLog* out) {
        if (ended) return;
        if (!stream.take(chunk)) {
            ended = true;
            return;
        }
        if (out) out->append(chunk, 0, chunk.events().size());
    }

    // The child in hand goes to the children read ahead: what was taken of it since the mark,
    // then the rest of it. False when their element ends instead, or when the child holds more
    // than most bytes (cutShort; rewind() then gives it back).
    bool takeChild(std::size_t most = SIZE_MAX) {
        cutShort = false;
        if (ended || (depth == unit && (event().kind == EventLog::ElementEnd ||
                                        event().kind == EventLog::EntityEnd))) {
            parentEnded = true;
            return false;
        }
        const std::size_t start = buffer.events().size();
        const std::size_t before = heldBytes();
        partialStart = start;
        if (at != markAt || !held.empty()) {
            std::size_t from = markAt;
            for (const EventLog& h : held) {
                buffer.append(h, from, h.events().size());
                from = 0;
            }
            buffer.append(chunk, from, at);
        }
        // Whole events from here until the child closes.
        do {
            const EventLog::Event& e = event();
            buffer.append(chunk, at, at + 1 + e.count);
            advance();
            if (heldBytes() - before > most) {
                cutShort = true;
                return false;
            }
        } while (depth > unit && !ended);
        mark();
        children.push_back({start, buffer.events().size(), 0, false});
        return true;
    }
    // Back to the mark, the start of the child in hand (or of the one child read ahead), with
    // nothing read ahead: what was taken since is read again.
    void rewind() {
        EventLog back;
        if (!children.empty()) {
            back.append(buffer, children.front().start, children.front().end);
            if (!ended) back.append(chunk, at, chunk.events().size());
        } else {
            keepTaken(back);
        }
        children.clear();
        buffer.clear();
        readAgain(std::move(back));
    }
    // Gives the child cut short back to the stream; the children before it stay.
    void unread() {
        EventLog back;
        keepTaken(back);
        EventLog kept;
        kept.append(buffer, 0, partialStart);
        buffer = std::move(kept);
        readAgain(std::move(back));
    }
    // Reads back, which starts a child, before the rest of the stream.
    void readAgain(EventLog&& back) {
        for (EventLog& h : held) stream.recycle(std::move(h));
        held.clear();
        chunk = std::move(back);
        at = markAt = 0;
        depth = unit;
        ended = false;
        fill();
    }
    // Passes over the child in hand without keeping it.
    void skipChild() {
        do {
            advance();
            if (!held.empty()) mark();
        } while (depth > unit && !ended);
        mark();
    }
    bool otherEnded() const { return other->parentEnded && !other->blocked; }
    // Whether the other side holds an element that the element in hand could pair with by
    // name.
    bool otherHasName() const {
        const std::string_view name = chunk.name(event());
        for (const Child& c : other->children) {
            const EventLog::Event& e = other->buffer.events()[c.start];
            if (e.kind == EventLog::ElementStart && folding->equal(name, other->buffer.name(e)))
                return true;
        }
        return false;
    }
    // The large element in hand has no counterpart on the other side, which has ended: read
    // whole, unless nothing there could pair with it by name. Then it can only be listed by
    // its start, and that is all that is kept of it.
    bool takeUnmatched() {
        if (event().kind != EventLog::ElementStart || otherHasName()) return takeChild();
        const std::size_t start = buffer.events().size();
        buffer.append(chunk, at, at + 1 + event().count);
        skipChild();
        buffer.add(EventLog::ElementEnd, nullptr, 0, nullptr, 0);
        children.push_back({start, buffer.events().size(), 0, false, true});
        return true;
    }
    // Whether no more children can be read ahead.
    bool done() const { return parentEnded || (blocked && !otherEnded()); }
    // Reads one more child ahead, unless their element has ended or the next one is too large.
    bool readChild() {
        if (done()) return false;
        if (blocked) {
            blocked = false;
            return takeUnmatched();
        }
        if (takeChild(mostAhead)) return true;
        if (cutShort) {
            unread();
            if (otherEnded()) return takeUnmatched();
            blocked = true;
        }
        return false;
    }
    // Reads ahead until count children are in hand, or the element ends.
    void readUpTo(std::size_t count) {
        while (children.size() < count && readChild()) {
        }
    }
    std::uint64_t hashOf(std::size_t i, EventContent& content) {
        Child& c = children[i];
        if (!c.hashed) {
            c.hash = content.roughHash(buffer, c.start, c.end);
            c.hashed = true;
        }
        return c.hash;
    }
    std::size_t heldBytes() const {
        return buffer.events().size() * sizeof(EventLog::Event) + buffer.arenaSize() +
               buffer.places().size() * sizeof(EventLog::Place);
    }
    void dropFront() {
        children.pop_front();
        if (children.empty()) {
            buffer.clear();
            return;
        }
        // Differences close together may keep children in hand for long: what was dropped
        // goes once it is most of the buffer.
        const std::size_t from = children.front().start;
        if (from < (std::size_t{1} << 16) || from * 2 < buffer.events().size()) return;
        EventLog kept;
        kept.append(buffer, from, buffer.events().size());
        for (Child& c : children) {
            c.start -= from;
            c.end -= from;
        }
        buffer = std::move(kept);
    }
};

bool childrenEqual(StreamCursor& x, std::size_t i, StreamCursor& y, std::size_t j,
                   EventContent& content) {
    const StreamCursor::Child& p = x.children[i];
    const StreamCursor::Child& q = y.children[j];
    if (p.startOnly || q.startOnly) return false;
    if (p.hashed && q.hashed && p.hash != q.hash) return false;
    return rangesEqual(x.buffer, p.start, p.end, y.buffer, q.start, q.end, content);
}

// Children that must follow a stretch equal in both files before the stretch is closed.
constexpr std::size_t kRun = 2;
// Stretches up to this long (children of both files together) are looked for one by one;
// longer ones through hashes of runs.
constexpr std::size_t kDirect = 32;
// Candidates looked at per run read: children alike in a way the rough hash cannot tell apart
// would otherwise make the search quadratic.
constexpr std::size_t kMostCandidates = 16;
// A stretch that holds more than this (bytes, both files together) without lining up is closed
// where it stands: files that never line up again are listed in pieces, in bounded memory.
constexpr std::size_t kMostHeld = std::size_t{4} << 20;

// Where the children read ahead line up again: the first run of kRun equal children at
// x.children[i..] and y.children[j..], i + j as small as can be (between runs as near, the one
// whose hash is smaller, so that swapping the files finds the same place); reads further
// children as long as one may still be found. Without one, every child up to the end of the
// element.
std::pair<std::size_t, std::size_t> lineUp(StreamCursor& x, StreamCursor& y,
                                           EventContent& content) {
    constexpr std::size_t kNone = SIZE_MAX;
    std::size_t bestI = kNone, bestJ = kNone;
    std::uint64_t bestKey = 0;
    const auto runKey = [&](StreamCursor& c, std::size_t i) {
        std::uint64_t h = 0;
        for (std::size_t k = 0; k < kRun; ++k) h = CaseFolding::mix(h + c.hashOf(i + k, content));
        return h;
    };
    // Reads ahead only as far as the comparison gets: most candidates fail at their first child.
    const auto runEqual = [&](std::size_t i, std::size_t j) {
        for (std::size_t k = 0; k < kRun; ++k) {
            x.readUpTo(i + k + 1);
            y.readUpTo(j + k + 1);
            if (i + k >= x.children.size() || j + k >= y.children.size() ||
                !childrenEqual(x, i + k, y, j + k, content))
                return false;
        }
        return true;
    };
    const auto consider = [&](std::size_t i, std::size_t j, bool tie) {
        const std::uint64_t key = tie ? runKey(x, i) : 0;
        if (bestI == kNone || i + j < bestI + bestJ ||
            (i + j == bestI + bestJ && (key < bestKey || (key == bestKey && i < bestI)))) {
            bestI = i;
            bestJ = j;
            bestKey = key;
        }
    };
    // Short stretches, sum by sum.
    for (std::size_t sum = 1; sum <= kDirect; ++sum) {
        std::vector<std::size_t> found;  // first-file indices of the runs at this sum
        for (std::size_t i = 0; i <= sum; ++i)
            if (runEqual(i, sum - i)) found.push_back(i);
        if (!found.empty()) {
            for (std::size_t i : found) consider(i, sum - i, found.size() > 1);
            return {bestI, bestJ};
        }
        if (x.done() && y.done() && sum >= x.children.size() + y.children.size())
            return {x.children.size(), y.children.size()};
    }
    // Longer ones: runs by hash, per side, for the children examined so far.
    std::unordered_multimap<std::uint64_t, std::size_t> runsX, runsY;
    std::size_t doneX = 0, doneY = 0;  // runs starting before these are in the maps
    const auto addRuns = [&](StreamCursor& c, std::size_t& done,
                             std::unordered_multimap<std::uint64_t, std::size_t>& mine,
                             std::unordered_multimap<std::uint64_t, std::size_t>& theirs,
                             bool first) {
        for (; done + kRun <= c.children.size(); ++done) {
            const std::uint64_t key = runKey(c, done);
            const auto range = theirs.equal_range(key);
            std::size_t looked = 0;
            for (auto it = range.first; it != range.second && looked < kMostCandidates;
                 ++it, ++looked) {
                const std::size_t i = first ? done : it->second, j = first ? it->second : done;
                if (runEqual(i, j)) consider(i, j, true);
            }
            mine.emplace(key, done);
        }
    };
    for (;;) {
        addRuns(x, doneX, runsX, runsY, true);
        addRuns(y, doneY, runsY, runsX, false);
        const bool moreX = !x.done(), moreY = !y.done();
        if (bestI != kNone) {
            // Any run as near or nearer starts within this many children of both lists.
            const std::size_t need = bestI + bestJ + kRun;
            if ((x.children.size() >= need || !moreX) && (y.children.size() >= need || !moreY))
                return {bestI, bestJ};
        }
        if (!moreX && !moreY) return {x.children.size(), y.children.size()};
        if (bestI == kNone && x.heldBytes() + y.heldBytes() > kMostHeld)
            return {x.children.size(), y.children.size()};
        if (moreX) x.readChild();
        if (moreY) y.readChild();
    }
}

// A document of its own for the listing: the starts of the elements around (the document
// element's as the file has it, then each one descended into), what fill adds, and the ends.
template <typename Fill>
void withAround(const std::vector<EventLog>& around, EventLog& out, const Fill& fill) {
    out.clear();
    for (const EventLog& start : around) out.append(start, 0, start.events().size());
    fill();
    for (std::size_t k = around.size(); k-- > 0;) {
        const bool entity = k > 0 && around[k].events()[0].kind == EventLog::EntityStart;
        out.add(entity ? EventLog::EntityEnd : EventLog::ElementEnd, nullptr, 0, nullptr, 0);
    }
}

// The children [0, count) read ahead, in the elements around them.
void stretchOf(const std::vector<EventLog>& around, StreamCursor& c, std::size_t count,
               EventLog& out) {
    withAround(around, out, [&] {
        if (count > 0) out.append(c.buffer, c.children.front().start, c.children[count - 1].end);
    });
}

// The start of the child at i of log (attributes and all, and an end) in the elements around
// it; nothing in them when not present.
void startOf(const std::vector<EventLog>& around, const EventLog& log, std::size_t i,
             EventLog& out, bool present = true) {
    withAround(around, out, [&] {
        if (!present) return;
        const EventLog::Event& e = log.events()[i];
        out.append(log, i, i + 1 + e.count);
        if (e.kind == EventLog::ElementStart || e.kind == EventLog::EntityStart)
            out.add(e.kind == EventLog::ElementStart ? EventLog::ElementEnd : EventLog::EntityEnd,
                    nullptr, 0, nullptr, 0);
    });
}

}  // namespace

bool eventStreamsEqual(EventStream& a, EventStream& b, CaseFolding& folding) {
    EventContent content(folding);
    StreamCursor x(a, false);
    StreamCursor y(b, false);
    bool same = true;
    while (!x.ended && !y.ended) {
        if (!content.equal(x.chunk, x.at, y.chunk, y.at)) {
            same = false;
            break;
        }
        x.advance();
        y.advance();
    }
    same = same && x.ended && y.ended;
    // Both streams in turn: a parser waits while its buffer is full, so reading one to its end
    // first would leave the other parser waiting all that time.
    while (!x.ended || !y.ended) {
        x.takeNext(nullptr);
        y.takeNext(nullptr);
    }
    return same;
}

bool listWhileReading(EventStream& a, EventStream& b, CaseFolding& folding,
                      const std::function<bool(const StreamedRest&)>& stretch,
                      bool firstOnly, std::size_t mostPerChild) {
    EventContent content(folding);
    StreamCursor x(a, true);
    StreamCursor y(b, true);
    x.mostAhead = y.mostAhead = mostPerChild;
    x.other = &y;
    y.other = &x;
    x.folding = y.folding = &folding;
    StreamedRest rest;
    rest.counts[0].resize(1);
    rest.counts[1].resize(1);
    // Per level, the start of the element whose children are compared, in each file.
    std::vector<EventLog> aroundX(1), aroundY(1);
    bool same = true;
    bool wanted = true;  // whether stretch wants more
    std::pair<int, std::string> current;  // the child in hand
    std::vector<std::pair<int, std::string>> outer;  // the child in hand one level up, and so on
    bool inChild = false;
    const auto count = [&](int side, StreamCursor& c, std::size_t i) {
        ++rest.counts[side].back()[siblingKey(c.buffer, c.children[i].start)];
    };
    const auto drop = [&](std::size_t n, std::size_t m) {
        for (std::size_t k = 0; k < n; ++k) {
            count(0, x, 0);
            x.dropFront();
        }
        for (std::size_t k = 0; k < m; ++k) {
            count(1, y, 0);
            y.dropFront();
        }
    };
    const auto isEnd = [](const EventLog::Event& e) {
        return e.kind == EventLog::ElementEnd || e.kind == EventLog::EntityEnd;
    };
    // Events taken in step since the mark, and how many make a child too large to hold.
    std::size_t sinceMark = 0;
    const std::size_t mostInStep = mostPerChild / sizeof(EventLog::Event);
    // Into the child in hand, back at its start: its children are compared from here on. Its
    // start stands around them without its attributes when those differ (they are listed).
    const auto descend = [&](bool rewound, bool withoutAttributes) {
        if (!rewound) {
            x.rewind();
            y.rewind();
        }
        aroundX.emplace_back();
        aroundY.emplace_back();
        if (withoutAttributes) {
            aroundX.back().appendStart(x.chunk, x.at);
            aroundY.back().appendStart(y.chunk, y.at);
        } else {
            aroundX.back().append(x.chunk, x.at, x.at + 1 + x.event().count);
            aroundY.back().append(y.chunk, y.at, y.at + 1 + y.event().count);
        }
        rest.counts[0].emplace_back();
        rest.counts[1].emplace_back();
        outer.push_back(current);
        inChild = false;
        x.advance();
        y.advance();
        ++x.unit;
        ++y.unit;
    };
    while (wanted) {
        // In step, event by event, while the files are equal.
        bool parted = false;
        while (!x.ended && !y.ended) {
            if (x.depth == x.unit) {
                // A child starts (or its element ends): the files are equal up to here, and a
                // listing needs nothing before it.
                if (inChild) {
                    ++rest.counts[0].back()[current];
                    ++rest.counts[1].back()[current];
                }
                if (x.unit > 1 && isEnd(x.event()) && content.equal(x.chunk, x.at, y.chunk, y.at)) {
                    // The element descended into ends in both files: one level up again.
                    rest.counts[0].pop_back();
                    rest.counts[1].pop_back();
                    aroundX.pop_back();
                    aroundY.pop_back();
                    current = outer.back();
                    outer.pop_back();
                    --x.unit;
                    --y.unit;
                    x.advance();
                    y.advance();
                    continue;
                }
                current = siblingKey(x.chunk, x.at);
                inChild = true;
                x.mark();
                y.mark();
                sinceMark = 0;
            } else if (x.depth > x.unit && ++sinceMark > mostInStep) {
                descend(false, false);
                continue;
            }
            if (!content.equal(x.chunk, x.at, y.chunk, y.at)) {
                parted = true;
                break;
            }
            if (x.depth == 0) {
                aroundX[0].append(x.chunk, x.at, x.at + 1 + x.event().count);
                aroundY[0].append(y.chunk, y.at, y.at + 1 + y.event().count);
            }
            x.advance();
            y.advance();
        }
        if (!parted) {
            same = same && x.ended && y.ended;
            if (!same && x.depth == 0 && y.depth == 0) parted = true;  // one file ended
            if (!parted) break;
        }
        same = false;
        if (x.depth == 0 && firstOnly && !x.ended && !y.ended &&
            x.event().kind == EventLog::ElementStart && y.event().kind == EventLog::ElementStart) {
            // Parted at the document element's start (its name or its attributes): the first
            // difference is there.
            rest.counts[0].clear();
            rest.counts[1].clear();
            startOf({}, x.chunk, x.at, rest.original);
            startOf({}, y.chunk, y.at, rest.compare);
            stretch(rest);
            break;
        }
        if (x.depth == 0) {
            // Parted at the document element itself: all of both, as one stretch.
            rest.original.clear();
            rest.compare.clear();
            rest.counts[0].clear();
            rest.counts[1].clear();
            x.markAt = x.at;
            y.markAt = y.at;
            x.held.clear();
            y.held.clear();
            x.keepTaken(rest.original);
            y.keepTaken(rest.compare);
            while (!x.ended || !y.ended) {
                x.takeNext(&rest.original);
                y.takeNext(&rest.compare);
            }
            stretch(rest);
            return false;
        }
        // Child by child: the children in hand and those read after them.
        inChild = false;
        x.parentEnded = y.parentEnded = false;
        x.blocked = y.blocked = false;
        if (x.depth > x.unit) {
            // Parted inside a child that starts alike in both files: held whole when it is
            // small enough, else compared in step inside, one level down.
            x.takeChild(mostPerChild);
            if (!x.cutShort) y.takeChild(mostPerChild);
            if (x.cutShort || y.cutShort) {
                descend(false, false);
                continue;
            }
        } else if (x.event().kind == EventLog::ElementStart &&
                   y.event().kind == EventLog::ElementStart &&
                   x.chunk.name(x.event()) == y.chunk.name(y.event())) {
            // Parted at the start of a child of one name in both files (its attributes differ):
            // held whole when small enough; else its attributes are listed, and it is
            // compared inside.
            x.takeChild(mostPerChild);
            if (!x.cutShort) y.takeChild(mostPerChild);
            if (x.cutShort || y.cutShort) {
                x.rewind();
                y.rewind();
                startOf(aroundX, x.chunk, x.at, rest.original);
                startOf(aroundY, y.chunk, y.at, rest.compare);
                wanted = stretch(rest);
                if (wanted) descend(true, true);
                continue;
            }
        } else {
            // Children that start otherwise: each held whole when small enough. One too large
            // is left in the stream (to be lined up with what follows on the other side); when
            // there is nothing to line it up with, it is listed by its start and passed over.
            for (StreamCursor* c : {&x, &y}) {
                c->takeChild(mostPerChild);
                if (c->cutShort) {
                    c->unread();
                    c->blocked = true;
                }
            }
            for (StreamCursor* c : {&x, &y})
                if (c->blocked && c->children.empty()) c->readChild();
            if (x.children.empty() && y.children.empty() && (x.blocked || y.blocked)) {
                startOf(aroundX, x.chunk, x.at, rest.original, x.blocked);
                startOf(aroundY, y.chunk, y.at, rest.compare, y.blocked);
                wanted = stretch(rest);
                if (x.blocked) {
                    ++rest.counts[0].back()[siblingKey(x.chunk, x.at)];
                    x.skipChild();
                }
                if (y.blocked) {
                    ++rest.counts[1].back()[siblingKey(y.chunk, y.at)];
                    y.skipChild();
                }
                continue;
            }
        }
        while (wanted) {
            // Nothing read ahead on either side: in step again.
            if (x.children.empty() && y.children.empty()) break;
            if (x.children.empty()) x.readChild();
            if (y.children.empty()) y.readChild();
            if (!x.children.empty() && !y.children.empty() && childrenEqual(x, 0, y, 0, content)) {
                drop(1, 1);
                continue;
            }
            const auto [n, m] = lineUp(x, y, content);
            stretchOf(aroundX, x, n, rest.original);
            stretchOf(aroundY, y, m, rest.compare);
            wanted = stretch(rest);
            drop(n, m);
        }
    }
    while (!x.ended || !y.ended) {
        x.takeNext(nullptr);
        y.takeNext(nullptr);
    }
    return same;
}
