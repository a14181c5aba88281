#include "download/download_log.h"

namespace korvelt {
namespace {

const char* DigestText(DigestVerdict verdict) {
  switch (verdict) {
    case DigestVerdict::Matched:
      return "matched";
    case DigestVerdict::WasThere:
      return "matched the file already there";
    case DigestVerdict::Wrong:
      return "wrong";
    case DigestVerdict::NotAsked:
    default:
      return "not checked";
  }
}

}  // namespace

const char* DownloadOutcomeText(uint32_t outcome) {
  switch (outcome) {
    case DL_COMPLETE:
      return "complete";
    case DL_OPEN_FAILED:
      return "cannot be opened";
    case DL_SAVE_FAILED:
      return "cannot be saved";
    case DL_READ_FAILED:
      return "reading failed";
    case DL_ABORTED:
      return "aborted";
    case DL_NOT_SERVED:
      return "not served";
    case DL_WRONG_SIZE:
    case DL_SIZE_REJECTED:
      return "wrong size";
    case DL_WRONG_CONTENT:
      return "wrong content";
    case 0:
      return "not processed";
    default:
      return "failed";
  }
}

const char* HttpFailureText(HttpFailure failure) {
  switch (failure) {
    case HttpFailure::Unreachable:
      return "unreachable";
    case HttpFailure::Timeout:
      return "timeout";
    case HttpFailure::Certificate:
      return "certificate refused";
    case HttpFailure::Redirects:
      return "redirects refused";
    case HttpFailure::Broken:
      return "connection broken";
    case HttpFailure::None:
    default:
      return "";
  }
}

void LogDownloadRun(RunLog* log, const DownloadBatch& batch, int32_t code) {
  if (!log || !log->On()) return;
  for (const DownloadItem& item : batch.items) {
    // An item the worker never came to has no report to give.
    if (item.status == DownloadStatus::Pending && item.report.outcome == 0) continue;
    const DownloadReport& report = item.report;
    LogLine line(log);
    line.Format("download App%u %q: %a", static_cast<uint32_t>(item.prereqIndex) + 1, item.name.c_str(), item.url.c_str());
    if (!report.finalUrl.Empty()) line.Format(" -> %a", report.finalUrl.c_str());
    line.Format("; status %u; length ", report.status);
    if (report.hasLength) {
      line.Format("%u", report.length);
    } else {
      line.Format("not announced");
    }
    line.Format("; from byte %u; %U bytes in %t, %k; retries %u; digest %s", report.resumedFrom, report.received,
                report.milliseconds, report.received, report.milliseconds, report.retries, DigestText(report.digest));
    // A report without its outcome still has the item's status to tell.
    const char* outcome = DownloadOutcomeText(report.outcome);
    if (report.outcome == 0) outcome = item.status == DownloadStatus::Done ? "complete" : "failed";
    line.Format("; outcome %s", outcome);
    if (report.outcome == DL_NOT_SERVED || report.status == 407) line.Format(" (status %u)", report.status);
    if (report.status == 407) line.Format(" proxy authentication required");
    if (report.error.failure != HttpFailure::None) {
      line.Format(" (%s, code %u)", HttpFailureText(report.error.failure), report.error.code);
    }
  }
  LogPrint(log, "download run ended with %d", code);
}

}  // namespace korvelt
