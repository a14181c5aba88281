// Builds payload files in memory the way the packer writes them, and lets
// tests damage them on purpose.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "testing/fake_files.h"

namespace korvelt::testing {

struct TestEntry {
  uint32_t kind;
  std::string name;
  Bytes data;
};

// Bytes that differ from entry to entry, so that a misplaced copy shows.
Bytes Pattern(size_t size, unsigned seed);

// A stub of `stubSize` bytes (never holding the magic), the entries' data,
// the table and the footer.
Bytes BuildPayload(uint32_t stubSize, const std::vector<TestEntry>& entries, uint32_t options);

// The worked example: a 77,824-byte image, "Product1.0.msi" of 229,376
// bytes and "Data01.cab" of 1,132,343 bytes; 1,439,635 bytes in all.
std::vector<TestEntry> WorkedEntries();
Bytes WorkedPayload(uint32_t options = 0);

}  // namespace korvelt::testing
