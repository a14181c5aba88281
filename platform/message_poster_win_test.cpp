#include "platform/message_poster_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/threads_win.h"

namespace korvelt {
namespace {

// Messages posted from another thread arrive in order with both
// parameters whole, pointer-sized values included.
TEST(Win32MessagePosterTest, PostsAcrossThreads) {
  HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  struct Shared {
    WindowId window;
    Win32MessagePoster poster;
    bool posted[3];
  } shared{reinterpret_cast<WindowId>(window), {}, {}};
  Win32ThreadService threads;
  ThreadId thread = threads.StartThread(
      [](void* data) {
        auto* s = static_cast<Shared*>(data);
        s->posted[0] = s->poster.Post(s->window, WM_USER + 3, 8192, 123456);
        s->posted[1] = s->poster.Post(s->window, WM_USER + 2, UINTPTR_MAX, -1);
        s->posted[2] = s->poster.Post(s->window, WM_USER + 11, 0, 0);
      },
      &shared);
  ASSERT_NE(thread, 0u);
  threads.WaitForThread(thread);
  threads.Close(thread);
  EXPECT_TRUE(shared.posted[0] && shared.posted[1] && shared.posted[2]);

  const struct {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } expected[] = {{WM_USER + 3, 8192, 123456}, {WM_USER + 2, UINTPTR_MAX, -1}, {WM_USER + 11, 0, 0}};
  for (const auto& e : expected) {
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, window, WM_USER, WM_USER + 100, PM_REMOVE));
    EXPECT_EQ(message.message, e.message);
    EXPECT_EQ(message.wParam, e.wParam);
    EXPECT_EQ(message.lParam, e.lParam);
  }
  DestroyWindow(window);
  // A window that is gone takes nothing.
  Win32MessagePoster poster;
  EXPECT_FALSE(poster.Post(reinterpret_cast<WindowId>(window), WM_USER + 1, 0, 0));
}

}  // namespace
}  // namespace korvelt
