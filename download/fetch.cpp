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

// What the answer to a request from byte `from` on makes of the local
// file, and the resource's length when the server gives it. Only a 200 or
// a 206 whose Content-Range starts at `from` brings a body; a 416 tells
// where the resource ends.
Answer Classify(HttpService& http, HttpId request, uint32_t status, uint32_t from, bool* hasLength,
                uint32_t* length) {
  *hasLength = false;
  if (status == 200) {
    *hasLength = http.ContentLength(request, length);
    return Answer::Whole;
  }
  String text;
  ContentRange range;
  if ((status != 206 && status != 416) || !http.ContentRange(request, &text) ||
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

namespace {

// The waits before the first, second and third request made again after a
// broken body.
constexpr uint32_t kRetryWaits[] = {1000, 2000, 4000};
constexpr uint32_t kRetries = sizeof kRetryWaits / sizeof *kRetryWaits;
static_assert(kRetryWaitStep <= 250, "an abort is seen within a quarter second of a wait");

// One file's fetch: the request under way, the local file, how far both
// have come, and the report of it all.
class Fetch {
 public:
  Fetch(DownloadServices& services, HttpId session, const char* url, int32_t exactSize, const char* localPath,
        WindowId window, const std::atomic<uint32_t>& control, EventId pauseEvent, DownloadReport& report)
      : services_(services),
        session_(session),
        url_(url),
        exactSize_(exactSize),
        expected_(exactSize > 0 ? static_cast<uint32_t>(exactSize) : 0),
        path_(localPath),
        window_(window),
        control_(control),
        pauseEvent_(pauseEvent),
        report_(report),
        request_(services.http, 0),
        file_(services.files, 0) {}

  uint32_t Run();
  // Ends the report with `outcome` and the time since the first request.
  void Finish(uint32_t outcome) {
    report_.milliseconds = ElapsedMilliseconds(started_, Now());
    report_.outcome = outcome;
  }

 private:
  Answer Ask(uint32_t from);
  uint32_t Transfer();
  uint32_t Retry();
  uint32_t End();
  uint32_t Wait(uint32_t milliseconds);
  uint32_t Gate();
  void Progress(uint32_t speed);
  uint32_t Reject(uint64_t size);
  uint32_t Refuse(uint64_t came);

  uint32_t Now() { return services_.clock.TimeOfDayMilliseconds(); }
  bool WrongLength() const { return hasLength_ && length_ != static_cast<uint32_t>(exactSize_); }
  void Post(uint32_t message, uintptr_t wParam, intptr_t lParam = 0) {
    PostDownloadMessage(services_, window_, message, wParam, lParam);
  }

  DownloadServices& services_;
  const HttpId session_;
  const char* const url_;
  const int32_t exactSize_;
  // With an ExactSize the body may come to no other size: see Transfer.
  const uint64_t expected_;
  const char* const path_;
  const WindowId window_;
  const std::atomic<uint32_t>& control_;
  const EventId pauseEvent_;
  DownloadReport& report_;
  ScopedHttp request_;
  ScopedFile file_;
  bool hasLength_ = false;  // the resource's length, as the last answer gave it
  uint32_t length_ = 0;
  // Where the body lands in the file; the file never holds anything
  // behind it.
  uint64_t position_ = 0;
  uint64_t shown_ = 0;  // bytes of the file the window has been told of
  uint32_t started_ = 0;
  uint32_t t0_ = 0;     // when the last chunk came
};

uint32_t Fetch::Run() {
  UpdatableFileSystem& files = services_.files;
  started_ = Now();
  // A file lying there is looked at, not opened, before the server's
  // length is known; only the bytes it lacks are asked for.
  uint64_t found = 0;
  uint32_t from = files.FindFile(path_, &found) && found <= UINT32_MAX ? static_cast<uint32_t>(found) : 0;
  Answer answer = Ask(from);
  if (answer == Answer::Longer) answer = Ask(0);
  if (answer == Answer::NoAnswer) return DL_OPEN_FAILED;
  if (answer == Answer::Refused || answer == Answer::Longer) return DL_NOT_SERVED;
  if (WrongLength()) return Reject(length_);
  t0_ = Now();
  bool existed = false;
  file_.Reset(files.OpenForUpdate(path_, &existed));
  if (!file_.Valid()) return DL_SAVE_FAILED;

  uint64_t size = 0;
  if (existed && !files.Size(file_.Get(), &size)) return DL_SAVE_FAILED;
  if (existed && hasLength_ && size == length_) {
    Post(DL_PROGRESS, static_cast<uintptr_t>(size));
    return DL_COMPLETE;
  }
  if (answer == Answer::Complete) return DL_SAVE_FAILED;  // the file changed meanwhile
  if (answer == Answer::Rest) {
    // The rest continues the file only where it was asked for.
    if (size != from || !files.SeekFromStart(file_.Get(), from)) return DL_SAVE_FAILED;
    position_ = shown_ = report_.resumedFrom = from;
    Post(DL_PROGRESS, from);
  } else if (size > 0 && !files.Truncate(file_.Get())) {
    return DL_SAVE_FAILED;
  }
  return Transfer();
}

// Replaces the request by one for the bytes from `from` on, and notes in
// the report what it came to.
Answer Fetch::Ask(uint32_t from) {
  HttpService& http = services_.http;
  request_.Reset();
  HttpAnswer reply;
  request_.Reset(http.OpenUrl(session_, url_, from, &reply));
  hasLength_ = false;
  Answer answer = Answer::NoAnswer;
  if (request_.Valid()) {
    report_.finalUrl = static_cast<String&&>(reply.finalUrl);
    answer = Classify(http, request_.Get(), reply.status, from, &hasLength_, &length_);
  } else {
    report_.error = reply.error;
  }
  report_.status = request_.Valid() ? reply.status : 0;
  report_.hasLength = hasLength_;
  report_.length = hasLength_ ? length_ : 0;
  return answer;
}

uint32_t Fetch::Transfer() {
  HttpService& http = services_.http;
  UpdatableFileSystem& files = services_.files;
  unsigned char buffer[kDownloadChunk];
  for (;;) {
    if (uint32_t stop = Gate()) return stop;
    uint32_t count = 0;
    HttpError error;
    bool read = http.Read(request_.Get(), buffer, sizeof buffer, &count, &error);
    if (read && count > sizeof buffer) return DL_READ_FAILED;
    // A body that ends short of its length broke off as surely as one
    // whose read failed: the server closed the connection early.
    if (!read || (count == 0 && hasLength_ && position_ < length_)) {
      report_.error = read ? HttpError{HttpFailure::Broken, 0} : error;
      uint32_t outcome = Retry();
      if (outcome) return outcome;
      continue;
    }
    if (count == 0) return End();
    report_.received += count;
    // Bytes past the ExactSize are never written; a body that does not
    // come to it (running past it, or ending elsewhere without a length
    // that says it broke off) is another document or a transfer nothing
    // can tell from one, so the file is emptied rather than kept to be
    // run or continued.
    if (expected_ && position_ + count > expected_) return Refuse(position_ + count);
    uint32_t t1 = Now();
    uint32_t written = 0;
    if (!files.Write(file_.Get(), buffer, count, &written) || written != count) return DL_SAVE_FAILED;
    if (!files.Flush(file_.Get())) return DL_SAVE_FAILED;
    position_ += count;
    Progress(ChunkSpeed(count, t0_, t1));
    t0_ = t1;
  }
}

// After a broken or stalled body: waits, then asks for the rest from the
// end of the file, with the checks of a resume. 0 when the new body is to
// be read on, else the outcome; either way the file stays as far as it
// came, for this request or the next run to continue.
uint32_t Fetch::Retry() {
  if (report_.retries == kRetries || position_ > UINT32_MAX) return DL_READ_FAILED;
  if (uint32_t stop = Wait(kRetryWaits[report_.retries])) return stop;
  ++report_.retries;
  Answer answer = Ask(static_cast<uint32_t>(position_));
  // No answer, an error, or a resource that now ends before the part asked
  // for: the server will not give the rest now.
  if (answer == Answer::NoAnswer || answer == Answer::Refused || answer == Answer::Longer) return DL_READ_FAILED;
  if (WrongLength()) return Reject(length_);
  if (answer == Answer::Complete) return End();
  t0_ = Now();
  if (answer == Answer::Whole && position_ > 0) {
    // The whole body again: the file is written again from its first byte.
    if (!services_.files.SeekFromStart(file_.Get(), 0) || !services_.files.Truncate(file_.Get())) {
      return DL_SAVE_FAILED;
    }
    position_ = 0;
  }
  return 0;
}

// The body has ended where the server meant it to.
uint32_t Fetch::End() {
  // Past the announced length it is no finished file.
  if (hasLength_ && position_ != length_) return DL_READ_FAILED;
  if (expected_ && position_ != expected_) return Refuse(position_);
  return DL_COMPLETE;
}

// Sleeps in steps, stopping at the gate while paused (a pause does not
// count towards the wait): DL_ABORTED as soon as an abort is seen, else 0.
uint32_t Fetch::Wait(uint32_t milliseconds) {
  for (uint32_t slept = 0; slept < milliseconds; slept += kRetryWaitStep) {
    uint32_t left = milliseconds - slept;
    services_.threads.Sleep(left < kRetryWaitStep ? left : kRetryWaitStep);
    if (uint32_t stop = Gate()) return stop;
  }
  return 0;
}

// The gate is closed only while the pause flag is up, so a running worker
// does not stop at it. DL_ABORTED once the abort flag is up, else 0.
uint32_t Fetch::Gate() {
  if (control_.load() & PAUSE_FLAG) services_.threads.WaitForEvent(pauseEvent_);
  return control_.load() & ABORT_FLAG ? static_cast<uint32_t>(DL_ABORTED) : 0;
}

// Tells the window of the bytes on disk beyond those it knows of. The
// window adds up what it is told, so after a 200 has started the file
// again it holds (with the speed still shown) until the file is as long
// as it was, and never counts a byte twice.
void Fetch::Progress(uint32_t speed) {
  uint64_t added = position_ > shown_ ? position_ - shown_ : 0;
  shown_ += added;
  Post(DL_PROGRESS, static_cast<uintptr_t>(added), static_cast<intptr_t>(speed));
}

// A length other than the ExactSize: the report is finished before the
// window hears of it, as the window may read it from then on.
uint32_t Fetch::Reject(uint64_t size) {
  Finish(DL_SIZE_REJECTED);
  Post(DL_WRONG_SIZE, size > UINT32_MAX ? UINT32_MAX : static_cast<uintptr_t>(size));
  return DL_SIZE_REJECTED;
}

// A body that did not come to the ExactSize: the file is emptied.
uint32_t Fetch::Refuse(uint64_t came) {
  if (!services_.files.SeekFromStart(file_.Get(), 0) || !services_.files.Truncate(file_.Get())) return DL_SAVE_FAILED;
  return Reject(came);
}

}  // namespace

uint32_t ElapsedMilliseconds(uint32_t t0, uint32_t t1) {
  constexpr uint64_t kDay = 86400000;
  return static_cast<uint32_t>((t1 % kDay + kDay - t0 % kDay) % kDay);
}

uint32_t DownloadFile(DownloadServices& services, HttpId session, const char* url, int32_t exactSize,
                      const char* localPath, WindowId window, const std::atomic<uint32_t>& control,
                      EventId pauseEvent, DownloadReport& report) {
  report = DownloadReport();
  Fetch fetch(services, session, url, exactSize, localPath, window, control, pauseEvent, report);
  uint32_t outcome = fetch.Run();
  // A refused size finished the report before its DL_WRONG_SIZE went out.
  if (outcome != DL_SIZE_REJECTED) fetch.Finish(outcome);
  return outcome;
}

}  // namespace korvelt
