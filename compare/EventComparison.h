#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "compare/CaseFolding.h"
#include "input/EventLog.h"
#include "input/EventStream.h"

// What one event holds apart from the events inside it, compared across two logs ignoring case:
// an element's name and attributes (paired by name whatever their order), a value, a
// processing instruction's target and data, an entity reference's name.
class EventContent {
public:
    explicit EventContent(CaseFolding& folding) : folding(folding) {}

    bool equal(const EventLog& a, std::size_t i, const EventLog& b, std::size_t j);
    // Equal content gives equal hashes.
    std::uint64_t hash(const EventLog& log, std::size_t i);

private:
    bool attributesEqual(const EventLog& a, std::size_t i, const EventLog& b, std::size_t j,
                         std::uint32_t count);
    bool attributeEqual(const EventLog& a, std::size_t i, const EventLog& b, std::size_t j);

    CaseFolding& folding;
};

// Two documents read as event logs compare equal, by the same rules as the tree comparison:
// children in document order, or paired one to one in any order.
bool eventLogsEqual(const EventLog& a, const EventLog& b, CaseFolding& folding);
bool eventLogsEqualUnordered(const EventLog& a, const EventLog& b, CaseFolding& folding);

// How path positions count children: text and CDATA together, named kinds by their name.
std::pair<int, std::string> siblingKey(const EventLog& log, std::size_t event);
using ChildCounts = std::map<std::pair<int, std::string>, std::size_t>;

// What a comparison while reading keeps of two documents that differ, for a listing: each log
// holds the document element's start, then its children from the one in which the files first
// part, to the end (the whole documents when they part at the document element itself).
// Everything before is equal in both files and never listed.
struct StreamedRest {
    EventLog original;
    EventLog compare;
    ChildCounts rootCounts;  // children of the document element left out, by siblingKey
};

// The same comparison in document order, of two documents while they are read: takes both
// streams to their end, whatever it finds, so that both loads can finish. With rest, what
// follows the place where the files part is kept there.
bool eventStreamsEqual(EventStream& a, EventStream& b, CaseFolding& folding,
                       StreamedRest* rest = nullptr);
