#include "input/EventStream.h"

#include <utility>

void EventStream::put(EventLog&& chunk) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return chunks.size() < capacity; });
    chunks.push_back(std::move(chunk));
    changed.notify_all();
}

void EventStream::close() {
    std::lock_guard<std::mutex> lock(mutex);
    closed = true;
    changed.notify_all();
}

bool EventStream::take(EventLog& chunk) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return !chunks.empty() || closed; });
    if (chunks.empty()) return false;
    EventLog used = std::move(chunk);
    chunk = std::move(chunks.front());
    chunks.pop_front();
    // A chunk the consumer kept leaves nothing behind to reuse.
    if (spares.size() < capacity && used.events().data()) {
        used.clear();
        spares.push_back(std::move(used));
    }
    changed.notify_all();
    return true;
}

void EventStream::recycle(EventLog&& used) {
    std::lock_guard<std::mutex> lock(mutex);
    if (spares.size() >= capacity) return;
    used.clear();
    spares.push_back(std::move(used));
}

EventLog EventStream::spare() {
    std::lock_guard<std::mutex> lock(mutex);
    if (spares.empty()) return EventLog();
    EventLog log = std::move(spares.front());
    spares.pop_front();
    return log;
}
