// Holds Wine warm while the benchmarks time their programs: as long as it
// runs, the server and the desktop process stay up, so that no timed
// program pays for starting them.
//   keep_warm MARKER [SECONDS]
// Joins the desktop the way a setup does (CoInitialize and a window, which
// make Wine start its desktop process), then creates the file MARKER to say
// so, and lives until MARKER is deleted, at most SECONDS (1 hour unless
// given). Its window is message-only, so that no broadcast waits for it.
#include <objbase.h>
#include <stdlib.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc < 2) return 2;
  const char* marker = __argv[1];
  DWORD lifetime = 1000 * static_cast<DWORD>(__argc > 2 ? atoi(__argv[2]) : 3600);
  DWORD started = GetTickCount();
  HRESULT com = CoInitialize(nullptr);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "KorveltKeepWarm";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowA("KorveltKeepWarm", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (!window || !GetDesktopWindow()) return 1;
  HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(file);
  while (GetFileAttributesA(marker) != INVALID_FILE_ATTRIBUTES && GetTickCount() - started < lifetime) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  DestroyWindow(window);
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
