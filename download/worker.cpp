#include "download/worker.h"

#include "base/chars.h"

namespace korvelt {
namespace {

void Report(DownloadServices& services, WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam = 0) {
  if (window) services.poster.Post(window, message, wParam, lParam);
}

// Statuses other than these are pages about a failure, never the file.
bool IsBodyStatus(uint32_t status) { return status == 200 || status == 206; }

// How a server answered the request for the rest of a file.
enum class RestAnswer { Resumed, WholeBody, Refused };

// Replaces `request` by one for the bytes from `from` on. Only a 206 whose
// Content-Range starts at `from` continues the file; a 200 brings the whole
// body again.
RestAnswer RequestRest(HttpService& http, HttpId session, const char* url, uint32_t from, ScopedHttp& request) {
  request.Reset();
  uint32_t status = 0;
  request.Reset(http.OpenUrl(session, url, from, &status));
  if (!request.Valid()) return RestAnswer::Refused;
  if (status == 200) return RestAnswer::WholeBody;
  String range;
  uint32_t start = 0;
  if (status == 206 && http.ContentRange(request.Get(), &range) && ContentRangeStart(range.c_str(), &start) &&
      start == from) {
    return RestAnswer::Resumed;
  }
  return RestAnswer::Refused;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

void WorkerThread(void* batch) { RunWorker(*static_cast<DownloadBatch*>(batch)); }

}  // namespace

const char* UrlFileName(const char* url, LeadByteTest isLead) {
  const char* name = url;
  for (const char* at = url; *at; at = NextChar(at, isLead)) {
    if (*at == '/' || *at == '\\') name = at + 1;
  }
  return name;
}

bool LocalDownloadPath(const char* folder, const char* url, LeadByteTest isLead, String* path) {
  if (!path->Assign(folder)) return false;
  if (!EndsWithBackslash(path->c_str(), path->Length(), isLead) && !path->Append('\\')) return false;
  return path->Append(UrlFileName(url, isLead));
}

uint32_t ChunkSpeed(uint32_t bytes, uint32_t t0, uint32_t t1) {
  uint32_t elapsed = t1 - t0;
  if (elapsed == 0 || bytes > kDownloadChunk) return 0;
  // bytes × 1000 / (elapsed × 1024) × 100 = bytes × 3125 / elapsed / 32,
  // exactly, in 32 bits for a chunk.
  return bytes * 3125 / elapsed / 32;
}

bool ContentRangeStart(const char* text, uint32_t* start) {
  static const char kUnit[] = "bytes";
  for (const char* unit = kUnit; *unit; ++unit, ++text) {
    if ((*text | 0x20) != *unit) return false;
  }
  if (!IsSpace(*text)) return false;
  while (IsSpace(*text)) ++text;
  uint32_t value = 0;
  const char* digits = text;
  for (; *text >= '0' && *text <= '9'; ++text) {
    uint32_t digit = static_cast<uint32_t>(*text - '0');
    if (value > (UINT32_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  if (text == digits || *text != '-') return false;
  *start = value;
  return true;
}

uint32_t DownloadFile(DownloadServices& services, HttpId session, const char* url, int32_t exactSize,
                      const char* localPath, WindowId window, const std::atomic<uint32_t>& control,
                      EventId pauseEvent) {
  HttpService& http = services.http;
  UpdatableFileSystem& files = services.files;
  uint32_t status = 0;
  ScopedHttp request(http, http.OpenUrl(session, url, 0, &status));
  if (!request.Valid() || !IsBodyStatus(status)) return DL_OPEN_FAILED;

  // The size is checked before the local file is touched.
  uint32_t length = 0;
  bool hasLength = http.ContentLength(request.Get(), &length);
  if (hasLength && length != static_cast<uint32_t>(exactSize)) {
    Report(services, window, DL_WRONG_SIZE, length);
    return DL_SIZE_REJECTED;
  }
  uint32_t t0 = services.clock.TimeOfDayMilliseconds();
  bool existed = false;
  ScopedFile file(files, files.OpenForUpdate(localPath, &existed));
  if (!file.Valid()) return DL_SAVE_FAILED;

  // Where the body being read lands in the file; the file never holds
  // anything behind it.
  uint64_t position = 0;
  uint64_t size = 0;
  if (existed && !files.Size(file.Get(), &size)) return DL_SAVE_FAILED;
  if (existed && hasLength && size == length) {
    Report(services, window, DL_PROGRESS, static_cast<uintptr_t>(size));
    return DL_COMPLETE;
  }
  bool resumable = size > 0 && (hasLength ? size < length : size <= UINT32_MAX);
  RestAnswer answer = RestAnswer::WholeBody;
  if (resumable) answer = RequestRest(http, session, url, static_cast<uint32_t>(size), request);
  if (answer == RestAnswer::Refused) return DL_OPEN_FAILED;
  if (answer == RestAnswer::Resumed) {
    if (!files.SeekFromStart(file.Get(), static_cast<uint32_t>(size))) return DL_SAVE_FAILED;
    position = size;
    Report(services, window, DL_PROGRESS, static_cast<uintptr_t>(size));
  } else if (size > 0 && !files.Truncate(file.Get())) {
    // Written again from its first byte: nothing of the old file may stay
    // behind the new body.
    return DL_SAVE_FAILED;
  }

  unsigned char buffer[kDownloadChunk];
  for (;;) {
    services.threads.WaitForEvent(pauseEvent);
    if (control.load() & ABORT_FLAG) return DL_ABORTED;
    uint32_t count = 0;
    if (!http.Read(request.Get(), buffer, sizeof buffer, &count) || count > sizeof buffer) return DL_READ_FAILED;
    if (count == 0) break;
    uint32_t t1 = services.clock.TimeOfDayMilliseconds();
    uint32_t written = 0;
    if (!files.Write(file.Get(), buffer, count, &written) || written != count) return DL_SAVE_FAILED;
    if (!files.Flush(file.Get())) return DL_SAVE_FAILED;
    position += count;
    Report(services, window, DL_PROGRESS, count, static_cast<intptr_t>(ChunkSpeed(count, t0, t1)));
    t0 = t1;
  }
  // A body that ended short of (or ran past) the announced length is no
  // finished file; what came stays for the next run to continue.
  if (hasLength && position != length) return DL_READ_FAILED;
  return DL_COMPLETE;
}

void RunWorker(DownloadBatch& batch) {
  DownloadServices& services = *batch.services;
  ScopedHttp session(services.http, services.http.OpenSession());
  if (!session.Valid()) {
    batch.result = WorkerNoSession;
    Report(services, batch.window, DL_OPEN_FAILED, 0);
    return;
  }
  for (size_t i = 0; i < batch.items.Count(); ++i) {
    DownloadItem& item = batch.items[i];
    String path;
    bool havePath = LocalDownloadPath(batch.folder.c_str(), item.url.c_str(), services.isLead, &path);
    Report(services, batch.window, DL_FILE_START, i);
    uint32_t outcome = havePath ? DownloadFile(services, session.Get(), item.url.c_str(), item.exactSize, path.c_str(),
                                               batch.window, batch.control, batch.pauseEvent)
                                : DL_SAVE_FAILED;
    if (outcome == DL_COMPLETE) {
      item.status = DownloadStatus::Done;
      Report(services, batch.window, DL_FILE_DONE, i);
      continue;
    }
    item.status = DownloadStatus::Failed;
    // DL_WRONG_SIZE went out already.
    if (outcome == DL_SIZE_REJECTED) continue;
    if (outcome == DL_ABORTED || outcome == DL_OPEN_FAILED) {
      batch.result = WorkerStoppedEarly;
      Report(services, batch.window, outcome, i);
      return;
    }
    Report(services, batch.window, outcome, i);
  }
  batch.result = WorkerFinished;
  Report(services, batch.window, DL_ALL_DONE, 0);
}

bool StartWorker(DownloadBatch& batch, DownloadServices& services, WindowId window) {
  batch.control.store(0);
  batch.services = &services;
  batch.window = window;
  batch.result = WorkerStoppedEarly;
  batch.pauseEvent = services.threads.CreateManualEvent(true);
  if (!batch.pauseEvent) return false;
  batch.thread = services.threads.StartThread(WorkerThread, &batch);
  return batch.thread != 0;
}

void PauseWorker(DownloadBatch& batch) {
  batch.control.fetch_or(PAUSE_FLAG);
  batch.services->threads.ResetEvent(batch.pauseEvent);
}

void ResumeWorker(DownloadBatch& batch) {
  batch.control.fetch_and(~PAUSE_FLAG);
  batch.services->threads.SetEvent(batch.pauseEvent);
}

void AbortWorker(DownloadBatch& batch) {
  batch.control.fetch_or(ABORT_FLAG);
  batch.services->threads.SetEvent(batch.pauseEvent);
}

void WaitForWorker(DownloadBatch& batch) {
  if (batch.thread) batch.services->threads.WaitForThread(batch.thread);
}

int32_t RunDownloads(DownloadBatch& batch, DownloadServices& services, DownloadDialog* dialog) {
  int32_t code = DownloadSucceeded;
  batch.services = &services;
  if (dialog) {
    code = dialog->Show(batch, services);
  } else if (!StartWorker(batch, services, 0)) {
    code = DownloadIncomplete;
  }
  // The dialog may close on DL_ALL_DONE while the worker still closes its
  // session: the batch is never handed back with a worker on it.
  WaitForWorker(batch);
  if (!dialog && code == DownloadSucceeded && batch.result != WorkerFinished) code = DownloadIncomplete;
  ThreadService& threads = services.threads;
  if (batch.thread) threads.Close(batch.thread);
  if (batch.pauseEvent) threads.Close(batch.pauseEvent);
  batch.thread = 0;
  batch.pauseEvent = 0;
  batch.window = 0;
  return code;
}

}  // namespace korvelt
