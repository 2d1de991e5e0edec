// The saver window's default message handling: input into close requests, guarded closes.
#pragma once
#include <windows.h>

// A mouse movement closes only when |dx| + |dy| from the anchor exceeds this many pixels.
const UINT32 kMoveThreshold = 4;

LRESULT CALLBACK DefaultSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
