// The saver window: class, full-screen and preview forms, and the message loop.
#pragma once
#include <windows.h>

int RunSaverWindow(HWND parent);
LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
