// The run's windows, registry and COM session on the real system.
#pragma once

#include <windows.h>

#include "app/run.h"

namespace korvelt {

class Win32RunHost final : public RunHost {
 public:
  void StartSession() override;
  void EndSession() override;
  void ShowPayloadError(PayloadError error) override;
  bool ReadProductName(const char* exePath, String* name) override;
  void OpenStatus(const char* caption, unsigned textId) override;
  void CloseStatus() override;
  void RegisterRestart(const char* runValueName) override;
  void UnregisterRestart(const char* runValueName) override;
  bool ClaimSingleRun(const char* exePath) override;
  void ShowAlreadyRunning(const char* runTitle) override;
  bool EnvironmentValue(const char* name, String* value) override;
  bool WindowsVersion(String* text) override;
  bool FullPath(const char* path, String* full) override;
  bool MakeFolder(const char* path) override;
  void ShowLayoutFailure(const char* runTitle, const char* text) override;

 private:
  HMODULE richEdit_ = nullptr;
  HWND status_ = nullptr;
  HANDLE singleRun_ = nullptr;
};

}  // namespace korvelt
