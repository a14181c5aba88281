#include "platform/threads_win.h"

#include <stdlib.h>
#include <windows.h>

namespace korvelt {
namespace {

// What the new thread is to run, handed over on the heap: the system
// passes one pointer to a thread, and the caller may return before the
// thread starts.
struct ThreadStart {
  ThreadRoutine routine;
  void* argument;
};

DWORD WINAPI ThreadMain(void* parameter) {
  ThreadStart start = *static_cast<ThreadStart*>(parameter);
  free(parameter);
  start.routine(start.argument);
  return 0;
}

HANDLE AsHandle(uintptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

ThreadId Win32ThreadService::StartThread(ThreadRoutine routine, void* argument) {
  auto* start = static_cast<ThreadStart*>(malloc(sizeof(ThreadStart)));
  if (!start) return 0;
  *start = ThreadStart{routine, argument};
  HANDLE thread = CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
  if (!thread) free(start);
  return reinterpret_cast<ThreadId>(thread);
}

void Win32ThreadService::WaitForThread(ThreadId thread) { WaitForSingleObject(AsHandle(thread), INFINITE); }

EventId Win32ThreadService::CreateManualEvent(bool signalled) {
  return reinterpret_cast<EventId>(CreateEventA(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr));
}

void Win32ThreadService::SetEvent(EventId event) { ::SetEvent(AsHandle(event)); }

void Win32ThreadService::ResetEvent(EventId event) { ::ResetEvent(AsHandle(event)); }

void Win32ThreadService::WaitForEvent(EventId event) { WaitForSingleObject(AsHandle(event), INFINITE); }

void Win32ThreadService::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

void Win32ThreadService::Close(uintptr_t handle) { CloseHandle(AsHandle(handle)); }

}  // namespace korvelt
