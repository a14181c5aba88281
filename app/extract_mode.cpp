#include "app/extract_mode.h"

#include "app/exit_code.h"

namespace korvelt {

int RunExtractMode(PayloadArchive& archive, const char* folder) {
  PayloadError opened = archive.OpenForExtract(folder);
  // The opening may have read the table and failed only on the
  // configuration file; the walk then writes whatever it can.
  bool hasTable = archive.entries().Count() > 0 || (opened == PayloadError::Ok);
  PayloadError extracted = archive.ExtractAll();
  archive.KeepFiles();
  archive.CleanUp();
  if (!hasTable) return ExitPackageOpenFailed;
  if (opened != PayloadError::Ok || extracted != PayloadError::Ok) return ExitWriteFault;
  return ExitSuccess;
}

}  // namespace korvelt
