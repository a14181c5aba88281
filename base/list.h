// An owned, ordered list of values that grows on demand.
//
// Without exceptions, growth reports failure by returning false and leaves
// the list as it was. Elements are moved by copying their bytes when the
// block grows, so they must not point into themselves (String and plain
// records qualify).
#pragma once

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <utility>

namespace korvelt {

template <typename T>
class List {
 public:
  List() = default;
  ~List() { Clear(); }
  List(List&& other) noexcept : items_(other.items_), count_(other.count_), capacity_(other.capacity_) {
    other.items_ = nullptr;
    other.count_ = other.capacity_ = 0;
  }
  List& operator=(List&& other) noexcept {
    if (this != &other) {
      Clear();
      items_ = other.items_;
      count_ = other.count_;
      capacity_ = other.capacity_;
      other.items_ = nullptr;
      other.count_ = other.capacity_ = 0;
    }
    return *this;
  }
  List(const List&) = delete;
  List& operator=(const List&) = delete;

  bool Reserve(size_t capacity) {
    if (capacity <= capacity_) return true;
    if (capacity > static_cast<size_t>(-1) / 2 / sizeof(T)) return false;
    void* bigger = realloc(static_cast<void*>(items_), capacity * sizeof(T));
    if (!bigger) return false;
    items_ = static_cast<T*>(bigger);
    capacity_ = capacity;
    return true;
  }

  bool Push(T&& value) {
    if (count_ == capacity_ && !Reserve(capacity_ ? capacity_ * 2 : 4)) return false;
    new (&items_[count_]) T(std::move(value));
    ++count_;
    return true;
  }
  bool Push(const T& value) {
    T copy(value);
    return Push(std::move(copy));
  }

  void Clear() {
    for (size_t i = 0; i < count_; ++i) items_[i].~T();
    free(static_cast<void*>(items_));
    items_ = nullptr;
    count_ = capacity_ = 0;
  }

  size_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  T& operator[](size_t index) { return items_[index]; }
  const T& operator[](size_t index) const { return items_[index]; }
  T* begin() { return items_; }
  T* end() { return items_ + count_; }
  const T* begin() const { return items_; }
  const T* end() const { return items_ + count_; }

 private:
  T* items_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
};

}  // namespace korvelt
