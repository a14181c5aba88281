// The log file on the real system.
#pragma once

#include <windows.h>

#include "platform/log_sink.h"

namespace korvelt {

class Win32LogFile final : public LogSink {
 public:
  Win32LogFile() = default;
  Win32LogFile(const Win32LogFile&) = delete;
  Win32LogFile& operator=(const Win32LogFile&) = delete;
  ~Win32LogFile();

  bool Open(const char* path) override;
  void Write(const char* text, size_t length) override;

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace korvelt
