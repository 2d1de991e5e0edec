// Test helpers: a real window whose messages reach the close rules as the saver window's do.
#include "tests/support/saver_test_window.h"

#include <vector>

#include "host/close_rules.h"
#include "host/host_state.h"

void ResetHostState(BOOL isWin9x, BOOL isPreview) {
  g_host.isWin9x = isWin9x;
  g_host.isPreview = isPreview;
  g_host.queryCancelAutoPlayMessage = 0;
  g_host.cursorAnchor.x = 0;
  g_host.cursorAnchor.y = 0;
  g_host.closeAllowed = 0;
  g_host.isVerifying = 0;
  g_host.passwordModule = NULL;
  g_host.verifyPasswordEntry = NULL;
  g_host.lastVerifyTick = kNoVerifyTick;
}

static bool IsFilteredInput(UINT message) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_PAINT:
      return true;
  }
  return false;
}

static LRESULT CALLBACK CloseRulesWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_host.closeAllowed && IsFilteredInput(message)) return DefWindowProcA(window, message, wParam, lParam);
  if (g_host.closeAllowed && message == WM_TIMER) return 0;
  return DefaultSaverProc(window, message, wParam, lParam);
}

HWND CreateCloseRulesWindow() {
  static ATOM registered = 0;
  if (!registered) {
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = CloseRulesWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "CloseRulesTestWindow";
    registered = RegisterClassA(&windowClass);
  }
  HWND window = CreateWindowExA(0, "CloseRulesTestWindow", "close rules", WS_POPUP, 0, 0, 100, 100, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
  MSG message;
  while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) {
  }
  return window;
}

int TakePostedCloses(HWND window) {
  int count = 0;
  MSG message;
  while (PeekMessageA(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE)) ++count;
  return count;
}

int CountPendingTimers(HWND window) {
  std::vector<MSG> taken;
  MSG message;
  while (PeekMessageA(&message, window, WM_TIMER, WM_TIMER, PM_REMOVE)) taken.push_back(message);
  for (const MSG &each : taken) PostMessageA(window, WM_TIMER, each.wParam, each.lParam);
  return static_cast<int>(taken.size());
}
