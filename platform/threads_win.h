// Threads and manual-reset events on the system's own calls.
#pragma once

#include "platform/threads.h"

namespace korvelt {

class Win32ThreadService final : public ThreadService {
 public:
  ThreadId StartThread(ThreadRoutine routine, void* argument) override;
  void WaitForThread(ThreadId thread) override;
  EventId CreateManualEvent(bool signalled) override;
  void SetEvent(EventId event) override;
  void ResetEvent(EventId event) override;
  void WaitForEvent(EventId event) override;
  void Sleep(uint32_t milliseconds) override;
  void Close(uintptr_t handle) override;
};

}  // namespace korvelt
