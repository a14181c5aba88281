#include "prereq/success_codes.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvelt {
namespace {

// How a SuccessCodes value reads: numbers by commas, blanks and empty
// entries passed over, hexadecimal and negative codes as exit codes go.
TEST(SuccessCodesTest, ReadsTheList) {
  struct Case {
    const char* text;
    std::vector<uint32_t> codes;
    size_t unreadable;
  } cases[] = {
      {"", {}, 0},
      {"0,3010,5100", {0, 3010, 5100}, 0},
      {" 0 , 3010 ,, 5100 ,", {0, 3010, 5100}, 0},
      {"-1,0x80070005,0XFF", {0xFFFFFFFFu, 0x80070005u, 255}, 0},
      {"4294967295,4294967296,-2147483648,-2147483649", {0xFFFFFFFFu, 0x80000000u}, 2},
      {"abc,12a,0x,-,1 2,7", {7}, 5},
  };
  for (const Case& c : cases) {
    SuccessCodeList list;
    ReadSuccessCodes(c.text, &list);
    EXPECT_EQ(std::vector<uint32_t>(list.codes, list.codes + list.count), c.codes) << c.text;
    EXPECT_EQ(list.unreadable, c.unreadable) << c.text;
  }
}

// More entries than the list holds: the rest count as unreadable.
TEST(SuccessCodesTest, KeepsAtMostItsRoom) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += std::to_string(i) + ",";
  SuccessCodeList list;
  ReadSuccessCodes(text.c_str(), &list);
  EXPECT_EQ(list.count, SuccessCodeList::kMaxCodes);
  EXPECT_EQ(list.unreadable, 40 - SuccessCodeList::kMaxCodes);
}

// Without a list of its own a program succeeds with the usual four codes;
// a list replaces them all, and one with nothing readable is no list.
TEST(SuccessCodesTest, JudgesExitCodes) {
  struct Case {
    const char* text;
    uint32_t code;
    bool success;
  } cases[] = {
      {"", 0, true},         {"", 1638, true},          {"", 3010, true},        {"", 1641, true},
      {"", 1603, false},     {"", 1, false},            {"", 0xFFFFFFFFu, false}, {"0,3010,5100", 5100, true},
      {"0,3010,5100", 1641, false}, {"0,3010,5100", 1638, false}, {"5100", 0, false}, {"junk", 0, true},
      {"junk", 5100, false}, {"-1", 0xFFFFFFFFu, true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSuccessCode(c.text, c.code), c.success) << c.text << " " << c.code;
}

}  // namespace
}  // namespace korvelt
