// A vector of trivially copyable values with room for N of them inline. Growth throws
// std::bad_alloc when memory is exhausted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace qx {

template <class T, size_t N>
class SmallVector {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    SmallVector() = default;
    SmallVector(const SmallVector& other) { append(other.data(), other.size()); }
    SmallVector& operator=(const SmallVector& other) {
        if (this != &other) {
            size_ = 0;
            append(other.data(), other.size());
        }
        return *this;
    }
    ~SmallVector() {
        if (heap_) std::free(heap_);
    }

    void push_back(const T& v) {
        if (size_ == capacity()) grow(size_ * 2);
        data()[size_++] = v;
    }
    void append(const T* values, size_t count) {
        if (size_ + count > capacity()) grow(size_ + count);
        if (count) std::memcpy(data() + size_, values, count * sizeof(T));
        size_ += count;
    }
    // Resizes; new elements are value-initialized (zero for arithmetic types).
    void resize(size_t n) {
        if (n > capacity()) grow(n);
        for (size_t i = size_; i < n; ++i) data()[i] = T{};
        size_ = n;
    }
    void clear() { size_ = 0; }

    T* data() { return heap_ ? heap_ : reinterpret_cast<T*>(inline_); }
    const T* data() const { return heap_ ? heap_ : reinterpret_cast<const T*>(inline_); }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    size_t capacity() const { return heap_ ? heap_capacity_ : N; }
    bool on_heap() const { return heap_ != nullptr; }
    T& operator[](size_t i) { return data()[i]; }
    const T& operator[](size_t i) const { return data()[i]; }
    T* begin() { return data(); }
    T* end() { return data() + size_; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size_; }

  private:
    void grow(size_t at_least) {
        size_t cap = capacity() * 2;
        if (cap < at_least) cap = at_least;
        if (cap > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        auto* fresh = static_cast<T*>(std::malloc(cap * sizeof(T)));
        if (!fresh) throw std::bad_alloc();
        if (size_) std::memcpy(fresh, data(), size_ * sizeof(T));
        if (heap_) std::free(heap_);
        heap_ = fresh;
        heap_capacity_ = cap;
    }

    alignas(T) unsigned char inline_[N * sizeof(T)];
    T* heap_ = nullptr;
    size_t heap_capacity_ = 0;
    size_t size_ = 0;
};

}  // namespace qx
