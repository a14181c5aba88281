#include "app/run.h"

#include "app/command_line.h"
#include "app/exit_code.h"
#include "app/extract_mode.h"
#include "payload/main_package.h"
#include "resources/resource_ids.h"

namespace korvelt {
namespace {

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
  if (!MainPackagePath(archive, &packagePath) ||
      !services.launcher.OpenAndWait(packagePath.c_str(), mainParameters.c_str(), &exitCode)) {
    return ExitPackageOpenFailed;
  }
  return static_cast<int>(exitCode);
}

}  // namespace

int Run(const char* commandTail, RunServices& services) {
  RunHost& host = services.host;
  host.StartSession();
  PayloadArchive archive(services.files, services.process, services.isLead);
  String extractFolder;
  if (!ParseExtractFolder(commandTail, services.isLead, &extractFolder)) return ExitPackageOpenFailed;
  if (!extractFolder.Empty()) return RunExtractMode(archive, extractFolder.c_str());

  PayloadError opened = archive.OpenForRun();
  if (opened != PayloadError::Ok) {
    host.ShowPayloadError(opened);
    archive.CleanUp();
    return ExitPackageOpenFailed;
  }

  String runTitle;
  String runValueName;
  String mainParameters;
  bool skipMain = false;
  if (!BuildRunTitle(host, archive.exePath(), &runTitle) || !runValueName.Assign(archive.exePath())) {
    host.ShowPayloadError(PayloadError::NoMemory);
    archive.CleanUp();
    return ExitPackageOpenFailed;
  }
  // A second copy of a setup that is running changes nothing: it would
  // find the downloads locked and start the main package too early.
  if (!host.ClaimSingleRun(archive.exePath().c_str())) {
    bool quiet = (archive.options() & HasPrerequisites) && services.prerequisites.IsQuiet(archive);
    if (!quiet) host.ShowAlreadyRunning(runTitle.c_str());
    host.EndSession();
    archive.CleanUp();
    return ExitAlreadyRunning;
  }
  if (archive.options() & HasPrerequisites) {
    skipMain = !services.prerequisites.Run(archive, runTitle.c_str(), runValueName.c_str(), &mainParameters);
  }
  // The command tail replaces the configuration's parameters; the two are
  // never joined.
  if (*commandTail != '\0' && !mainParameters.Assign(commandTail)) mainParameters.Clear();

  int exitCode = ExitUserCancelled;
  if (!skipMain) exitCode = InstallMainPackage(services, archive, runTitle, runValueName, mainParameters);

  // Also removes the value a cancelled wizard leaves behind.
  host.UnregisterRestart(runValueName.c_str());
  host.EndSession();
  archive.CleanUp();
  return exitCode;
}

}  // namespace korvelt
