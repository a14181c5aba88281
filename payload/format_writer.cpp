#include "payload/format_writer.h"

#include <string.h>

namespace korvelt {

uint64_t TableAndFooterSize(const EntryToWrite* entries, size_t count, uint32_t padding) {
  uint64_t size = padding;
  for (size_t i = 0; i < count; ++i) size += kEntryHeadSize + uint64_t{entries[i].nameLength};
  return size + kFooterSize;
}

bool EncodeTableAndFooter(uint32_t dataOffset, const EntryToWrite* entries, size_t count, uint32_t options,
                          uint32_t padding, unsigned char* out) {
  // Every running offset stays below the limit, so none of the sums wraps
  // and each fits the 32 bits it is stored in.
  uint64_t dataEnd = dataOffset;
  for (size_t i = 0; i < count; ++i) {
    dataEnd += entries[i].size;
    if (dataEnd >= kOffsetLimit) return false;
  }
  uint64_t tableOffset = dataEnd + padding;
  uint64_t footerOffset = tableOffset + TableAndFooterSize(entries, count, 0) - kFooterSize;
  if (footerOffset + kFooterSize >= kOffsetLimit) return false;

  memset(out, 0, padding);
  unsigned char* at = out + padding;
  uint32_t dataAt = dataOffset;
  for (size_t i = 0; i < count; ++i) {
    PayloadEntry head;
    head.kind = entries[i].kind;
    head.size = entries[i].size;
    head.offset = dataAt;
    head.nameLength = entries[i].nameLength;
    EncodeEntryHead(head, at);
    if (entries[i].nameLength != 0) memcpy(at + kEntryHeadSize, entries[i].name, entries[i].nameLength);
    at += kEntryHeadSize + entries[i].nameLength;
    dataAt += entries[i].size;
  }
  PayloadFooter footer;
  footer.entryCount = static_cast<uint32_t>(count);
  footer.version = kPayloadVersion;
  footer.footerOffset = static_cast<uint32_t>(footerOffset);
  footer.tableOffset = static_cast<uint32_t>(tableOffset);
  footer.dataOffset = dataOffset;
  footer.options = options;
  EncodeFooter(footer, at);
  return true;
}

}  // namespace korvelt
