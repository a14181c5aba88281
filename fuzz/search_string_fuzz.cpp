// Runs every kind of search on arbitrary text over fake machines, and
// checks that every listing and key opened is closed again.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "prereq/detection.h"
#include "testing/fake_file_tree.h"
#include "testing/fake_registry.h"
#include "testing/fake_system_folders.h"

namespace {
bool LeadBytes(unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();
  korvelt::testing::FakeFileTree tree;
  tree.AddFolder("C:\\P\\a\\b");
  tree.AddVersionedFile("C:\\P\\a\\x.dll", 0x00010002, 0x00030004);
  tree.AddFile("C:\\WINDOWS\\system32\\y.dll");
  korvelt::testing::FakeRegistry registry;
  registry.AddKey(korvelt::RegistryRoot::LocalMachine, "S\\V\\1.0");
  registry.SetValue(korvelt::RegistryRoot::CurrentUser, "S\\V", "Version", "2.0");
  korvelt::testing::FakeSystemFolders folders;
  for (korvelt::LeadByteTest isLead : {korvelt::NoLeadBytes, LeadBytes}) {
    korvelt::DetectionServices services{tree, registry, tree, folders, isLead};
    for (int32_t type = 0; type <= 3; ++type) {
      korvelt::List<korvelt::String> found;
      korvelt::RunSearch(services, type, text.c_str(), found);
      if (type == 0 && found.Count() > 1) abort();
      if (tree.openFinds() != 0 || registry.openKeys() != 0) abort();
    }
    korvelt::FileSearchTarget target;
    if (!korvelt::ParseFileSearch(text.c_str(), isLead, &target)) abort();
    if (target.depth < 0) abort();
  }
  tree.patterns.clear();
  return 0;
}
