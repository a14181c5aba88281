# The cross compiler's win32 thread model has no std::mutex, on which
# GoogleTest's Notification is built; a Win32 event stands in for it.
target_compile_options(gtest PUBLIC -include ${CMAKE_SOURCE_DIR}/testing/win32/gtest_notification.h)
