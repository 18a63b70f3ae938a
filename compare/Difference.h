#pragma once

#include <cstddef>
#include <cstdint>

// What one side of a difference holds at the place where the documents part. Nodes are events
// of the side's log: the event that starts the node (an attribute is its own event).
struct DifferenceSide {
    enum Kind {
        Node,     // event: the node this side holds there
        Nothing,  // event: the element where the missing child or attribute would be, or kNone
    };
    static constexpr std::size_t kNone = SIZE_MAX;
    Kind kind;
    std::size_t event;
};

// One difference between two documents read as event logs. Its path names the first file's
// node when that side has one, else the second's.
struct Difference {
    DifferenceSide original;
    DifferenceSide compare;
};
