// Posting a message to a window's queue without waiting for it to be
// handled: the only way the worker threads report to their dialogs.
#pragma once

#include <stdint.h>

namespace korvelt {

// A window as the service names it; 0 is none.
using WindowId = uintptr_t;

class MessagePoster {
 public:
  // Queues `message` with its two parameters for `window`; false when the
  // window's queue did not take it.
  virtual bool Post(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;

 protected:
  ~MessagePoster() = default;
};

}  // namespace korvelt
