// A run host and a shell launcher for unit tests that write down every
// call into one log, in order, one line each; the launcher plays the
// package or program it is asked to open.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/run.h"
#include "platform/shell_launcher.h"
#include "testing/fake_files.h"

namespace korvelt::testing {

class RecordingHost final : public RunHost {
 public:
  void StartSession() override { calls.push_back("start"); }
  void EndSession() override { calls.push_back("end"); }
  void ShowPayloadError(PayloadError error) override {
    calls.push_back("error " + std::to_string(static_cast<int>(error)));
  }
  bool ReadProductName(const char*, String* name) override {
    if (!versionRead) return false;
    return productName.empty() || name->Assign(productName.c_str());
  }
  void OpenStatus(const char* caption, unsigned textId) override {
    calls.push_back("status " + std::string(caption) + " " + std::to_string(textId));
  }
  void CloseStatus() override { calls.push_back("close status"); }
  void RegisterRestart(const char* name) override { calls.push_back("register " + std::string(name)); }
  void UnregisterRestart(const char* name) override { calls.push_back("unregister " + std::string(name)); }
  bool ClaimSingleRun(const char* exePath) override {
    claimed = exePath;
    return !alreadyRunning;
  }
  void ShowAlreadyRunning(const char* runTitle) override { calls.push_back("already running " + std::string(runTitle)); }
  bool EnvironmentValue(const char* name, String* value) override {
    auto found = environment.find(name);
    return found != environment.end() && !found->second.empty() && value->Assign(found->second.c_str());
  }
  bool WindowsVersion(String* text) override { return text->Assign("6.1.7601 Service Pack 1"); }
  // A relative path is taken as one in `currentFolder`.
  bool FullPath(const char* path, String* full) override {
    std::string given = path;
    if (given.size() < 2 || given[1] != ':') given = currentFolder + given;
    return full->Assign(given.c_str());
  }
  // A folder is made inside one that exists, in `files`.
  bool MakeFolder(const char* path) override {
    calls.push_back("make folder " + std::string(path));
    std::string folder = path;
    if (files->folders.count(folder)) return true;
    size_t slash = folder.rfind('\\');
    if (slash == std::string::npos || !files->folders.count(folder.substr(0, slash)) || failFolders.count(folder)) {
      return false;
    }
    files->folders.insert(folder);
    return true;
  }
  void ShowLayoutFailure(const char* runTitle, const char* text) override {
    calls.push_back("layout failure " + std::string(runTitle) + ": " + text);
  }

  std::vector<std::string> calls;
  std::string productName = "Product";
  bool versionRead = true;  // false: the file has no version information
  bool alreadyRunning = false;  // another run holds the setup's lock
  std::string claimed;          // the path whose lock the run took
  std::map<std::string, std::string> environment;
  FakeFileSystem* files = nullptr;     // where MakeFolder makes folders
  std::set<std::string> failFolders;  // making these fails
  std::string currentFolder = "C:\\Work\\";
};

class RecordingLauncher final : public ShellLauncher {
 public:
  RecordingLauncher(FakeFileSystem& files, std::vector<std::string>& calls) : files_(files), calls_(calls) {}

  bool OpenAndWait(const char* path, const char* parameters, uint32_t* exitCode) override {
    calls_.push_back("launch " + std::string(path) + " [" + parameters + "]");
    if (onLaunch) onLaunch(path);
    // What is opened sees its files on disk while it runs.
    launchSaw = files_.files.count(path) > 0;
    *exitCode = exitCodeToGive;
    // A program named in `exitCodes` (by the end of its path) gives its own.
    std::string file = path;
    for (const auto& [name, code] : exitCodes) {
      if (file.size() >= name.size() && file.compare(file.size() - name.size(), name.size(), name) == 0) *exitCode = code;
    }
    return starts;
  }
  void StayQuiet() override { calls_.push_back("quiet"); }

  uint32_t exitCodeToGive = 0;
  std::map<std::string, uint32_t> exitCodes;
  std::function<void(const std::string&)> onLaunch;  // what a program does while it runs
  bool starts = true;
  bool launchSaw = false;

 private:
  FakeFileSystem& files_;
  std::vector<std::string>& calls_;
};

}  // namespace korvelt::testing
