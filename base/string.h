// An owned, zero-terminated byte string in the ANSI code page.
//
// The bootstrapper has no exceptions, so every operation that may allocate
// returns false when memory runs out and then leaves the string as it was.
// Positions and lengths are byte counts; the string never holds a zero byte.
#pragma once

#include <stddef.h>

namespace korvelt {

class String {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  String() = default;
  ~String();
  String(String&& other) noexcept;
  String& operator=(String&& other) noexcept;
  String(const String&) = delete;
  String& operator=(const String&) = delete;

  bool Assign(const char* text);
  bool Assign(const char* text, size_t length);
  bool Assign(const String& other) { return Assign(other.c_str(), other.length_); }
  bool Append(const char* text);
  bool Append(const char* text, size_t length);
  bool Append(const String& other) { return Append(other.c_str(), other.length_); }
  bool Append(char c) { return Append(&c, 1); }
  // Makes room for `capacity` bytes plus the terminator.
  bool Reserve(size_t capacity);

  void Clear();
  // Shortens the string to `length` bytes; a longer `length` changes nothing.
  void Truncate(size_t length);
  // Overwrites `length` bytes from `position`; the range must lie inside.
  void Overwrite(size_t position, const char* text, size_t length);

  const char* c_str() const { return data_ ? data_ : ""; }
  size_t Length() const { return length_; }
  bool Empty() const { return length_ == 0; }
  char operator[](size_t index) const { return data_[index]; }
  bool EndsWith(char c) const { return length_ && data_[length_ - 1] == c; }
  bool Equals(const char* text) const;

  // Searches by character live in base/chars.h: a byte search would split
  // double-byte characters.

 private:
  char* data_ = nullptr;
  size_t length_ = 0;
  size_t capacity_ = 0;  // bytes usable before the terminator
};

// Length of a zero-terminated byte string.
size_t TextLength(const char* text);
// Exact, case-sensitive comparison of two zero-terminated byte strings.
bool TextEquals(const char* a, const char* b);

}  // namespace korvelt
