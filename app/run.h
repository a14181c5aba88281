// The run sequence: everything the bootstrapper does between reading its
// command line and ending, in a fixed order. The machine is reached only
// through the services below, so that tests can follow a whole run.
#pragma once

#include <stdint.h>

#include "base/chars.h"
#include "base/string.h"
#include "download/plan.h"
#include "payload/archive.h"
#include "platform/files.h"
#include "platform/run_log.h"
#include "platform/shell_launcher.h"

namespace korvelt {

// What the run shows and marks: its windows and the Run value.
class RunHost {
 public:
  // Steps that open and close a normal run: COM for the thread and the
  // rich-edit library (its failures are ignored).
  virtual void StartSession() = 0;
  virtual void EndSession() = 0;
  // One message box for a payload that cannot be opened.
  virtual void ShowPayloadError(PayloadError error) = 0;
  // Puts the ProductName of the bootstrapper's version resource, when it
  // has one that is not empty, into `name`; true whenever the version
  // information could be read, with or without it.
  virtual bool ReadProductName(const char* exePath, String* name) = 0;
  // A status window with `caption`; `textId` names a string of the table
  // to show, or 0 to keep "Preparing...". Closed by CloseStatus.
  virtual void OpenStatus(const char* caption, unsigned textId) = 0;
  virtual void CloseStatus() = 0;
  virtual void RegisterRestart(const char* runValueName) = 0;
  virtual void UnregisterRestart(const char* runValueName) = 0;
  // Takes the lock of the setup at `exePath` for this run, released at
  // EndSession; false when another run of it holds the lock. A lock that
  // cannot be made at all does not stop the run.
  virtual bool ClaimSingleRun(const char* exePath) = 0;
  // Tells the user that the setup is already running, in a box with the
  // run's title.
  virtual void ShowAlreadyRunning(const char* runTitle) = 0;
  // The value of the environment variable `name`; false when it is not set,
  // is empty or does not fit a path.
  virtual bool EnvironmentValue(const char* name, String* value) = 0;
  // The version of Windows the run sees, as "6.1.7601 Service Pack 1", for
  // the log.
  virtual bool WindowsVersion(String* text) = 0;
  // The full path of `path`, relative to the current folder; false when
  // the system gives none or it does not fit a path.
  virtual bool FullPath(const char* path, String* full) = 0;
  // Makes the folder `path` (no trailing backslash) for everybody the
  // folder above it lets in; true when it is a folder afterwards, made now
  // or before.
  virtual bool MakeFolder(const char* path) = 0;
  // Tells the user why a layout is not complete, in a box with the run's
  // title.
  virtual void ShowLayoutFailure(const char* runTitle, const char* text) = 0;

 protected:
  ~RunHost() = default;
};

// What the prerequisite phase leaves the rest of the run.
struct PhaseOutcome {
  // The main installation is not to follow: the user left the wizard
  // without finishing it, or a program has started a restart.
  bool skipMain = false;
  RestartNeed restart = RestartNeed::None;
};

// What the downloads of a layout came to.
enum class LayoutDownloads {
  Complete,    // every prerequisite with a Url is complete in the folder
  Incomplete,  // some are not
  Cancelled,   // the user cancelled the download window
};

// The prerequisite phase as the run sees it.
class PrerequisitePhase {
 public:
  // Handles the prerequisites of an opened payload. Sets `mainParameters`
  // to the configuration's MainAppCmdLine.
  virtual PhaseOutcome Run(PayloadArchive& archive, const char* runTitle, const char* runValueName,
                           String* mainParameters) = 0;
  // Whether the payload's configuration asks for the quiet run.
  virtual bool IsQuiet(PayloadArchive& archive) = 0;
  // The configuration's LogFile, its folder keywords expanded; false when
  // it names none.
  virtual bool ConfiguredLogFile(PayloadArchive& archive, String* path) = 0;
  // Downloads every prerequisite with a Url into `folder` (ending in a
  // backslash), whatever detection would say, under the download window
  // unless the configuration is quiet; what is complete there already is
  // not fetched, and with nothing to fetch no window opens. `setupCopy` is
  // the file no download may take. Appends the display name of each prerequisite still missing
  // there to `missing`, one a line.
  virtual LayoutDownloads DownloadForLayout(PayloadArchive& archive, const char* folder, const char* setupCopy,
                                            String* missing) = 0;

 protected:
  ~PrerequisitePhase() = default;
};

struct RunServices {
  FileSystem& files;
  ProcessInfo& process;
  LeadByteTest isLead;
  RunHost& host;
  ShellLauncher& launcher;
  PrerequisitePhase& prerequisites;
  // Writes nothing until a log is asked for: KORVELT_LOG, else the
  // configuration's LogFile.
  RunLog& log;
};

// Runs the bootstrapper with the command line behind the program name and
// returns the process exit code (see app/exit_code.h).
int Run(const char* commandTail, RunServices& services);

}  // namespace korvelt
