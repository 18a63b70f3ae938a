#pragma once

#include <cstddef>
#include <cstdlib>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

// An array of plain values that grows with realloc: a large one is remapped instead of copied
// (glibc), and the capacity not written yet is never faulted in, so growth costs neither time
// nor resident memory. Throws std::bad_alloc when memory runs out, as a vector would.
template <typename T>
class GrowingArray {
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved as bytes");

public:
    GrowingArray() = default;
    GrowingArray(const GrowingArray&) = delete;
    GrowingArray& operator=(const GrowingArray&) = delete;
    GrowingArray(GrowingArray&& other) noexcept { swap(other); }
    GrowingArray& operator=(GrowingArray&& other) noexcept {
        GrowingArray gone(std::move(other));
        swap(gone);
        return *this;
    }
    ~GrowingArray() { std::free(data_); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const T* data() const { return data_; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }

    // Keeps the memory for the next use.
    void clear() { size_ = 0; }
    void push_back(const T& value) {
        if (size_ == capacity_) grow(1);
        data_[size_++] = value;
    }
    // Room for n more elements past the end; commit() then counts those written.
    T* extend(std::size_t n) {
        if (capacity_ - size_ < n) grow(n);
        return data_ + size_;
    }
    void commit(std::size_t n) { size_ += n; }

private:
    void swap(GrowingArray& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }
    void grow(std::size_t more) {
        constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max() / sizeof(T) / 2;
        if (more > kMax - size_) throw std::bad_alloc();
        std::size_t capacity = capacity_ < 256 ? 256 : capacity_ > kMax / 2 ? kMax : capacity_ * 2;
        if (capacity < size_ + more) capacity = size_ + more;
        void* grown = std::realloc(data_, capacity * sizeof(T));
        if (!grown) throw std::bad_alloc();
        data_ = static_cast<T*>(grown);
        capacity_ = capacity;
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};
