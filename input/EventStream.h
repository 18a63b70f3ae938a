#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "input/EventLog.h"

// Hands a document's events from the thread that parses it to the thread that compares it, in
// chunks, with at most `capacity` chunks waiting: memory stays bounded whatever the file size.
// A chunk never splits an element's start from its attributes.
class EventStream {
public:
    explicit EventStream(std::size_t capacity = 4) : capacity(capacity) {}
    EventStream(const EventStream&) = delete;
    EventStream& operator=(const EventStream&) = delete;

    // Producer: waits while the buffer is full.
    void put(EventLog&& chunk);
    // Producer: no more chunks, whether the document ended or its load failed.
    void close();

    // Consumer: the next chunk, waiting for it; false once the stream is closed and empty. The
    // chunk it replaces goes back to the producer, emptied, with its memory.
    bool take(EventLog& chunk);
    // Consumer: gives back a chunk taken earlier, for reuse.
    void recycle(EventLog&& used);
    // Producer: an empty log for the next chunk, one that has been used when there is one, so
    // that the memory is reused instead of allocated and faulted in afresh.
    EventLog spare();

private:
    const std::size_t capacity;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<EventLog> chunks;
    std::deque<EventLog> spares;
    bool closed = false;
};
