// The resource tree of a Windows executable, as a flat list of resources
// and back. The tree has three levels, type, name and language; each
// level's directory is
//
//   offset 0   Characteristics, TimeDateStamp, versions (12 bytes)
//   offset 12  count of named entries (16 bits), then of numbered ones
//   offset 16  the entries, 8 bytes each: a number, or with the high bit
//              the offset of a counted UTF-16 name; then the offset of a
//              subdirectory (high bit) or of a data entry
//
// A data entry (16 bytes) holds the RVA of the data, its size and a code
// page. Offsets are from the section's start, data addresses are RVAs.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/pack/pe_image.h"

namespace korvelt::pack {

// A resource type, name or language: a number, or a name.
struct ResourceName {
  bool named = false;
  uint16_t id = 0;
  std::u16string text;

  static ResourceName Number(uint16_t id) { return {false, id, {}}; }
  bool operator==(const ResourceName& other) const = default;
  bool Is(uint16_t number) const { return !named && id == number; }
};

struct Resource {
  ResourceName type;
  ResourceName name;
  ResourceName language;
  uint32_t codePage = 0;
  Bytes data;
};

constexpr uint16_t kIconResource = 3;
constexpr uint16_t kGroupIconResource = 14;
constexpr uint16_t kVersionResource = 16;

// The resources of a resource section that starts at `sectionRva`, in the
// tree's order. Every offset, count and size is checked against the
// section; a directory or data entry reached twice, a tree deeper or
// shallower than three levels, or data that together pass the section's
// size are refused. Throws PackError.
std::vector<Resource> ParseResources(const Bytes& section, uint32_t sectionRva);

// A resource section for `sectionRva` holding `resources`, in the order
// Windows searches (names before numbers, each ascending); throws
// PackError for two resources of the same type, name and language.
Bytes BuildResources(const std::vector<Resource>& resources, uint32_t sectionRva);

}  // namespace korvelt::pack
