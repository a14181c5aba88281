// The machine's own file services, for programs that are not the
// bootstrapper's run (the packer): the build picks the platform's.
#pragma once

#include "platform/files.h"
#include "platform/sha256.h"

namespace korvelt {

// What the machine's CreateForWriting does with a name that is taken.
// The POSIX service refuses it, or with ReplacePlainFile removes a regular
// file of that name first; a link, a FIFO, a device or a folder is never
// opened nor removed. The Win32 service replaces any file, as the
// bootstrapper's extraction does.
enum class TakenName { Refuse, ReplacePlainFile };

FileSystem& SystemFileSystem(TakenName taken = TakenName::Refuse);

// The machine's SHA-256: CryptoAPI's on Windows, libcrypto's natively.
Sha256Service& SystemSha256();

// The full path of the running program, so that what was installed beside
// it can be found; false when the system gives none.
bool SystemProgramPath(String* path);

}  // namespace korvelt
