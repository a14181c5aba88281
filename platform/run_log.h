// The run's log: one line per event, each stamped with the time since the
// run started, written only when a log file was asked for and could be
// opened. Without one every call here does nothing, and nothing is
// formatted either.
#pragma once

#include <stdarg.h>
#include <stdint.h>

#include "base/string.h"
#include "platform/clock.h"
#include "platform/log_sink.h"

namespace korvelt {

class RunLog {
 public:
  // The run's time starts now.
  RunLog(LogSink& sink, Clock& clock);
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Opens the file at `path` unless a file is open already; true when this
  // call opened it.
  bool Open(const char* path);
  bool On() const { return on_; }
  // Milliseconds since the run started (the clock's day wraps at midnight).
  uint32_t Elapsed();
  // Writes "[seconds.milliseconds] ", `text` and a line end, in one piece.
  void Write(const String& text);

 private:
  LogSink& sink_;
  Clock& clock_;
  uint32_t start_;
  bool on_ = false;
};

// One line of the log, built piece by piece and written when it goes out
// of scope. With a null or closed log nothing is built. A line that runs
// out of memory is dropped.
class LogLine {
 public:
  explicit LogLine(RunLog* log) : log_(log && log->On() ? log : nullptr) {}
  LogLine(const LogLine&) = delete;
  LogLine& operator=(const LogLine&) = delete;
  ~LogLine();

  // Appends `format` with its pieces, each named by a letter behind "%"
  // and taken from the arguments in turn: %s text, %q text in double
  // quotes, %a an address in double quotes without its user name and
  // password, %u a uint32_t, %d an int32_t, %U a uint64_t, %t a uint32_t
  // of milliseconds as "1.234 s", %k a uint64_t of bytes and a uint32_t of
  // milliseconds as "12.34 KB/s" ("? KB/s" without time). One formatter
  // for every line keeps each line's call small.
  LogLine& Format(const char* format, ...);
  void FormatList(const char* format, va_list arguments);

 private:
  bool Piece(char kind, va_list* arguments);

  RunLog* log_;
  String text_;
  bool ok_ = true;
};

// Writes one line: LogLine(log).Format(format, ...).
void LogPrint(RunLog* log, const char* format, ...);

// The milliseconds from `start` to `end`, two readings of a Clock; the
// clock's day wraps at midnight.
uint32_t MillisecondsBetween(uint32_t start, uint32_t end);

// `url` without the "user:password@" (or "user@") that may follow its
// scheme; other addresses unchanged. False when memory runs out.
bool UrlWithoutCredentials(const char* url, String* out);

}  // namespace korvelt
