// The fetch of one file over HTTP into the download folder: the request
// from where a partial file ends, the checks of the server's status, length
// and Content-Range, the body written chunk by chunk with its speed.
#pragma once

#include <stdint.h>

#include <atomic>

#include "download/batch.h"

namespace korvelt {

// Fetches `url` into `localPath` and returns its outcome: DL_COMPLETE,
// DL_OPEN_FAILED (no answer from the server), DL_NOT_SERVED (an answer
// that is not the file: an error status, or a part other than the one
// asked for), DL_SAVE_FAILED, DL_READ_FAILED, DL_ABORTED or
// DL_SIZE_REJECTED. Posts DL_PROGRESS and DL_WRONG_SIZE itself (to a
// `window` other than 0). A file of that name is asked for from its end on
// (a range request) and continued only after a 206 whose Content-Range
// starts there; any other body writes the file again from its first byte,
// and it ends where the body ends. The file is not touched before the
// server's length has been checked. With an `exactSize` (above 0) nothing
// is written past it, and a body that would run past it, or that ends at
// another size without a length saying it broke off, goes the way of a
// wrong length (DL_WRONG_SIZE with the size it came to, DL_SIZE_REJECTED)
// and leaves the file empty. The file is never deleted.
//
// A body that breaks off (a failed read, or an end short of the announced
// length) is asked for again from the end of the file, up to three times
// after waits of 1, 2 and 4 s, with the checks of a resume; a request
// then answered with nothing, an error or another part ends it with
// DL_READ_FAILED at once, as does a fourth break, the file left as far as
// it was written for the next run to continue. The DL_PROGRESS counts add
// up to the longest the file has been: after a 200 has started it again,
// they report no byte until it is longer than it was.
//
// `report` is filled in, all but its digest verdict, before DL_WRONG_SIZE
// goes out or the outcome is returned.
uint32_t DownloadFile(DownloadServices& services, HttpId session, const char* url, int32_t exactSize,
                      const char* localPath, WindowId window, const std::atomic<uint32_t>& control,
                      EventId pauseEvent, DownloadReport& report);

// The waits before a request made again are slept in steps of this, so
// that an abort or a pause is seen soon.
constexpr uint32_t kRetryWaitStep = 100;

// The milliseconds from `t0` to `t1`, times of day in milliseconds, `t1`
// being the later even when it lies past midnight.
uint32_t ElapsedMilliseconds(uint32_t t0, uint32_t t1);

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
