// The 9x screen-saver password hooks, inert until the password component is wired in.
#include "host/password_hooks.h"

#include "host/host_state.h"

void SetSaverRunning(BOOL flag) {
  if (g_host.isWin9x) SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, flag, &flag, 0);
}

void LoadPasswordHook() {}

void UnloadPasswordHook() {}

LONG VerifyBeforeClose(HWND) {
  g_host.closeAllowed = 1;
  return g_host.closeAllowed;
}

void ChangeSaverPassword(HWND) {}
