// Expands arbitrary text with folder keywords, with a code page that has
// lead bytes, and checks that text without brackets comes back unchanged.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "prereq/folder_keywords.h"
#include "testing/fake_system_folders.h"

namespace {
bool LeadBytes(unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();
  korvelt::testing::FakeSystemFolders folders;
  for (korvelt::LeadByteTest isLead : {korvelt::NoLeadBytes, LeadBytes}) {
    korvelt::String expanded;
    if (!korvelt::ExpandFolderKeywords(folders, text.c_str(), isLead, &expanded)) abort();
    if (text.find('[') == std::string::npos && strcmp(expanded.c_str(), text.c_str()) != 0) abort();
  }
  return 0;
}
