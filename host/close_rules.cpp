// The saver window's default message handling: turns input into a posted WM_CLOSE,
// lets WM_CLOSE through only once the password hooks allow it, answers the AutoPlay query.
#include "host/close_rules.h"

#include "host/host_state.h"
#include "host/password_hooks.h"

// Every end of a run goes through a posted WM_CLOSE, so that on the 9x family the
// close passes the password check in the WM_CLOSE handling below.
static void RequestClose(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

static void RecordCursorAnchor() { GetCursorPos(&g_host.cursorAnchor); }

// Distance between two coordinates, computed without signed overflow.
static UINT32 Distance(LONG a, LONG b) {
  return a >= b ? static_cast<UINT32>(a) - static_cast<UINT32>(b) : static_cast<UINT32>(b) - static_cast<UINT32>(a);
}

// The handlers below return TRUE when the message is answered at once with 1,
// FALSE when it goes on to the AutoPlay step and the default handling.

static BOOL OnShowWindow(WPARAM shown) {
  if (shown) SetCursor(NULL);
  return FALSE;
}

static BOOL OnActivateApp(HWND window, WPARAM active) {
  if (!active) RequestClose(window);  // another program took the activation
  return FALSE;
}

static BOOL OnSetCursor() {
  SetCursor(NULL);
  return TRUE;
}

static BOOL OnPower(HWND window, WPARAM event) {
  if (event == PWR_CRITICALRESUME) RequestClose(window);
  return FALSE;
}

static BOOL OnCloseInput(HWND window) {
  RequestClose(window);
  return FALSE;
}

// The message's own coordinates are client coordinates and arrive for synthetic moves
// too; the cursor position against the anchor measures what the user really moved.
static BOOL OnMouseMove(HWND window) {
  POINT now;
  if (!GetCursorPos(&now)) return FALSE;
  UINT32 moved = Distance(now.x, g_host.cursorAnchor.x) + Distance(now.y, g_host.cursorAnchor.y);
  if (moved > kMoveThreshold) {
    RequestClose(window);
    g_host.cursorAnchor = now;
  }
  return FALSE;
}

// Input of a running full-screen saver while no password dialog is open.
static BOOL OnRunningInput(HWND window, UINT message, WPARAM wParam) {
  switch (message) {
    case WM_SHOWWINDOW: return OnShowWindow(wParam);
    case WM_ACTIVATEAPP: return OnActivateApp(window, wParam);
    case WM_SETCURSOR: return OnSetCursor();
    case WM_POWER: return OnPower(window, wParam);
    case WM_POWERBROADCAST: return OnCloseInput(window);
    case WM_KEYDOWN: return OnCloseInput(window);
    case WM_SYSKEYDOWN: return OnCloseInput(window);
    case WM_LBUTTONDOWN: return OnCloseInput(window);
    case WM_RBUTTONDOWN: return OnCloseInput(window);
    case WM_MBUTTONDOWN: return OnCloseInput(window);
    case WM_MOUSEMOVE: return OnMouseMove(window);
  }
  return FALSE;
}

// WM_CLOSE of a running full-screen saver: TRUE when it may go on to destroy the window.
static BOOL OnCloseRunning(HWND window) {
  if (!g_host.isWin9x || VerifyBeforeClose(window)) return TRUE;
  RecordCursorAnchor();  // refused: later movement is measured from here
  return FALSE;
}

// The nested check that VerifyBeforeClose sends: the component's verdict, or
// "accepted" when no component is loaded.
static LRESULT OnVerifyPassword(HWND window) {
  if (!g_host.verifyPasswordEntry) return 1;
  return g_host.verifyPasswordEntry(window);
}

// The 9x AutoPlay query: the inserted disc ends the saver, and AutoPlay is cancelled
// (answer 1) only when a password keeps the desktop locked.
static BOOL IsAutoPlayQuery(UINT message) {
  return g_host.queryCancelAutoPlayMessage != 0 && message == g_host.queryCancelAutoPlayMessage;
}

static LRESULT OnAutoPlayQuery(HWND window) {
  RequestClose(window);
  return g_host.verifyPasswordEntry ? 1 : 0;
}

LRESULT CALLBACK DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Gate A: a full-screen run whose close has not been allowed yet.
  if (!g_host.isPreview && !g_host.closeAllowed) {
    if (message == WM_CLOSE) {
      if (!OnCloseRunning(window)) return 0;
    } else if (message == SVM_VERIFYPASSWORD) {
      if (g_host.isWin9x) return OnVerifyPassword(window);
    } else if (!g_host.isVerifying) {  // gate B: no password dialog open
      if (OnRunningInput(window, message, wParam)) return 1;
    }
  }
  if (IsAutoPlayQuery(message)) return OnAutoPlayQuery(window);
  return DefWindowProcA(window, message, wParam, lParam);
}
