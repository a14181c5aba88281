// Feeds arbitrary bytes to the payload reader as the bootstrapper's own
// file and extracts whatever it accepts: nothing may crash, leak a handle
// or write outside the extraction folder.
#include <stddef.h>
#include <stdint.h>

#include "payload/archive.h"
#include "testing/fake_files.h"

using namespace korvelt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testing::FakeFileSystem files;
  testing::FakeProcessInfo process;
  files.folders = {"C:", "C:\\Out"};
  files.files[process.modulePath] = testing::Bytes(data, data + size);
  {
    PayloadArchive archive(files, process);
    archive.OpenForExtract("C:\\Out");
    archive.ExtractAll();
    archive.ExtractNamed("a.msi");
    if (archive.names().Count() != archive.entries().Count()) __builtin_trap();
    archive.CleanUp();
  }
  if (files.openHandles() != 0) __builtin_trap();
  for (const auto& [path, bytes] : files.files) {
    if (path == process.modulePath) continue;
    std::string name = path.substr(0, 7) == "C:\\Out\\" ? path.substr(7) : std::string();
    if (name.empty() || name.find('\\') != std::string::npos || name == "." || name == "..") __builtin_trap();
  }
  return 0;
}
