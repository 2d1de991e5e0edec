// Test double of MPR.DLL: PwdChangePasswordA records its arguments.
#include <windows.h>

struct ChangeCall {
  char provider[32];
  HWND owner;
  DWORD reserved1;
  DWORD reserved2;
};

static LONG g_calls;
static ChangeCall g_last;

extern "C" DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD reserved1, DWORD reserved2) {
  ++g_calls;
  lstrcpynA(g_last.provider, provider ? provider : "(null)", sizeof(g_last.provider));
  g_last.owner = owner;
  g_last.reserved1 = reserved1;
  g_last.reserved2 = reserved2;
  return 0;
}

// How many calls so far; the last one's arguments into *last.
extern "C" LONG WINAPI ChangeCalls(ChangeCall *last) {
  *last = g_last;
  return g_calls;
}
