#include "ui/common_controls_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "testing/win32/scratch_folder.h"

namespace korvelt {
namespace {

// The test program asks for the common controls of version 6 as the
// bootstrapper does, so the library answers 5.80 or later through its
// DllGetVersion.
TEST(CommonControlsTest, RecentEnoughForLabelTips) { EXPECT_TRUE(CommonControlsAtLeast580()); }

// A library without DllGetVersion is judged by its file version (2.0 for
// the test DLL); one that cannot be loaded is not recent enough.
TEST(CommonControlsTest, FileVersionOrNothing) {
  std::string versioned = testing::ProgramFolder() + "\\prereq_versioned.dll";
  HMODULE loaded = LoadLibraryA(versioned.c_str());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(GetProcAddress(loaded, "DllGetVersion"), nullptr);
  FreeLibrary(loaded);
  EXPECT_FALSE(LibraryAtLeast580(versioned.c_str()));
  EXPECT_FALSE(LibraryAtLeast580((testing::ProgramFolder() + "\\no_such_library.dll").c_str()));
}

// Loading the library registers the window classes asked for.
TEST(CommonControlsTest, LoadingRegistersTheClasses) {
  CommonControlsLibrary controls(ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS);
  ASSERT_TRUE(controls.Ready());
  EXPECT_NE(GetProcAddress(controls.Module(), "InitCommonControlsEx"), nullptr);
  for (const char* name : {"SysListView32", "msctls_progress32"}) {
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    EXPECT_TRUE(GetClassInfoExA(nullptr, name, &info)) << name;
  }
}

}  // namespace
}  // namespace korvelt
