// Test helpers: a real window whose messages reach the close rules as the saver window's do.
#pragma once
#include <windows.h>

// Puts the host's flags back to those of a fresh run: family, preview, nothing loaded,
// no close allowed, no check yet, the anchor at (0, 0).
void ResetHostState(BOOL isWin9x, BOOL isPreview);
// A hidden top-level window. Its procedure keeps input, ticks and paints away once a
// close is allowed (as the saver window's filter does) and passes everything else to
// DefaultSaverProc. Nothing is left in its queue when it is returned.
HWND CreateCloseRulesWindow();
// Takes every WM_CLOSE waiting in the window's queue; returns how many there were.
int TakePostedCloses(HWND window);
// Counts the WM_TIMER messages waiting for the window without taking them.
int CountPendingTimers(HWND window);
