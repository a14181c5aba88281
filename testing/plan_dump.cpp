#include "testing/plan_dump.h"

namespace korvelt::testing {

std::string ActionName(int32_t action) {
  switch (action) {
    case DontInstall:
      return "DontInstall";
    case Install:
      return "Install";
    case Download:
      return "Download";
    case NotRequired:
      return "NotRequired";
    case InstallDownloaded:
      return "InstallDownloaded";
    case NotFound:
      return "NotFound";
    case InstallExisting:
      return "InstallExisting";
    case Installed:
      return "Installed";
    case Failed:
      return "Failed";
    default:
      return std::to_string(action);
  }
}

std::string StatusName(DownloadStatus status) {
  switch (status) {
    case DownloadStatus::Done:
      return "Done";
    case DownloadStatus::Failed:
      return "Failed";
    case DownloadStatus::ReadError:
      return "ReadError";
    case DownloadStatus::WriteError:
      return "WriteError";
    case DownloadStatus::Pending:
      return "Pending";
  }
  return std::to_string(static_cast<int32_t>(status));
}

std::string DumpPlan(const PrereqPlan& plan) {
  std::string text = "folder " + std::string(plan.downloads.folder.c_str()) + "\nactions";
  for (PrereqAction action : plan.actions) text += " " + ActionName(action);
  for (const DownloadItem& item : plan.downloads.items) {
    text += "\nitem " + std::to_string(item.prereqIndex) + " " + item.url.c_str() + " " +
            std::to_string(item.exactSize) + " " + StatusName(item.status);
  }
  return text;
}

}  // namespace korvelt::testing
