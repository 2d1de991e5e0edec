// The saver window: an empty full-screen or preview window that the close rules end.
#include "host/saver_window.h"

#include "host/close_rules.h"
#include "host/host_state.h"
#include "host/password_hooks.h"

static const char kSaverClassName[] = "WindowsScreenSaverClass";

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      GetCursorPos(&g_host.cursorAnchor);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefaultSaverProc(window, message, wParam, lParam);
}

int RunSaverWindow(HWND parent) {
  WNDCLASSA windowClass;
  ZeroMemory(&windowClass, sizeof(windowClass));
  windowClass.lpfnWndProc = SaverWindowProc;
  windowClass.hInstance = g_host.instance;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kSaverClassName;
  RECT area = {0, 0, 0, 0};
  if (parent) {
    GetClientRect(parent, &area);
    g_host.isPreview = 1;
  } else {
    area.right = GetSystemMetrics(SM_CXSCREEN);
    area.bottom = GetSystemMetrics(SM_CYSCREEN);
    LoadPasswordHook();
  }
  if (RegisterClassA(&windowClass))
    g_host.saverWindow = CreateWindowExA(parent ? 0 : WS_EX_TOPMOST, kSaverClassName, parent ? "Preview" : "Screen Saver",
                                         parent ? WS_CHILD | WS_VISIBLE : WS_POPUP | WS_VISIBLE, 0, 0, area.right,
                                         area.bottom, parent, NULL, g_host.instance, NULL);
  MSG message;
  ZeroMemory(&message, sizeof(message));
  if (g_host.saverWindow) {
    while (GetMessageA(&message, NULL, 0, 0)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  UnloadPasswordHook();
  return static_cast<int>(message.wParam);
}
