// Process start-up: finds the command tail and runs the one mode its switch names.
#include "host/startup.h"

#include "config/config_dialog.h"
#include "host/exception_guard.h"
#include "host/host_state.h"
#include "host/password_hooks.h"
#include "host/saver_window.h"

SaverModeCalls g_modeCalls = {RunSaverWindow, ChangeSaverPassword, DialogBoxParamA};

const char *FindCommandTail(const char *commandLine) {
  const char *p = commandLine;
  if (*p == '"') {
    // A quoted program name runs to the closing quote, or to the end of the line.
    do {
      p = CharNextA(p);
    } while (*p != '\0' && *p != '"');
    if (*p == '"') ++p;
  } else if (static_cast<unsigned char>(*p) > ' ') {
    while (static_cast<unsigned char>(*p) > ' ') p = CharNextA(p);
  }
  while (*p != '\0' && static_cast<unsigned char>(*p) <= ' ') p = CharNextA(p);
  return p;
}

void RunFromCommandLine() {
  const char *tail = FindCommandTail(GetCommandLineA());
  ExitProcess(static_cast<UINT>(DispatchSaverSwitch(GetModuleHandleA(NULL), tail)));
}

HWND ParseWindowHandle(const char *text) {
  UINT32 value = 0;
  for (const signed char *p = reinterpret_cast<const signed char *>(text); *p >= '0' && *p <= '9'; ++p)
    value = value * 10u + static_cast<UINT32>(*p - '0');
  // Window handles are 32-bit values on both pointer sizes; widen without sign.
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
}

static const char *SkipBlanks(const char *p) {
  while (*p == ' ') ++p;
  return p;
}

int RunPreview(const char *text) {
  HWND parent = ParseWindowHandle(text);
  if (parent == NULL || !IsWindow(parent)) return kExitRejected;
  return g_modeCalls.runSaverWindow(parent);
}

BOOL PrepareDialogClasses(HINSTANCE) { return TRUE; }

int RunConfiguration(HWND parent) {
  PrepareDialogClasses(g_host.instance);
  return static_cast<int>(g_modeCalls.dialogBoxParam(g_host.instance, MAKEINTRESOURCEA(kConfigDialogId),
                                                     parent, ConfigDialogProc, 0));
}

int RunPasswordChange(const char *text) {
  HWND owner = ParseWindowHandle(text);
  if (owner == NULL || !IsWindow(owner)) owner = GetForegroundWindow();
  g_modeCalls.changeSaverPassword(owner);
  return 0;
}

static int RunConfigurationSwitch(const char *rest) {
  HWND parent = NULL;
  if (*rest == ':') parent = ParseWindowHandle(rest + 1);
  if (parent == NULL || !IsWindow(parent)) parent = GetForegroundWindow();
  return RunConfiguration(parent);
}

// Reads the first switch letter of the tail and runs its mode. Bytes are compared
// as signed values, so lead bytes of double-byte characters match no letter.
static int ScanSwitch(const char *tail) {
  for (const char *p = tail;; ++p) {
    switch (static_cast<signed char>(*p)) {
      case ' ':
      case '-':
      case '/':
        continue;
      case '\0':
        return RunConfiguration(NULL);
      case 's':
      case 'S':
        return g_modeCalls.runSaverWindow(NULL);
      case 'p':
      case 'P':
      case 'l':
      case 'L':
        return RunPreview(SkipBlanks(p + 1));
      case 'c':
      case 'C':
        return RunConfigurationSwitch(p + 1);
      case 'a':
      case 'A':
        if (!g_host.isWin9x) return kExitRejected;
        return RunPasswordChange(SkipBlanks(p + 1));
      default:
        return kExitRejected;
    }
  }
}

int DispatchSaverSwitch(HINSTANCE instance, const char *tail) {
  g_host.instance = instance;
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);  // 148 bytes
  g_host.isWin9x = (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) ? 1 : 0;
  return RunInExceptionGuard(ScanSwitch, tail);
}
