// Test double of PASSWORD.CPL: VerifyScreenSavePwd runs the test's script and counts its calls.
#include <windows.h>

typedef BOOL (*VerifyScript)(HWND window);

static VerifyScript g_script;
static LONG g_calls;
static HWND g_lastOwner;

extern "C" BOOL WINAPI VerifyScreenSavePwd(HWND owner) {
  ++g_calls;
  g_lastOwner = owner;
  return g_script ? g_script(owner) : TRUE;
}

// The test's answer to the next checks (NULL: accept).
extern "C" void WINAPI SetVerifyScript(VerifyScript script) { g_script = script; }
extern "C" LONG WINAPI VerifyCalls() { return g_calls; }
extern "C" HWND WINAPI LastVerifyOwner() { return g_lastOwner; }
