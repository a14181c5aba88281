#include "prereq/success_codes.h"

namespace korvelt {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int DigitValue(char c, uint32_t base) {
  int value = -1;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value >= 0 && static_cast<uint32_t>(value) < base ? value : -1;
}

// Reads one entry, blanks trimmed, from `begin` up to `end`.
bool ReadCode(const char* begin, const char* end, uint32_t* code) {
  while (begin < end && IsBlank(*begin)) ++begin;
  while (end > begin && IsBlank(end[-1])) --end;
  bool negative = begin < end && *begin == '-';
  if (negative) ++begin;
  uint32_t base = 10;
  if (end - begin > 2 && begin[0] == '0' && (begin[1] == 'x' || begin[1] == 'X')) {
    base = 16;
    begin += 2;
  }
  if (begin == end) return false;
  uint64_t value = 0;
  for (; begin < end; ++begin) {
    int digit = DigitValue(*begin, base);
    if (digit < 0) return false;
    value = value * base + static_cast<uint32_t>(digit);
    if (value > 0xFFFFFFFFull) return false;
  }
  // -1 is how a 32-bit signed code reads in decimal: 4294967295.
  if (negative && value > 0x80000000ull) return false;
  *code = negative ? static_cast<uint32_t>(0 - value) : static_cast<uint32_t>(value);
  return true;
}

}  // namespace

void ReadSuccessCodes(const char* text, SuccessCodeList* list) {
  list->count = 0;
  list->unreadable = 0;
  if (!text) return;
  const char* begin = text;
  for (;;) {
    const char* end = begin;
    while (*end && *end != ',') ++end;
    bool blank = true;
    for (const char* p = begin; p < end; ++p) blank = blank && IsBlank(*p);
    // An empty entry ("0,,3010" or a trailing comma) is nothing to read.
    if (!blank) {
      uint32_t code = 0;
      if (ReadCode(begin, end, &code) && list->count < SuccessCodeList::kMaxCodes) {
        list->codes[list->count++] = code;
      } else {
        ++list->unreadable;
      }
    }
    if (!*end) return;
    begin = end + 1;
  }
}

bool IsSuccessCode(const char* text, uint32_t code) {
  SuccessCodeList list;
  ReadSuccessCodes(text, &list);
  if (list.count == 0) {
    return code == 0 || code == kProductVersionInstalled || code == kRestartRequired || code == kRestartStarted;
  }
  for (size_t i = 0; i < list.count; ++i) {
    if (list.codes[i] == code) return true;
  }
  return false;
}

}  // namespace korvelt
