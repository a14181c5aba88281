#include "app/restart_win.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>

namespace korvelt {
namespace {

// Each test works on a Run key of its own under HKCU\Software, made and
// removed by the fixture, never on the machine's real Run key.
class RestartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[64];
    snprintf(name, sizeof name, "Software\\KorveltTest%lu", GetCurrentProcessId());
    base = name;
    keyPath = base + "\\Run";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, base.c_str()); }

  void Write(const char* name, const std::string& data) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, keyPath.c_str(), name, REG_SZ, data.c_str(),
                              static_cast<DWORD>(data.size() + 1)),
              ERROR_SUCCESS);
  }

  // The value's type and raw bytes, or false when it is absent.
  bool Read(const char* name, DWORD* type, std::string* bytes) {
    char data[1024];
    DWORD size = sizeof data;
    LONG result = RegGetValueA(HKEY_CURRENT_USER, keyPath.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, type, data, &size);
    if (result != ERROR_SUCCESS) return false;
    bytes->assign(data, size);
    return true;
  }

  bool Present(const char* name) {
    DWORD type;
    std::string bytes;
    return Read(name, &type, &bytes);
  }

  bool Register(const char* name) { return RegisterRestart(name, HKEY_CURRENT_USER, keyPath.c_str()); }
  bool Unregister(const char* name) { return UnregisterRestart(name, HKEY_CURRENT_USER, keyPath.c_str()); }

  std::string base;
  std::string keyPath;
};

const char kPath[] = "C:\\Products\\Setup Folder\\setup.exe";

// Registration writes name = data = the path, as REG_SZ with its zero byte.
TEST_F(RestartTest, RegisterWritesPathAsNameAndData) {
  EXPECT_TRUE(Register(kPath));
  DWORD type = 0;
  std::string bytes;
  ASSERT_TRUE(Read(kPath, &type, &bytes));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, std::string(kPath, sizeof kPath));  // terminator included
}

// A present value keeps its data, short or long; other values stay untouched.
TEST_F(RestartTest, RegisterLeavesPresentValueAlone) {
  const struct {
    const char* name;
    std::string data;
  } cases[] = {
      {"short other data", "D:\\elsewhere.exe"},
      {"data of 199 bytes and terminator", std::string(199, 'a')},
      {"data beyond the 200-byte buffer", std::string(250, 'b')},
  };
  for (const auto& c : cases) {
    Write(kPath, c.data);
    Write("Neighbour", "kept");
    EXPECT_TRUE(Register(kPath)) << c.name;
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(Read(kPath, &type, &bytes)) << c.name;
    EXPECT_EQ(bytes, c.data + '\0') << c.name;
    ASSERT_TRUE(Read("Neighbour", &type, &bytes));
    EXPECT_EQ(bytes, std::string("kept", 5));
  }
}

// Unregistration deletes the value whatever its data and only that value;
// a value too long for the 200-byte test is deleted too.
TEST_F(RestartTest, UnregisterDeletesValue) {
  const std::string datas[] = {kPath, "other", std::string(199, 'c'), std::string(250, 'd')};
  for (const std::string& data : datas) {
    Write(kPath, data);
    Write("Neighbour", "kept");
    EXPECT_TRUE(Unregister(kPath)) << data.size() << " bytes";
    EXPECT_FALSE(Present(kPath)) << data.size() << " bytes";
    EXPECT_TRUE(Present("Neighbour"));
  }
}

// Unregistering an absent value succeeds and changes nothing.
TEST_F(RestartTest, UnregisterAbsentValueIsHarmless) {
  Write("Neighbour", "kept");
  EXPECT_TRUE(Unregister(kPath));
  EXPECT_TRUE(Present("Neighbour"));
  EXPECT_FALSE(Present(kPath));
}

// A register, unregister, register cycle leaves exactly one fresh value.
TEST_F(RestartTest, CycleWritesAgainAfterDeletion) {
  EXPECT_TRUE(Register(kPath));
  EXPECT_TRUE(Unregister(kPath));
  EXPECT_FALSE(Present(kPath));
  EXPECT_TRUE(Register(kPath));
  EXPECT_TRUE(Present(kPath));
}

// A missing key is not created: both operations answer false and write nothing.
TEST_F(RestartTest, MissingKeyIsNeverCreated) {
  std::string missing = base + "\\Missing\\Run";
  EXPECT_FALSE(RegisterRestart(kPath, HKEY_CURRENT_USER, missing.c_str()));
  EXPECT_FALSE(UnregisterRestart(kPath, HKEY_CURRENT_USER, missing.c_str()));
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (base + "\\Missing").c_str(), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

// The defaults name the current user's Run key.
TEST(RestartDefaultsTest, DefaultKeyIsTheUsersRunKey) {
  EXPECT_STREQ(kRunKeyPath, "Software\\Microsoft\\Windows\\CurrentVersion\\Run");
}

}  // namespace
}  // namespace korvelt
