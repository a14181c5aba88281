// A message poster for unit tests that writes down every message, from any
// thread, in the order posted, and can act on one as it is posted.
#pragma once

#include <stdint.h>

#include <functional>
#include <mutex>
#include <vector>

#include "platform/message_poster.h"

namespace korvelt::testing {

struct PostedMessage {
  WindowId window;
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
  bool operator==(const PostedMessage&) const = default;
};

class RecordingPoster final : public MessagePoster {
 public:
  bool Post(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      posted_.push_back(PostedMessage{window, message, wParam, lParam});
    }
    if (onPost) onPost(message, wParam);
    return true;
  }

  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.clear();
  }
  std::vector<PostedMessage> posted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return posted_;
  }
  // Called on the posting thread after each message is recorded.
  std::function<void(uint32_t message, uintptr_t wParam)> onPost;

 private:
  mutable std::mutex mutex_;
  std::vector<PostedMessage> posted_;
};

}  // namespace korvelt::testing
