// The folders of the running system that folder keywords name.
#pragma once

#include "base/string.h"

namespace korvelt {

class SystemFolders {
 public:
  // Each gives the folder as the system returns it (a trailing backslash
  // or not), or false when the system gives none or it does not fit a
  // 260-character buffer; `path` is then unchanged.
  virtual bool SystemDirectory(String* path) = 0;
  virtual bool WindowsDirectory(String* path) = 0;
  virtual bool TempDirectory(String* path) = 0;
  // The shell folder of identifier `folder` (a CSIDL value) for the user
  // who runs the program.
  virtual bool ShellFolder(int folder, String* path) = 0;

 protected:
  ~SystemFolders() = default;
};

}  // namespace korvelt
