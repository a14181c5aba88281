// The packer's byte buffers, and little-endian integers appended to them as
// resources and icon groups are built; base/little_endian.h reads and
// writes them in place.
#pragma once

#include <stdint.h>

#include <vector>

namespace korvelt::pack {

using Bytes = std::vector<unsigned char>;

inline void AppendLe16(Bytes& bytes, uint16_t value) {
  bytes.push_back(static_cast<unsigned char>(value));
  bytes.push_back(static_cast<unsigned char>(value >> 8));
}

inline void AppendLe32(Bytes& bytes, uint32_t value) {
  AppendLe16(bytes, static_cast<uint16_t>(value));
  AppendLe16(bytes, static_cast<uint16_t>(value >> 16));
}

}  // namespace korvelt::pack
