// korvelt-pack: builds a setup from the bootstrapper and the installation
// files, lists a setup's entries, and extracts one.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/pack/identity.h"
#include "tools/pack/signature.h"

namespace korvelt::pack {

struct InputFile {
  std::string name;  // the name the entry gets in the payload
  std::string path;  // where its bytes are read from
  uint32_t kind = 0;
};

struct SetupPlan {
  std::string stubPath;
  std::string outPath;
  uint32_t options = 0;
  std::vector<InputFile> files;
  // Written into the setup's copy of the stub; with none of it given the
  // setup starts with the stub's own bytes.
  Identity identity;
};

// Refuses what the bootstrapper would mishandle; throws PackError.
void CheckPlan(const SetupPlan& plan);

// The stub is searched for the payload marker in pieces of this size.
constexpr size_t kStubSearchPiece = size_t{1} << 20;

// Writes the setup; the output appears whole or not at all.
void WriteSetup(const SetupPlan& plan);

struct ListedEntry {
  uint32_t kind;
  uint32_t size;
  uint32_t offset;
  std::string name;
};

struct SetupListing {
  std::string architecture;  // of the bootstrapper: "x86", "x64" or "unknown"
  uint32_t options = 0;
  int32_t baseShift = 0;
  uint32_t dataOffset = 0;
  std::vector<ListedEntry> entries;
  // Of the whole setup; one that does not lie behind the payload is Broken.
  Signature signature;
};

SetupListing ListSetup(const std::string& path);
// Writes every entry of the setup into `folder` as a new file; returns the
// number written. An entry whose name is taken there is refused before
// anything is written; with `replacePlainFiles` a plain file of that name
// is replaced, unless it is the setup itself. Links, FIFOs, devices and
// folders are never opened. On failure what was written is removed.
size_t ExtractSetup(const std::string& path, const std::string& folder, bool replacePlainFiles = false);

std::string KindName(uint32_t kind);

// The machine a Windows executable is built for, from its PE header: "x86",
// "x64", or "unknown" for any other and for what is no PE file.
std::string ExecutableArchitecture(const std::string& path);

// The bootstrapper of `architecture` ("x86" or "i686": korvelt.exe, which
// runs on every Windows; "x64" or "x86_64": korvelt-x64.exe) in the folder
// of the program at `programPath`; "" for an unknown architecture.
std::string StubBesideProgram(const std::string& programPath, const std::string& architecture);

}  // namespace korvelt::pack
