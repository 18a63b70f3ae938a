#pragma once

#include <atomic>
#include <cstddef>

#include <xercesc/framework/MemoryManager.hpp>

// The XML library's memory, bounded by the input: what it holds at once may not pass 64 MB
// plus 32 bytes for every byte that the loads have read so far (documents, DTDs and entities
// alike; the commands read as they go and hold little more than the deepest path, while a
// tree, which only tests build, takes up to about 60 on many tiny elements). Entity expansions read nothing, so however they nest, in content, attribute values,
// attribute defaults or parameter entities, they run into the bound long before they exhaust
// the machine; the library then throws OutOfMemoryException and the load fails. One manager
// serves every load of the process, so two files loading at once share the budget.
class BoundedMemoryManager : public xercesc::MemoryManager {
public:
    static constexpr std::size_t kBase = std::size_t(64) << 20;
    static constexpr std::size_t kPerInputByte = 32;

    static BoundedMemoryManager& instance();
    // Input read by a load: the budget grows with it.
    static void countInput(std::size_t bytes) { instance().input += bytes; }
    // Whether the last load ran into the bound (rather than the machine's own limit).
    bool exceeded() const { return overBudget; }
    void clearExceeded() { overBudget = false; }

    xercesc::MemoryManager* getExceptionMemoryManager() override { return this; }
    void* allocate(XMLSize_t size) override;
    void deallocate(void* p) override;

private:
    std::atomic<std::size_t> live{0};
    std::atomic<std::size_t> input{0};
    std::atomic<bool> overBudget{false};
};
