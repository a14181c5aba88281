#include "app/payload_message_win.h"

#include <windows.h>

#include "resources/resource_ids.h"
#include "ui/messages_win.h"

namespace korvelt {

int ShowPayloadError(PayloadError code) {
  UINT id = IDS_EXTRACT_ERROR;
  switch (code) {
    case PayloadError::Ok:
      return 1;
    case PayloadError::Io:
      id = IDS_READ_ERROR;
      break;
    case PayloadError::Corrupt:
      id = IDS_ARCHIVE_CORRUPT;
      break;
    case PayloadError::BadVersion:
      id = IDS_ARCHIVE_BAD_VERSION;
      break;
    default:
      break;
  }
  ShowStringMessage(nullptr, MAKEINTRESOURCEA(id), nullptr, MB_OK | MB_ICONERROR);
  return 0;
}

}  // namespace korvelt
