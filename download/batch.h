// A download run's records: the batch of files one plan fetches, the
// services the run reaches the machine through, the messages the worker
// posts to its window, and the window that shows an interactive run. The
// user-interface thread steers a running worker through the batch's flag
// word and pause event alone; nothing is locked.
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

// How the content of a file was checked against its Sha256.
enum class DigestVerdict : int32_t {
  NotAsked = 0,  // no Sha256 was given, or the file did not come
  Matched = 1,   // the file came and holds the content asked for
  WasThere = 2,  // a file of the full size already held it: no request was made
  Wrong = 3,     // the whole file came, but with other content
};

// What fetching one file came to, for whoever reports on the run: filled
// in by the worker as it processes the item, before it posts its outcome.
struct DownloadReport {
  String finalUrl;            // where the last request's redirects led
  uint32_t status = 0;        // the last response's status code; 0 when none came
  bool hasLength = false;     // the server announced the whole file's length
  uint32_t length = 0;
  uint32_t resumedFrom = 0;   // the first byte asked for when a file on disk was continued
  uint64_t received = 0;      // body bytes that came over the network, retries included
  uint32_t milliseconds = 0;  // from the first request to the outcome
  uint32_t retries = 0;       // requests made again after a broken or stalled body
  HttpError error;            // why no response came or the last read failed
  DigestVerdict digest = DigestVerdict::NotAsked;
  uint32_t outcome = 0;       // DL_COMPLETE, or the failure the item ended with
};

// One file to fetch, in the order of the prerequisites.
struct DownloadItem {
  String url;
  int32_t exactSize = 0;
  DownloadStatus status = DownloadStatus::Pending;
  int32_t prereqIndex = 0;
  String sha256;  // the prerequisite's Sha256; empty when none is asked
  String name;    // the prerequisite's display name, for what the user is told
  String path;    // the local file; empty when the download cannot be saved
  DownloadReport report;
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
  DL_PROGRESS = 1027,       // wParam bytes added on disk, lParam hundredths of KB/s or 0
  DL_FILE_DONE = 1028,      // wParam item index
  DL_OPEN_FAILED = 1029,    // wParam item index; 0 when the session failed
  DL_SAVE_FAILED = 1030,    // wParam item index
  DL_READ_FAILED = 1031,    // wParam item index
  DL_ABORTED = 1032,        // wParam item index
  DL_NOT_SERVED = 1033,     // wParam item index: the server answered with an error, not the file
  DL_WRONG_SIZE = 1034,     // wParam the server's length
  DL_ALL_DONE = 1035,       // every item has been processed
  DL_SIZE_REJECTED = 1036,  // outcome only: skipped after DL_WRONG_SIZE or DL_WRONG_CONTENT
  DL_WRONG_CONTENT = 1037,  // wParam item index: the whole file came, but not with its Sha256
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

// Posts `message` to `window`; nothing when the window is 0.
inline void PostDownloadMessage(DownloadServices& services, WindowId window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam = 0) {
  if (window) services.poster.Post(window, message, wParam, lParam);
}

}  // namespace korvelt
