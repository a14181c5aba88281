#include "testing/std_threads.h"

#include <gtest/gtest.h>

namespace korvelt::testing {

StdThreadService::~StdThreadService() {
  for (auto& [id, thread] : threads_) {
    ADD_FAILURE() << "thread " << id << " never closed";
    if (thread.joinable()) thread.join();
  }
  for (const auto& [id, event] : events_) ADD_FAILURE() << "event " << id << " never closed";
}

int StdThreadService::open() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(threads_.size() + events_.size());
}

ThreadId StdThreadService::StartThread(ThreadRoutine routine, void* argument) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failThreads) return 0;
  ++threadsStarted;
  uintptr_t id = next_++;
  threads_[id] = std::thread(routine, argument);
  return id;
}

void StdThreadService::WaitForThread(ThreadId thread) {
  std::thread* running = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = threads_.find(thread);
    if (found == threads_.end()) {
      ADD_FAILURE() << "wait for a thread that is not open: " << thread;
      return;
    }
    running = &found->second;
  }
  if (running->joinable()) running->join();
  std::lock_guard<std::mutex> lock(mutex_);
  joined_.insert(thread);
}

StdThreadService::Event* StdThreadService::FindEvent(EventId event) {
  auto found = events_.find(event);
  if (found == events_.end()) {
    ADD_FAILURE() << "use of an event that is not open: " << event;
    return nullptr;
  }
  return found->second.get();
}

EventId StdThreadService::CreateManualEvent(bool signalled) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failEvents) return 0;
  ++eventsMade;
  uintptr_t id = next_++;
  events_[id] = std::make_unique<Event>();
  events_[id]->signalled = signalled;
  return id;
}

void StdThreadService::SetEvent(EventId event) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Event* found = FindEvent(event)) {
    found->signalled = true;
    found->changed.notify_all();
  }
}

void StdThreadService::ResetEvent(EventId event) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Event* found = FindEvent(event)) found->signalled = false;
}

void StdThreadService::WaitForEvent(EventId event) {
  std::unique_lock<std::mutex> lock(mutex_);
  Event* found = FindEvent(event);
  if (!found) return;
  ++found->blocked;
  found->changed.wait(lock, [found] { return found->signalled; });
  --found->blocked;
}

void StdThreadService::Sleep(uint32_t milliseconds) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sleeps.push_back(milliseconds);
  }
  if (onSleep) onSleep();
}

bool StdThreadService::WaitUntilBlocked(EventId event, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto found = events_.find(event);
      if (found != events_.end() && found->second->blocked > 0 && !found->second->signalled) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

bool StdThreadService::IsSignalled(EventId event) {
  std::lock_guard<std::mutex> lock(mutex_);
  Event* found = FindEvent(event);
  return found && found->signalled;
}

void StdThreadService::Close(uintptr_t handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_.count(handle)) {
    ADD_FAILURE() << "thread or event closed twice: " << handle;
    return;
  }
  auto thread = threads_.find(handle);
  if (thread != threads_.end()) {
    if (!joined_.count(handle)) ADD_FAILURE() << "thread " << handle << " closed before it was waited for";
    if (thread->second.joinable()) thread->second.detach();
    threads_.erase(thread);
  } else if (events_.count(handle)) {
    if (events_[handle]->blocked) ADD_FAILURE() << "event " << handle << " closed while a thread waits on it";
    events_.erase(handle);
  } else {
    ADD_FAILURE() << "close of a handle that is not open: " << handle;
    return;
  }
  closed_.insert(handle);
}

}  // namespace korvelt::testing
