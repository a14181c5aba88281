// Watches the desktop for dialog windows (class "#32770") of other
// processes, prints each one with its caption and the texts of its controls
// whenever they change, and closes message boxes with OK when asked to.
// Texts are read without sending messages, so a window whose thread does
// not dispatch them (the status window) can be read too; only list views
// and progress bars are asked, with a time limit, for their rows and
// positions. Each control line says whether it is enabled and where it
// lies on the screen, so that a test can click it.
//
//   dialog_probe.exe SECONDS [close] [until-closed N]
//
// It ends after SECONDS, or once N dialogs were closed.
#include <windows.h>

#include <commctrl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct Seen {
  HWND windows[64];
  unsigned long signatures[64];
  int count = 0;
  // True when the window is new or its texts changed since it was printed.
  bool Changed(HWND window, unsigned long signature) {
    for (int i = 0; i < count; ++i) {
      if (windows[i] != window) continue;
      if (signatures[i] == signature) return false;
      signatures[i] = signature;
      return true;
    }
    if (count == 64) return false;
    windows[count] = window;
    signatures[count++] = signature;
    return true;
  }
};

Seen seen;
char report[16384];
size_t reportLength;
bool closeBoxes = false;
int closed = 0;

void Text(HWND window, char* buffer, int size) {
  buffer[0] = '\0';
  GetWindowTextA(window, buffer, size);
}

void Add(const char* text) {
  size_t length = strlen(text);
  if (reportLength + length < sizeof report) {
    memcpy(report + reportLength, text, length + 1);
    reportLength += length;
  }
}

LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 500, &answer)) return -1;
  return static_cast<LRESULT>(answer);
}

// The rows of another process's list view, "a | b | c" each, read through
// memory lent in that process.
void AddListRows(HWND list) {
  DWORD process = 0;
  GetWindowThreadProcessId(list, &process);
  HANDLE target = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
  if (!target) return;
  struct Remote {
    LVITEMA item;
    char text[260];
  };
  auto* remote = static_cast<Remote*>(VirtualAllocEx(target, nullptr, sizeof(Remote), MEM_COMMIT, PAGE_READWRITE));
  HWND header = reinterpret_cast<HWND>(Ask(list, LVM_GETHEADER, 0, 0));
  LRESULT columns = header ? Ask(header, HDM_GETITEMCOUNT, 0, 0) : 1;
  LRESULT rows = Ask(list, LVM_GETITEMCOUNT, 0, 0);
  for (LRESULT row = 0; remote && row < rows; ++row) {
    Add("    row");
    for (LRESULT column = 0; column < columns; ++column) {
      Remote local = {};
      local.item.iSubItem = static_cast<int>(column);
      local.item.pszText = remote->text;
      local.item.cchTextMax = sizeof local.text;
      SIZE_T moved = 0;
      WriteProcessMemory(target, remote, &local, sizeof local, &moved);
      Ask(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&remote->item));
      ReadProcessMemory(target, remote->text, local.text, sizeof local.text, &moved);
      local.text[sizeof local.text - 1] = '\0';
      Add(column ? " | " : " ");
      Add(local.text);
    }
    Add("\n");
  }
  if (remote) VirtualFreeEx(target, remote, 0, MEM_RELEASE);
  CloseHandle(target);
}

BOOL CALLBACK AddChild(HWND child, LPARAM) {
  char className[64];
  char text[1024];
  char line[1200];
  GetClassNameA(child, className, sizeof className);
  Text(child, text, sizeof text);
  // An edit control or a combo box keeps its text to itself; the system
  // carries this one question across processes.
  if (strcmp(className, "Edit") == 0 || strcmp(className, "ComboBox") == 0) {
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 500,
                             &copied)) {
      text[0] = '\0';
    }
  }
  RECT rect;
  GetWindowRect(child, &rect);
  snprintf(line, sizeof line, "  control %ld %s \"%s\" %s%s at %ld,%ld size %ld,%ld\n", GetWindowLongA(child, GWL_ID),
           className, text, IsWindowEnabled(child) ? "enabled" : "disabled", IsWindowVisible(child) ? "" : " hidden",
           rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  Add(line);
  if (strcmp(className, "SysListView32") == 0) AddListRows(child);
  if (strcmp(className, "msctls_progress32") == 0) {
    snprintf(line, sizeof line, "    position %ld of %ld\n", static_cast<long>(Ask(child, PBM_GETPOS, 0, 0)),
             static_cast<long>(Ask(child, PBM_GETRANGE, FALSE, 0)));
    Add(line);
  }
  return TRUE;
}

unsigned long Hash(const char* text) {
  unsigned long hash = 5381;
  for (; *text; ++text) hash = hash * 33 + static_cast<unsigned char>(*text);
  return hash;
}

BOOL CALLBACK Visit(HWND window, LPARAM) {
  char className[64];
  GetClassNameA(window, className, sizeof className);
  if (strcmp(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId()) return TRUE;
  char caption[512];
  Text(window, caption, sizeof caption);
  RECT rect;
  GetWindowRect(window, &rect);
  LONG style = GetWindowLongA(window, GWL_STYLE);
  LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  HWND owner = GetWindow(window, GW_OWNER);
  reportLength = 0;
  report[0] = '\0';
  char line[1024];
  snprintf(line, sizeof line, "dialog %p \"%s\" at %ld,%ld size %ld,%ld style %08lx exstyle %08lx owner %p\n",
           static_cast<void*>(window), caption, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, static_cast<unsigned long>(style),
           static_cast<unsigned long>(exStyle), static_cast<void*>(owner));
  Add(line);
  EnumChildWindows(window, AddChild, 0);
  if (seen.Changed(window, Hash(report))) {
    printf("tick %lu\n", GetTickCount());
    fputs(report, stdout);
    fflush(stdout);
  }
  // A message box has an OK button with id 1 (IDOK) or 2 when it is the only one.
  if (closeBoxes && GetDlgItem(window, IDOK) == nullptr && GetDlgItem(window, IDCANCEL) == nullptr) return TRUE;
  if (closeBoxes) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgItem(window, IDOK) ? IDOK : IDCANCEL, BN_CLICKED), 0);
    ++closed;
    printf("closed \"%d\"\n", closed);
    fflush(stdout);
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? atof(argv[1]) : 10;
  closeBoxes = argc > 2 && strcmp(argv[2], "close") == 0;
  int until = argc > 4 ? atoi(argv[4]) : 0;
  DWORD end = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  while (GetTickCount() < end) {
    EnumWindows(Visit, 0);
    if (until && closed >= until) break;
    Sleep(20);
  }
  printf("done\n");
  return 0;
}
