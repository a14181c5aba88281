// A run shell for unit tests that writes down every call, in order, one
// line each, and plays the main package.
#pragma once

#include <string>
#include <vector>

#include "app/run.h"
#include "testing/fake_files.h"

namespace korvelt::testing {

class RecordingShell final : public RunShell {
 public:
  explicit RecordingShell(FakeFileSystem& files) : files_(files) {}

  void StartSession() override { calls.push_back("start"); }
  void EndSession() override { calls.push_back("end"); }
  void ShowPayloadError(PayloadError error) override {
    calls.push_back("error " + std::to_string(static_cast<int>(error)));
  }
  bool ReadProductName(const char*, String* name) override {
    return !productName.empty() && name->Assign(productName.c_str());
  }
  void OpenStatus(const char* caption, unsigned textId) override {
    calls.push_back("status " + std::string(caption) + " " + std::to_string(textId));
  }
  void CloseStatus() override { calls.push_back("close status"); }
  void RegisterRestart(const char* name) override { calls.push_back("register " + std::string(name)); }
  void UnregisterRestart(const char* name) override { calls.push_back("unregister " + std::string(name)); }
  bool LaunchMainPackage(const char* path, const char* parameters, uint32_t* exitCode) override {
    calls.push_back("launch " + std::string(path) + " [" + parameters + "]");
    // The package sees its files on disk while it runs.
    launchSaw = files_.files.count(path) > 0;
    *exitCode = packageExitCode;
    return packageStarts;
  }

  std::vector<std::string> calls;
  std::string productName = "Product";
  uint32_t packageExitCode = 0;
  bool packageStarts = true;
  bool launchSaw = false;

 private:
  FakeFileSystem& files_;
};

}  // namespace korvelt::testing
