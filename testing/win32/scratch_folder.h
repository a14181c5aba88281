// A folder of the test's own under the temporary folder, removed with all
// it holds when the test ends, and small file helpers for Win32 tests.
#pragma once

#include <windows.h>

#include <string>

namespace korvelt::testing {

inline bool WriteText(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

// The whole content of a file; empty when it cannot be read.
inline std::string ReadText(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string text;
  char buffer[65536];
  DWORD count = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count) text.append(buffer, count);
  CloseHandle(file);
  return text;
}

// Removes a folder and everything below it.
inline void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

class ScratchFolder {
 public:
  explicit ScratchFolder(const char* label) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    path_ = std::string(temp) + "korvelt-" + label + "-" + std::to_string(GetCurrentProcessId());
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchFolder() { RemoveTree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  // Makes `relative` (and the folders above it) inside the scratch folder.
  std::string MakeFolder(const std::string& relative) const {
    std::string path = path_;
    size_t start = 0;
    while (start <= relative.size()) {
      size_t slash = relative.find('\\', start);
      if (slash == std::string::npos) slash = relative.size();
      path += "\\" + relative.substr(start, slash - start);
      CreateDirectoryA(path.c_str(), nullptr);
      start = slash + 1;
    }
    return path;
  }

 private:
  std::string path_;
};

// The folder of the running test program, without a trailing backslash.
inline std::string ProgramFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path, length);
  return text.substr(0, text.rfind('\\'));
}

}  // namespace korvelt::testing
