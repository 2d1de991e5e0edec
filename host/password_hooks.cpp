// The 9x screen-saver password hooks: the user's setting, PASSWORD.CPL around a
// full-screen run, the check before each close, and MPR.DLL's change-password dialog.
#include "host/password_hooks.h"

#include "host/host_state.h"

PasswordHookCalls g_passwordCalls = {RegOpenKeyA,  RegQueryValueExA,      RegCloseKey, LoadLibraryA, GetProcAddress,
                                     FreeLibrary, SystemParametersInfoA, GetTickCount};

static const char kDesktopKey[] = "Control Panel\\Desktop";
static const char kUsePasswordValue[] = "ScreenSaveUsePassword";
static const char kPasswordComponent[] = "PASSWORD.CPL";
static const char kVerifyEntryName[] = "VerifyScreenSavePwd";
static const char kChangeComponent[] = "MPR.DLL";
static const char kChangeEntryName[] = "PwdChangePasswordA";
static const char kPasswordProvider[] = "SCRSAVE";

// GetProcAddress hands out a generic function type; the entry's real type is known
// by its name. The cast goes through void(*)() so that no signature is assumed twice.
typedef void (*AnyProc)();

void SetSaverRunning(BOOL flag) {
  // The previous state is written back into flag and not used.
  if (g_host.isWin9x) g_passwordCalls.systemParametersInfo(SPI_SETSCREENSAVERRUNNING, flag, &flag, 0);
}

// The user's setting is read as at most four bytes whatever its registry type: a text
// "0" reads as the bytes 0x30 0x00 and counts as set; a longer value fails the query.
// Bytes that a shorter value leaves unfilled read as 0.
static BOOL IsPasswordWanted(HKEY desktop) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  LONG result = g_passwordCalls.regQueryValueEx(desktop, kUsePasswordValue, NULL, NULL,
                                                reinterpret_cast<LPBYTE>(&value), &size);
  return result == ERROR_SUCCESS && value != 0;
}

static void LoadPasswordComponent() {
  g_host.passwordModule = g_passwordCalls.loadLibrary(kPasswordComponent);
  if (!g_host.passwordModule) return;
  FARPROC entry = g_passwordCalls.getProcAddress(g_host.passwordModule, kVerifyEntryName);
  g_host.verifyPasswordEntry = reinterpret_cast<VerifyScreenSavePwdProc>(reinterpret_cast<AnyProc>(entry));
  if (g_host.verifyPasswordEntry)
    SetSaverRunning(1);
  else
    UnloadPasswordHook();  // no entry: the library is of no use
}

void LoadPasswordHook() {
  if (!g_host.isWin9x) return;
  if (g_host.passwordModule) UnloadPasswordHook();
  HKEY desktop;
  if (g_passwordCalls.regOpenKey(HKEY_CURRENT_USER, kDesktopKey, &desktop) != ERROR_SUCCESS) return;
  if (IsPasswordWanted(desktop)) LoadPasswordComponent();
  g_passwordCalls.regCloseKey(desktop);
}

void UnloadPasswordHook() {
  if (!g_host.isWin9x || !g_host.passwordModule) return;
  g_passwordCalls.freeLibrary(g_host.passwordModule);
  g_host.passwordModule = NULL;
  if (g_host.verifyPasswordEntry) {
    g_host.verifyPasswordEntry = NULL;
    SetSaverRunning(0);
  }
}

// A burst of input posts several WM_CLOSE messages; those that arrive right after a
// refused check must not open the dialog again at once. Unsigned arithmetic keeps
// the difference right across the wrap-around of the tick counter.
static BOOL IsInRefusalWindow(DWORD now) {
  return g_host.lastVerifyTick != kNoVerifyTick && now - g_host.lastVerifyTick < kRefusalWindowMs;
}

LONG VerifyBeforeClose(HWND window) {
  if (g_host.isVerifying || g_host.closeAllowed) return 0;
  if (!g_host.verifyPasswordEntry) {  // no password wanted
    g_host.closeAllowed = 1;
    return 1;
  }
  if (IsInRefusalWindow(g_passwordCalls.getTickCount())) return g_host.closeAllowed;
  g_host.isVerifying = 1;
  // Drop up to two pending ticks so that no slide is painted over the dialog's start.
  MSG dropped;
  PeekMessageA(&dropped, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
  PeekMessageA(&dropped, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
  // Sent to the window's own thread, this runs the window procedure directly: the
  // check is nested inside this WM_CLOSE, and isVerifying holds off input meanwhile.
  LRESULT verdict = SendMessageA(window, SVM_VERIFYPASSWORD, 0, 0);
  g_host.closeAllowed = static_cast<LONG>(verdict);
  g_host.isVerifying = 0;
  if (!verdict) SetCursor(NULL);
  g_host.lastVerifyTick = g_passwordCalls.getTickCount();  // counted from the end of the check
  return g_host.closeAllowed;
}

void ChangeSaverPassword(HWND parent) {
  if (!g_host.isWin9x) return;  // the dispatcher never comes here on NT; nothing to change there
  HMODULE library = g_passwordCalls.loadLibrary(kChangeComponent);
  if (!library) return;
  FARPROC entry = g_passwordCalls.getProcAddress(library, kChangeEntryName);
  PwdChangePasswordProc change = reinterpret_cast<PwdChangePasswordProc>(reinterpret_cast<AnyProc>(entry));
  if (change) change(kPasswordProvider, parent, 0, 0);  // its result is of no use here
  g_passwordCalls.freeLibrary(library);
}
