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
    chunk = std::move(chunks.front());
    chunks.pop_front();
    changed.notify_all();
    return true;
}
