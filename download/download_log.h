// The log's account of a download run: one line per file the run dealt
// with, from the report the worker left in its item. Written on the thread
// that ran the run, once the worker has ended.
#pragma once

#include <stdint.h>

#include "download/batch.h"
#include "platform/run_log.h"

namespace korvelt {

// Writes the run's line for each item the worker processed, and one for
// the run's result `code`.
void LogDownloadRun(RunLog* log, const DownloadBatch& batch, int32_t code);

// What an outcome message says, for the log: "complete", "not served",
// ...; "not processed" for 0.
const char* DownloadOutcomeText(uint32_t outcome);

// Why a request failed, for the log: "unreachable", "timeout", ...; empty
// for none.
const char* HttpFailureText(HttpFailure failure);

}  // namespace korvelt
