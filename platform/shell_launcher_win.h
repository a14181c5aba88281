// The shell service on ShellExecuteExA.
#pragma once

#include "platform/shell_launcher.h"

namespace korvelt {

class Win32ShellLauncher final : public ShellLauncher {
 public:
  bool OpenAndWait(const char* file, const char* parameters, uint32_t* exitCode) override;
  void StayQuiet() override;

 private:
  bool quiet_ = false;
};

}  // namespace korvelt
