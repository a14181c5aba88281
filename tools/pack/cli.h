// korvelt-pack's command line: reads the arguments, runs one command and
// turns its failures into a line on `err` and an exit code.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvelt::pack {

// The command line: returns the exit code.
int Main(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace korvelt::pack
