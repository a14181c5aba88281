#include "app/run.h"

#include "app/command_line.h"
#include "app/exit_code.h"
#include "app/extract_mode.h"
#include "payload/archive.h"

namespace korvelt {

int Run(const char* commandTail, RunServices& services) {
  PayloadArchive archive(services.files, services.process);
  String extractFolder;
  if (!ParseExtractFolder(commandTail, services.isLead, &extractFolder)) return ExitPackageOpenFailed;
  if (!extractFolder.Empty()) return RunExtractMode(archive, extractFolder.c_str());

  PayloadError opened = archive.OpenForRun();
  archive.CleanUp();
  return opened == PayloadError::Ok ? ExitSuccess : ExitPackageOpenFailed;
}

}  // namespace korvelt
