// Layout mode: the setup copies itself into a folder and downloads every
// prerequisite it can fetch into it, so that the folder installs on
// machines without a network. Nothing is installed and nothing is
// registered to run again.
#pragma once

#include "app/run.h"

namespace korvelt {

// Makes a layout of the opened payload in `folder` (ending in a
// backslash): the folder with every missing folder above it, the setup
// under its own file name (not over itself, nor over an identical copy),
// then the downloads. Returns the exit code: 0 when the folder is
// complete; 82 when the folder cannot be made or the setup not copied;
// 1612 when a download is missing, after a box that names each one; 1602
// when the user cancelled the downloads. With the quiet option no window
// and no box is shown.
int RunLayoutMode(RunServices& services, PayloadArchive& archive, const char* runTitle, const char* folder);

// Makes `folder` and each folder above it that is missing, one level at a
// time; true when it exists as a folder afterwards.
bool CreateFolderPath(RunHost& host, const char* folder, LeadByteTest isLead);

enum class SetupCopy {
  Copied,
  AlreadyThere,  // a file of the same bytes was there; it is left alone
  Failed,        // nothing of it is left behind
};

// Copies the file `from` to `to`, unless `to` holds the same bytes already.
SetupCopy CopySetup(FileSystem& files, const char* from, const char* to);

}  // namespace korvelt
