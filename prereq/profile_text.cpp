#include "prereq/profile_text.h"

#include <stdlib.h>
#include <string.h>

namespace korvelt {
namespace {

bool IsProfileBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x1A; }

unsigned char Fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// A piece of the text; a zero byte inside ends it, as it ends the
// system's strings.
struct Piece {
  const unsigned char* begin;
  size_t length;
};

Piece Cut(const unsigned char* begin, const unsigned char* end) {
  const void* zero = memchr(begin, 0, static_cast<size_t>(end - begin));
  if (zero) end = static_cast<const unsigned char*>(zero);
  return Piece{begin, static_cast<size_t>(end - begin)};
}

// Compares a piece with a name given by the caller, whose own blanks at
// either end do not count.
bool SameName(Piece piece, const char* name) {
  const unsigned char* begin = reinterpret_cast<const unsigned char*>(name);
  const unsigned char* end = begin + strlen(name);
  while (begin < end && IsProfileBlank(*begin)) ++begin;
  while (end > begin && IsProfileBlank(end[-1])) --end;
  if (piece.length != static_cast<size_t>(end - begin)) return false;
  for (size_t i = 0; i < piece.length; ++i) {
    if (Fold(piece.begin[i]) != Fold(begin[i])) return false;
  }
  return true;
}

const unsigned char* LastOf(const unsigned char* begin, const unsigned char* end, unsigned char c) {
  while (end > begin) {
    if (*--end == c) return end;
  }
  return nullptr;
}

// Finds the value of `key` in the first section named `section`. Returns
// false when there is none; `value` is then untouched.
bool FindValue(const unsigned char* text, size_t length, const char* section, const char* key, Piece* value) {
  const unsigned char* end = text + length;
  // Lines before the first header belong to a section without a name.
  bool inSection = SameName(Piece{text, 0}, section);
  bool sectionSeen = inSection;
  for (const unsigned char* next = text; next < end;) {
    const unsigned char* begin = next;
    while (next < end && *next != '\n' && *next != '\r') ++next;
    const unsigned char* lineEnd = next;
    while (next < end && (*next == '\n' || *next == '\r')) ++next;
    while (begin < lineEnd && IsProfileBlank(*begin)) ++begin;
    while (lineEnd > begin && IsProfileBlank(lineEnd[-1])) --lineEnd;
    if (begin >= lineEnd) continue;

    if (*begin == '[') {
      const unsigned char* close = LastOf(begin, lineEnd, ']');
      if (close) {
        // Only the first section of the name counts.
        if (inSection) return false;
        const unsigned char* nameBegin = begin + 1;
        const unsigned char* nameEnd = close;
        while (nameBegin < nameEnd && IsProfileBlank(*nameBegin)) ++nameBegin;
        while (nameEnd > nameBegin && IsProfileBlank(nameEnd[-1])) --nameEnd;
        if (!sectionSeen && SameName(Cut(nameBegin, nameEnd), section)) inSection = sectionSeen = true;
        continue;
      }
    }
    if (!inSection) continue;

    const unsigned char* equals = static_cast<const unsigned char*>(memchr(begin, '=', static_cast<size_t>(lineEnd - begin)));
    const unsigned char* nameEnd = equals ? equals : lineEnd;
    while (nameEnd > begin && IsProfileBlank(nameEnd[-1])) --nameEnd;
    if (!SameName(Cut(begin, nameEnd), key)) continue;
    // The first key of the name decides, even when it has no value.
    if (!equals) return false;
    const unsigned char* valueBegin = equals + 1;
    while (valueBegin < lineEnd && IsProfileBlank(*valueBegin)) ++valueBegin;
    *value = Cut(valueBegin, lineEnd);
    return true;
  }
  return false;
}

// Copies `from` into the caller's buffer the way the system does: a value
// enclosed in equal quotes loses the opening one, is cut to the room there
// is, and then loses its last character when the whole rest fitted. (So a
// quoted value one character too long comes out cut by one, not refused.)
uint32_t CopyOut(Piece from, char* buffer, uint32_t size) {
  bool quoted = from.length >= 2 && (from.begin[0] == '"' || from.begin[0] == '\'') &&
                from.begin[from.length - 1] == from.begin[0];
  if (quoted) {
    ++from.begin;
    --from.length;
  }
  size_t count = from.length < size - 1 ? from.length : size - 1;
  memcpy(buffer, from.begin, count);
  if (quoted && size >= from.length && count) --count;
  buffer[count] = '\0';
  return static_cast<uint32_t>(count);
}

Piece WholeText(const char* text) {
  return Piece{reinterpret_cast<const unsigned char*>(text), strlen(text)};
}

// The fallback loses its trailing blanks, as the system's does.
Piece Fallback(const char* fallback) {
  Piece piece = WholeText(fallback ? fallback : "");
  while (piece.length && piece.begin[piece.length - 1] == ' ') --piece.length;
  return piece;
}

}  // namespace

uint32_t ReadProfileText(const unsigned char* text, size_t length, const char* section, const char* key,
                         const char* fallback, char* buffer, uint32_t size) {
  if (!buffer || size == 0) return 0;
  Piece value;
  if (!section || !key || !FindValue(text, length, section, key, &value)) value = Fallback(fallback);
  return CopyOut(value, buffer, size);
}

namespace {

// Reads a whole file into a block of its own; null when it cannot be read.
unsigned char* ReadWholeFile(FileSystem& files, const char* path, size_t* length) {
  ScopedFile file(files, files.OpenForReading(path));
  if (!file.Valid()) return nullptr;
  uint64_t size = 0;
  if (!files.Size(file.Get(), &size) || size > kMaxProfileFileSize) return nullptr;
  auto* bytes = static_cast<unsigned char*>(malloc(size ? static_cast<size_t>(size) : 1));
  if (!bytes) return nullptr;
  size_t have = 0;
  while (have < size) {
    uint32_t done = 0;
    if (!files.Read(file.Get(), bytes + have, static_cast<uint32_t>(size - have), &done) || done == 0) break;
    have += done;
  }
  *length = have;
  return bytes;
}

// Turns UTF-16 text into single bytes in place: ASCII stays, the rest is "?".
size_t NarrowUtf16(unsigned char* bytes, size_t length, bool bigEndian) {
  size_t out = 0;
  for (size_t at = 2; at + 1 < length; at += 2) {
    unsigned unit = bigEndian ? (bytes[at] << 8 | bytes[at + 1]) : (bytes[at + 1] << 8 | bytes[at]);
    bytes[out++] = unit < 0x80 ? static_cast<unsigned char>(unit) : '?';
  }
  return out;
}

}  // namespace

uint32_t ReadProfileFile(FileSystem& files, const char* path, const char* section, const char* key,
                         const char* fallback, char* buffer, uint32_t size) {
  size_t length = 0;
  unsigned char* bytes = ReadWholeFile(files, path, &length);
  const unsigned char* text = bytes;
  if (bytes && length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    text += 3;
    length -= 3;
  } else if (bytes && length >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
    length = NarrowUtf16(bytes, length, bytes[0] == 0xFE);
  }
  uint32_t copied = ReadProfileText(text ? text : reinterpret_cast<const unsigned char*>(""), bytes ? length : 0,
                                    bytes ? section : nullptr, key, fallback, buffer, size);
  free(bytes);
  return copied;
}

}  // namespace korvelt
