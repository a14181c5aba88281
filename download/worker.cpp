#include "download/worker.h"

#include "download/fetch.h"

namespace korvelt {
namespace {

// Empties a file whose content is not the one asked for, so that it is
// fetched whole, never continued.
void Empty(UpdatableFileSystem& files, const char* path) {
  bool existed = false;
  ScopedFile file(files, files.OpenForUpdate(path, &existed));
  if (file.Valid()) files.Truncate(file.Get());
}

void WorkerThread(void* batch) { RunWorker(*static_cast<DownloadBatch*>(batch)); }

}  // namespace

void RunWorker(DownloadBatch& batch) {
  DownloadServices& services = *batch.services;
  // The window reads an item's report only after the message about it;
  // what an earlier run left is cleared before any message goes out.
  for (DownloadItem& item : batch.items) item.report = DownloadReport();
  ScopedHttp session(services.http, services.http.OpenSession(batch.window));
  if (!session.Valid()) {
    batch.result = WorkerNoSession;
    PostDownloadMessage(services, batch.window, DL_OPEN_FAILED, 0);
    return;
  }
  for (size_t i = 0; i < batch.items.Count(); ++i) {
    DownloadItem& item = batch.items[i];
    DownloadReport& report = item.report;
    const String& path = item.path;
    bool havePath = !path.Empty();
    bool pinned = !item.sha256.Empty();
    PostDownloadMessage(services, batch.window, DL_FILE_START, i);
    // A file of the full size that holds the pinned content is the file;
    // one of other content would pass for finished without a byte fetched,
    // so it is emptied and fetched whole.
    uint64_t size = 0;
    bool fullSize = havePath && pinned && services.files.FindFile(path.c_str(), &size) &&
                    size == static_cast<uint32_t>(item.exactSize);
    bool verified = fullSize && FileMatches(services.files, services.sha256, path.c_str(), item.sha256.c_str());
    uint32_t outcome = DL_SAVE_FAILED;
    if (verified) {
      report.digest = DigestVerdict::WasThere;
      PostDownloadMessage(services, batch.window, DL_PROGRESS, static_cast<uintptr_t>(size));
      outcome = DL_COMPLETE;
    } else if (havePath) {
      if (fullSize) Empty(services.files, path.c_str());
      outcome = DownloadFile(services, session.Get(), item.url.c_str(), item.exactSize, path.c_str(), batch.window,
                             batch.control, batch.pauseEvent, report);
    }
    if (outcome == DL_COMPLETE && !verified) {
      bool matches = FileMatches(services.files, services.sha256, path.c_str(), item.sha256.c_str());
      if (pinned) report.digest = matches ? DigestVerdict::Matched : DigestVerdict::Wrong;
      if (!matches) {
        // Other content is refused like another size, and is not kept to
        // be continued.
        Empty(services.files, path.c_str());
        outcome = DL_SIZE_REJECTED;
        report.outcome = outcome;
        PostDownloadMessage(services, batch.window, DL_WRONG_CONTENT, i);
      }
    }
    // DL_WRONG_SIZE or DL_WRONG_CONTENT went out already, the report
    // finished before it: the report is not touched again.
    if (outcome == DL_SIZE_REJECTED) {
      item.status = DownloadStatus::Failed;
      continue;
    }
    report.outcome = outcome;
    if (outcome == DL_COMPLETE) {
      item.status = DownloadStatus::Done;
      PostDownloadMessage(services, batch.window, DL_FILE_DONE, i);
      continue;
    }
    item.status = DownloadStatus::Failed;
    if (outcome == DL_ABORTED || outcome == DL_OPEN_FAILED) {
      batch.result = WorkerStoppedEarly;
      PostDownloadMessage(services, batch.window, outcome, i);
      return;
    }
    PostDownloadMessage(services, batch.window, outcome, i);
  }
  batch.result = WorkerFinished;
  PostDownloadMessage(services, batch.window, DL_ALL_DONE, 0);
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
