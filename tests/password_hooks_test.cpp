// Password hooks on the NT family: nothing is read, loaded or called, even with the setting on.
#include <gtest/gtest.h>
#include <windows.h>

#include "host/host_state.h"
#include "host/password_hooks.h"
#include "tests/support/password_setting.h"
#include "tests/support/saver_test_window.h"

namespace {

int g_platformCalls = 0;

LONG WINAPI CountOpenKey(HKEY, LPCSTR, PHKEY) { return ++g_platformCalls, ERROR_ACCESS_DENIED; }
LONG WINAPI CountQueryValue(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
  return ++g_platformCalls, ERROR_ACCESS_DENIED;
}
LONG WINAPI CountCloseKey(HKEY) { return ++g_platformCalls, ERROR_SUCCESS; }
HMODULE WINAPI CountLoadLibrary(LPCSTR) { return ++g_platformCalls, nullptr; }
FARPROC WINAPI CountGetProcAddress(HMODULE, LPCSTR) { return ++g_platformCalls, nullptr; }
BOOL WINAPI CountFreeLibrary(HMODULE) { return ++g_platformCalls, TRUE; }
BOOL WINAPI CountSystemParameters(UINT, UINT, PVOID, UINT) { return ++g_platformCalls, TRUE; }
DWORD WINAPI CountTick() { return ++g_platformCalls, 0; }

TEST(PasswordHooksNtTest, NothingIsReadLoadedOrCalled) {
  UsePasswordGuard keep;
  const DWORD one = 1;
  WriteUsePassword(REG_DWORD, &one, sizeof(one));
  PasswordHookCalls saved = g_passwordCalls;
  g_passwordCalls = PasswordHookCalls{CountOpenKey,     CountQueryValue,       CountCloseKey, CountLoadLibrary,
                                      CountGetProcAddress, CountFreeLibrary, CountSystemParameters, CountTick};
  ResetHostState(FALSE, FALSE);
  HWND owner = CreateCloseRulesWindow();
  LoadPasswordHook();
  SetSaverRunning(1);
  SetSaverRunning(0);
  ChangeSaverPassword(owner);
  UnloadPasswordHook();
  g_passwordCalls = saved;
  EXPECT_EQ(0, g_platformCalls);
  EXPECT_EQ(NULL, g_host.passwordModule);
  EXPECT_EQ(NULL, g_host.verifyPasswordEntry);
  // With the real calls in place too, the component stays out of the process.
  LoadPasswordHook();
  EXPECT_EQ(NULL, GetModuleHandleA("PASSWORD.CPL"));
  DestroyWindow(owner);
}

}  // namespace
