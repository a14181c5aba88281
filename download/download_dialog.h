// The download dialog's behaviour without its window: what the worker's
// messages and the user's buttons do to the rows, the two bars, the labels,
// the items' statuses and the code the dialog ends with. The window
// (download/download_dialog_win.h) hands its messages in here and carries
// out what its view is told.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "download/worker.h"

namespace korvelt {

// Room for the longest speed text ("42949672.95 KB/s") and the longest
// percentage ("18446744073709551615%") with their terminators.
constexpr size_t kProgressTextSize = 24;

// "12.34 KB/s" for 1234 hundredths of KB/s: the whole KB/s, a point and two
// digits of hundredths.
void SpeedText(uint32_t hundredths, char (&text)[kProgressTextSize]);

// "45%": `bytes` in hundredths of `exactSize`, truncated, without overflow
// for any sizes; past 100 when more came than expected. An expected size of
// 0 reads as "100%": nothing more was expected.
void PercentageText(uint64_t bytes, uint32_t exactSize, char (&text)[kProgressTextSize]);

// A progress bar counts in signed 32 bits. A count beyond that is shown
// halved as often as it takes to fit: `shift` is how often.
uint32_t BarShift(uint64_t maximum);
int32_t BarValue(uint64_t count, uint32_t shift);

// What the dialog shows, as the model tells it.
class DownloadDialogView {
 public:
  // Appends a row: the file's address and its status column.
  virtual void AddRow(const char* url, const char* status) = 0;
  virtual void SetRowStatus(size_t row, const char* text) = 0;
  // The current file's bar and the whole run's bar, from 0 to `maximum`.
  virtual void SetCurrentRange(int32_t maximum) = 0;
  virtual void SetCurrentPosition(int32_t position) = 0;
  virtual void SetTotalRange(int32_t maximum) = 0;
  virtual void SetTotalPosition(int32_t position) = 0;
  virtual void SetSpeed(const char* text) = 0;
  virtual void SetPauseButton(const char* text) = 0;
  // Tells the user that a file was not of the expected size and returns
  // once the user has dismissed it. The window's messages are handled
  // meanwhile, so the model is entered again from inside this call.
  virtual void ShowWrongSize() = 0;
  // The same for a whole file whose content is not the one pinned for
  // prerequisite `name`.
  virtual void ShowWrongContent(const char* name) = 0;
  // Closes the window; the code is the model's EndCode().
  virtual void Close() = 0;

 protected:
  ~DownloadDialogView() = default;
};

// One download dialog's state over the batch of its run.
class DownloadDialogModel {
 public:
  DownloadDialogModel(DownloadBatch& batch, DownloadDialogView& view) : batch_(batch), view_(view) {}

  // One row per item at "0%", and the whole run's bar over the sum of the
  // expected sizes, at 0.
  void Fill();
  // Starts the worker reporting to `window`. When no thread can be made no
  // message will ever come, so the dialog ends at once with 1.
  void Start(DownloadServices& services, WindowId window);
  // A message of the worker's range (DL_COMPLETE to DL_ALL_DONE); false
  // for any other. Once the dialog has ended, they change nothing.
  bool HandleWorkerMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // The Pause/Resume button: pauses a running worker or resumes a paused
  // one; the button then names what it will do next.
  void TogglePause();
  // Cancel, the Escape key and the close box: asks the worker to stop,
  // without a question. The worker's DL_ABORTED ends the dialog.
  void Cancel();

  int32_t EndCode() const { return endCode_; }
  bool Ended() const { return ended_; }

 private:
  // Ends the dialog with `code`; after an abort or a failed open the
  // worker is waited for first, so that the batch is free when the window
  // is gone.
  void End(int32_t code, bool waitForWorker);
  void SetStatus(size_t item, DownloadStatus status);
  void Progress(uint64_t bytes, uint32_t speed);

  DownloadBatch& batch_;
  DownloadDialogView& view_;
  size_t currentItem_ = 0;
  uint64_t currentBytes_ = 0;
  uint64_t totalBytes_ = 0;
  uint32_t currentShift_ = 0;
  uint32_t totalShift_ = 0;
  bool paused_ = false;
  bool ended_ = false;
  int32_t endCode_ = DownloadSucceeded;
};

}  // namespace korvelt
