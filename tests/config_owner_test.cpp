// lumeta_show.scr /c:<hwnd> as its own process: the settings screen is owned by that window.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/settings_file.h"

namespace {

struct Search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK MatchProcessDialog(HWND window, LPARAM data) {
  Search *s = reinterpret_cast<Search *>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char name[16];
  if (owner == s->process && IsWindowVisible(window) && GetClassNameA(window, name, sizeof(name)) > 0 &&
      lstrcmpA(name, "#32770") == 0) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

// The settings screen of the given process: a top-level dialog window.
HWND FindProcessDialog(DWORD process) {
  Search search = {process, NULL};
  EnumWindows(MatchProcessDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// Waits for the process while answering this thread's messages (the other process talks to our window).
bool PumpUntilExit(HANDLE process, DWORD limitMs) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < limitMs) {
    if (MsgWaitForMultipleObjects(1, &process, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0) return true;
    PumpMessages();
  }
  return false;
}

TEST(ConfigOwnerTest, SwitchWithAWindowMakesThatWindowTheOwner) {
  SettingsFileGuard guard;
  HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 500, 400, NULL,
                               NULL, GetModuleHandleA(NULL), NULL);
  ASSERT_NE(nullptr, owner);
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, sizeof(path));
  std::string program = path;
  program = program.substr(0, program.find_last_of('\\') + 1) + "lumeta_show.scr";
  std::string command = "\"" + program + "\" /c:" + std::to_string(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(owner)));

  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION child;
  ASSERT_TRUE(CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) << command;

  HWND dialog = NULL;
  for (int i = 0; i < 300 && dialog == NULL; ++i) {
    PumpMessages();
    dialog = FindProcessDialog(child.dwProcessId);
    if (dialog == NULL) Sleep(30);
  }
  if (dialog == NULL) {
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    TerminateProcess(child.hProcess, 0);
    FAIL() << "no dialog; process state " << code << " " << command;
  }
  EXPECT_EQ(owner, GetWindow(dialog, GW_OWNER));
  // No centring: the template's position (0, 0) puts the dialog's client area at the owner's.
  POINT ownerOrigin = {0, 0}, dialogOrigin = {0, 0};
  ClientToScreen(owner, &ownerOrigin);
  ClientToScreen(dialog, &dialogOrigin);
  EXPECT_EQ(ownerOrigin.x, dialogOrigin.x);
  EXPECT_EQ(ownerOrigin.y, dialogOrigin.y);
  EXPECT_FALSE(IsWindowEnabled(owner)) << "a modal dialog disables its owner";

  PostMessageA(dialog, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntilExit(child.hProcess, 20000));
  DWORD code = 0;
  GetExitCodeProcess(child.hProcess, &code);
  EXPECT_EQ(1u, code);
  EXPECT_TRUE(IsWindowEnabled(owner));
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  DestroyWindow(owner);
}

}  // namespace
