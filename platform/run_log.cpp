#include "platform/run_log.h"

#include "base/decimal.h"

namespace korvelt {
namespace {

constexpr uint32_t kDayMilliseconds = 24u * 60 * 60 * 1000;

// Appends `value` with at least `digits` digits.
bool AppendDecimal(String& text, uint64_t value, int digits = 1) {
  char buffer[kMaxDecimalDigits];
  char* end = WriteDecimal(buffer, value, digits);
  return text.Append(buffer, static_cast<size_t>(end - buffer));
}

// Appends `thousandths` as "units.fraction" with `places` decimals of
// `scale` (10 or 1000 for hundredths or thousandths).
bool AppendFixed(String& text, uint64_t value, uint32_t scale, int places) {
  uint32_t fraction = 0;
  uint64_t units = LongDivide(value, scale, &fraction);
  return AppendDecimal(text, units) && text.Append('.') && AppendDecimal(text, fraction, places);
}

}  // namespace

RunLog::RunLog(LogSink& sink, Clock& clock) : sink_(sink), clock_(clock), start_(clock.TimeOfDayMilliseconds()) {}

bool RunLog::Open(const char* path) {
  if (on_ || !path || !*path) return false;
  on_ = sink_.Open(path);
  return on_;
}

uint32_t RunLog::Elapsed() { return MillisecondsBetween(start_, clock_.TimeOfDayMilliseconds()); }

uint32_t MillisecondsBetween(uint32_t start, uint32_t end) {
  start %= kDayMilliseconds;
  end %= kDayMilliseconds;
  return end >= start ? end - start : end + kDayMilliseconds - start;
}

void RunLog::Write(const String& text) {
  if (!on_) return;
  String line;
  if (!line.Append('[') || !AppendFixed(line, Elapsed(), 1000, 3) || !line.Append("] ") || !line.Append(text) ||
      !line.Append("\r\n")) {
    return;
  }
  sink_.Write(line.c_str(), line.Length());
}

LogLine::~LogLine() {
  if (log_ && ok_) log_->Write(text_);
}

namespace {

// Hundredths of KB/s: bytes × 100000 / (milliseconds × 1024); beyond
// 2^47 bytes (far more than any download) the product would overflow.
bool AppendSpeed(String& text, uint64_t bytes, uint32_t milliseconds) {
  if (milliseconds == 0 || milliseconds > 0xFFFFFFFFu / 1024 || bytes > (uint64_t{1} << 47)) return text.Append("? KB/s");
  uint32_t remainder = 0;
  uint64_t hundredths = LongDivide(bytes * 100000, milliseconds * 1024, &remainder);
  return AppendFixed(text, hundredths, 100, 2) && text.Append(" KB/s");
}

}  // namespace

bool LogLine::Piece(char kind, va_list* arguments) {
  switch (kind) {
    case 's': {
      const char* text = va_arg(*arguments, const char*);
      return text_.Append(text ? text : "");
    }
    case 'q': {
      const char* text = va_arg(*arguments, const char*);
      return text_.Append('"') && text_.Append(text ? text : "") && text_.Append('"');
    }
    case 'a': {
      const char* url = va_arg(*arguments, const char*);
      String clean;
      return UrlWithoutCredentials(url ? url : "", &clean) && text_.Append('"') && text_.Append(clean) &&
             text_.Append('"');
    }
    case 'u':
      return AppendDecimal(text_, va_arg(*arguments, uint32_t));
    case 'd': {
      int32_t value = va_arg(*arguments, int32_t);
      uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
      return (value >= 0 || text_.Append('-')) && AppendDecimal(text_, magnitude);
    }
    case 'U':
      return AppendDecimal(text_, va_arg(*arguments, uint64_t));
    case 't':
      return AppendFixed(text_, va_arg(*arguments, uint32_t), 1000, 3) && text_.Append(" s");
    case 'k': {
      uint64_t bytes = va_arg(*arguments, uint64_t);
      return AppendSpeed(text_, bytes, va_arg(*arguments, uint32_t));
    }
    default:
      return text_.Append('%') && text_.Append(kind);
  }
}

void LogLine::FormatList(const char* format, va_list arguments) {
  if (!log_) return;
  va_list pieces;
  va_copy(pieces, arguments);
  for (const char* at = format; ok_ && *at; ++at) {
    if (*at != '%' || !at[1]) {
      ok_ = text_.Append(*at);
    } else {
      ok_ = Piece(*++at, &pieces);
    }
  }
  va_end(pieces);
}

LogLine& LogLine::Format(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  FormatList(format, arguments);
  va_end(arguments);
  return *this;
}

void LogPrint(RunLog* log, const char* format, ...) {
  if (!log || !log->On()) return;
  LogLine line(log);
  va_list arguments;
  va_start(arguments, format);
  line.FormatList(format, arguments);
  va_end(arguments);
}

bool UrlWithoutCredentials(const char* url, String* out) {
  const char* scheme = url;
  while (*scheme && !(scheme[0] == ':' && scheme[1] == '/' && scheme[2] == '/')) ++scheme;
  if (!*scheme) return out->Assign(url);
  const char* authority = scheme + 3;
  // The user part ends at the last "@" before the path, query or fragment
  // (a password may hold "@" itself when it was written unescaped).
  const char* at = nullptr;
  for (const char* p = authority; *p && *p != '/' && *p != '?' && *p != '#' && *p != '\\'; ++p) {
    if (*p == '@') at = p;
  }
  if (!at) return out->Assign(url);
  return out->Assign(url, static_cast<size_t>(authority - url)) && out->Append(at + 1);
}

}  // namespace korvelt
