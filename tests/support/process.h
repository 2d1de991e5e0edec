// Test helpers: start the built programs as Windows starts them, and wait for them.
#pragma once
#include <windows.h>

#include <string>

// Folder of the running test program (the build folder, where the .scr lies).
std::string BuildFolder();
// Starts `program` (a path) with `arguments` as a real command line; returns the process or NULL.
HANDLE StartProgram(const std::string &program, const std::string &arguments);
// Waits up to `milliseconds` for the process to end; returns its exit code as a signed value,
// or kStillRunning. The handle is closed when the process has ended.
const int kStillRunning = 0x7FFFFFFF;
int WaitForExit(HANDLE process, DWORD milliseconds);
// Polls for a top-level window of this class and title (either may be NULL) for up to `milliseconds`.
HWND WaitForWindowW(const wchar_t *className, const wchar_t *title, DWORD milliseconds);
// Makes Wine report the Windows 98 family to programs of this file name (for example "x.scr").
void ReportWin98To(const std::string &exeName, bool on);
