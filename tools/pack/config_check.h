// Checks a prerequisites configuration file the way the bootstrapper will
// read it, so that a setup author hears what it would silently do: where
// the list of prerequisites ends and why, which values are too long to be
// read, and which setup files the payload lacks.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvelt::pack {

// What a configuration is checked against.
struct CheckContext {
  // The names the payload's files will carry; with `checkSetupFiles` every
  // SetupFile must be one of them.
  std::vector<std::string> payloadNames;
  bool checkSetupFiles = true;
  // The file name the setup is written under; empty when not known. A
  // download may not be saved under it: the setup's folder is where
  // downloads go unless the user picks another.
  std::string setupName;
  // With a folder, each download's copy in it (named as the bootstrapper
  // names it) is compared with its ExactSize and Sha256, one line each:
  // ok, missing, wrong size or wrong hash.
  std::string downloadsFolder;
};

struct CheckOutcome {
  int warnings = 0;  // warnings, and copies in the downloads folder that do not match
  // One line for each reason no setup may be made of the configuration,
  // naming the prerequisite.
  std::vector<std::string> refusals;
};

// Writes the prerequisites as the bootstrapper will load them, and a
// "warning:" line for each problem, to `out`; what no setup may be made of
// is returned as refusals, not written. Throws PackError, having written
// nothing, when the file is no plain file or cannot be read.
CheckOutcome CheckConfiguration(const std::string& configPath, const CheckContext& context, std::ostream& out);

// The two lines a downloaded prerequisite's section needs for `path`:
// "ExactSize=N" and "Sha256=" with 64 lower-case hexadecimal digits.
// Throws PackError for a file that is no plain file, cannot be read, or
// is too large for ExactSize (2 GiB or more).
std::string DownloadKeys(const std::string& path);

}  // namespace korvelt::pack
