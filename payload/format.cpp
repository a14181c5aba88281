#include "payload/format.h"

#include <string.h>

#include "base/buffer.h"

namespace korvelt {
namespace {

uint32_t ReadLittleEndian(const unsigned char* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

void WriteLittleEndian(uint32_t value, unsigned char* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

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
    read.entryCount = ReadLittleEndian(bytes + kFooterEntryCountAt);
    read.version = ReadLittleEndian(bytes + kFooterVersionAt);
    read.footerOffset = ReadLittleEndian(bytes + kFooterFooterOffsetAt);
    read.tableOffset = ReadLittleEndian(bytes + kFooterTableOffsetAt);
    read.dataOffset = ReadLittleEndian(bytes + kFooterDataOffsetAt);
    read.options = ReadLittleEndian(bytes + kFooterOptionsAt);
    memcpy(read.magic, bytes + kFooterMagicAt, kMagicSize);
    if (read.version != kPayloadVersion) return PayloadError::BadVersion;

    // Both lie below 2^31, so the difference fits.
    if (read.footerOffset >= kOffsetLimit) return PayloadError::Corrupt;
    *baseShift = static_cast<int32_t>(start - int64_t{read.footerOffset});
    *footer = read;
    return PayloadError::Ok;
  }
}

bool IsPlainFileName(const char* name, uint32_t length) {
  if (length == 0) return false;
  if (length == 1 && name[0] == '.') return false;
  if (length == 2 && name[0] == '.' && name[1] == '.') return false;
  for (uint32_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 32 || c == 127 || c == '\\' || c == '/' || c == ':') return false;
  }
  return true;
}

PayloadError ReadTable(FileSystem& files, FileId file, const PayloadFooter& footer, int32_t baseShift,
                       List<PayloadEntry>* entries, List<String>* names) {
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
    entry.kind = ReadLittleEndian(head + kEntryKindAt);
    entry.size = ReadLittleEndian(head + kEntrySizeAt);
    entry.offset = ReadLittleEndian(head + kEntryOffsetAt);
    entry.nameLength = ReadLittleEndian(head + kEntryNameLengthAt);
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
  return PayloadError::Ok;
}

void EncodeFooter(const PayloadFooter& footer, unsigned char out[kFooterSize]) {
  WriteLittleEndian(footer.entryCount, out + kFooterEntryCountAt);
  WriteLittleEndian(footer.version, out + kFooterVersionAt);
  WriteLittleEndian(footer.footerOffset, out + kFooterFooterOffsetAt);
  WriteLittleEndian(footer.tableOffset, out + kFooterTableOffsetAt);
  WriteLittleEndian(footer.dataOffset, out + kFooterDataOffsetAt);
  WriteLittleEndian(footer.options, out + kFooterOptionsAt);
  PayloadMagic(out + kFooterMagicAt);
  memset(out + kFooterZerosAt, 0, kFooterSize - kFooterZerosAt);
}

void EncodeEntryHead(const PayloadEntry& entry, unsigned char out[kEntryHeadSize]) {
  WriteLittleEndian(entry.kind, out + kEntryKindAt);
  WriteLittleEndian(entry.size, out + kEntrySizeAt);
  WriteLittleEndian(entry.offset, out + kEntryOffsetAt);
  WriteLittleEndian(entry.nameLength, out + kEntryNameLengthAt);
}

}  // namespace korvelt
