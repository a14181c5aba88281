#include "download/worker.h"

#include "base/chars.h"

namespace korvelt {
namespace {

void Report(DownloadServices& services, WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam = 0) {
  if (window) services.poster.Post(window, message, wParam, lParam);
}

// What the server's answer makes of the local file.
enum class Answer {
  Whole,     // the body from its first byte: the file is written again
  Rest,      // the body from the end of the file on: the file is continued
  Complete,  // nothing is missing
  Longer,    // the file is longer than the resource: ask for all of it
  Refused,   // no answer, an error page, or a part other than the one asked for
};

// Replaces `request` by one for `url` from byte `from` on and reads from
// the answer the resource's length, when the server gives it. Only a 200
// or a 206 whose Content-Range starts at `from` brings a body; a 416 tells
// where the resource ends.
Answer Ask(HttpService& http, HttpId session, const char* url, uint32_t from, ScopedHttp& request, bool* hasLength,
           uint32_t* length) {
  request.Reset();
  uint32_t status = 0;
  request.Reset(http.OpenUrl(session, url, from, &status));
  *hasLength = false;
  if (!request.Valid()) return Answer::Refused;
  if (status == 200) {
    *hasLength = http.ContentLength(request.Get(), length);
    return Answer::Whole;
  }
  String text;
  ContentRange range;
  if ((status != 206 && status != 416) || !http.ContentRange(request.Get(), &text) ||
      !ParseContentRange(text.c_str(), &range)) {
    return Answer::Refused;
  }
  *hasLength = range.hasTotal;
  *length = range.total;
  if (status == 206) {
    if (!range.hasFirst || range.first != from) return Answer::Refused;
    return from ? Answer::Rest : Answer::Whole;
  }
  if (range.hasFirst || !range.hasTotal || from == 0 || range.total > from) return Answer::Refused;
  return range.total == from ? Answer::Complete : Answer::Longer;
}

// Reads a decimal number of at most 32 bits at `text` and steps past it.
bool ReadNumber(const char*& text, uint32_t* value) {
  const char* start = text;
  uint32_t number = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    uint32_t digit = static_cast<uint32_t>(*text - '0');
    if (number > (UINT32_MAX - digit) / 10) return false;
    number = number * 10 + digit;
  }
  *value = number;
  return text != start;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Empties a file whose content is not the one asked for, so that it is
// fetched whole, never continued.
void Empty(UpdatableFileSystem& files, const char* path) {
  bool existed = false;
  ScopedFile file(files, files.OpenForUpdate(path, &existed));
  if (file.Valid()) files.Truncate(file.Get());
}

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

bool ParseContentRange(const char* text, ContentRange* range) {
  *range = ContentRange();
  static const char kUnit[] = "bytes";
  for (const char* unit = kUnit; *unit; ++unit, ++text) {
    if ((*text | 0x20) != *unit) return false;
  }
  if (!IsSpace(*text)) return false;
  while (IsSpace(*text)) ++text;
  if (*text == '*') {
    ++text;
  } else {
    if (!ReadNumber(text, &range->first) || *text++ != '-' || !ReadNumber(text, &range->last) ||
        range->last < range->first) {
      return false;
    }
    range->hasFirst = true;
  }
  if (*text++ != '/') return false;
  if (*text == '*') {
    ++text;
  } else {
    if (!ReadNumber(text, &range->total)) return false;
    range->hasTotal = true;
  }
  // A part must lie inside the resource, and "*/*" says nothing.
  if (range->hasFirst && range->hasTotal && range->last >= range->total) return false;
  if (!range->hasFirst && !range->hasTotal) return false;
  return *text == '\0';
}

uint32_t DownloadFile(DownloadServices& services, HttpId session, const char* url, int32_t exactSize,
                      const char* localPath, WindowId window, const std::atomic<uint32_t>& control,
                      EventId pauseEvent) {
  HttpService& http = services.http;
  UpdatableFileSystem& files = services.files;
  // A file lying there is looked at, not opened, before the server's
  // length is known; only the bytes it lacks are asked for.
  uint64_t found = 0;
  uint32_t from = files.FindFile(localPath, &found) && found <= UINT32_MAX ? static_cast<uint32_t>(found) : 0;
  ScopedHttp request(http, 0);
  bool hasLength = false;
  uint32_t length = 0;
  Answer answer = Ask(http, session, url, from, request, &hasLength, &length);
  if (answer == Answer::Longer) answer = Ask(http, session, url, 0, request, &hasLength, &length);
  if (answer == Answer::Refused || answer == Answer::Longer) return DL_OPEN_FAILED;
  if (hasLength && length != static_cast<uint32_t>(exactSize)) {
    Report(services, window, DL_WRONG_SIZE, length);
    return DL_SIZE_REJECTED;
  }
  uint32_t t0 = services.clock.TimeOfDayMilliseconds();
  bool existed = false;
  ScopedFile file(files, files.OpenForUpdate(localPath, &existed));
  if (!file.Valid()) return DL_SAVE_FAILED;

  // Where the body lands in the file; the file never holds anything
  // behind it.
  uint64_t position = 0;
  uint64_t size = 0;
  if (existed && !files.Size(file.Get(), &size)) return DL_SAVE_FAILED;
  if (existed && hasLength && size == length) {
    Report(services, window, DL_PROGRESS, static_cast<uintptr_t>(size));
    return DL_COMPLETE;
  }
  if (answer == Answer::Complete) return DL_SAVE_FAILED;  // the file changed meanwhile
  if (answer == Answer::Rest) {
    // The rest continues the file only where it was asked for.
    if (size != from || !files.SeekFromStart(file.Get(), from)) return DL_SAVE_FAILED;
    position = from;
    Report(services, window, DL_PROGRESS, from);
  } else if (size > 0 && !files.Truncate(file.Get())) {
    return DL_SAVE_FAILED;
  }

  unsigned char buffer[kDownloadChunk];
  for (;;) {
    // The gate is closed only while the pause flag is up, so a running
    // worker does not stop at it between chunks.
    if (control.load() & PAUSE_FLAG) services.threads.WaitForEvent(pauseEvent);
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
    // A file of the full size would pass for finished without a byte
    // fetched, yet the plan found its content wrong (or it would not be
    // fetched at all).
    uint64_t size = 0;
    if (havePath && !item.sha256.Empty() && services.files.FindFile(path.c_str(), &size) &&
        size == static_cast<uint32_t>(item.exactSize)) {
      Empty(services.files, path.c_str());
    }
    uint32_t outcome = havePath ? DownloadFile(services, session.Get(), item.url.c_str(), item.exactSize, path.c_str(),
                                               batch.window, batch.control, batch.pauseEvent)
                                : DL_SAVE_FAILED;
    if (outcome == DL_COMPLETE &&
        !FileMatches(services.files, services.sha256, path.c_str(), item.sha256.c_str())) {
      // Other content goes the way of another size, and is not kept to be
      // continued.
      Empty(services.files, path.c_str());
      Report(services, batch.window, DL_WRONG_SIZE, static_cast<uint32_t>(item.exactSize));
      outcome = DL_SIZE_REJECTED;
    }
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
