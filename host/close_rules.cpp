// The saver window's default message handling: a key press closes a full-screen run.
#include "host/close_rules.h"

#include "host/host_state.h"

LRESULT CALLBACK DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN && !g_host.isPreview) PostMessageA(window, WM_CLOSE, 0, 0);
  return DefWindowProcA(window, message, wParam, lParam);
}
