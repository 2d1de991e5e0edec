// The saver window on real windows: its message filter row by row, its two forms, the
// single-instance rule, the message loop and the input-method detach.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_state.h"
#include "host/saver_window.h"

namespace {

const char kTestClass[] = "LumetaSaverFilterTest";
const LRESULT kMarker = 0x5A17;
const UINT kInspect = WM_APP + 7;

// One thing that happened: a message that reached the slide show, or a Sleep.
struct Event {
  UINT message;  // 0 for Sleep
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Event> g_events;
bool g_marking;  // while true the slide-show recorder answers kMarker to everything
int g_loads;
int g_unloads;

// What the window looked like from inside the message loop.
struct Inspection {
  LONG style, exStyle;
  char title[64];
  RECT rect;
  DWORD classStyle;
  ULONG_PTR brush, icon, cursor;
  HWND foreground;
  HCURSOR currentCursor;
} g_seen;

void InspectAndClose(HWND window) {
  g_seen.style = GetWindowLongA(window, GWL_STYLE);
  g_seen.exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  InternalGetWindowText(window, NULL, 0);
  GetWindowTextA(window, g_seen.title, sizeof(g_seen.title));
  GetWindowRect(window, &g_seen.rect);
  g_seen.classStyle = static_cast<DWORD>(GetClassLongPtrA(window, GCL_STYLE));
  g_seen.brush = GetClassLongPtrA(window, GCLP_HBRBACKGROUND);
  g_seen.icon = GetClassLongPtrA(window, GCLP_HICON);
  g_seen.cursor = GetClassLongPtrA(window, GCLP_HCURSOR);
  g_seen.foreground = GetForegroundWindow();
  g_seen.currentCursor = GetCursor();
  DestroyWindow(window);
}

LRESULT CALLBACK RecordingSlideProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  g_events.push_back(Event{message, wParam, lParam});
  if (g_marking) return kMarker;
  if (message == WM_CREATE) {
    PostMessageA(window, kInspect, 0, 0);
    return 0;
  }
  if (message == kInspect) {
    InspectAndClose(window);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
void CountLoad() { ++g_loads; }
void CountUnload() { ++g_unloads; }
void WINAPI RecordSleep(DWORD milliseconds) { g_events.push_back(Event{0, milliseconds, 0}); }

class SaverWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    saved = g_windowCalls;
    g_windowCalls.slideSaverProc = RecordingSlideProc;
    g_windowCalls.loadPasswordHook = CountLoad;
    g_windowCalls.unloadPasswordHook = CountUnload;
    g_windowCalls.yieldTimeSlice = RecordSleep;
    ZeroMemory(&g_host, sizeof(g_host));
    g_host.instance = GetModuleHandleA(NULL);
    g_events.clear();
    g_marking = false;
    g_loads = g_unloads = 0;
    ZeroMemory(&g_seen, sizeof(g_seen));
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = SaverWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = kTestClass;
    RegisterClassA(&windowClass);
  }

  void TearDown() override {
    g_marking = false;
    for (HWND window : created)
      if (IsWindow(window)) DestroyWindow(window);
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA(kTestClass, GetModuleHandleA(NULL));
    UnregisterClassA(kSaverClassName, GetModuleHandleA(NULL));
    g_windowCalls = saved;
  }

  // A window whose procedure is SaverWindowProc, in the form of the given mode.
  HWND MakeWindow(bool preview, HWND parent = NULL) {
    g_host.isPreview = preview ? 1 : 0;
    HWND window = CreateWindowExA(0, kTestClass, "filter", preview && parent ? WS_CHILD | WS_VISIBLE : WS_POPUP | WS_VISIBLE,
                                  0, 0, 100, 80, parent, NULL, GetModuleHandleA(NULL), NULL);
    EXPECT_TRUE(window != NULL);
    created.push_back(window);
    g_events.clear();
    return window;
  }

  HWND MakeParent() {
    HWND parent = CreateWindowExA(0, "STATIC", "parent", WS_POPUP | WS_VISIBLE, 300, 200, 200, 150, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    created.push_back(parent);
    return parent;
  }

  // Sends one message straight to SaverWindowProc and reports whether it reached the slide show.
  bool Reaches(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result) {
    g_events.clear();
    g_marking = true;
    *result = SaverWindowProc(window, message, wParam, lParam);
    g_marking = false;
    for (const Event &event : g_events)
      if (event.message == message) return true;
    return false;
  }

  int Sleeps() {
    int count = 0;
    for (const Event &event : g_events) count += event.message == 0;
    return count;
  }

  SaverWindowCalls saved;
  std::vector<HWND> created;
};

// Takes the saver's class name for a plain class, as another saver process would hold it.
bool RegisterForeignSaverClass() {
  WNDCLASSA other;
  ZeroMemory(&other, sizeof(other));
  other.lpfnWndProc = DefWindowProcA;
  other.hInstance = GetModuleHandleA(NULL);
  other.lpszClassName = kSaverClassName;
  return RegisterClassA(&other) != 0;
}

const UINT kInputMessages[] = {WM_KEYDOWN, WM_SYSKEYDOWN, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};

TEST_F(SaverWindowTest, InputPassesOnUntilACloseIsAllowedThenGoesToTheDefault) {
  for (bool preview : {false, true}) {
    HWND window = MakeWindow(preview);
    for (UINT message : kInputMessages) {
      LRESULT result = 0;
      g_host.closeAllowed = 0;
      EXPECT_TRUE(Reaches(window, message, 'K', MAKELPARAM(5, 6), &result)) << message;
      EXPECT_EQ(kMarker, result);
      ASSERT_EQ(1u, g_events.size());
      EXPECT_EQ(static_cast<WPARAM>('K'), g_events[0].wParam) << "passed unchanged";
      EXPECT_EQ(MAKELPARAM(5, 6), g_events[0].lParam);
      g_host.closeAllowed = 1;
      EXPECT_FALSE(Reaches(window, message, 'K', 0, &result)) << message;
      EXPECT_EQ(DefWindowProcA(window, message, 'K', 0), result);
    }
  }
}

TEST_F(SaverWindowTest, TimerSleepsThenPassesOnAndIsDroppedOnceACloseIsAllowed) {
  HWND window = MakeWindow(false);
  LRESULT result = 0;
  EXPECT_TRUE(Reaches(window, WM_TIMER, 1, 0, &result));
  EXPECT_EQ(kMarker, result);
  ASSERT_EQ(2u, g_events.size());
  EXPECT_EQ(0u, g_events[0].message) << "Sleep first";
  EXPECT_EQ(0u, g_events[0].wParam) << "Sleep(0)";
  EXPECT_EQ(static_cast<UINT>(WM_TIMER), g_events[1].message);
  g_host.closeAllowed = 1;
  for (WPARAM id : {1, 2}) {
    EXPECT_FALSE(Reaches(window, WM_TIMER, id, 0, &result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(0, Sleeps()) << "no Sleep(0) for a dropped tick";
  }
}

TEST_F(SaverWindowTest, PaintPassesOnAndHidesTheCursorInFullScreenOnly) {
  HCURSOR arrow = LoadCursorA(NULL, reinterpret_cast<LPCSTR>(IDC_ARROW));
  for (bool preview : {false, true}) {
    HWND window = MakeWindow(preview);
    SetCursor(arrow);
    LRESULT result = 0;
    EXPECT_TRUE(Reaches(window, WM_PAINT, 0, 0, &result));
    EXPECT_EQ(kMarker, result);
    EXPECT_EQ(preview ? arrow : NULL, GetCursor()) << (preview ? "preview" : "full screen");
  }
}

TEST_F(SaverWindowTest, PaintGoesToTheDefaultOnceACloseIsAllowed) {
  HWND window = MakeWindow(false);
  g_host.closeAllowed = 1;
  InvalidateRect(window, NULL, FALSE);
  LRESULT result = 0;
  EXPECT_FALSE(Reaches(window, WM_PAINT, 0, 0, &result));
  EXPECT_EQ(0, result);
  RECT update;
  EXPECT_FALSE(GetUpdateRect(window, &update, FALSE)) << "the default paint validated the window";
}

TEST_F(SaverWindowTest, TitleNeverChanges) {
  HWND window = MakeWindow(false);
  g_marking = true;
  EXPECT_EQ(0, SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("changed")));
  SetWindowTextA(window, "changed too");
  g_marking = false;
  char title[32];
  GetWindowTextA(window, title, sizeof(title));
  EXPECT_STREQ("filter", title);
  for (const Event &event : g_events) EXPECT_NE(static_cast<UINT>(WM_SETTEXT), event.message);
}

TEST_F(SaverWindowTest, SwitchingSystemCommandsAreSwallowedInFullScreenOnly) {
  struct Row {
    WPARAM command;
    bool swallowedInFullScreen;
  } rows[] = {{SC_NEXTWINDOW, true}, {SC_PREVWINDOW, true}, {SC_SCREENSAVE, true},  {SC_CLOSE, false},
              {SC_SCREENSAVE | 1, false}, {SC_NEXTWINDOW | 2, false}, {SC_MINIMIZE, false}, {SC_TASKLIST, false}};
  for (bool preview : {false, true}) {
    HWND window = MakeWindow(preview);
    for (const Row &row : rows) {
      LRESULT result = 0;
      bool swallowed = row.swallowedInFullScreen && !preview;
      EXPECT_EQ(!swallowed, Reaches(window, WM_SYSCOMMAND, row.command, 0, &result)) << std::hex << row.command;
      EXPECT_EQ(swallowed ? 0 : kMarker, result);
    }
  }
}

TEST_F(SaverWindowTest, PreviewForwardsHelpAndContextMenuToItsParent) {
  HWND parent = MakeParent();
  HWND window = MakeWindow(true, parent);
  ASSERT_EQ(parent, GetParent(window));
  MSG message;
  LRESULT result = 0;
  EXPECT_FALSE(Reaches(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(320, 240), &result));
  EXPECT_EQ(1, result);
  ASSERT_TRUE(PeekMessageA(&message, parent, WM_CONTEXTMENU, WM_CONTEXTMENU, PM_REMOVE));
  EXPECT_EQ(reinterpret_cast<WPARAM>(parent), message.wParam) << "the parent's own handle";
  EXPECT_EQ(MAKELPARAM(320, 240), message.lParam);
  // WM_HELP carries a pointer, so the platform refuses to post it; the preview still
  // keeps it from the slide show and answers 1.
  HELPINFO help;
  ZeroMemory(&help, sizeof(help));
  help.cbSize = sizeof(help);
  EXPECT_FALSE(Reaches(window, WM_HELP, 0, reinterpret_cast<LPARAM>(&help), &result));
  EXPECT_EQ(1, result);
  // A preview window whose parent is gone still answers 1 and posts nothing.
  HWND orphan = MakeWindow(true);
  EXPECT_FALSE(Reaches(orphan, WM_CONTEXTMENU, 0, 0, &result));
  EXPECT_EQ(1, result);
}

TEST_F(SaverWindowTest, FullScreenPassesHelpAndContextMenuOn) {
  HWND window = MakeWindow(false);
  for (UINT request : {static_cast<UINT>(WM_CONTEXTMENU), static_cast<UINT>(WM_HELP)}) {
    LRESULT result = 0;
    EXPECT_TRUE(Reaches(window, request, 0, 0, &result));
    EXPECT_EQ(kMarker, result);
  }
}

TEST_F(SaverWindowTest, EveryOtherMessagePassesOnUnchanged) {
  for (bool preview : {false, true}) {
    HWND window = MakeWindow(preview);
    g_host.closeAllowed = preview ? 1 : 0;
    for (UINT message : {static_cast<UINT>(WM_CLOSE), static_cast<UINT>(WM_ERASEBKGND), static_cast<UINT>(WM_ACTIVATEAPP),
                         static_cast<UINT>(WM_KEYUP), static_cast<UINT>(WM_APP), static_cast<UINT>(WM_USER + 3)}) {
      LRESULT result = 0;
      EXPECT_TRUE(Reaches(window, message, 77, 88, &result)) << message;
      EXPECT_EQ(kMarker, result);
      EXPECT_EQ(77u, g_events[0].wParam);
      EXPECT_EQ(88, g_events[0].lParam);
    }
  }
}

TEST_F(SaverWindowTest, CreationRecordsTheCursorAnchorAndHidesTheCursorInFullScreen) {
  HCURSOR arrow = LoadCursorA(NULL, reinterpret_cast<LPCSTR>(IDC_ARROW));
  SetCursorPos(123, 45);
  POINT expected;
  GetCursorPos(&expected);
  SetCursor(arrow);
  MakeWindow(false);
  EXPECT_EQ(expected.x, g_host.cursorAnchor.x);
  EXPECT_EQ(expected.y, g_host.cursorAnchor.y);
  EXPECT_EQ(NULL, GetCursor());
  SetCursor(arrow);
  MakeWindow(true);
  EXPECT_EQ(arrow, GetCursor()) << "a preview leaves the cursor alone";
}

typedef HANDLE(WINAPI *ImmGetContextProc)(HWND);
typedef BOOL(WINAPI *ImmReleaseContextProc)(HWND, HANDLE);

TEST_F(SaverWindowTest, InputMethodIsDetachedAtCreationAndRestoredAtDestruction) {
  HMODULE imm = LoadLibraryA("IMM32.DLL");
  ASSERT_TRUE(imm != NULL);
  ImmGetContextProc getContext = reinterpret_cast<ImmGetContextProc>(reinterpret_cast<void (*)()>(GetProcAddress(imm, "ImmGetContext")));
  ImmReleaseContextProc releaseContext =
      reinterpret_cast<ImmReleaseContextProc>(reinterpret_cast<void (*)()>(GetProcAddress(imm, "ImmReleaseContext")));
  HWND window = MakeWindow(false);
  EXPECT_EQ(imm, g_host.imeModule);
  EXPECT_TRUE(g_host.imeAssociateContext != NULL);
  ASSERT_TRUE(g_host.savedImeContext != NULL) << "the window had its default input context";
  HANDLE during = getContext(window);
  EXPECT_TRUE(during == NULL) << "no input context while the saver runs";
  if (during) releaseContext(window, during);
  LRESULT result = 0;
  EXPECT_TRUE(Reaches(window, WM_DESTROY, 0, 0, &result));
  EXPECT_EQ(kMarker, result);
  HANDLE after = getContext(window);
  EXPECT_EQ(g_host.savedImeContext, after);
  if (after) releaseContext(window, after);
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_DESTROY posts the quit message";
  EXPECT_EQ(0u, message.wParam);
  FreeLibrary(imm);
}

TEST_F(SaverWindowTest, DestructionWithoutASavedContextRestoresNothing) {
  HWND window = MakeWindow(false);
  g_host.savedImeContext = NULL;
  LRESULT result = 0;
  EXPECT_TRUE(Reaches(window, WM_DESTROY, 0, 0, &result));
  EXPECT_EQ(kMarker, result);
}

TEST_F(SaverWindowTest, FullScreenRunCreatesTheTopmostPopupOverTheScreenAndEndsWithZero) {
  EXPECT_EQ(0, RunSaverWindow(NULL));
  EXPECT_EQ(1, g_loads);
  EXPECT_EQ(1, g_unloads);
  EXPECT_TRUE(g_host.saverWindow != NULL);
  EXPECT_EQ(0, g_host.isPreview);
  EXPECT_EQ(static_cast<LONG>(0x96000000), g_seen.style);
  EXPECT_EQ(WS_EX_TOPMOST, g_seen.exStyle & WS_EX_TOPMOST);
  EXPECT_STREQ("Screen Saver", g_seen.title);
  HDC screen = GetDC(NULL);
  RECT box;
  GetClipBox(screen, &box);
  ReleaseDC(NULL, screen);
  EXPECT_EQ(box.left, g_seen.rect.left);
  EXPECT_EQ(box.top, g_seen.rect.top);
  EXPECT_EQ(box.right, g_seen.rect.right);
  EXPECT_EQ(box.bottom, g_seen.rect.bottom);
  EXPECT_EQ(0x2Bu, g_seen.classStyle);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(GetStockObject(BLACK_BRUSH)), g_seen.brush);
  EXPECT_EQ(0u, g_seen.icon) << "icon 100 does not exist";
  EXPECT_EQ(0u, g_seen.cursor);
  EXPECT_EQ(g_host.saverWindow, g_seen.foreground);
  EXPECT_EQ(NULL, g_seen.currentCursor);
  EXPECT_EQ(0u, g_host.queryCancelAutoPlayMessage) << "NT family";
}

TEST_F(SaverWindowTest, PreviewRunCreatesAChildOverTheParentsClientArea) {
  HWND parent = MakeParent();
  SetForegroundWindow(parent);
  g_host.isWin9x = 1;
  EXPECT_EQ(0, RunSaverWindow(parent));
  EXPECT_EQ(0, g_loads) << "a preview loads no password component";
  EXPECT_EQ(1, g_unloads);
  EXPECT_EQ(1, g_host.isPreview);
  EXPECT_EQ(static_cast<LONG>(0x52000000), g_seen.style);
  EXPECT_EQ(0, g_seen.exStyle & WS_EX_TOPMOST);
  EXPECT_STREQ("Preview", g_seen.title);
  RECT parentRect;
  GetWindowRect(parent, &parentRect);
  EXPECT_EQ(parentRect.left, g_seen.rect.left);
  EXPECT_EQ(parentRect.top, g_seen.rect.top);
  EXPECT_EQ(200, g_seen.rect.right - g_seen.rect.left);
  EXPECT_EQ(150, g_seen.rect.bottom - g_seen.rect.top);
  EXPECT_NE(g_host.saverWindow, g_seen.foreground) << "a preview does not take the foreground";
  EXPECT_EQ(RegisterWindowMessageA("QueryCancelAutoPlay"), g_host.queryCancelAutoPlayMessage) << "9x family";
}

TEST_F(SaverWindowTest, SecondFullScreenStartBringsTheFirstForwardAndEndsWithZero) {
  ASSERT_TRUE(RegisterForeignSaverClass());
  HWND first = CreateWindowExA(0, kSaverClassName, "Screen Saver", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, NULL, NULL,
                               GetModuleHandleA(NULL), NULL);
  created.push_back(first);
  HWND other_window = MakeParent();
  SetForegroundWindow(other_window);
  EXPECT_EQ(0, RunSaverWindow(NULL));
  EXPECT_EQ(0, g_loads);
  EXPECT_EQ(0, g_unloads);
  EXPECT_TRUE(g_host.saverWindow == NULL) << "no window created";
  EXPECT_EQ(first, GetForegroundWindow());
}

TEST_F(SaverWindowTest, ClassThatCannotBeRegisteredEndsWithoutAWindowAndMinusOne) {
  // The class exists already (under another title, so the single-instance rule lets the start go on).
  ASSERT_TRUE(RegisterForeignSaverClass());
  EXPECT_EQ(kExitNoWindow, RunSaverWindow(NULL));
  EXPECT_EQ(1, g_loads);
  EXPECT_EQ(1, g_unloads) << "the password component is unloaded all the same";
  EXPECT_TRUE(g_host.saverWindow == NULL);
}

TEST_F(SaverWindowTest, WindowThatCannotBeCreatedEndsWithMinusOne) {
  HWND gone = MakeParent();
  DestroyWindow(gone);
  EXPECT_EQ(kExitNoWindow, RunSaverWindow(gone));
  EXPECT_EQ(1, g_unloads);
  EXPECT_TRUE(g_host.saverWindow == NULL);
}

}  // namespace
