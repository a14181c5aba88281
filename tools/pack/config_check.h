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
// must be one of them. Returns the number of warnings; throws PackError,
// having written nothing, when the file is no plain file or cannot be read.
int CheckConfiguration(const std::string& configPath, const std::vector<std::string>& payloadNames,
                       bool checkSetupFiles, std::ostream& out);

}  // namespace korvelt::pack
