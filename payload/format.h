// The payload appended to the bootstrapper's executable.
//
//   +--------------------------+  0
//   | executable image         |
//   +--------------------------+  dataOffset
//   | entry 0 data             |  entry 0 offset
//   | entry 1 data             |  ... one after another, in table order
//   | ...                      |
//   +--------------------------+  tableOffset
//   | entry 0 head | name      |  16 bytes + nameLength
//   | entry 1 head | name      |
//   | ...                      |
//   +--------------------------+  footerOffset
//   | footer (36 bytes)        |
//   +--------------------------+  end of file
//
//   entry head                      footer
//    0  kind                         0  entryCount
//    4  size                         4  version (100)
//    8  offset                       8  footerOffset
//   12  nameLength                  12  tableOffset
//   16  name, nameLength bytes      16  dataOffset
//                                   20  options
//                                   24  "KORVELTSFX"
//                                   34  two zero bytes
//
// All integers are 32-bit little-endian. The footer is found by scanning
// back from the end of the file, so bytes appended behind it (a signature,
// say) do no harm; stored offsets are corrected by `baseShift`, the distance
// between where the footer lies and where it was written, so bytes inserted
// in front of the payload do no harm either.
#pragma once

#include <stdint.h>

#include "base/chars.h"
#include "base/list.h"
#include "base/string.h"
#include "platform/files.h"

namespace korvelt {

enum class PayloadError : int {
  Ok = 0,
  Io = 2,
  NoMemory = 3,
  NoPath = 4,
  Corrupt = 5,
  BadVersion = 6,
};

// Bits of the footer's `options`.
constexpr uint32_t ExternalFiles = 1;
constexpr uint32_t HasPrerequisites = 2;

// The role of an entry. Kinds 1 and 2 are both `MainSupport`; every kind
// above `PrereqConfig` is `OnDemand`.
enum EntryKind : uint32_t {
  MainPackage = 0,
  MainSupport = 1,
  MainSupportToo = 2,
  PrereqConfig = 3,
  OnDemand = 4,
};

// The main package and its support files are extracted before the launch.
inline bool IsMainFile(uint32_t kind) { return kind <= MainSupportToo; }

constexpr uint32_t kPayloadVersion = 100;
constexpr uint32_t kSearchWindow = 2048;

// Where each footer field lies, counted from the footer's first byte.
constexpr uint32_t kFooterEntryCountAt = 0;
constexpr uint32_t kFooterVersionAt = 4;
constexpr uint32_t kFooterFooterOffsetAt = 8;
constexpr uint32_t kFooterTableOffsetAt = 12;
constexpr uint32_t kFooterDataOffsetAt = 16;
constexpr uint32_t kFooterOptionsAt = 20;
constexpr uint32_t kFooterMagicAt = 24;
constexpr uint32_t kFooterZerosAt = 34;
constexpr uint32_t kFooterSize = 36;
constexpr uint32_t kMagicSize = 10;
static_assert(kFooterMagicAt + kMagicSize == kFooterZerosAt && kFooterZerosAt + 2 == kFooterSize);

// Where each field of an entry head lies; the name follows the head.
constexpr uint32_t kEntryKindAt = 0;
constexpr uint32_t kEntrySizeAt = 4;
constexpr uint32_t kEntryOffsetAt = 8;
constexpr uint32_t kEntryNameLengthAt = 12;
constexpr uint32_t kEntryHeadSize = 16;
// Stored offsets and sizes stay below this.
constexpr uint32_t kOffsetLimit = 0x80000000u;

struct PayloadFooter {
  uint32_t entryCount = 0;
  uint32_t version = 0;
  uint32_t footerOffset = 0;
  uint32_t tableOffset = 0;
  uint32_t dataOffset = 0;
  uint32_t options = 0;
  char magic[kMagicSize] = {};
};

struct PayloadEntry {
  uint32_t kind = 0;
  uint32_t size = 0;
  uint32_t offset = 0;
  uint32_t nameLength = 0;
};

// Finds the footer of the open payload `file` and reads it. A footer that
// the file cuts short gives Io; its two last bytes are not looked at. On
// Ok the footer and `baseShift` are set; the file is left open either way.
PayloadError ReadFooter(FileSystem& files, FileId file, PayloadFooter* footer, int32_t* baseShift);

// Reads the footer's `entryCount` entries into `entries` and `names`, which
// stay parallel. A name that is not a plain file name, or two names that
// differ only in the case of ASCII letters, refuse the table as Corrupt:
// each entry must be a file of its own in the extraction folder. `isLead`
// keeps the trail bytes of double-byte characters from being folded. On
// failure the lists may hold a part of the table; the caller discards it.
PayloadError ReadTable(FileSystem& files, FileId file, const PayloadFooter& footer, int32_t baseShift,
                       List<PayloadEntry>* entries, List<String>* names, LeadByteTest isLead = NoLeadBytes);

// Where a stored offset lies in the file, or false when it lies outside
// what a payload can describe.
bool ShiftedOffset(uint32_t stored, int32_t baseShift, uint32_t* actual);

// Fills `out` with the marker "KORVELTSFX". The bootstrapper's image never
// holds the marker as one run of bytes, so that the footer search cannot
// find it in a bare or cut-off bootstrapper.
void PayloadMagic(unsigned char out[kMagicSize]);

// The little-endian encoding of the footer and of an entry head.
void EncodeFooter(const PayloadFooter& footer, unsigned char out[kFooterSize]);
void EncodeEntryHead(const PayloadEntry& entry, unsigned char out[kEntryHeadSize]);

}  // namespace korvelt
