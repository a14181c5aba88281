// Decimal numbers written into character buffers, without the C library's
// printf family and without the compiler's 64-bit division routines.
#pragma once

#include <stdint.h>

namespace korvelt {

// `value` / `divisor` and the remainder, by long division one bit at a
// time: a 32-bit program would otherwise link the compiler's 64-bit
// division routines for this alone. `divisor` must not be 0.
uint64_t LongDivide(uint64_t value, uint32_t divisor, uint32_t* remainder);

// The most characters WriteDecimal writes for any value with the fewest
// digits asked: 18446744073709551615.
constexpr int kMaxDecimalDigits = 20;

// Writes `value` in decimal at `out`, at least `minimumDigits` digits (at
// most kMaxDecimalDigits, leading zeros added), no terminator, and returns
// the end.
char* WriteDecimal(char* out, uint64_t value, int minimumDigits = 1);

}  // namespace korvelt
