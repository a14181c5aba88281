// The one kind of failure the packer's parts throw; the command line
// reports it in one line.
#pragma once

#include <stdexcept>

namespace korvelt::pack {

// A failure the packer reports in one line.
struct PackError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace korvelt::pack
