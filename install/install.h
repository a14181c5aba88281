// The installation step: the setup programs of the prerequisites to
// install, run one after another, each to its end, in list order. A
// program comes from the payload (Install: extracted first) or from the
// download folder (InstallDownloaded, InstallExisting). Each program's exit
// code is read and its prerequisite detected again afterwards: it becomes
// Installed only when the code is a success and the prerequisite is now
// found, Failed otherwise. A program that has started a restart (1641)
// ends the step: nothing after it runs. Nothing is shown to the user
// beyond the rows' new actions.
#pragma once

#include <stdint.h>

#include "base/chars.h"
#include "base/list.h"
#include "base/string.h"
#include "download/plan.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_poster.h"
#include "platform/sha256.h"
#include "platform/shell_launcher.h"
#include "platform/threads.h"
#include "prereq/detection.h"

namespace korvelt {

struct InstallEntry {
  String path;         // full path of the setup program
  String parameters;   // the prerequisite's CommandLine; may be empty
  String displayName;  // shown while it runs
  // A download's Sha256, in the prerequisite's record (which outlives the
  // step); none for a payload file.
  const String* sha256 = nullptr;
  size_t index = 0;      // of the prerequisite
  // Filled in by whoever runs the entry, read once the step has ended.
  bool reached = false;   // its turn came (a restart started before may stop the step)
  bool refused = false;   // its content did not match: it was not run
  bool started = false;   // the shell gave back a process, whose exit code follows
  uint32_t exitCode = 0;
  uint32_t milliseconds = 0;  // from the start to the end of its program
};

using InstallList = List<InstallEntry>;

// The services the step reaches the machine through.
struct InstallServices {
  ShellLauncher& launcher;
  ThreadService& threads;
  MessagePoster& poster;
  LeadByteTest isLead;
  // Open and digest a downloaded program before it runs; without them no
  // program with a digest to match is run.
  FileSystem* files = nullptr;
  Sha256Service* sha256 = nullptr;
  // Times each program, for the log; without it every time is 0.
  Clock* clock = nullptr;
  // Detects each prerequisite again after its program; without them the
  // exit code alone judges it.
  DetectionServices* detection = nullptr;
};

// Messages from the installer thread to the installation dialog.
enum InstallMessage : uint32_t {
  IN_STARTING = 1025,  // wParam the index of the entry about to start
  IN_ALL_DONE = 1027,  // every entry has run
};

// One installation step in progress: the list (built before anything
// runs, and only read afterwards) and who runs it.
struct InstallRun {
  InstallList* list = nullptr;
  InstallServices* services = nullptr;
  WindowId window = 0;  // the dialog the installer thread reports to
  ThreadId thread = 0;
  bool ran = false;  // every entry has run on the dialog's own thread
};

// The window that shows an interactive step: the installation dialog. It
// starts the installer thread (StartInstaller with its own window) and
// closes on IN_ALL_DONE; when no thread can be made it runs the entries
// itself (RunInstallEntries, then sets `ran`) and closes. False when the
// window could not be shown at all.
class InstallDialog {
 public:
  virtual bool Show(InstallRun& run) = 0;

 protected:
  ~InstallDialog() = default;
};

// Builds the list in prerequisite order, a download's entry with its
// Sha256, and extracts every payload setup file it names (whatever the
// extraction reports), all before anything runs. False when memory runs
// out; the list is then empty.
bool BuildInstallList(PrereqPlan& plan, LeadByteTest isLead, InstallList* list);

// Opens the entry's program through the shell with its parameters and
// waits for it when the shell hands back a process; then `started` and
// `exitCode` say what came of it.
void RunSetupProgram(ShellLauncher& launcher, InstallEntry& entry);

// Runs the entry's program, when it has a sha256 only with that content:
// the file is opened shared for reading alone, digested, and held so until
// the program has ended, so that nothing can change it between the check
// and its use (msiexec opens a package only after the launch has
// returned). A program of other content, or one that cannot be read, is
// passed over as one that fails to start is; false then.
bool RunCheckedProgram(InstallServices& services, InstallEntry& entry);

// Runs entry `index` of the run (RunCheckedProgram), timed, and fills in
// its outcome. False when no further entry may run: its program has
// started a restart of the machine.
bool RunInstallEntry(InstallRun& run, size_t index);

// Runs the entries of the run in order on the calling thread, until one
// starts a restart; with a window, IN_STARTING goes out before each.
void RunInstallEntries(InstallRun& run);

// Starts the installer thread, which reports to `window`: IN_STARTING and
// the program for each entry, then IN_ALL_DONE. False when no thread could
// be made.
bool StartInstaller(InstallRun& run, WindowId window);

// The installation step: `dialog` null runs every program on the calling
// thread; else the dialog runs modally while the installer thread works,
// and the thread has ended when this returns. Then, on the calling thread,
// SettleInstallRun. Always 0.
int32_t InstallPrerequisites(PrereqPlan& plan, InstallServices& services, InstallDialog* dialog);

// What the entries' outcomes make of their prerequisites, once the last has
// run: refused ones NotFound; every other that was reached detected again
// (its found texts replaced) and made Installed when its exit code is a
// success (or no process came back to give one) and it is now found within
// its versions, Failed otherwise. Entries never reached keep their action.
// The plan's restart need grows with each 3010 and 1641; the log gets each
// program and its verdict.
void SettleInstallRun(PrereqPlan& plan, InstallServices& services, InstallList& list);

}  // namespace korvelt
