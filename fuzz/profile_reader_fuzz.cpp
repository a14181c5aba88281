// Feeds arbitrary bytes to the profile reader as a configuration file and
// loads it as the bootstrapper would, with lookups at several buffer sizes.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "prereq/config.h"
#include "prereq/profile_text.h"
#include "testing/fake_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvelt::testing::FakeFileSystem files;
  files.files["C:\\setup.ini"] = korvelt::testing::Bytes(data, data + size);
  korvelt::FileProfileReader reader(files);
  korvelt::PrerequisiteList list;
  if (!korvelt::CreatePrerequisiteList("C:\\setup.ini", &list)) return 0;
  korvelt::LoadConfiguration(list, reader);

  const char* sections[] = {"S", "App1", "GeneralOptions", "", " s "};
  const char* keys[] = {"k", "SearchString", "App1", " K"};
  for (const char* section : sections) {
    for (const char* key : keys) {
      for (uint32_t room : {1u, 2u, 7u, 260u}) {
        char buffer[260];
        uint32_t copied = korvelt::ReadProfileText(data, size, section, key, "NOT FOUND", buffer, room);
        if (copied >= room || buffer[copied] != '\0' || strlen(buffer) > copied) abort();
      }
    }
  }
  if (files.openHandles() != 0) abort();
  return 0;
}
