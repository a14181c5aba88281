// Watches the dialog windows (class "#32770") of the process under test and
// of the processes it started, prints each one with its caption and the
// texts of its controls whenever they change, and closes its message boxes
// with OK when asked to. Windows of any other process of the Wine prefix
// (another setup, a box left by some other program) are never reported or
// touched.
// Texts are read without sending messages, so a window whose thread does
// not dispatch them (the status window) can be read too; only list views
// and progress bars are asked, with a time limit, for their rows and
// positions. Each control line says whether it is enabled and where it
// lies on the screen, so that a test can click it, and ends in "default"
// for the default push button and "focus" for the control that has the
// keyboard focus. A list view's rows are followed by the width of each
// column, the width each cell's text needs, and which scroll bars show,
// so that a test can tell a cut cell from a whole one. Each dialog line
// tells the window's dots per inch and its DPI awareness (0 unaware, 1
// system, 2 per monitor), and names its process and its X window, so that
// a test can raise it before it clicks.
//
//   dialog_probe.exe SECONDS [close] [until-closed N] [program NAME]
//
// The process under test is read from standard input, its Windows process
// id on a line of its own (more lines name more of them); the probe can so
// be watching before that process starts, and reports nothing until then.
// With "program NAME", every process whose executable is named NAME is one
// under test too (for a caller that cannot learn the id).
// Whenever the set of processes it watches changes, it prints them as
// "process ID parent ID NAME" lines. It ends after SECONDS, or once N
// dialogs were closed.
#include <windows.h>

#include <commctrl.h>
#include <tlhelp32.h>

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

// The processes under test, as read from standard input by a thread of
// their own: the main loop reads `rootCount` and then that many entries.
DWORD roots[16];
volatile LONG rootCount = 0;

// Reads with ReadFile, not the C runtime: a thread blocked in the
// runtime's stdin would hold the lock that the runtime's exit takes.
DWORD WINAPI ReadRoots(void*) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char line[64];
  DWORD length = 0;
  char c = 0;
  DWORD count = 0;
  while (rootCount < 16 && ReadFile(input, &c, 1, &count, nullptr) && count == 1) {
    if (c != '\n') {
      if (length + 1 < sizeof line) line[length++] = c;
      continue;
    }
    line[length] = '\0';
    length = 0;
    DWORD process = strtoul(line, nullptr, 10);
    if (!process) continue;
    roots[rootCount] = process;
    InterlockedIncrement(&rootCount);
  }
  return 0;
}

// The processes watched this tick: the roots and every process whose chain
// of parents leads to one, found in a snapshot of the prefix's processes.
struct Tree {
  DWORD processes[256];
  DWORD parents[256];
  char names[256][64];
  int count = 0;
  bool Holds(DWORD process) const {
    for (int i = 0; i < count; ++i) {
      if (processes[i] == process) return true;
    }
    return false;
  }
};

Tree tree;
Tree previous;

const char* rootProgram = nullptr;

bool IsRoot(const PROCESSENTRY32& entry) {
  for (LONG i = 0; i < rootCount; ++i) {
    if (roots[i] == entry.th32ProcessID) return true;
  }
  return rootProgram && lstrcmpiA(entry.szExeFile, rootProgram) == 0;
}

void FindTree() {
  previous = tree;
  tree.count = 0;
  if (rootCount == 0 && !rootProgram) return;
  static PROCESSENTRY32 all[1024];
  int total = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more && total < 1024; more = Process32Next(snapshot, &entry)) {
    all[total++] = entry;
  }
  CloseHandle(snapshot);
  for (int i = 0; i < total && tree.count < 256; ++i) {
    // Up the parents, a bounded number of steps: ids are reused, and a
    // chain may close on itself.
    const PROCESSENTRY32* at = &all[i];
    bool ours = false;
    for (int step = 0; step < 32 && at && !ours; ++step) {
      ours = IsRoot(*at);
      const PROCESSENTRY32* parent = nullptr;
      for (int j = 0; j < total && at->th32ParentProcessID; ++j) {
        if (all[j].th32ProcessID == at->th32ParentProcessID) parent = &all[j];
      }
      at = parent;
    }
    if (!ours) continue;
    tree.processes[tree.count] = all[i].th32ProcessID;
    tree.parents[tree.count] = all[i].th32ParentProcessID;
    snprintf(tree.names[tree.count], sizeof tree.names[0], "%s", all[i].szExeFile);
    ++tree.count;
  }
}

// Prints the watched processes when they differ from the last tick's.
void PrintTreeIfChanged() {
  bool same = tree.count == previous.count;
  for (int i = 0; same && i < tree.count; ++i) same = previous.Holds(tree.processes[i]);
  if (same) return;
  printf("tick %lu\n", GetTickCount());
  for (int i = 0; i < tree.count; ++i) {
    printf("process %lu parent %lu %s\n", tree.processes[i], tree.parents[i], tree.names[i]);
  }
  fflush(stdout);
}

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

void AddNumber(long number) {
  char text[24];
  snprintf(text, sizeof text, " %ld", number);
  Add(text);
}

// The rows of another process's list view, "a | b | c" each, read through
// memory lent in that process, with the widths their texts need.
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
  LRESULT needs[8] = {};
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
      needs[column < 8 ? column : 7] = Ask(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(remote->text));
    }
    Add("\n    needs");
    for (LRESULT column = 0; column < columns && column < 8; ++column) AddNumber(needs[column]);
    Add("\n");
  }
  Add("    columns");
  for (LRESULT column = 0; column < columns; ++column) AddNumber(Ask(list, LVM_GETCOLUMNWIDTH, column, 0));
  RECT client = {};
  GetClientRect(list, &client);
  LONG style = GetWindowLongA(list, GWL_STYLE);
  char line[128];
  snprintf(line, sizeof line, " client %ld scroll %s%s\n", client.right - client.left,
           style & WS_HSCROLL ? "h" : "-", style & WS_VSCROLL ? "v" : "-");
  Add(line);
  if (remote) VirtualFreeEx(target, remote, 0, MEM_RELEASE);
  CloseHandle(target);
}

// The control with the keyboard focus in the dialog being reported.
HWND focus = nullptr;

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
  LONG style = GetWindowLongA(child, GWL_STYLE);
  bool isDefault = strcmp(className, "Button") == 0 && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
  snprintf(line, sizeof line, "  control %ld %s \"%s\" %s%s at %ld,%ld size %ld,%ld%s%s\n", GetWindowLongA(child, GWL_ID),
           className, text, IsWindowEnabled(child) ? "enabled" : "disabled", IsWindowVisible(child) ? "" : " hidden",
           rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, isDefault ? " default" : "",
           child == focus ? " focus" : "");
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
  if (!tree.Holds(process)) return TRUE;
  char caption[512];
  Text(window, caption, sizeof caption);
  RECT rect;
  GetWindowRect(window, &rect);
  LONG style = GetWindowLongA(window, GWL_STYLE);
  LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  HWND owner = GetWindow(window, GW_OWNER);
  GUITHREADINFO thread = {};
  thread.cbSize = sizeof thread;
  focus = GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) ? thread.hwndFocus : nullptr;
  reportLength = 0;
  report[0] = '\0';
  char line[1024];
  // Wine keeps the X window of a top-level window as a property, which any
  // process of the prefix can read.
  auto xWindow = reinterpret_cast<uintptr_t>(GetPropA(window, "__wine_x11_whole_window"));
  snprintf(line, sizeof line,
           "dialog %p \"%s\" at %ld,%ld size %ld,%ld style %08lx exstyle %08lx owner %p process %lu dpi %u "
           "awareness %d xwindow 0x%lx\n",
           static_cast<void*>(window), caption, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
           static_cast<unsigned long>(style), static_cast<unsigned long>(exStyle), static_cast<void*>(owner), process,
           GetDpiForWindow(window), static_cast<int>(GetAwarenessFromDpiAwarenessContext(GetWindowDpiAwarenessContext(window))),
           static_cast<unsigned long>(xWindow));
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
  int until = 0;
  for (int i = 2; i < argc; ++i) {
    if (strcmp(argv[i], "close") == 0) closeBoxes = true;
    if (strcmp(argv[i], "until-closed") == 0 && i + 1 < argc) until = atoi(argv[++i]);
    if (strcmp(argv[i], "program") == 0 && i + 1 < argc) rootProgram = argv[++i];
  }
  // Aware of the screen's density, the probe reads the setup's windows in
  // the screen's own pixels, where xdotool clicks, whatever the setup's
  // awareness.
  SetProcessDPIAware();
  DWORD end = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  HANDLE reader = CreateThread(nullptr, 0, ReadRoots, nullptr, 0, nullptr);
  if (reader) CloseHandle(reader);
  while (GetTickCount() < end) {
    FindTree();
    PrintTreeIfChanged();
    EnumWindows(Visit, 0);
    if (until && closed >= until) break;
    Sleep(20);
  }
  printf("done\n");
  return 0;
}
