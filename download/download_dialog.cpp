#include "download/download_dialog.h"

#include "base/decimal.h"

namespace korvelt {
namespace {

char* WriteText(char* out, const char* text) {
  while (*text) *out++ = *text++;
  return out;
}

constexpr uint64_t kBarMaximum = 0x7FFFFFFF;

}  // namespace

void SpeedText(uint32_t hundredths, char (&text)[kProgressTextSize]) {
  char* out = WriteDecimal(text, hundredths / 100);
  *out++ = '.';
  out = WriteDecimal(out, hundredths % 100, 2);
  out = WriteText(out, " KB/s");
  *out = '\0';
}

void PercentageText(uint64_t bytes, uint32_t exactSize, char (&text)[kProgressTextSize]) {
  uint64_t percent = 100;
  if (exactSize != 0) {
    // bytes × 100 / size, split so that no product leaves 64 bits.
    uint32_t rest = 0;
    uint64_t whole = LongDivide(bytes, exactSize, &rest);
    percent = whole * 100 + LongDivide(uint64_t{rest} * 100, exactSize, &rest);
  }
  char* out = WriteDecimal(text, percent);
  *out++ = '%';
  *out = '\0';
}

uint32_t BarShift(uint64_t maximum) {
  uint32_t shift = 0;
  while ((maximum >> shift) > kBarMaximum) ++shift;
  return shift;
}

int32_t BarValue(uint64_t count, uint32_t shift) {
  uint64_t value = count >> shift;
  return static_cast<int32_t>(value > kBarMaximum ? kBarMaximum : value);
}

void DownloadDialogModel::Fill() {
  uint64_t total = 0;
  for (const DownloadItem& item : batch_.items) {
    total += static_cast<uint32_t>(item.exactSize);
    view_.AddRow(item.url.c_str(), "0%");
  }
  totalShift_ = BarShift(total);
  view_.SetTotalRange(BarValue(total, totalShift_));
  view_.SetTotalPosition(0);
}

void DownloadDialogModel::Start(DownloadServices& services, WindowId window) {
  if (!StartWorker(batch_, services, window)) End(DownloadNotStarted, false);
}

bool DownloadDialogModel::HandleWorkerMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message < DL_COMPLETE || message > DL_WRONG_CONTENT || message == DL_SIZE_REJECTED) return false;
  if (ended_) return true;
  switch (message) {
    case DL_FILE_START: {
      currentItem_ = wParam;
      currentBytes_ = 0;
      uint32_t size =
          currentItem_ < batch_.items.Count() ? static_cast<uint32_t>(batch_.items[currentItem_].exactSize) : 0;
      currentShift_ = BarShift(size);
      view_.SetCurrentRange(BarValue(size, currentShift_));
      view_.SetCurrentPosition(0);
      break;
    }
    case DL_PROGRESS:
      // The worker's speeds are 32-bit; the division is unsigned.
      Progress(wParam, static_cast<uint32_t>(lParam));
      break;
    case DL_FILE_DONE:
      SetStatus(wParam, DownloadStatus::Done);
      break;
    case DL_SAVE_FAILED:
      SetStatus(currentItem_, DownloadStatus::WriteError);
      break;
    case DL_READ_FAILED:
      SetStatus(currentItem_, DownloadStatus::ReadError);
      break;
    case DL_NOT_SERVED:
      SetStatus(currentItem_, DownloadStatus::Failed);
      break;
    case DL_WRONG_SIZE:
      // Marked before the box: while it is open the worker goes on, and the
      // next DL_FILE_START moves the current item on.
      SetStatus(currentItem_, DownloadStatus::Failed);
      view_.ShowWrongSize();
      break;
    case DL_WRONG_CONTENT:
      SetStatus(wParam, DownloadStatus::Failed);
      view_.ShowWrongContent(wParam < batch_.items.Count() ? batch_.items[wParam].name.c_str() : "");
      break;
    case DL_OPEN_FAILED:
      End(DownloadNotStarted, true);
      break;
    case DL_ABORTED:
      End(DownloadAborted, true);
      break;
    case DL_ALL_DONE:
      // The worker has nothing left to do but close its session; whoever
      // reuses the batch waits for it.
      End(endCode_, false);
      break;
    default:
      break;
  }
  return true;
}

void DownloadDialogModel::Progress(uint64_t bytes, uint32_t speed) {
  currentBytes_ += bytes;
  totalBytes_ += bytes;
  view_.SetCurrentPosition(BarValue(currentBytes_, currentShift_));
  view_.SetTotalPosition(BarValue(totalBytes_, totalShift_));
  char text[kProgressTextSize];
  SpeedText(speed, text);
  view_.SetSpeed(text);
  if (currentItem_ >= batch_.items.Count()) return;
  PercentageText(currentBytes_, static_cast<uint32_t>(batch_.items[currentItem_].exactSize), text);
  view_.SetRowStatus(currentItem_, text);
}

void DownloadDialogModel::SetStatus(size_t item, DownloadStatus status) {
  if (item < batch_.items.Count()) batch_.items[item].status = status;
}

void DownloadDialogModel::TogglePause() {
  if (ended_) return;
  if (paused_) {
    ResumeWorker(batch_);
    view_.SetPauseButton("Pause");
  } else {
    PauseWorker(batch_);
    view_.SetPauseButton("Resume");
  }
  paused_ = !paused_;
}

void DownloadDialogModel::Cancel() {
  if (!ended_) AbortWorker(batch_);
}

void DownloadDialogModel::End(int32_t code, bool waitForWorker) {
  endCode_ = code;
  ended_ = true;
  if (waitForWorker) WaitForWorker(batch_);
  view_.Close();
}

}  // namespace korvelt
