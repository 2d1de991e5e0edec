// The saver window's default message handling: input into close requests, guarded closes.
#pragma once
#include <windows.h>

LRESULT CALLBACK DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
