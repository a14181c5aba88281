// Writes what follows the entries' data in a payload: the entry table and
// the footer that payload/format.h lays out and reads. The packer and the
// tests' payload builder both write payloads with it, so that they cannot
// differ from each other or from the reader.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "payload/format.h"

namespace korvelt {

// One entry of a payload being written: its role, the length of its data
// and its name, `nameLength` bytes without a terminator.
struct EntryToWrite {
  uint32_t kind = 0;
  uint32_t size = 0;
  const char* name = nullptr;
  uint32_t nameLength = 0;
};

// The length of what EncodeTableAndFooter writes for these entries:
// `padding` zero bytes, the table and the footer.
uint64_t TableAndFooterSize(const EntryToWrite* entries, size_t count, uint32_t padding);

// Writes `padding` zero bytes, the table of `entries` and the footer into
// `out`, which holds TableAndFooterSize bytes, for a payload whose image is
// `dataOffset` bytes and whose entries' data follow it one after another,
// in table order. The padding pushes the table and the footer away from the
// data, so that data ending in a footer of their own cannot hide this one.
// False, with nothing written, when the footer would end at or beyond
// kOffsetLimit, which a payload cannot describe.
bool EncodeTableAndFooter(uint32_t dataOffset, const EntryToWrite* entries, size_t count, uint32_t options,
                          uint32_t padding, unsigned char* out);

}  // namespace korvelt
