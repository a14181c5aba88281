#include "base/decimal.h"

namespace korvelt {

uint64_t LongDivide(uint64_t value, uint32_t divisor, uint32_t* remainder) {
  uint64_t quotient = 0;
  uint64_t rest = 0;
  for (int bit = 63; bit >= 0; --bit) {
    rest = rest << 1 | (value >> bit & 1);
    quotient <<= 1;
    if (rest >= divisor) {
      rest -= divisor;
      quotient |= 1;
    }
  }
  *remainder = static_cast<uint32_t>(rest);
  return quotient;
}

char* WriteDecimal(char* out, uint64_t value, int minimumDigits) {
  char digits[kMaxDecimalDigits];
  int count = 0;
  do {
    uint32_t digit = 0;
    value = LongDivide(value, 10, &digit);
    digits[count++] = static_cast<char>('0' + digit);
  } while (value != 0);
  if (minimumDigits > kMaxDecimalDigits) minimumDigits = kMaxDecimalDigits;
  while (count < minimumDigits) digits[count++] = '0';
  while (count > 0) *out++ = digits[--count];
  return out;
}

}  // namespace korvelt
