#include "app/extract_mode.h"

#include "app/exit_code.h"

namespace korvelt {

int RunExtractMode(PayloadArchive& archive, const char* folder) {
  // A payload that cannot be opened is not written in part: the folder
  // stays as it was. Of an opened payload, every entry up to the first that
  // cannot be written is written and kept.
  PayloadError opened = archive.OpenForExtract(folder);
  PayloadError written = opened == PayloadError::Ok ? archive.ExtractAll() : opened;
  archive.KeepFiles();
  archive.CleanUp();
  if (opened != PayloadError::Ok) return ExitPackageOpenFailed;
  return written == PayloadError::Ok ? ExitSuccess : ExitWriteFault;
}

}  // namespace korvelt
