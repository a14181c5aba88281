// Threads, and the one kind of event the bootstrapper waits on: a
// manual-reset event, which stays signalled until it is reset. The download
// worker's pause gate is one; threads talk otherwise only by posted
// messages and one atomic flag word, never through locks.
#pragma once

#include <stdint.h>

#include "base/scoped.h"

namespace korvelt {

// What a new thread runs; it ends when the routine returns.
using ThreadRoutine = void (*)(void* argument);

// A started thread or an event as the service names it; 0 is none.
using ThreadId = uintptr_t;
using EventId = uintptr_t;

class ThreadService {
 public:
  // Starts `routine(argument)` on a new thread with the default stack; 0
  // when no thread could be made.
  virtual ThreadId StartThread(ThreadRoutine routine, void* argument) = 0;
  // Waits without a time limit until `thread` has ended.
  virtual void WaitForThread(ThreadId thread) = 0;
  // Makes a manual-reset event, signalled or not; 0 when it cannot.
  virtual EventId CreateManualEvent(bool signalled) = 0;
  virtual void SetEvent(EventId event) = 0;
  virtual void ResetEvent(EventId event) = 0;
  // Waits without a time limit until `event` is signalled.
  virtual void WaitForEvent(EventId event) = 0;
  // Lets this thread sleep.
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Closes a thread or an event this service gave out, exactly once; a
  // thread only once it has been waited for.
  virtual void Close(uintptr_t handle) = 0;

 protected:
  ~ThreadService() = default;
};

using ScopedEvent = Scoped<ThreadService, EventId>;

}  // namespace korvelt
