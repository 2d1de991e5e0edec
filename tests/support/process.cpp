// Test helpers: start the built programs as Windows starts them, and wait for them.
#include "tests/support/process.h"

#include <vector>

std::string BuildFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(NULL, path, sizeof(path));
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\'));
}

HANDLE StartProgram(const std::string &program, const std::string &arguments) {
  std::string line = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  STARTUPINFOA startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info;
  ZeroMemory(&info, sizeof(info));
  if (!CreateProcessA(program.c_str(), buffer.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) return NULL;
  CloseHandle(info.hThread);
  return info.hProcess;
}

int WaitForExit(HANDLE process, DWORD milliseconds) {
  if (WaitForSingleObject(process, milliseconds) != WAIT_OBJECT_0) return kStillRunning;
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return static_cast<int>(code);
}

HWND WaitForWindowW(const wchar_t *className, const wchar_t *title, DWORD milliseconds) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND window = FindWindowW(className, title);
    if (window || GetTickCount() - start > milliseconds) return window;
    Sleep(20);
  }
}

void ReportWin98To(const std::string &exeName, bool on) {
  std::string key = "Software\\Wine\\AppDefaults\\" + exeName;
  if (!on) {
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    return;
  }
  HKEY handle;
  if (RegCreateKeyA(HKEY_CURRENT_USER, key.c_str(), &handle) == ERROR_SUCCESS) {
    RegSetValueExA(handle, "Version", 0, REG_SZ, reinterpret_cast<const BYTE *>("win98"), 6);
    RegCloseKey(handle);
  }
}
