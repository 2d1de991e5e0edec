// Process start-up: the command tail, the switch dispatcher and the mode entries.
#pragma once
#include <windows.h>

// The dialog template of the configuration dialog.
const int kConfigDialogId = 2003;
// Exit code for an unrecognised switch, an invalid preview window, or /a on NT.
const int kExitRejected = -1;

void RunFromCommandLine();
const char *FindCommandTail(const char *commandLine);
int DispatchSaverSwitch(HINSTANCE instance, const char *tail);
HWND ParseWindowHandle(const char *text);
int RunPreview(const char *text);
int RunConfiguration(HWND parent);
BOOL PrepareDialogClasses(HINSTANCE instance);
int RunPasswordChange(const char *text);

// The calls through which the dispatcher reaches the other subsystems' modes.
// Production code never changes them; tests put recorders in their place.
struct SaverModeCalls {
  int (*runSaverWindow)(HWND parent);
  void (*changeSaverPassword)(HWND parent);
  INT_PTR(WINAPI *dialogBoxParam)(HINSTANCE instance, LPCSTR templateName, HWND owner,
                                  DLGPROC proc, LPARAM param);
};
extern SaverModeCalls g_modeCalls;
