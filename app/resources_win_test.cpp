// The bootstrapper's own resources, read back from the test program, into
// which the same resource scripts are linked.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ui/messages_win.h"
#include "resources/resource_ids.h"

namespace korvelt {
namespace {

// The raw bytes of resource `id` of `type` in this program.
std::string ResourceBytes(const char* type, UINT id) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
  if (!found) return std::string();
  HGLOBAL loaded = LoadResource(nullptr, found);
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  return bytes ? std::string(bytes, SizeofResource(nullptr, found)) : std::string();
}

// Reads the little-endian fields of a resource in order.
class ResourceReader {
 public:
  explicit ResourceReader(const std::string& bytes) : bytes_(bytes) {}
  uint16_t Word() {
    uint16_t value = 0;
    if (at_ + 2 <= bytes_.size()) memcpy(&value, bytes_.data() + at_, 2);
    at_ += 2;
    return value;
  }
  uint32_t Dword() {
    uint32_t low = Word();
    return low | static_cast<uint32_t>(Word()) << 16;
  }
  bool Overrun() const { return at_ > bytes_.size(); }

 private:
  const std::string& bytes_;
  size_t at_ = 0;
};

// Every string of the table reads exactly as the program shows it.
TEST(ResourcesTest, StringTableTexts) {
  const struct {
    UINT id;
    const char* text;
  } strings[] = {
      {128, "Setup"},
      {129, "This archive is corupted."},
      {130, "This archive has an an unsuported version."},
      {131, "Windows Installer could not be started."},
      {132, "An error occured while reading the file."},
      {133, "An error ocured while extracting."},
      {134, "Select the download folder."},
      {135, "The download failed. Verify you are conected to the INTERNET and try again."},
      {136, "Error"},
      {137, "Download failed to start."},
      {138, "An error ocured while downloading the file."},
      {139, "Download aborted."},
      {140, "An error ocurred while saving the file."},
      {141, "Extracting the main application files..."},
  };
  for (const auto& s : strings) {
    String text;
    ASSERT_TRUE(LoadResourceText(GetModuleHandleA(nullptr), s.id, &text)) << s.id;
    EXPECT_STREQ(text.c_str(), s.text) << "string " << s.id;
  }
}

// A string the table lacks loads as an empty text rather than failing.
TEST(ResourcesTest, MissingStringLoadsEmpty) {
  String text;
  ASSERT_TRUE(text.Assign("left over"));
  ASSERT_TRUE(LoadResourceText(GetModuleHandleA(nullptr), 142, &text));
  EXPECT_STREQ(text.c_str(), "");
}

INT_PTR CALLBACK KeepDefaults(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The status and installation dialogs as the system builds them from their
// templates: caption, frame, font, size in dialog units, and each text
// line with its id, place and words. The status window has no system menu,
// which would give it a close button; the installation dialog has one but
// no sizing border.
TEST(ResourcesTest, DialogsBuiltFromTheirTemplates) {
  struct Control {
    int id;  // -1: a text without an id
    const char* text;
    RECT units;  // left, top, right, bottom in dialog units
  };
  const struct {
    UINT id;
    const char* caption;
    DWORD exStyle;
    bool systemMenu;
    SIZE units;
    std::vector<Control> controls;
  } dialogs[] = {
      {IDD_STATUS, "Setup", WS_EX_APPWINDOW, false, {190, 49}, {{IDC_STATUS_TEXT, "Preparing...", {13, 20, 176, 28}}}},
      {IDD_INSTALLING,
       "Launching PreRequisites",
       0,
       true,
       {213, 47},
       {{-1, "Installing:", {25, 20, 57, 28}}, {IDC_INSTALLING_NAME, "Static", {69, 20, 206, 28}}}},
  };
  for (const auto& d : dialogs) {
    SCOPED_TRACE(d.caption);
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(d.id), nullptr, KeepDefaults, 0);
    ASSERT_NE(dialog, nullptr);
    char text[64] = "";
    GetWindowTextA(dialog, text, sizeof text);
    EXPECT_STREQ(text, d.caption);
    LONG_PTR style = GetWindowLongPtrA(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_THICKFRAME), WS_POPUP | WS_CAPTION);
    EXPECT_EQ((style & WS_SYSMENU) != 0, d.systemMenu);
    EXPECT_EQ(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW, static_cast<LONG_PTR>(d.exStyle));
    LOGFONTA font = {};
    ASSERT_TRUE(GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font));
    EXPECT_STREQ(font.lfFaceName, "MS Shell Dlg");

    RECT client = {};
    GetClientRect(dialog, &client);
    RECT expected = {0, 0, d.units.cx, d.units.cy};
    MapDialogRect(dialog, &expected);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);

    int found = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT), ++found) {
      ASSERT_LT(found, static_cast<int>(d.controls.size()));
      const Control& c = d.controls[found];
      EXPECT_EQ(GetDlgCtrlID(child), c.id);
      char className[16] = "";
      GetClassNameA(child, className, sizeof className);
      EXPECT_STREQ(className, "Static");
      EXPECT_EQ(GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK, SS_LEFT);
      GetWindowTextA(child, text, sizeof text);
      EXPECT_STREQ(text, c.text);
      RECT place = {};
      GetWindowRect(child, &place);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
      RECT units = c.units;
      MapDialogRect(dialog, &units);
      EXPECT_TRUE(EqualRect(&place, &units)) << c.text << ": " << place.left << "," << place.top << " "
                                             << place.right << "," << place.bottom;
    }
    EXPECT_EQ(found, static_cast<int>(d.controls.size()));
    DestroyWindow(dialog);
  }
}

// Icon 128 carries the 16, 32, 48 and 256 pixel images, each loadable.
TEST(ResourcesTest, IconSizes) {
  std::string group = ResourceBytes(MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, IDI_KORVELT);
  ASSERT_GE(group.size(), 6u);
  ResourceReader in(group);
  in.Word();
  EXPECT_EQ(in.Word(), 1u);  // an icon, not a cursor
  uint16_t count = in.Word();
  std::vector<int> widths;
  for (uint16_t i = 0; i < count; ++i) {
    uint16_t widthAndHeight = in.Word();
    int width = widthAndHeight & 0xFF;
    int height = widthAndHeight >> 8;
    widths.push_back(width == 0 ? 256 : width);
    EXPECT_EQ(width, height);
    in.Word();  // colours, reserved
    in.Word();  // planes
    in.Word();  // bits
    in.Dword();  // bytes
    in.Word();  // image id
  }
  EXPECT_FALSE(in.Overrun());
  EXPECT_EQ(widths, (std::vector<int>{16, 32, 48, 256}));
  for (int size : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_KORVELT), IMAGE_ICON,
                                               size, size, 0));
    EXPECT_NE(icon, nullptr) << size;
    if (icon) DestroyIcon(icon);
  }
}

// The version block names the product and carries the usual strings and
// the US English, Unicode translation.
TEST(ResourcesTest, VersionBlock) {
  HMODULE version = LoadLibraryA("version.dll");
  ASSERT_NE(version, nullptr);
  auto sizeOf = reinterpret_cast<DWORD(WINAPI*)(LPCSTR, LPDWORD)>(GetProcAddress(version, "GetFileVersionInfoSizeA"));
  auto read = reinterpret_cast<BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID)>(GetProcAddress(version, "GetFileVersionInfoA"));
  auto query = reinterpret_cast<BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT)>(GetProcAddress(version, "VerQueryValueA"));
  ASSERT_TRUE(sizeOf && read && query);
  char path[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
  DWORD size = sizeOf(path, nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(read(path, 0, size, block.data()));

  const struct {
    const char* name;
    const char* value;  // null: any text that is not empty
  } strings[] = {
      {"ProductName", "Korvelt"}, {"CompanyName", nullptr},      {"FileDescription", nullptr},
      {"FileVersion", nullptr},   {"LegalCopyright", nullptr},   {"OriginalFilename", "korvelt.exe"},
      {"ProductVersion", nullptr},
  };
  for (const auto& s : strings) {
    std::string key = std::string("\\StringFileInfo\\040904b0\\") + s.name;
    char* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) << s.name;
    ASSERT_GT(length, 0u) << s.name;
    if (s.value) {
      EXPECT_STREQ(value, s.value) << s.name;
    }
  }
  WORD* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(query(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1200);
  FreeLibrary(version);
}

// The manifest asks for common controls 6, no elevation, per-monitor DPI
// awareness (version 2, with the system-wide awareness for the systems
// before it), and names the systems it knows.
TEST(ResourcesTest, ManifestRequests) {
  std::string manifest = ResourceBytes(MAKEINTRESOURCEA(24) /* RT_MANIFEST */, 1);
  ASSERT_FALSE(manifest.empty());
  const char* wanted[] = {
      "name=\"Microsoft.Windows.Common-Controls\"",
      "version=\"6.0.0.0\"",
      "publicKeyToken=\"6595b64144ccf1df\"",
      "level=\"asInvoker\"",
      "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>",
      "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>",
      "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
      "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",
  };
  for (const char* text : wanted) {
    EXPECT_NE(manifest.find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace korvelt
