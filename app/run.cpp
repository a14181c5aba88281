#include "app/run.h"

#include "app/command_line.h"
#include "app/exit_code.h"
#include "app/extract_mode.h"
#include "app/layout_mode.h"
#include "app/version.h"
#include "payload/main_package.h"
#include "prereq/success_codes.h"
#include "resources/resource_ids.h"

namespace korvelt {
namespace {

static_assert(ExitRestartStarted == kRestartStarted && ExitRestartRequired == kRestartRequired,
              "a prerequisite's restart code is passed on as it is");

// The first lines of a log: what runs, where, and with what.
void LogStart(RunServices& services, const char* commandTail) {
  RunLog& log = services.log;
  LogPrint(&log, "Korvelt %s %s", kBootstrapperVersion, sizeof(void*) == 8 ? "x64" : "x86");
  String windows;
  if (!services.host.WindowsVersion(&windows)) windows.Clear();
  LogPrint(&log, "Windows %s", windows.Empty() ? "(unknown)" : windows.c_str());
  LogPrint(&log, "command tail %q", commandTail);
}

void LogPayload(RunLog& log, const PayloadArchive& archive) {
  LogPrint(&log, "payload of %q: options %u, %u entries, extraction folder %q", archive.exePath().c_str(),
           archive.options(), static_cast<uint32_t>(archive.entries().Count()), archive.extractFolder().c_str());
  for (size_t i = 0; i < archive.entries().Count() && i < archive.names().Count(); ++i) {
    const PayloadEntry& entry = archive.entries()[i];
    LogPrint(&log, "payload entry %q: kind %u, %u bytes", archive.names()[i].c_str(), entry.kind, entry.size);
  }
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when `path` names the run's own extraction folder (by its name,
// which nobody can know beforehand, so any spelling that reaches it names
// it): a log there would be deleted with it.
bool NamesRunFolder(const char* path, const String& extractFolder) {
  const char* folder = extractFolder.c_str();
  size_t end = extractFolder.Length();
  while (end > 0 && folder[end - 1] == '\\') --end;
  size_t begin = end;
  while (begin > 0 && folder[begin - 1] != '\\') --begin;
  size_t length = end - begin;
  if (length == 0) return false;
  for (const char* at = path; *at; ++at) {
    size_t i = 0;
    while (i < length && at[i] && AsciiLower(at[i]) == AsciiLower(folder[begin + i])) ++i;
    if (i == length) return true;
  }
  return false;
}

// The author's LogFile, when nobody running the setup asked for a log
// already.
void OpenConfiguredLog(RunServices& services, PayloadArchive& archive, const char* commandTail) {
  if (services.log.On() || !(archive.options() & HasPrerequisites)) return;
  String path;
  if (!services.prerequisites.ConfiguredLogFile(archive, &path)) return;
  if (!(archive.options() & ExternalFiles) && NamesRunFolder(path.c_str(), archive.extractFolder())) return;
  if (services.log.Open(path.c_str())) LogStart(services, commandTail);
}

// The product name followed by " Setup"; without a name, the path is used.
bool BuildRunTitle(RunHost& host, const String& exePath, String* title) {
  String name;
  if (!host.ReadProductName(exePath.c_str(), &name) || name.Empty()) {
    if (!name.Assign(exePath)) return false;
  }
  return title->Assign(name) && title->Append(" Setup");
}

// Extracts and launches the main package; returns its exit code.
int InstallMainPackage(RunServices& services, PayloadArchive& archive, const String& runTitle,
                       const String& runValueName, const String& mainParameters) {
  bool external = archive.options() & ExternalFiles;
  if (!external) services.host.OpenStatus(runTitle.c_str(), IDS_EXTRACTING_MAIN_FILES);
  // A file that cannot be written shows in the package's own error.
  archive.ExtractMainFiles();
  if (!external) services.host.CloseStatus();
  services.host.UnregisterRestart(runValueName.c_str());

  String packagePath;
  uint32_t exitCode = 0;
  RunLog& log = services.log;
  if (!MainPackagePath(archive, &packagePath)) {
    LogPrint(&log, "main package: no path for it");
    return ExitPackageOpenFailed;
  }
  LogPrint(&log, "main package %q %q starting", packagePath.c_str(), mainParameters.c_str());
  uint32_t start = log.Elapsed();
  if (!services.launcher.OpenAndWait(packagePath.c_str(), mainParameters.c_str(), &exitCode)) {
    LogPrint(&log, "main package could not be started");
    return ExitPackageOpenFailed;
  }
  LogPrint(&log, "main package exit code %d after %t", static_cast<int32_t>(exitCode), log.Elapsed() - start);
  return static_cast<int>(exitCode);
}

// The setup's own exit code, written to the log on its way out.
int Exit(RunLog& log, int code) {
  LogPrint(&log, "exit code %d", static_cast<int32_t>(code));
  return code;
}

}  // namespace

int Run(const char* commandTail, RunServices& services) {
  RunHost& host = services.host;
  RunLog& log = services.log;
  host.StartSession();
  // Whoever runs the setup may ask for a log before anything happens. The
  // run's own folder does not exist yet, so the path cannot lie in it.
  String logPath;
  if (host.EnvironmentValue("KORVELT_LOG", &logPath) && log.Open(logPath.c_str())) LogStart(services, commandTail);
  PayloadArchive archive(services.files, services.process, services.isLead);
  // "/layout:" at the start of the tail wins over an "/extract:" behind it:
  // what follows the layout's folder is not used.
  String layoutFolder;
  String extractFolder;
  if (!ParseLayoutFolder(commandTail, services.isLead, &layoutFolder) ||
      (layoutFolder.Empty() && !ParseExtractFolder(commandTail, services.isLead, &extractFolder))) {
    return Exit(log, ExitPackageOpenFailed);
  }
  if (!extractFolder.Empty()) {
    LogPrint(&log, "extract mode into %q", extractFolder.c_str());
    return Exit(log, RunExtractMode(archive, extractFolder.c_str()));
  }

  PayloadError opened = archive.OpenForRun();
  if (opened != PayloadError::Ok) {
    LogPrint(&log, "payload cannot be opened: error %u", static_cast<uint32_t>(opened));
    host.ShowPayloadError(opened);
    archive.CleanUp();
    return Exit(log, ExitPackageOpenFailed);
  }
  OpenConfiguredLog(services, archive, commandTail);
  LogPayload(log, archive);

  String runTitle;
  String runValueName;
  String mainParameters;
  if (!BuildRunTitle(host, archive.exePath(), &runTitle) || !runValueName.Assign(archive.exePath())) {
    host.ShowPayloadError(PayloadError::NoMemory);
    archive.CleanUp();
    return ExitPackageOpenFailed;
  }
  // A second copy of a setup that is running changes nothing: it would
  // find the downloads locked and start the main package too early.
  if (!host.ClaimSingleRun(archive.exePath().c_str())) {
    bool quiet = (archive.options() & HasPrerequisites) && services.prerequisites.IsQuiet(archive);
    LogPrint(&log, "another run of this setup is under way");
    if (!quiet) host.ShowAlreadyRunning(runTitle.c_str());
    host.EndSession();
    archive.CleanUp();
    return Exit(log, ExitAlreadyRunning);
  }
  if (!layoutFolder.Empty()) {
    // Nothing is installed, so nothing is registered to run again.
    int code = RunLayoutMode(services, archive, runTitle.c_str(), layoutFolder.c_str());
    host.EndSession();
    archive.CleanUp();
    return Exit(log, code);
  }
  PhaseOutcome phase;
  if (archive.options() & HasPrerequisites) {
    phase = services.prerequisites.Run(archive, runTitle.c_str(), runValueName.c_str(), &mainParameters);
  }
  // The command tail replaces the configuration's parameters; the two are
  // never joined.
  if (*commandTail != '\0' && !mainParameters.Assign(commandTail)) mainParameters.Clear();

  int exitCode = ExitUserCancelled;
  bool restartStarted = phase.restart == RestartNeed::Started;
  if (restartStarted) {
    // The machine is going down: the main package waits for the run that
    // the Run value starts after the restart.
    exitCode = ExitRestartStarted;
  } else if (!phase.skipMain) {
    exitCode = InstallMainPackage(services, archive, runTitle, runValueName, mainParameters);
    // Whoever deployed the setup learns that a prerequisite wants a restart.
    if (exitCode == ExitSuccess && phase.restart == RestartNeed::Required) exitCode = ExitRestartRequired;
  }

  // Also removes the value a cancelled wizard leaves behind; the value
  // stays for the run after a restart a program has started.
  if (!restartStarted) host.UnregisterRestart(runValueName.c_str());
  LogPrint(&log, restartStarted ? "Run value kept for the run after the restart" : "Run value removed");
  host.EndSession();
  LogPrint(&log, archive.options() & ExternalFiles ? "clean-up: nothing was extracted"
                                                   : "clean-up: deleting the extracted files and the run's folder");
  archive.CleanUp();
  return Exit(log, exitCode);
}

}  // namespace korvelt
