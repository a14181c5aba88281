#include "ui/layout_win.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "testing/win32/ui_helpers.h"
#include "testing/win32/dialog_template_win.h"

namespace korvelt {
namespace {

constexpr WORD kButton = DialogTemplate::kButton;
constexpr WORD kStatic = DialogTemplate::kStatic;
constexpr WORD kListBox = DialogTemplate::kListBox;
constexpr WORD kUnanchored = 1020;

// The download dialog's rules, on stand-ins for its controls.
const ResizeRule kRules[] = {
    {1007, StretchX | StretchY}, {1008, StretchX | ShiftY}, {1009, StretchX | ShiftY}, {1012, ShiftY},
    {1013, ShiftY},              {1011, ShiftY},            {2, ShiftX | ShiftY},     {1014, ShiftY},
};

DialogTemplate DownloadLike(DWORD style) {
  DialogTemplate dialog(style, 200, 150, "Resizable");
  // A list box would round its height to whole lines; the real list does not.
  dialog.Add(1007, kListBox, "", 7, 7, 186, 80, WS_BORDER | LBS_NOINTEGRALHEIGHT)
      .Add(1012, kStatic, "Current progress:", 7, 92, 60, 8)
      .Add(1014, kStatic, "0 KB/s", 70, 92, 60, 8)
      .Add(1008, kStatic, "", 7, 102, 186, 8, SS_BLACKFRAME)
      .Add(1013, kStatic, "Global progress:", 7, 112, 60, 8)
      .Add(1009, kStatic, "", 7, 122, 186, 8, SS_BLACKFRAME)
      .Add(1011, kButton, "Pause", 7, 132, 50, 14)
      .Add(kUnanchored, kStatic, "fixed", 70, 132, 40, 8)
      .Add(2, kButton, "Cancel", 136, 132, 50, 14);
  return dialog;
}

// The dialog procedure of the test dialogs: centres, sets the resizer up
// and lets it handle its messages, as the download dialog will.
struct TestDialog {
  DialogResizer resizer;
  DialogResizer::Settings settings;
  const ResizeRule* rules = kRules;
  size_t ruleCount = sizeof kRules / sizeof kRules[0];
  bool setUp = false;
};

INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    TestDialog* state = reinterpret_cast<TestDialog*>(lParam);
    SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);
    PlaceCentred(dialog);
    state->setUp = state->resizer.Setup(dialog, state->rules, state->ruleCount, state->settings);
    return TRUE;
  }
  TestDialog* state = reinterpret_cast<TestDialog*>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
  if (state && state->resizer.HandleMessage(message, wParam, lParam)) {
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
    return TRUE;
  }
  return FALSE;
}

RECT ClientRectOf(HWND control, HWND dialog) {
  RECT r = {};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

SIZE SizeOf(const RECT& r) { return SIZE{r.right - r.left, r.bottom - r.top}; }

::testing::AssertionResult RectIs(const RECT& actual, const RECT& expected) {
  if (EqualRect(&actual, &expected)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << actual.left << "," << actual.top << ")-(" << actual.right << ","
                                       << actual.bottom << ") instead of (" << expected.left << "," << expected.top
                                       << ")-(" << expected.right << "," << expected.bottom << ")";
}

class ResizerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveDisplay()) GTEST_SKIP() << "dialogs need a display";
  }
  void TearDown() override {
    if (dialog) DestroyWindow(dialog);
    if (parent) DestroyWindow(parent);
  }

  void Open(const DialogTemplate& dialogTemplate, HWND owner = nullptr) {
    dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dialogTemplate.Get(), owner, TestDialogProc,
                                        reinterpret_cast<LPARAM>(&state));
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(state.setUp);
    ShowWindow(dialog, SW_SHOW);
    testing::PumpMessages(50);
    GetWindowRect(dialog, &initialFrame);
    GetClientRect(dialog, &initialClient);
    for (WORD id : {WORD(1007), WORD(1008), WORD(1009), WORD(1011), WORD(1012), WORD(1013), WORD(1014), WORD(2),
                    kUnanchored, WORD(kGripId)}) {
      if (HWND control = GetDlgItem(dialog, id)) initial[id] = ClientRectOf(control, dialog);
    }
  }

  void Resize(int widthChange, int heightChange) {
    SIZE size = SizeOf(initialFrame);
    SetWindowPos(dialog, nullptr, 0, 0, size.cx + widthChange, size.cy + heightChange,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // Every recorded control lies at its initial rectangle moved edge by
  // edge by (left, top, right, bottom) of `changes`, or unmoved.
  void ExpectMoved(const std::map<WORD, RECT>& changes) {
    for (const auto& [id, before] : initial) {
      RECT change = changes.count(id) ? changes.at(id) : RECT{};
      RECT expected = {before.left + change.left, before.top + change.top, before.right + change.right,
                       before.bottom + change.bottom};
      EXPECT_TRUE(RectIs(ClientRectOf(GetDlgItem(dialog, id), dialog), expected)) << "control " << id;
    }
  }

  TestDialog state;
  HWND dialog = nullptr;
  HWND parent = nullptr;
  RECT initialFrame = {};
  RECT initialClient = {};
  std::map<WORD, RECT> initial;
};

constexpr DWORD kResizable = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX;

// Setup forces WS_CLIPCHILDREN and adds a visible grip in the bottom-right corner.
TEST_F(ResizerTest, SetupAddsGripAndStyle) {
  Open(DownloadLike(kResizable));
  EXPECT_TRUE(state.resizer.HasGrip());
  EXPECT_EQ(GetWindowLongA(dialog, GWL_STYLE) & WS_CLIPCHILDREN, WS_CLIPCHILDREN);
  HWND grip = GetDlgItem(dialog, kGripId);
  ASSERT_NE(grip, nullptr);
  char className[32];
  GetClassNameA(grip, className, sizeof className);
  EXPECT_STRCASEEQ(className, "ScrollBar");
  EXPECT_TRUE(IsWindowVisible(grip));
  RECT gripRect = ClientRectOf(grip, dialog);
  EXPECT_EQ(gripRect.right, initialClient.right);
  EXPECT_EQ(gripRect.bottom, initialClient.bottom);
  EXPECT_LT(gripRect.right - gripRect.left, initialClient.right / 4) << "a grip, not a client-wide box";
}

// Growing by 100 by 50 moves each control by its rule, and nothing else.
TEST_F(ResizerTest, GrowingMovesEachControlByItsRule) {
  Open(DownloadLike(kResizable));
  Resize(100, 50);
  RECT client;
  GetClientRect(dialog, &client);
  ASSERT_EQ(client.right, initialClient.right + 100);
  ASSERT_EQ(client.bottom, initialClient.bottom + 50);
  ExpectMoved({
      {1007, {0, 0, 100, 50}},
      {1008, {0, 50, 100, 50}},
      {1009, {0, 50, 100, 50}},
      {1012, {0, 50, 0, 50}},
      {1013, {0, 50, 0, 50}},
      {1011, {0, 50, 0, 50}},
      {2, {100, 50, 100, 50}},
      {1014, {0, 50, 0, 50}},
      {WORD(kGripId), {100, 50, 100, 50}},
  });
  // Back to the initial size, everything returns to where it began.
  Resize(0, 0);
  ExpectMoved({});
}

// The initial window size is the minimum tracking size, and the dialog
// does not shrink below it.
TEST_F(ResizerTest, CannotShrinkBelowInitialSize) {
  Open(DownloadLike(kResizable));
  MINMAXINFO info = {};
  SendMessageA(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, SizeOf(initialFrame).cx);
  EXPECT_EQ(info.ptMinTrackSize.y, SizeOf(initialFrame).cy);
  Resize(-80, -40);
  RECT frame;
  GetWindowRect(dialog, &frame);
  EXPECT_EQ(SizeOf(frame).cx, SizeOf(initialFrame).cx);
  EXPECT_EQ(SizeOf(frame).cy, SizeOf(initialFrame).cy);
  ExpectMoved({});
}

// Maximising hides the grip and lays out; restoring shows it and lays out again.
TEST_F(ResizerTest, MaximiseHidesGripRestoreShowsIt) {
  Open(DownloadLike(kResizable));
  HWND grip = GetDlgItem(dialog, kGripId);
  ShowWindow(dialog, SW_MAXIMIZE);
  testing::PumpMessages(50);
  ASSERT_TRUE(IsZoomed(dialog));
  EXPECT_FALSE(IsWindowVisible(grip));
  RECT client;
  GetClientRect(dialog, &client);
  RECT list = ClientRectOf(GetDlgItem(dialog, 1007), dialog);
  EXPECT_EQ(list.right, initial[1007].right + client.right - initialClient.right);
  EXPECT_EQ(list.bottom, initial[1007].bottom + client.bottom - initialClient.bottom);

  ShowWindow(dialog, SW_RESTORE);
  testing::PumpMessages(50);
  EXPECT_FALSE(IsZoomed(dialog));
  EXPECT_TRUE(IsWindowVisible(grip));
  ExpectMoved({});
}

// A minimised size change lays nothing out, which a layout to 0 by 0 would.
TEST_F(ResizerTest, MinimisedSizeChangesNothing) {
  Open(DownloadLike(kResizable));
  SendMessageA(dialog, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
  ExpectMoved({});
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, kGripId)));
}

// A dialog that already has a control with the grip's id gets no second
// grip, and that control is neither anchored nor hidden on maximising.
TEST_F(ResizerTest, ExistingGripIdIsLeftAlone) {
  DialogTemplate withGrip = DownloadLike(kResizable);
  withGrip.Add(WORD(kGripId), kStatic, "own", 150, 20, 30, 8);
  Open(withGrip);
  EXPECT_FALSE(state.resizer.HasGrip());
  Resize(100, 50);
  EXPECT_TRUE(RectIs(ClientRectOf(GetDlgItem(dialog, kGripId), dialog), initial[WORD(kGripId)]));
  SendMessageA(dialog, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(initialClient.right, initialClient.bottom));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, kGripId)));
}

// Without grip and minimum settings, neither is added.
TEST_F(ResizerTest, SettingsTurnGripAndMinimumOff) {
  state.settings.addGrip = false;
  state.settings.enforceMinimum = false;
  Open(DownloadLike(kResizable));
  EXPECT_FALSE(state.resizer.HasGrip());
  EXPECT_EQ(GetDlgItem(dialog, kGripId), nullptr);
  MINMAXINFO info = {};
  info.ptMinTrackSize = POINT{7, 9};
  SendMessageA(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 7);
  EXPECT_EQ(info.ptMinTrackSize.y, 9);
  Resize(100, 50);
  ExpectMoved({{1007, {0, 0, 100, 50}}, {1008, {0, 50, 100, 50}}, {1009, {0, 50, 100, 50}}, {1012, {0, 50, 0, 50}},
               {1013, {0, 50, 0, 50}}, {1011, {0, 50, 0, 50}}, {2, {100, 50, 100, 50}}, {1014, {0, 50, 0, 50}}});
}

// A child dialog is centred in its parent's client area and laid out no
// smaller than its initial client size.
TEST_F(ResizerTest, ChildDialogCentresInParentAndKeepsMinimum) {
  parent = CreateWindowExA(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 50, 50, 900, 700, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(parent, nullptr);
  Open(DownloadLike(WS_CHILD | WS_VISIBLE | DS_CONTROL), parent);
  RECT parentClient;
  GetClientRect(parent, &parentClient);
  RECT placed = ClientRectOf(dialog, parent);
  EXPECT_EQ(placed.left, parentClient.right / 2 - SizeOf(initialFrame).cx / 2);
  EXPECT_EQ(placed.top, parentClient.bottom / 2 - SizeOf(initialFrame).cy / 2);

  // Shrunk by its parent, the child keeps its controls where they began.
  Resize(-60, -30);
  RECT client;
  GetClientRect(dialog, &client);
  ASSERT_EQ(client.right, initialClient.right - 60);
  ExpectMoved({});
  Resize(100, 50);
  EXPECT_TRUE(RectIs(ClientRectOf(GetDlgItem(dialog, 2), dialog),
                     RECT{initial[2].left + 100, initial[2].top + 50, initial[2].right + 100, initial[2].bottom + 50}));
}

class PlaceCentredTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveDisplay()) GTEST_SKIP() << "windows need a display";
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
  }
  void TearDown() override {
    if (window) DestroyWindow(window);
    if (owner) DestroyWindow(owner);
  }

  HWND Popup(HWND ownedBy, int x, int y, int width, int height, bool visible) {
    return CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_CAPTION | (visible ? WS_VISIBLE : 0), x, y, width, height,
                           ownedBy, nullptr, GetModuleHandleA(nullptr), nullptr);
  }

  RECT work = {};
  HWND owner = nullptr;
  HWND window = nullptr;
};

// A top-level window centres over a visible owner, is pushed back inside
// the work area near its edges, and centres on the work area when the
// owner is hidden, minimised or missing.
TEST_F(PlaceCentredTest, OverOwnerWithinWorkArea) {
  const int w = 200;
  const int h = 100;
  const LONG workCentreX = (work.left + work.right) / 2 - w / 2;
  const LONG workCentreY = (work.top + work.bottom) / 2 - h / 2;
  const struct {
    const char* name;
    bool hasOwner;
    RECT ownerRect;
    bool visible;
    bool minimised;
    POINT expected;
  } cases[] = {
      {"visible owner", true, {100, 100, 600, 500}, true, false, {250, 250}},
      {"owner near the left and top edges", true, {work.left - 300, work.top - 200, work.left + 100, work.top + 100},
       true, false, {work.left, work.top}},
      {"owner near the right and bottom edges", true, {work.right - 100, work.bottom - 50, work.right + 300,
       work.bottom + 250}, true, false, {work.right - w, work.bottom - h}},
      {"hidden owner", true, {100, 100, 600, 500}, false, false, {workCentreX, workCentreY}},
      {"minimised owner", true, {100, 100, 600, 500}, true, true, {workCentreX, workCentreY}},
      {"no owner", false, {}, false, false, {workCentreX, workCentreY}},
  };
  for (const auto& c : cases) {
    owner = nullptr;
    if (c.hasOwner) {
      owner = Popup(nullptr, c.ownerRect.left, c.ownerRect.top, c.ownerRect.right - c.ownerRect.left,
                    c.ownerRect.bottom - c.ownerRect.top, c.visible);
      ASSERT_NE(owner, nullptr) << c.name;
      if (c.minimised) ShowWindow(owner, SW_MINIMIZE);
    }
    window = Popup(owner, 3, 4, w, h, true);
    ASSERT_NE(window, nullptr) << c.name;
    PlaceCentred(window);
    RECT placed;
    GetWindowRect(window, &placed);
    EXPECT_EQ(placed.left, c.expected.x) << c.name;
    EXPECT_EQ(placed.top, c.expected.y) << c.name;
    EXPECT_EQ(SizeOf(placed).cx, w) << c.name << ": the size stays";
    EXPECT_EQ(SizeOf(placed).cy, h) << c.name;
    DestroyWindow(window);
    window = nullptr;
    if (owner) DestroyWindow(owner);
    owner = nullptr;
  }
}

// A child window larger than its parent's client area starts at the near
// edge when its centred position lies before it.
TEST_F(PlaceCentredTest, ChildLargerThanParent) {
  owner = Popup(nullptr, 100, 100, 300, 200, true);
  ASSERT_NE(owner, nullptr);
  window = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 5, 5, 500, 400, owner, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  PlaceCentred(window);
  RECT placed = ClientRectOf(window, owner);
  EXPECT_EQ(placed.left, 0);
  EXPECT_EQ(placed.top, 0);
}

}  // namespace
}  // namespace korvelt
