// The download worker: fetches the setup files of one download run, one
// after another, over HTTP into the download folder, on a thread of its
// own. It keeps one session for the run and one request per file, and
// reports to a window only by posted messages. The user-interface thread
// steers it through the batch's flag word and pause event alone.
#pragma once

#include <stdint.h>

#include "download/batch.h"

namespace korvelt {

// Starts the worker on `batch`: clears the flag word, makes the pause event
// signalled, and starts the thread, which reports to `window` (0 for none).
// False when the event or the thread cannot be made; the event is then
// left for the run's end to close.
bool StartWorker(DownloadBatch& batch, DownloadServices& services, WindowId window);
// Sets PAUSE_FLAG, then resets the pause event: the worker stops before
// its next read.
void PauseWorker(DownloadBatch& batch);
// Clears PAUSE_FLAG, then sets the pause event.
void ResumeWorker(DownloadBatch& batch);
// Sets ABORT_FLAG, then sets the pause event, so that a paused worker wakes
// and sees the flag.
void AbortWorker(DownloadBatch& batch);
// Waits without a time limit for a started worker to end.
void WaitForWorker(DownloadBatch& batch);

// One download run over the batch's items. `dialog` null is the silent
// run: the worker runs without a window while this thread waits, and the
// result is DownloadIncomplete when the worker's result is not 0. Else the
// dialog runs modally and its code is the result. Either way this thread
// waits for the worker to end, and its thread and pause event are closed
// and forgotten, before the batch is handed back.
int32_t RunDownloads(DownloadBatch& batch, DownloadServices& services, DownloadDialog* dialog);

// What the worker's thread runs: the session, then every item in order.
// With a sha256, a file already of the item's full size that holds that
// digest counts as fetched without a request (one DL_PROGRESS of its size,
// then DL_FILE_DONE); one of other content is emptied and fetched whole.
// A finished file whose content is not that digest is refused like one of
// the wrong size (DL_WRONG_CONTENT, Failed) and emptied, so that the next
// run fetches it whole instead of continuing bad bytes. Every item's
// report is cleared first; each processed item's report is complete before
// the message that ends the item goes out, and not written after it.
void RunWorker(DownloadBatch& batch);

}  // namespace korvelt
