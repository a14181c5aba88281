#include "base/file_name.h"

namespace korvelt {
namespace {

unsigned char FoldAscii(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c; }

// True when the `length` bytes at `text` are `word`, a lower-case ASCII
// word, with letters folded.
bool EqualsFolded(const char* text, uint32_t length, const char* word) {
  uint32_t i = 0;
  for (; i < length && word[i] != '\0'; ++i) {
    if (FoldAscii(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(word[i])) return false;
  }
  return i == length && word[i] == '\0';
}

// Windows opens a device, not a file, for these names, whatever follows
// their first dot and whatever blanks stand before it.
bool IsDeviceName(const char* name, uint32_t length) {
  uint32_t stem = 0;
  while (stem < length && name[stem] != '.') ++stem;
  while (stem > 0 && name[stem - 1] == ' ') --stem;
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices) {
    if (EqualsFolded(name, stem, device)) return true;
  }
  if (stem != 4 || !(EqualsFolded(name, 3, "com") || EqualsFolded(name, 3, "lpt"))) return false;
  // A digit, or the superscript 1, 2 or 3 of the Western code page.
  unsigned char number = static_cast<unsigned char>(name[3]);
  return (number >= '0' && number <= '9') || number == 0xB9 || number == 0xB2 || number == 0xB3;
}

}  // namespace

bool IsPlainFileName(const char* name, uint32_t length) {
  if (length == 0) return false;
  // Windows drops a trailing dot or blank: "a." would be written as "a",
  // and "." and ".." are folders.
  if (name[length - 1] == '.' || name[length - 1] == ' ') return false;
  for (uint32_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 32 || c == 127) return false;
    for (const char* refused = "\\/:<>\"|?*"; *refused; ++refused) {
      if (c == static_cast<unsigned char>(*refused)) return false;
    }
  }
  return !IsDeviceName(name, length);
}

// While two names agree, their characters start at the same bytes, so one
// lead-byte state serves both.
int CompareFileNames(const char* a, const char* b, LeadByteTest isLead) {
  bool trail = false;
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (!trail) {
      x = FoldAscii(x);
      y = FoldAscii(y);
    }
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
    trail = !trail && isLead(x);
  }
}

}  // namespace korvelt
