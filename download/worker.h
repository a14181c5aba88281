// The download worker: fetches the setup files of one download run, one
// after another, over HTTP into the download folder, on a thread of its
// own. It keeps one session for the run and one request per file, refuses a
// file whose announced length is not the expected size, continues a
// partial file that an earlier run left, and reports to a window only by
// posted messages. The user-interface thread steers it through the batch's
// flag word and pause event alone; nothing is locked.
#pragma once

#include <stdint.h>

#include <atomic>

#include "base/chars.h"
#include "base/list.h"
#include "base/string.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/message_poster.h"
#include "platform/sha256.h"
#include "platform/threads.h"

namespace korvelt {

enum class DownloadStatus : int32_t {
  Done = 0,        // the file is complete in the download folder
  Failed = 1,      // the worker gave up on it (the dialog keeps this for a size mismatch)
  ReadError = 2,   // set by the dialog: reading from the server failed
  WriteError = 3,  // set by the dialog: the local file cannot be made or written
  Pending = 4,     // not processed (yet)
};

// One file to fetch, in the order of the prerequisites.
struct DownloadItem {
  String url;
  int32_t exactSize = 0;
  DownloadStatus status = DownloadStatus::Pending;
  int32_t prereqIndex = 0;
  String sha256;  // the prerequisite's Sha256; empty when none is asked
};

// The services a download run reaches the machine through.
struct DownloadServices {
  HttpService& http;
  UpdatableFileSystem& files;
  Clock& clock;
  MessagePoster& poster;
  ThreadService& threads;
  LeadByteTest isLead;
  // Digests the files whose content is given; without it no such file is
  // ever taken.
  Sha256Service* sha256 = nullptr;
};

// Bits of the flag word.
constexpr uint32_t PAUSE_FLAG = 1;
constexpr uint32_t ABORT_FLAG = 2;

// What the worker writes into `result` as it ends.
enum WorkerResult : int32_t {
  WorkerFinished = 0,      // every item was processed
  WorkerStoppedEarly = 2,  // aborted, or a URL cannot be opened
  WorkerNoSession = 4,     // the HTTP session cannot be opened
};

// The download state of a plan, reused by every run. `folder` and `items`
// are the caller's between runs; during a run the worker reads them and
// writes item statuses, each before it posts the message about it.
struct DownloadBatch {
  String folder;  // ends in a backslash
  List<DownloadItem> items;
  std::atomic<uint32_t> control{0};
  EventId pauseEvent = 0;  // manual reset; not signalled while paused
  int32_t result = WorkerFinished;  // meaningful once the worker has ended
  ThreadId thread = 0;
  WindowId window = 0;  // 0: nothing is posted
  DownloadServices* services = nullptr;  // the running worker's
};

// A file's outcome and the worker's messages share one range, WM_USER + n.
enum DownloadMessage : uint32_t {
  DL_COMPLETE = 1025,       // outcome only: the file is complete
  DL_FILE_START = 1026,     // wParam item index
  DL_PROGRESS = 1027,       // wParam bytes now on disk, lParam hundredths of KB/s or 0
  DL_FILE_DONE = 1028,      // wParam item index
  DL_OPEN_FAILED = 1029,    // wParam item index; 0 when the session failed
  DL_SAVE_FAILED = 1030,    // wParam item index
  DL_READ_FAILED = 1031,    // wParam item index
  DL_ABORTED = 1032,        // wParam item index
  DL_WRONG_SIZE = 1034,     // wParam the server's length
  DL_ALL_DONE = 1035,       // every item has been processed
  DL_SIZE_REJECTED = 1036,  // outcome only: skipped after DL_WRONG_SIZE
};

// What a download run ends with.
enum DownloadRunResult : int32_t {
  DownloadSucceeded = 0,   // the worker processed every item, whatever each came to
  DownloadNotStarted = 1,  // interactive: the download cannot start
  DownloadAborted = 4,     // interactive: the user aborted
  DownloadIncomplete = 5,  // silent: the worker stopped early or had no session
};

// The bytes one read asks for; one buffer of this size on the worker's stack.
constexpr uint32_t kDownloadChunk = 8192;

// The window that shows an interactive run: the download dialog. It starts
// the worker itself (StartWorker with its own window), ends only on the
// worker's DL_ALL_DONE (0), DL_OPEN_FAILED (1) or DL_ABORTED (4), and
// returns that code.
class DownloadDialog {
 public:
  virtual int32_t Show(DownloadBatch& batch, DownloadServices& services) = 0;

 protected:
  ~DownloadDialog() = default;
};

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
// With a sha256, a file already of the item's full size is emptied and
// fetched whole (the plan found its content wrong, or it would not be
// fetched), and a finished file whose content is not that digest goes the
// way of a file of the wrong size (DL_WRONG_SIZE, Failed) and is emptied,
// so that the next run fetches it whole instead of continuing bad bytes.
void RunWorker(DownloadBatch& batch);

// Fetches `url` into `localPath` and returns its outcome: DL_COMPLETE,
// DL_OPEN_FAILED, DL_SAVE_FAILED, DL_READ_FAILED, DL_ABORTED or
// DL_SIZE_REJECTED. Posts DL_PROGRESS and DL_WRONG_SIZE itself (to a
// `window` other than 0). A file of that name is asked for from its end on
// (a range request) and continued only after a 206 whose Content-Range
// starts there; any other body writes the file again from its first byte,
// and it ends where the body ends. The file is not touched before the
// server's length has been checked, and a body that ends short of that
// length is a failed read. Leaves the file as far as it was written;
// never deletes it.
uint32_t DownloadFile(DownloadServices& services, HttpId session, const char* url, int32_t exactSize,
                      const char* localPath, WindowId window, const std::atomic<uint32_t>& control,
                      EventId pauseEvent);

// The file name of a URL: the text behind its last "/" or "\", or the
// whole text when it has neither. Points into `url`.
const char* UrlFileName(const char* url, LeadByteTest isLead);
// The local file of a download: `folder`, a backslash unless it ends in
// one, and the URL's file name.
bool LocalDownloadPath(const char* folder, const char* url, LeadByteTest isLead, String* path);

// The speed of one chunk of `bytes` (at most kDownloadChunk) read between
// `t0` and `t1` (times of day in milliseconds) in hundredths of KB/s, KB
// being 1024 bytes, truncated: 0 when no time passed, and, as the
// difference is taken modulo 2^32, 0 across midnight too.
uint32_t ChunkSpeed(uint32_t bytes, uint32_t t0, uint32_t t1);

// A Content-Range header: "bytes first-last/total" for the part sent, or
// "bytes */total" with a 416; a total of "*" is unknown.
struct ContentRange {
  bool hasFirst = false;
  uint32_t first = 0;
  uint32_t last = 0;
  bool hasTotal = false;
  uint32_t total = 0;
};
// False for anything that is not such a header, numbers past 32 bits
// included.
bool ParseContentRange(const char* text, ContentRange* range);

}  // namespace korvelt
