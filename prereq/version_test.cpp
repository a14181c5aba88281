#include "prereq/version.h"

#include <gtest/gtest.h>

namespace korvelt {
namespace {

struct ParseCase {
  const char* text;
  int32_t fill;
  bool result;
  int32_t parts[4];
  int32_t count;
};

// Texts parse to their first four runs of digits, with the fill value for
// the parts they do not reach.
TEST(ParseVersionTest, ReadsFourRunsOfDigits) {
  const ParseCase cases[] = {
      {"2.0.507", 0, true, {2, 0, 507, 0}, 3},
      {"version 2.0.507", 0, true, {2, 0, 507, 0}, 3},
      {"1.2.3.4.5", 0, true, {1, 2, 3, 4}, 5},
      {"1..2", 0, true, {1, 2, 0, 0}, 2},
      {"1,2,3,4", 0, true, {1, 2, 3, 4}, 4},
      {"release 1 build 2 rev 3", 0, true, {1, 2, 3, 0}, 3},
      {"-1.-2", 0, true, {1, 2, 0, 0}, 2},
      {"", 0, false, {0, 0, 0, 0}, 0},
      {"none", 0, false, {0, 0, 0, 0}, 0},
      {"0", 0, true, {0, 0, 0, 0}, 1},
      {"0.0.0.0", 0, true, {0, 0, 0, 0}, 4},
      {"7", 9, true, {7, 9, 9, 9}, 1},
      {"1.2.", 0, true, {1, 2, 0, 0}, 2},
      {"2147483647.2147483648.99999999999", 0, true, {2147483647, 2147483647, 2147483647, 0}, 3},
      {"00012.0003", 0, true, {12, 3, 0, 0}, 2},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.text);
    VersionNumber version;
    version.parts[0] = 99;
    EXPECT_EQ(ParseVersion(c.text, c.fill, &version), c.result);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(version.parts[k], c.parts[k]) << "part " << k;
    EXPECT_EQ(version.count, c.count);
  }
}

// Versions compare part by part, as numbers; the count takes no part.
TEST(CompareVersionsTest, ComparesPartByPart) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {{"1.10", "1.9", 1},   {"10", "9", 1},          {"1.2", "1.2.0.0", 0}, {"1.2.3.4", "1.2.3.5", -1},
               {"2.0", "2.0.507", -1}, {"3", "2.99.99.99", 1}, {"", "0.0.0.0", 0},   {"1.2.3.4.9", "1.2.3.4", 0}};
  for (const auto& c : cases) {
    VersionNumber a, b;
    ParseVersion(c.a, 0, &a);
    ParseVersion(c.b, 0, &b);
    EXPECT_EQ(CompareVersions(a, b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(CompareVersions(b, a), -c.expected) << c.b << " vs " << c.a;
  }
}

// Only all four parts 0 make the zero version.
TEST(IsZeroVersionTest, AllFourPartsZero) {
  for (auto [text, zero] : {std::pair{"", true}, {"0", true}, {"0.0.0.0", true}, {"abc", true},
                            {"0.0.0.1", false}, {"1", false}, {"0.0.0.0.5", true}}) {
    VersionNumber version;
    ParseVersion(text, 0, &version);
    EXPECT_EQ(IsZeroVersion(version), zero) << text;
  }
}

// The halves format as four unsigned 16-bit numbers.
TEST(FormatFileVersionTest, FormatsFourSixteenBitParts) {
  struct Case {
    uint32_t ms, ls;
    const char* text;
  } cases[] = {{0x00020000, 0x01FB002A, "2.0.507.42"},
               {0, 0, "0.0.0.0"},
               {0xFFFFFFFF, 0xFFFF0001, "65535.65535.65535.1"},
               {0x80008000, 0x00010000, "32768.32768.1.0"}};
  for (const auto& c : cases) {
    String text;
    ASSERT_TRUE(FormatFileVersion(c.ms, c.ls, &text));
    EXPECT_STREQ(text.c_str(), c.text);
  }
}

}  // namespace
}  // namespace korvelt
