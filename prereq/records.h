// What the bootstrapper knows about the prerequisites: the configuration's
// records, what detection found for each, and the action it proposes.
//
// Invariant once the actions are decided: Prerequisites, FoundVersions and
// Actions have the same number of elements, and element i of each concerns
// the same prerequisite.
#pragma once

#include <stdint.h>

#include "base/list.h"
#include "base/string.h"

namespace korvelt {

enum class PrereqSource : int32_t { SetupFile = 0, Url = 1 };

enum SearchKind : int32_t { FileSearch = 0, RegistrySearch = 1, RegistryValueSearch = 2 };

// A prerequisite's action. The values are shared by every stage and never
// change; 7 is not used.
enum PrereqAction : int32_t {
  DontInstall = 0,
  Install = 1,
  Download = 2,
  NotRequired = 3,
  InstallDownloaded = 4,
  NotFound = 5,
  InstallExisting = 6,
  Installed = 8,
  // Its program ran, but returned a code that is no success, or the
  // prerequisite is still not found afterwards.
  Failed = 9,
};

struct SearchSpec {
  int32_t SearchType = 0;  // a SearchKind; other values search nothing
  String SearchString;
  String VerMin;
  String VerMax;
};

struct Prerequisite {
  String DisplayName;
  String Location;  // the payload file's name, or the download address
  String CommandLine;
  String Options;
  PrereqSource Source = PrereqSource::SetupFile;
  korvelt::SearchSpec SearchSpec;
  int32_t TargetOS = 0;
  int32_t ExactSize = 0;
  // The SHA-256 a downloaded file must have, as 64 hexadecimal digits;
  // empty when none is asked. Only a file that matches is used.
  String Sha256;
  // The name a download is saved under, when its author gave one; empty:
  // the file name its URL ends in.
  String FileName;
  // The exit codes that count as success, as written ("0,3010,5100");
  // empty: the usual ones (prereq/success_codes.h).
  String SuccessCodes;
};

struct GeneralOptions {
  String MainAppCmdLine;
  String Options;
  // Where the run's log goes, folder keywords unexpanded; empty: no log
  // unless whoever runs the setup asks for one.
  String LogFile;
};

struct PrerequisiteList {
  List<Prerequisite> Prerequisites;
  List<List<String>> FoundVersions;
  List<PrereqAction> Actions;
  korvelt::GeneralOptions GeneralOptions;
  String ConfigPath;

  // Every index below this concerns one prerequisite in all three lists.
  size_t Count() const { return Prerequisites.Count(); }
};

// Sets `list` up for the configuration at `configPath`: everything empty.
bool CreatePrerequisiteList(const char* configPath, PrerequisiteList* list);

// Copies every text and number of `from` into `to`; false when memory runs out.
bool CopyPrerequisite(const Prerequisite& from, Prerequisite* to);

}  // namespace korvelt
