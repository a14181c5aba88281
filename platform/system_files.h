// The machine's own file services, for programs that are not the
// bootstrapper's run (the packer): the build picks the platform's.
#pragma once

#include "platform/files.h"

namespace korvelt {

FileSystem& SystemFileSystem();

}  // namespace korvelt
