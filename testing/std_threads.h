// The thread service on the standard library's threads, for native tests
// of code that runs a worker. Events are a flag under a mutex with a
// condition variable; a test can wait until a thread blocks on one. Every
// thread and event must be closed exactly once, a thread only after it was
// waited for: anything else fails the running test.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/threads.h"

namespace korvelt::testing {

class StdThreadService final : public ThreadService {
 public:
  ~StdThreadService();

  ThreadId StartThread(ThreadRoutine routine, void* argument) override;
  void WaitForThread(ThreadId thread) override;
  EventId CreateManualEvent(bool signalled) override;
  void SetEvent(EventId event) override;
  void ResetEvent(EventId event) override;
  void WaitForEvent(EventId event) override;
  // Sleeps no time at all; the sleeps asked for are recorded, and then
  // `onSleep` is called.
  void Sleep(uint32_t milliseconds) override;
  void Close(uintptr_t handle) override;

  // Waits until some thread is blocked on `event`; false after `limit`.
  bool WaitUntilBlocked(EventId event, std::chrono::milliseconds limit = std::chrono::seconds(10));
  bool IsSignalled(EventId event);

  bool failThreads = false;
  bool failEvents = false;
  int threadsStarted = 0;
  std::vector<uint32_t> sleeps;
  std::function<void()> onSleep;
  int eventsMade = 0;
  int open() const;

 private:
  struct Event {
    bool signalled = false;
    int blocked = 0;
    std::condition_variable changed;
  };
  Event* FindEvent(EventId event);

  mutable std::mutex mutex_;
  std::map<uintptr_t, std::unique_ptr<Event>> events_;
  std::map<uintptr_t, std::thread> threads_;
  std::set<uintptr_t> joined_;
  std::set<uintptr_t> closed_;
  uintptr_t next_ = 1;
};

}  // namespace korvelt::testing
