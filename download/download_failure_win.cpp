#include "download/download_failure_win.h"

#include "download/plan.h"
#include "resources/resource_ids.h"
#include "ui/messages_win.h"

namespace korvelt {

void ReportDownloadFailure(int32_t code, HWND owner) {
  ShowStringMessage(owner, MAKEINTRESOURCEA(DownloadFailureText(code)), MAKEINTRESOURCEA(IDS_ERROR_CAPTION),
                    MB_ICONERROR | MB_OK);
}

}  // namespace korvelt
