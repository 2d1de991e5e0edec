// The 9x screen-saver password hooks: running state, PASSWORD.CPL and MPR.DLL.
#pragma once
#include <windows.h>

void SetSaverRunning(BOOL flag);
void LoadPasswordHook();
void UnloadPasswordHook();
LONG VerifyBeforeClose(HWND window);
void ChangeSaverPassword(HWND parent);
