// Feeds arbitrary bytes to the payload reader as the bootstrapper's own
// file and extracts whatever it accepts: nothing may crash, leak a handle
// or write outside the extraction folder, and every name it accepts keeps
// the name rules, which are written out again here as the oracle.
#include <ctype.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <set>
#include <string>

#include "payload/archive.h"
#include "testing/fake_files.h"

using namespace korvelt;

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

// A name Windows would not store as written, as one file of the folder.
bool BreaksANameRule(const std::string& name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return true;
  for (unsigned char c : name) {
    if (c < 32 || c == 127 || strchr("\\/:<>\"|?*", c)) return true;
  }
  std::string stem = Lower(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const std::set<std::string> kDevices = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  if (kDevices.count(stem)) return true;
  if (stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0)) {
    unsigned char number = static_cast<unsigned char>(stem[3]);
    return isdigit(number) || number == 0xB9 || number == 0xB2 || number == 0xB3;
  }
  return false;
}

}  // namespace

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
    // Whatever table the reader kept, it accepted: no name breaks a rule,
    // and no two name one file of a folder that ignores case.
    std::set<std::string> folded;
    for (const String& name : archive.names()) {
      if (BreaksANameRule(name.c_str())) __builtin_trap();
      if (!folded.insert(Lower(name.c_str())).second) __builtin_trap();
    }
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
