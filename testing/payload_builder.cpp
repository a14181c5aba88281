#include "testing/payload_builder.h"

#include "payload/format.h"

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
  for (const TestEntry& entry : entries) file.insert(file.end(), entry.data.begin(), entry.data.end());
  uint32_t tableOffset = static_cast<uint32_t>(file.size());
  uint32_t offset = stubSize;
  for (const TestEntry& entry : entries) {
    PayloadEntry head;
    head.kind = entry.kind;
    head.size = static_cast<uint32_t>(entry.data.size());
    head.offset = offset;
    head.nameLength = static_cast<uint32_t>(entry.name.size());
    offset += head.size;
    unsigned char encoded[kEntryHeadSize];
    EncodeEntryHead(head, encoded);
    file.insert(file.end(), encoded, encoded + kEntryHeadSize);
    file.insert(file.end(), entry.name.begin(), entry.name.end());
  }
  PayloadFooter footer;
  footer.entryCount = static_cast<uint32_t>(entries.size());
  footer.version = kPayloadVersion;
  footer.footerOffset = static_cast<uint32_t>(file.size());
  footer.tableOffset = tableOffset;
  footer.dataOffset = stubSize;
  footer.options = options;
  unsigned char encoded[kFooterSize];
  EncodeFooter(footer, encoded);
  file.insert(file.end(), encoded, encoded + kFooterSize);
  return file;
}

std::vector<TestEntry> WorkedEntries() {
  return {{MainPackage, "Product1.0.msi", Pattern(229376, 1)}, {MainSupport, "Data01.cab", Pattern(1132343, 2)}};
}

Bytes WorkedPayload(uint32_t options) { return BuildPayload(77824, WorkedEntries(), options); }

}  // namespace korvelt::testing
