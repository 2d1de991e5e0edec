// The 9x screen-saver password hooks: running state, PASSWORD.CPL and MPR.DLL.
#pragma once
#include <windows.h>

// A WM_CLOSE this soon after the end of the last check is refused without asking again.
const DWORD kRefusalWindowMs = 200;

// Signature of PwdChangePasswordA in MPR.DLL: provider, owner window, two reserved zeros.
typedef DWORD(WINAPI *PwdChangePasswordProc)(LPCSTR provider, HWND owner, DWORD reserved1, DWORD reserved2);

void SetSaverRunning(BOOL flag);
void LoadPasswordHook();
void UnloadPasswordHook();
LONG VerifyBeforeClose(HWND window);
void ChangeSaverPassword(HWND parent);

// The platform calls of the hooks. Production code never changes them; tests put
// recorders in their place (and a tick source they control).
struct PasswordHookCalls {
  LONG(WINAPI *regOpenKey)(HKEY key, LPCSTR subKey, PHKEY result);
  LONG(WINAPI *regQueryValueEx)(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
  LONG(WINAPI *regCloseKey)(HKEY key);
  HMODULE(WINAPI *loadLibrary)(LPCSTR name);
  FARPROC(WINAPI *getProcAddress)(HMODULE module, LPCSTR name);
  BOOL(WINAPI *freeLibrary)(HMODULE module);
  BOOL(WINAPI *systemParametersInfo)(UINT action, UINT param, PVOID data, UINT update);
  DWORD(WINAPI *getTickCount)();
};
extern PasswordHookCalls g_passwordCalls;
