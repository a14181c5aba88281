// The system's folders for unit tests, as plain fields.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/system_folders.h"

namespace korvelt::testing {

class FakeSystemFolders final : public SystemFolders {
 public:
  bool SystemDirectory(String* path) override { return Give(systemDirectory, path, "system"); }
  bool WindowsDirectory(String* path) override { return Give(windowsDirectory, path, "windows"); }
  bool TempDirectory(String* path) override { return Give(tempDirectory, path, "temp"); }
  bool ShellFolder(int folder, String* path) override {
    asked.push_back("shell " + std::to_string(folder));
    auto found = shellFolders.find(folder);
    return found != shellFolders.end() && path->Assign(found->second.c_str());
  }

  // An empty text is a folder the system does not give.
  std::string systemDirectory = "C:\\WINDOWS\\system32";
  std::string windowsDirectory = "C:\\WINDOWS";
  std::string tempDirectory = "C:\\Temp\\";
  std::map<int, std::string> shellFolders = {
      {38, "C:\\Program Files"}, {43, "C:\\Program Files\\Common Files"}, {16, "C:\\Users\\ann\\Desktop"},
      {26, "C:\\Users\\ann\\AppData\\Roaming"}, {6, "C:\\Users\\ann\\Favorites"}, {11, "C:\\Users\\ann\\Start Menu"},
      {2, "C:\\Users\\ann\\Start Menu\\Programs"}, {7, "C:\\Users\\ann\\Start Menu\\Programs\\Startup"},
      {20, "C:\\WINDOWS\\Fonts"}};
  std::vector<std::string> asked;

 private:
  bool Give(const std::string& folder, String* path, const char* what) {
    asked.push_back(what);
    return !folder.empty() && path->Assign(folder.c_str());
  }
};

}  // namespace korvelt::testing
