#include "platform/threads_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

namespace korvelt {
namespace {

HANDLE AsHandle(uintptr_t id) { return reinterpret_cast<HANDLE>(id); }

// A started thread runs its routine with its argument, and has ended once
// waited for.
TEST(Win32ThreadServiceTest, StartsAndWaits) {
  Win32ThreadService threads;
  std::atomic<int> value{0};
  ThreadId thread = threads.StartThread([](void* into) { static_cast<std::atomic<int>*>(into)->store(42); }, &value);
  ASSERT_NE(thread, 0u);
  threads.WaitForThread(thread);
  EXPECT_EQ(value.load(), 42);
  EXPECT_EQ(WaitForSingleObject(AsHandle(thread), 0), WAIT_OBJECT_0);
  threads.Close(thread);
}

// The events reset only when told: a wait does not consume the signal.
TEST(Win32ThreadServiceTest, EventsResetManually) {
  Win32ThreadService threads;
  EventId open = threads.CreateManualEvent(true);
  EventId shut = threads.CreateManualEvent(false);
  ASSERT_NE(open, 0u);
  ASSERT_NE(shut, 0u);
  EXPECT_EQ(WaitForSingleObject(AsHandle(open), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(AsHandle(open), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(AsHandle(shut), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  threads.ResetEvent(open);
  EXPECT_EQ(WaitForSingleObject(AsHandle(open), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  threads.SetEvent(shut);
  threads.WaitForEvent(shut);
  EXPECT_EQ(WaitForSingleObject(AsHandle(shut), 0), WAIT_OBJECT_0);
  threads.Close(open);
  threads.Close(shut);
}

// A thread held at a reset event goes on only once another sets it, as the
// download worker at its pause gate.
TEST(Win32ThreadServiceTest, GateHoldsAnotherThread) {
  Win32ThreadService threads;
  struct Shared {
    Win32ThreadService* threads;
    EventId gate;
    std::atomic<int> passed{0};
  } shared{&threads, threads.CreateManualEvent(false)};
  ASSERT_NE(shared.gate, 0u);
  ThreadId thread = threads.StartThread(
      [](void* data) {
        auto* s = static_cast<Shared*>(data);
        s->threads->WaitForEvent(s->gate);
        s->passed = 1;
      },
      &shared);
  ASSERT_NE(thread, 0u);
  EXPECT_EQ(WaitForSingleObject(AsHandle(thread), 200), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(shared.passed.load(), 0);
  threads.SetEvent(shared.gate);
  threads.WaitForThread(thread);
  EXPECT_EQ(shared.passed.load(), 1);
  threads.Close(thread);
  threads.Close(shared.gate);
}

}  // namespace
}  // namespace korvelt
