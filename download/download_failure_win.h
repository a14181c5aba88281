// Telling the user why a download run failed.
#pragma once

#include <stdint.h>
#include <windows.h>

namespace korvelt {

// A message box owned by `owner`, with the error icon, an OK button, the
// caption "Error" and the string-table text for `code`
// (DownloadFailureText).
void ReportDownloadFailure(int32_t code, HWND owner);

}  // namespace korvelt
