#include "base/little_endian.h"

#include <gtest/gtest.h>
#include <string.h>

namespace korvelt {
namespace {

// Values and their bytes, lowest first; the high bits show a sign or a
// shift gone wrong.
struct Case {
  uint32_t value;
  unsigned char bytes[4];
};
const Case kCases[] = {
    {0x00000000u, {0x00, 0x00, 0x00, 0x00}},
    {0x00000064u, {0x64, 0x00, 0x00, 0x00}},
    {0x12345678u, {0x78, 0x56, 0x34, 0x12}},
    {0x80000000u, {0x00, 0x00, 0x00, 0x80}},
    {0x0000FF80u, {0x80, 0xFF, 0x00, 0x00}},
    {0xFFFFFFFFu, {0xFF, 0xFF, 0xFF, 0xFF}},
};

// Each value reads back from its bytes, in both widths.
TEST(LittleEndianTest, LoadsReadLowestByteFirst) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.value);
    EXPECT_EQ(LoadLe32(c.bytes), c.value);
    EXPECT_EQ(LoadLe16(c.bytes), static_cast<uint16_t>(c.value));
  }
}

// A store writes its value's bytes where it is told and not one byte more.
TEST(LittleEndianTest, StoresWriteOnlyTheirOwnBytes) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.value);
    unsigned char buffer[8];
    memset(buffer, 0xA5, sizeof buffer);
    StoreLe32(buffer + 2, c.value);
    EXPECT_EQ(memcmp(buffer + 2, c.bytes, 4), 0);
    EXPECT_EQ(buffer[1], 0xA5);
    EXPECT_EQ(buffer[6], 0xA5);

    memset(buffer, 0xA5, sizeof buffer);
    StoreLe16(buffer + 2, static_cast<uint16_t>(c.value));
    EXPECT_EQ(memcmp(buffer + 2, c.bytes, 2), 0);
    EXPECT_EQ(buffer[1], 0xA5);
    EXPECT_EQ(buffer[4], 0xA5);
  }
}

}  // namespace
}  // namespace korvelt
