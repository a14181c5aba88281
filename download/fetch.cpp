#include "download/fetch.h"

namespace korvelt {
namespace {

// What the server's answer makes of the local file.
enum class Answer {
  Whole,     // the body from its first byte: the file is written again
  Rest,      // the body from the end of the file on: the file is continued
  Complete,  // nothing is missing
  Longer,    // the file is longer than the resource: ask for all of it
  Refused,   // an error page, or a part other than the one asked for
  NoAnswer,  // the server could not be reached, or gave no HTTP answer
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
  if (!request.Valid()) return Answer::NoAnswer;
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

}  // namespace

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
  if (answer == Answer::NoAnswer) return DL_OPEN_FAILED;
  if (answer == Answer::Refused || answer == Answer::Longer) return DL_NOT_SERVED;
  if (hasLength && length != static_cast<uint32_t>(exactSize)) {
    PostDownloadMessage(services, window, DL_WRONG_SIZE, length);
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
    PostDownloadMessage(services, window, DL_PROGRESS, static_cast<uintptr_t>(size));
    return DL_COMPLETE;
  }
  if (answer == Answer::Complete) return DL_SAVE_FAILED;  // the file changed meanwhile
  if (answer == Answer::Rest) {
    // The rest continues the file only where it was asked for.
    if (size != from || !files.SeekFromStart(file.Get(), from)) return DL_SAVE_FAILED;
    position = from;
    PostDownloadMessage(services, window, DL_PROGRESS, from);
  } else if (size > 0 && !files.Truncate(file.Get())) {
    return DL_SAVE_FAILED;
  }

  // With an ExactSize the body may come to no other size. Bytes past it
  // are never written; a body that does not come to it (running past it,
  // or ending elsewhere without a length that says it broke off) is
  // another document or a transfer nothing can tell from one, so the file
  // is emptied rather than kept to be run or continued.
  const uint64_t expected = exactSize > 0 ? static_cast<uint32_t>(exactSize) : 0;
  auto refuse = [&](uint64_t came) {
    if (!files.SeekFromStart(file.Get(), 0) || !files.Truncate(file.Get())) return DL_SAVE_FAILED;
    PostDownloadMessage(services, window, DL_WRONG_SIZE, came > UINT32_MAX ? UINT32_MAX : static_cast<uintptr_t>(came));
    return DL_SIZE_REJECTED;
  };
  unsigned char buffer[kDownloadChunk];
  for (;;) {
    // The gate is closed only while the pause flag is up, so a running
    // worker does not stop at it between chunks.
    if (control.load() & PAUSE_FLAG) services.threads.WaitForEvent(pauseEvent);
    if (control.load() & ABORT_FLAG) return DL_ABORTED;
    uint32_t count = 0;
    if (!http.Read(request.Get(), buffer, sizeof buffer, &count) || count > sizeof buffer) return DL_READ_FAILED;
    if (count == 0) break;
    if (expected && position + count > expected) return refuse(position + count);
    uint32_t t1 = services.clock.TimeOfDayMilliseconds();
    uint32_t written = 0;
    if (!files.Write(file.Get(), buffer, count, &written) || written != count) return DL_SAVE_FAILED;
    if (!files.Flush(file.Get())) return DL_SAVE_FAILED;
    position += count;
    PostDownloadMessage(services, window, DL_PROGRESS, count, static_cast<intptr_t>(ChunkSpeed(count, t0, t1)));
    t0 = t1;
  }
  // A body that ended short of the announced length broke off; what came
  // stays for the next run to continue.
  if (hasLength && position != length) return DL_READ_FAILED;
  if (expected && position != expected) return refuse(position);
  return DL_COMPLETE;
}

}  // namespace korvelt
