// Where the run's log goes, when one is asked for: a file opened for
// appending that can be read while the setup runs.
#pragma once

#include <stddef.h>

namespace korvelt {

class LogSink {
 public:
  // Opens `path` for appending (made when missing), shared for reading and
  // writing. False when it cannot be opened: nothing is written then.
  virtual bool Open(const char* path) = 0;
  // Writes `length` bytes, one whole line with its end, at once: nothing
  // stays buffered in the process. Nothing happens without an open file.
  virtual void Write(const char* text, size_t length) = 0;

 protected:
  ~LogSink() = default;
};

}  // namespace korvelt
