// Test helper: runs a modal dialog on the test's thread while a script drives it from another thread,
// finding windows and controls and acting on them as a user would.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

// Runs runDialog on this thread and script on a second thread that gets this thread's id.
// Whatever the script leaves open is closed afterwards, so a failed script cannot hang the test.
INT_PTR RunDialogWithScript(const std::function<INT_PTR()> &runDialog,
                            const std::function<void(DWORD uiThread)> &script);

// Waits (up to 10 seconds) for a visible top-level window of the thread that matches.
HWND WaitForWindow(DWORD thread, const std::function<bool(HWND)> &match);
// Waits until the window is gone or hidden; false after 10 seconds.
bool WaitUntilClosed(HWND window);
// Closes every top-level window that the thread still shows, innermost first.
void CloseThreadWindows(DWORD thread);

bool IsDialogWindow(HWND window);
std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string &text);
// Clicks a push button the way the mouse does, without waiting for what the click starts.
void PressButton(HWND dialog, int id);
// A child window (at any depth) whose text is exactly text, or NULL.
HWND FindChildWithText(HWND parent, const std::string &text);
// A child window (at any depth) of the class, or NULL.
HWND FindChildOfClass(HWND parent, const char *className);
// Posts a key press (down and up) to a window, so that it passes through the dialog's message loop.
void PostKeyPress(HWND window, UINT virtualKey);
