#include "payload/format.h"

#include <string.h>

#include "base/buffer.h"
#include "base/file_name.h"
#include "base/little_endian.h"

namespace korvelt {
namespace {

// Reads exactly `size` bytes; a read that fails or stops short is a failure,
// so nothing read later rests on bytes that never came.
bool ReadExactly(FileSystem& files, FileId file, void* into, uint32_t size) {
  uint32_t done = 0;
  return files.Read(file, into, size, &done) && done == size;
}

// The distance from the end of the file at which window `k` (from 1) begins.
// Each window overlaps the one after it by the magic's length, so that a
// magic at any position lies whole inside some window.
bool WindowDistance(uint32_t k, uint32_t* distance) {
  uint64_t back = kSearchWindow + uint64_t{kSearchWindow - kMagicSize} * (k - 1);
  if (back >= kOffsetLimit) return false;
  *distance = static_cast<uint32_t>(back);
  return true;
}

// Refuses two names that one folder would take for the same file. The
// names are sorted and neighbours compared: a heapsort, so that a table
// that claims very many names costs n log n comparisons at worst, with no
// recursion and no memory beyond one index per name.
PayloadError CheckDistinctNames(const List<String>& names, LeadByteTest isLead) {
  size_t count = names.Count();
  if (count < 2) return PayloadError::Ok;
  List<uint32_t> order;
  if (!order.Reserve(count)) return PayloadError::NoMemory;
  for (size_t i = 0; i < count; ++i) order.Push(static_cast<uint32_t>(i));

  auto less = [&](size_t i, size_t j) {
    return CompareFileNames(names[order[i]].c_str(), names[order[j]].c_str(), isLead) < 0;
  };
  auto swap = [&](size_t i, size_t j) {
    uint32_t kept = order[i];
    order[i] = order[j];
    order[j] = kept;
  };
  auto siftDown = [&](size_t root, size_t end) {
    for (size_t child = 2 * root + 1; child < end; root = child, child = 2 * root + 1) {
      if (child + 1 < end && less(child, child + 1)) ++child;
      if (!less(root, child)) return;
      swap(root, child);
    }
  };
  for (size_t i = count / 2; i-- > 0;) siftDown(i, count);
  for (size_t end = count - 1; end > 0; --end) {
    swap(0, end);
    siftDown(0, end);
  }
  for (size_t i = 1; i < count; ++i) {
    if (CompareFileNames(names[order[i - 1]].c_str(), names[order[i]].c_str(), isLead) == 0) return PayloadError::Corrupt;
  }
  return PayloadError::Ok;
}

// The first position in the window at which the magic starts, or -1.
int FindMagic(const unsigned char* window, const unsigned char* magic) {
  for (uint32_t i = 0; i + kMagicSize <= kSearchWindow; ++i) {
    if (memcmp(window + i, magic, kMagicSize) == 0) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

void PayloadMagic(unsigned char out[kMagicSize]) {
  // Kept masked, and unmasked through a volatile read that the compiler
  // cannot fold back into the plain text.
  static const unsigned char kMask = 0xA5;
  static const unsigned char kMasked[kMagicSize] = {
      'K' ^ kMask, 'O' ^ kMask, 'R' ^ kMask, 'V' ^ kMask, 'E' ^ kMask,
      'L' ^ kMask, 'T' ^ kMask, 'S' ^ kMask, 'F' ^ kMask, 'X' ^ kMask,
  };
  volatile unsigned char mask = kMask;
  unsigned char unmask = mask;
  for (uint32_t i = 0; i < kMagicSize; ++i) out[i] = static_cast<unsigned char>(kMasked[i] ^ unmask);
}

bool ShiftedOffset(uint32_t stored, int32_t baseShift, uint32_t* actual) {
  int64_t shifted = int64_t{stored} + baseShift;
  if (shifted < 0 || shifted >= int64_t{kOffsetLimit}) return false;
  *actual = static_cast<uint32_t>(shifted);
  return true;
}

PayloadError ReadFooter(FileSystem& files, FileId file, PayloadFooter* footer, int32_t* baseShift) {
  HeapBuffer window(kSearchWindow);
  if (!window.Valid()) return PayloadError::NoMemory;
  unsigned char magic[kMagicSize];
  PayloadMagic(magic);

  for (uint32_t k = 1;; ++k) {
    uint32_t distance = 0;
    uint64_t windowStart = 0;
    if (!WindowDistance(k, &distance) || !files.SeekFromEnd(file, distance, &windowStart)) {
      return PayloadError::Io;
    }
    if (!ReadExactly(files, file, window.Bytes(), kSearchWindow)) return PayloadError::Io;

    int match = FindMagic(window.Bytes(), magic);
    if (match < 0) continue;
    int64_t start = static_cast<int64_t>(windowStart) + match - int64_t{kFooterMagicAt};
    // A footer at the very start of the file cannot follow an executable image.
    if (start == 0) continue;
    if (start < 0 || start >= int64_t{kOffsetLimit}) return PayloadError::Io;

    // A footer the file cuts short (a download that stopped within it) is
    // no footer, even with its marker whole.
    unsigned char bytes[kFooterSize] = {};
    if (!files.SeekFromStart(file, static_cast<uint32_t>(start)) || !ReadExactly(files, file, bytes, kFooterSize)) {
      return PayloadError::Io;
    }
    if (memcmp(bytes + kFooterMagicAt, magic, kMagicSize) != 0) return PayloadError::Corrupt;

    PayloadFooter read;
    read.entryCount = LoadLe32(bytes + kFooterEntryCountAt);
    read.version = LoadLe32(bytes + kFooterVersionAt);
    read.footerOffset = LoadLe32(bytes + kFooterFooterOffsetAt);
    read.tableOffset = LoadLe32(bytes + kFooterTableOffsetAt);
    read.dataOffset = LoadLe32(bytes + kFooterDataOffsetAt);
    read.options = LoadLe32(bytes + kFooterOptionsAt);
    memcpy(read.magic, bytes + kFooterMagicAt, kMagicSize);
    if (read.version != kPayloadVersion) return PayloadError::BadVersion;

    // Both lie below 2^31, so the difference fits.
    if (read.footerOffset >= kOffsetLimit) return PayloadError::Corrupt;
    *baseShift = static_cast<int32_t>(start - int64_t{read.footerOffset});
    *footer = read;
    return PayloadError::Ok;
  }
}

PayloadError ReadTable(FileSystem& files, FileId file, const PayloadFooter& footer, int32_t baseShift,
                       List<PayloadEntry>* entries, List<String>* names, LeadByteTest isLead) {
  uint32_t tableStart = 0;
  if (!ShiftedOffset(footer.tableOffset, baseShift, &tableStart) || !files.SeekFromStart(file, tableStart)) {
    return PayloadError::Io;
  }
  if (footer.entryCount == 0) return PayloadError::Ok;

  // Every head and name must lie inside the file: nothing is allocated for
  // counts and lengths that the file cannot hold.
  uint64_t fileSize = 0;
  if (!files.Size(file, &fileSize) || fileSize < tableStart) return PayloadError::Io;
  uint64_t left = fileSize - tableStart;
  if (uint64_t{footer.entryCount} * (kEntryHeadSize + 1) > left) return PayloadError::Io;
  if (!entries->Reserve(footer.entryCount) || !names->Reserve(footer.entryCount)) return PayloadError::NoMemory;

  for (uint32_t i = 0; i < footer.entryCount; ++i) {
    unsigned char head[kEntryHeadSize];
    if (!ReadExactly(files, file, head, kEntryHeadSize)) return PayloadError::Io;
    left -= kEntryHeadSize;
    PayloadEntry entry;
    entry.kind = LoadLe32(head + kEntryKindAt);
    entry.size = LoadLe32(head + kEntrySizeAt);
    entry.offset = LoadLe32(head + kEntryOffsetAt);
    entry.nameLength = LoadLe32(head + kEntryNameLengthAt);
    if (entry.nameLength == 0 || entry.nameLength > left) return PayloadError::Io;
    left -= entry.nameLength;

    HeapBuffer bytes(entry.nameLength);
    if (!bytes.Valid()) return PayloadError::NoMemory;
    if (!ReadExactly(files, file, bytes.Bytes(), entry.nameLength)) return PayloadError::Io;
    const char* text = reinterpret_cast<const char*>(bytes.Bytes());
    if (!IsPlainFileName(text, entry.nameLength)) return PayloadError::Corrupt;
    String name;
    if (!name.Assign(text, entry.nameLength)) return PayloadError::NoMemory;
    // Both lists were reserved for every entry, so these cannot fail.
    entries->Push(entry);
    names->Push(static_cast<String&&>(name));
  }
  return CheckDistinctNames(*names, isLead);
}

void EncodeFooter(const PayloadFooter& footer, unsigned char out[kFooterSize]) {
  StoreLe32(out + kFooterEntryCountAt, footer.entryCount);
  StoreLe32(out + kFooterVersionAt, footer.version);
  StoreLe32(out + kFooterFooterOffsetAt, footer.footerOffset);
  StoreLe32(out + kFooterTableOffsetAt, footer.tableOffset);
  StoreLe32(out + kFooterDataOffsetAt, footer.dataOffset);
  StoreLe32(out + kFooterOptionsAt, footer.options);
  PayloadMagic(out + kFooterMagicAt);
  memset(out + kFooterZerosAt, 0, kFooterSize - kFooterZerosAt);
}

void EncodeEntryHead(const PayloadEntry& entry, unsigned char out[kEntryHeadSize]) {
  StoreLe32(out + kEntryKindAt, entry.kind);
  StoreLe32(out + kEntrySizeAt, entry.size);
  StoreLe32(out + kEntryOffsetAt, entry.offset);
  StoreLe32(out + kEntryNameLengthAt, entry.nameLength);
}

}  // namespace korvelt
