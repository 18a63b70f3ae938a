#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

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
    // A hash of the events [from, to) in document order that looks at the start of each text
    // only: cheap, and equal for equal content, but alike for more.
    std::uint64_t roughHash(const EventLog& log, std::size_t from, std::size_t to);

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

// A stretch of two documents that differ, as a listing gets it while they are read: each log
// holds the starts of the elements the stretch stands in (the document element, and below it
// any child too large to hold whole in which the files part), the children of the innermost
// that make the stretch, and the ends; or, when the files part at the document element itself,
// each whole document.
struct StreamedRest {
    EventLog original;
    EventLog compare;
    // Per file and per element the stretch stands in, outermost first: its children before
    // the stretch (before the next such element), by siblingKey.
    std::vector<ChildCounts> counts[2];
};

// The same comparison in document order, of two documents while they are read: takes both
// streams to their end, whatever it finds, so that both loads can finish.
bool eventStreamsEqual(EventStream& a, EventStream& b, CaseFolding& folding);

// The same comparison, handing each stretch where the files differ to stretch as it is read,
// in document order; stretch returns whether it wants more. Without -o only the children in
// which the files differ are held, each stretch closed once both files line up again on a few
// equal children in a row (the first such place, in both files as near as can be). Those are
// the document element's children; a child in which the files part and that holds more than
// mostPerChild bytes of events is compared inside instead, by the same rule one level down.
// With firstOnly (-v), files that part at the document element's start hand only the two
// starts: the first difference is there, and nothing else is held.
constexpr std::size_t kMostPerChild = std::size_t{4} << 20;
bool listWhileReading(EventStream& a, EventStream& b, CaseFolding& folding,
                      const std::function<bool(const StreamedRest&)>& stretch,
                      bool firstOnly = false, std::size_t mostPerChild = kMostPerChild);
