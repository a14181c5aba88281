#include "base/string.h"

#include <stdlib.h>
#include <string.h>

namespace korvelt {

String::~String() { free(data_); }

String::String(String&& other) noexcept
    : data_(other.data_), length_(other.length_), capacity_(other.capacity_) {
  other.data_ = nullptr;
  other.length_ = other.capacity_ = 0;
}

String& String::operator=(String&& other) noexcept {
  if (this != &other) {
    free(data_);
    data_ = other.data_;
    length_ = other.length_;
    capacity_ = other.capacity_;
    other.data_ = nullptr;
    other.length_ = other.capacity_ = 0;
  }
  return *this;
}

bool String::Reserve(size_t capacity) {
  if (capacity <= capacity_ && data_) return true;
  if (capacity >= npos / 2) return false;
  size_t grown = capacity_ * 2;
  if (grown < capacity) grown = capacity;
  if (grown < 15) grown = 15;
  char* bigger = static_cast<char*>(realloc(data_, grown + 1));
  if (!bigger) return false;
  data_ = bigger;
  capacity_ = grown;
  data_[length_] = '\0';
  return true;
}

bool String::Assign(const char* text) { return Assign(text, TextLength(text)); }

bool String::Assign(const char* text, size_t length) {
  if (text >= data_ && data_ && text < data_ + capacity_ + 1) {
    // Assigning a piece of itself: shift it to the front.
    memmove(data_, text, length);
    length_ = length;
    data_[length_] = '\0';
    return true;
  }
  if (!Reserve(length)) return false;
  memcpy(data_, text, length);
  length_ = length;
  data_[length_] = '\0';
  return true;
}

bool String::Append(const char* text) { return Append(text, TextLength(text)); }

bool String::Append(const char* text, size_t length) {
  if (length > npos / 2 - length_) return false;
  if (text >= data_ && data_ && text < data_ + capacity_ + 1) {
    // Appending a piece of itself: the block may move while it grows.
    size_t from = static_cast<size_t>(text - data_);
    if (!Reserve(length_ + length)) return false;
    memmove(data_ + length_, data_ + from, length);
  } else {
    if (!Reserve(length_ + length)) return false;
    memcpy(data_ + length_, text, length);
  }
  length_ += length;
  data_[length_] = '\0';
  return true;
}

void String::Clear() {
  free(data_);
  data_ = nullptr;
  length_ = capacity_ = 0;
}

void String::Truncate(size_t length) {
  if (length >= length_) return;
  length_ = length;
  data_[length_] = '\0';
}

void String::Overwrite(size_t position, const char* text, size_t length) {
  if (position > length_ || length > length_ - position) return;
  memcpy(data_ + position, text, length);
}

bool String::Equals(const char* text) const { return TextEquals(c_str(), text); }

size_t TextLength(const char* text) { return text ? strlen(text) : 0; }

bool TextEquals(const char* a, const char* b) { return strcmp(a ? a : "", b ? b : "") == 0; }

}  // namespace korvelt
