#include "testing/payload_builder.h"

#include <gtest/gtest.h>

#include "payload/format_writer.h"

namespace korvelt::testing {

Bytes Pattern(size_t size, unsigned seed) {
  Bytes bytes(size);
  uint32_t state = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    bytes[i] = static_cast<unsigned char>(state >> 16);
  }
  return bytes;
}

Bytes BuildPayload(uint32_t stubSize, const std::vector<TestEntry>& entries, uint32_t options) {
  Bytes file(stubSize, 'M');
  std::vector<EntryToWrite> heads;
  for (const TestEntry& entry : entries) {
    file.insert(file.end(), entry.data.begin(), entry.data.end());
    heads.push_back({entry.kind, static_cast<uint32_t>(entry.data.size()), entry.name.data(),
                     static_cast<uint32_t>(entry.name.size())});
  }
  size_t dataEnd = file.size();
  file.resize(dataEnd + TableAndFooterSize(heads.data(), heads.size(), 0));
  if (!EncodeTableAndFooter(stubSize, heads.data(), heads.size(), options, 0, file.data() + dataEnd)) {
    ADD_FAILURE() << "a payload of " << dataEnd << " bytes passes what a footer can describe";
  }
  return file;
}

std::vector<TestEntry> WorkedEntries() {
  return {{MainPackage, "Product1.0.msi", Pattern(229376, 1)}, {MainSupport, "Data01.cab", Pattern(1132343, 2)}};
}

Bytes WorkedPayload(uint32_t options) { return BuildPayload(77824, WorkedEntries(), options); }

}  // namespace korvelt::testing
