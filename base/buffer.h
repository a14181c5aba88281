// A block of heap bytes owned for one scope; empty when the allocation failed.
#pragma once

#include <stddef.h>
#include <stdlib.h>

namespace korvelt {

class HeapBuffer {
 public:
  explicit HeapBuffer(size_t size) : bytes_(static_cast<unsigned char*>(malloc(size ? size : 1))), size_(bytes_ ? size : 0) {}
  ~HeapBuffer() { free(bytes_); }
  HeapBuffer(const HeapBuffer&) = delete;
  HeapBuffer& operator=(const HeapBuffer&) = delete;

  bool Valid() const { return bytes_ != nullptr; }
  unsigned char* Bytes() { return bytes_; }
  size_t Size() const { return size_; }

 private:
  unsigned char* bytes_;
  size_t size_;
};

}  // namespace korvelt
