// The system's folders: kernel calls for the first three, the shell's item
// lists for the shell folders.
#pragma once

#include "platform/system_folders.h"

namespace korvelt {

class Win32SystemFolders final : public SystemFolders {
 public:
  bool SystemDirectory(String* path) override;
  bool WindowsDirectory(String* path) override;
  bool TempDirectory(String* path) override;
  bool ShellFolder(int folder, String* path) override;
};

}  // namespace korvelt
