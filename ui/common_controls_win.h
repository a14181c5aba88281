// The version of the common-controls library, where it decides what a
// control can do.
#pragma once

namespace korvelt {

// True for common controls of version 5.80 or later, which give list views
// label tips for truncated cells. False when the library cannot be loaded
// or tells no version.
bool CommonControlsAtLeast580();

}  // namespace korvelt
