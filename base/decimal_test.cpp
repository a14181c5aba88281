#include "base/decimal.h"

#include <gtest/gtest.h>

#include <string>

namespace korvelt {
namespace {

// Every digit count from one to twenty, leading zeros asked for and not,
// and the end pointer just past the last digit.
TEST(WriteDecimalTest, DigitsAndPadding) {
  struct Case {
    uint64_t value;
    int minimumDigits;
    const char* text;
  } cases[] = {
      {0, 1, "0"},
      {0, 0, "0"},
      {7, 2, "07"},
      {10, 1, "10"},
      {4294967295u, 1, "4294967295"},
      {4294967296u, 1, "4294967296"},
      {18446744073709551615u, 1, "18446744073709551615"},
      {5, 25, "00000000000000000005"},  // never past the widest number
  };
  for (const Case& c : cases) {
    char buffer[32];
    char* end = WriteDecimal(buffer, c.value, c.minimumDigits);
    EXPECT_EQ(std::string(buffer, end), c.text) << c.value << " with " << c.minimumDigits;
  }
}

// Long division agrees with the compiler's for values on both sides of
// 32 bits, and for the divisors the callers use.
TEST(LongDivideTest, QuotientAndRemainder) {
  const uint64_t values[] = {0, 1, 99, 0xFFFFFFFFu, 0x100000000u, 0x123456789ABCDEFu, UINT64_MAX};
  const uint32_t divisors[] = {1, 10, 100, 44486, 0xFFFFFFFFu};
  for (uint64_t value : values) {
    for (uint32_t divisor : divisors) {
      uint32_t remainder = 0;
      EXPECT_EQ(LongDivide(value, divisor, &remainder), value / divisor) << value << " / " << divisor;
      EXPECT_EQ(remainder, value % divisor) << value << " % " << divisor;
    }
  }
}

}  // namespace
}  // namespace korvelt
