// Checks a prerequisites configuration file the way the bootstrapper will
// read it, so that a setup author hears what it would silently do: where
// the list of prerequisites ends and why, which values are too long to be
// read, and which setup files the payload lacks.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvelt::pack {

// Writes the prerequisites as the bootstrapper will load them, and a
// "warning:" line for each problem, to `out`. `payloadNames` are the names
// the payload's files will carry; with `checkSetupFiles` every SetupFile
// must be one of them. With a `downloadsFolder`, each download's copy in
// that folder (named as the bootstrapper names it) is compared with its
// ExactSize and Sha256, one line each: ok, missing, wrong size or wrong
// hash. Returns the number of warnings and mismatches; throws PackError,
// having written nothing, when the file is no plain file or cannot be read.
int CheckConfiguration(const std::string& configPath, const std::vector<std::string>& payloadNames,
                       bool checkSetupFiles, std::ostream& out, const std::string& downloadsFolder = "");

// The two lines a downloaded prerequisite's section needs for `path`:
// "ExactSize=N" and "Sha256=" with 64 lower-case hexadecimal digits.
// Throws PackError for a file that is no plain file, cannot be read, or
// is too large for ExactSize (2 GiB or more).
std::string DownloadKeys(const std::string& path);

}  // namespace korvelt::pack
