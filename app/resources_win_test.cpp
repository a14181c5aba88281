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

// Reads the little-endian fields of a dialog template in order.
class TemplateReader {
 public:
  explicit TemplateReader(const std::string& bytes) : bytes_(bytes) {}
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
  // A zero-terminated UTF-16 text of ASCII characters.
  std::string Text() {
    std::string text;
    for (uint16_t c = Word(); c != 0 && at_ <= bytes_.size(); c = Word()) text += static_cast<char>(c);
    return text;
  }
  // A name that is either an ordinal (0xFFFF, n) or a text; ordinals read as "#n".
  std::string NameOrOrdinal() {
    uint16_t first = Word();
    if (first == 0xFFFF) return "#" + std::to_string(Word());
    at_ -= 2;
    return Text();
  }
  void AlignDword() { at_ = (at_ + 3) & ~size_t{3}; }
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

// The status window's template: size, styles, font and its one text line.
TEST(ResourcesTest, StatusDialogTemplate) {
  std::string bytes = ResourceBytes(MAKEINTRESOURCEA(5) /* RT_DIALOG */, IDD_STATUS);
  ASSERT_FALSE(bytes.empty());
  TemplateReader in(bytes);
  EXPECT_EQ(in.Word(), 1u);       // extended template version
  EXPECT_EQ(in.Word(), 0xFFFFu);  // its signature
  in.Dword();                     // help id
  uint32_t exStyle = in.Dword();
  uint32_t style = in.Dword();
  EXPECT_EQ(exStyle, static_cast<uint32_t>(WS_EX_APPWINDOW));
  EXPECT_EQ(style, static_cast<uint32_t>(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT |
                                         DS_FIXEDSYS));
  EXPECT_EQ(style & WS_SYSMENU, 0u) << "a system menu would give it a close button";
  uint16_t items = in.Word();
  EXPECT_EQ(items, 1u);
  EXPECT_EQ(in.Word(), 0u);  // x
  EXPECT_EQ(in.Word(), 0u);  // y
  EXPECT_EQ(in.Word(), 190u);
  EXPECT_EQ(in.Word(), 49u);
  EXPECT_EQ(in.NameOrOrdinal(), "");  // no menu
  EXPECT_EQ(in.NameOrOrdinal(), "");  // the standard dialog class
  EXPECT_EQ(in.Text(), "Setup");
  EXPECT_EQ(in.Word(), 8u);  // points
  in.Word();                 // weight
  in.Word();                 // italic and character set
  EXPECT_EQ(in.Text(), "MS Shell Dlg");

  in.AlignDword();
  in.Dword();  // help id
  in.Dword();  // extended style
  uint32_t lineStyle = in.Dword();
  EXPECT_EQ(lineStyle & (WS_CHILD | WS_VISIBLE), static_cast<uint32_t>(WS_CHILD | WS_VISIBLE));
  EXPECT_EQ(lineStyle & SS_TYPEMASK, static_cast<uint32_t>(SS_LEFT));
  EXPECT_EQ(in.Word(), 13u);
  EXPECT_EQ(in.Word(), 20u);
  EXPECT_EQ(in.Word(), 163u);
  EXPECT_EQ(in.Word(), 8u);
  EXPECT_EQ(in.Dword(), static_cast<uint32_t>(IDC_STATUS_TEXT));
  EXPECT_EQ(in.NameOrOrdinal(), "#130");  // static
  EXPECT_EQ(in.Text(), "Preparing...");
  EXPECT_FALSE(in.Overrun());
}

// The installation dialog's template: size, a modal frame with caption and
// system menu but no sizing border, the font, and its two texts.
TEST(ResourcesTest, InstallDialogTemplate) {
  std::string bytes = ResourceBytes(MAKEINTRESOURCEA(5) /* RT_DIALOG */, IDD_INSTALLING);
  ASSERT_FALSE(bytes.empty());
  TemplateReader in(bytes);
  EXPECT_EQ(in.Word(), 1u);
  EXPECT_EQ(in.Word(), 0xFFFFu);
  in.Dword();  // help id
  EXPECT_EQ(in.Dword(), 0u);
  uint32_t style = in.Dword();
  EXPECT_EQ(style, static_cast<uint32_t>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT |
                                         DS_FIXEDSYS));
  EXPECT_EQ(in.Word(), 2u);
  EXPECT_EQ(in.Word(), 0u);
  EXPECT_EQ(in.Word(), 0u);
  EXPECT_EQ(in.Word(), 213u);
  EXPECT_EQ(in.Word(), 47u);
  EXPECT_EQ(in.NameOrOrdinal(), "");
  EXPECT_EQ(in.NameOrOrdinal(), "");
  EXPECT_EQ(in.Text(), "Launching PreRequisites");
  EXPECT_EQ(in.Word(), 8u);
  in.Word();
  in.Word();
  EXPECT_EQ(in.Text(), "MS Shell Dlg");

  const struct {
    uint32_t id;
    const char* text;
    uint16_t x, y, width, height;
  } controls[] = {{0xFFFFFFFF, "Installing:", 25, 20, 32, 8}, {IDC_INSTALLING_NAME, "Static", 69, 20, 137, 8}};
  for (const auto& c : controls) {
    in.AlignDword();
    in.Dword();  // help id
    in.Dword();  // extended style
    uint32_t controlStyle = in.Dword();
    EXPECT_EQ(controlStyle & SS_TYPEMASK, static_cast<uint32_t>(SS_LEFT)) << c.text;
    EXPECT_EQ(in.Word(), c.x);
    EXPECT_EQ(in.Word(), c.y);
    EXPECT_EQ(in.Word(), c.width);
    EXPECT_EQ(in.Word(), c.height);
    EXPECT_EQ(in.Dword(), c.id);
    EXPECT_EQ(in.NameOrOrdinal(), "#130");
    EXPECT_EQ(in.Text(), c.text);
    in.Word();  // no creation data
  }
  EXPECT_FALSE(in.Overrun());
}

// Icon 128 carries the 16, 32, 48 and 256 pixel images, each loadable.
TEST(ResourcesTest, IconSizes) {
  std::string group = ResourceBytes(MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, IDI_KORVELT);
  ASSERT_GE(group.size(), 6u);
  TemplateReader in(group);
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

// The manifest asks for common controls 6, no elevation, and names the systems it knows.
TEST(ResourcesTest, ManifestRequests) {
  std::string manifest = ResourceBytes(MAKEINTRESOURCEA(24) /* RT_MANIFEST */, 1);
  ASSERT_FALSE(manifest.empty());
  const char* wanted[] = {
      "name=\"Microsoft.Windows.Common-Controls\"",
      "version=\"6.0.0.0\"",
      "publicKeyToken=\"6595b64144ccf1df\"",
      "level=\"asInvoker\"",
      "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
      "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",
  };
  for (const char* text : wanted) {
    EXPECT_NE(manifest.find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace korvelt
