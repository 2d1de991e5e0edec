// The saver window: class, full-screen and preview forms, message filter and message loop.
#pragma once
#include <windows.h>

// Exit code of a run whose window class could not be registered or window not created.
const int kExitNoWindow = -1;

extern const char kSaverClassName[];     // "WindowsScreenSaverClass"
extern const char kFullScreenTitle[];    // "Screen Saver"
extern const char kPreviewTitle[];       // "Preview"

int RunSaverWindow(HWND parent);
LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The calls through which the saver window reaches the slide show, the password hooks and
// the scheduler. Production code never changes them; tests put recorders in their place.
struct SaverWindowCalls {
  LRESULT(CALLBACK *slideSaverProc)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void (*loadPasswordHook)();
  void (*unloadPasswordHook)();
  void(WINAPI *yieldTimeSlice)(DWORD milliseconds);
};
extern SaverWindowCalls g_windowCalls;
