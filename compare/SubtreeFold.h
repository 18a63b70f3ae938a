#pragma once

#include <cstddef>
#include <tuple>
#include <utility>
#include <vector>

#include "input/EventLog.h"

// A subtree of a log: the event that starts it.
struct LogNode {
    const EventLog* log;
    std::size_t index;
};

// Folds a log bottom-up: value(start, end, children, count) gives the value of the subtree that
// starts at event start and ends before event end, from the values of its children (a leaf is
// one event with none). Elements and entity references are closed by their end events. Returns
// the document element's value, or the first value for which stop() holds.
template <typename T, typename Value, typename Stop>
T foldSubtrees(const EventLog& log, std::vector<T>& pending, Value&& value, Stop&& stop) {
    const GrowingArray<EventLog::Event>& events = log.events();
    std::vector<std::pair<std::size_t, std::size_t>> open;  // start event, its first child
    pending.clear();
    T root{};
    for (std::size_t i = 0; i < events.size(); ++i) {
        std::size_t start = i;
        std::size_t first = pending.size();
        switch (events[i].kind) {
            case EventLog::ElementStart:
            case EventLog::EntityStart:
                open.emplace_back(i, pending.size());
                i += events[i].count;  // attributes belong to the element's own content
                continue;
            case EventLog::ElementEnd:
            case EventLog::EntityEnd:
                std::tie(start, first) = open.back();
                open.pop_back();
                break;
            default:
                break;
        }
        const T v = value(start, i + 1, pending.data() + first, pending.size() - first);
        if (stop(v)) return v;
        pending.resize(first);
        pending.push_back(v);
        if (open.empty()) root = v;
    }
    return root;
}

