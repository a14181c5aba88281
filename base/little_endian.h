// Little-endian integers read from and written into bytes in place, as the
// payload format and Windows' own file formats store them. The caller has
// checked that every byte touched lies inside its buffer.
#pragma once

#include <stdint.h>

namespace korvelt {

inline uint16_t LoadLe16(const unsigned char* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

inline uint32_t LoadLe32(const unsigned char* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

inline void StoreLe16(unsigned char* bytes, uint16_t value) {
  bytes[0] = static_cast<unsigned char>(value);
  bytes[1] = static_cast<unsigned char>(value >> 8);
}

inline void StoreLe32(unsigned char* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace korvelt
