#include "input/BoundedMemoryManager.h"

#include <cstdlib>
#include <new>

#include <xercesc/util/OutOfMemoryException.hpp>

namespace {

// Each block starts with its size, so that a release knows what it gives back.
constexpr std::size_t kHeader = alignof(std::max_align_t) > sizeof(std::size_t)
                                    ? alignof(std::max_align_t)
                                    : sizeof(std::size_t);

}  // namespace

BoundedMemoryManager& BoundedMemoryManager::instance() {
    // Never destroyed: the library may release memory while the process ends.
    static BoundedMemoryManager* const manager = new BoundedMemoryManager();
    return *manager;
}

void* BoundedMemoryManager::allocate(XMLSize_t size) {
    const std::size_t budget = kBase + kPerInputByte * input.load(std::memory_order_relaxed);
    const std::size_t now = live.fetch_add(size, std::memory_order_relaxed) + size;
    if (now > budget) {
        live.fetch_sub(size, std::memory_order_relaxed);
        overBudget = true;
        throw xercesc::OutOfMemoryException();
    }
    void* block = std::malloc(size + kHeader);
    if (!block) {
        live.fetch_sub(size, std::memory_order_relaxed);
        throw xercesc::OutOfMemoryException();
    }
    *static_cast<std::size_t*>(block) = size;
    return static_cast<char*>(block) + kHeader;
}

void BoundedMemoryManager::deallocate(void* p) {
    if (!p) return;
    void* block = static_cast<char*>(p) - kHeader;
    live.fetch_sub(*static_cast<std::size_t*>(block), std::memory_order_relaxed);
    std::free(block);
}
