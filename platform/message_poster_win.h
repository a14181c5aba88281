// Posting window messages with PostMessageA.
#pragma once

#include "platform/message_poster.h"

namespace korvelt {

class Win32MessagePoster final : public MessagePoster {
 public:
  bool Post(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
};

}  // namespace korvelt
