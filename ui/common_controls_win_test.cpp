#include "ui/common_controls_win.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace korvelt {
namespace {

// The system's common controls are at least 5.80 (the test program asks
// for version 6 by its manifest, as the bootstrapper does), and the check
// leaves the library loaded as often as it found it.
TEST(CommonControlsTest, VersionOfTheSystemsLibrary) {
  HMODULE before = GetModuleHandleA("comctl32.dll");
  EXPECT_TRUE(CommonControlsAtLeast580());
  EXPECT_EQ(GetModuleHandleA("comctl32.dll"), before);
}

}  // namespace
}  // namespace korvelt
