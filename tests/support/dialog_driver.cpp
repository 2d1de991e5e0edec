// Test helper: runs a modal dialog on the test's thread while a script drives it from another thread.
#include "tests/support/dialog_driver.h"

#include <thread>
#include <vector>

namespace {

const DWORD kWaitLimitMs = 10000;
const DWORD kPollMs = 20;

BOOL CALLBACK CollectVisible(HWND window, LPARAM data) {
  if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND> *>(data)->push_back(window);
  return TRUE;
}

std::vector<HWND> ThreadWindows(DWORD thread) {
  std::vector<HWND> windows;
  EnumThreadWindows(thread, CollectVisible, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

struct ChildSearch {
  const char *className;
  std::string text;
  HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM data) {
  ChildSearch *s = reinterpret_cast<ChildSearch *>(data);
  if (s->className != NULL) {
    char name[64];
    if (GetClassNameA(child, name, sizeof(name)) == 0 || lstrcmpiA(name, s->className) != 0) return TRUE;
  } else if (WindowText(child) != s->text) {
    return TRUE;
  }
  s->found = child;
  return FALSE;
}

}  // namespace

INT_PTR RunDialogWithScript(const std::function<INT_PTR()> &runDialog,
                            const std::function<void(DWORD uiThread)> &script) {
  DWORD uiThread = GetCurrentThreadId();
  std::thread driver([&] {
    script(uiThread);
    CloseThreadWindows(uiThread);
  });
  INT_PTR result = runDialog();
  driver.join();
  return result;
}

HWND WaitForWindow(DWORD thread, const std::function<bool(HWND)> &match) {
  for (DWORD waited = 0; waited < kWaitLimitMs; waited += kPollMs) {
    for (HWND window : ThreadWindows(thread))
      if (match(window)) return window;
    Sleep(kPollMs);
  }
  return NULL;
}

bool WaitUntilClosed(HWND window) {
  for (DWORD waited = 0; waited < kWaitLimitMs; waited += kPollMs) {
    if (!IsWindow(window) || !IsWindowVisible(window)) return true;
    Sleep(kPollMs);
  }
  return false;
}

void CloseThreadWindows(DWORD thread) {
  for (int round = 0; round < 100; ++round) {
    std::vector<HWND> windows = ThreadWindows(thread);
    if (windows.empty()) return;
    // A modal dialog disables its owner: close the enabled ones, the innermost.
    for (HWND window : windows)
      if (IsWindowEnabled(window)) PostMessageA(window, WM_CLOSE, 0, 0);
    Sleep(50);
  }
}

bool IsDialogWindow(HWND window) {
  char name[16];
  return GetClassNameA(window, name, sizeof(name)) > 0 && lstrcmpA(name, "#32770") == 0;
}

std::string WindowText(HWND window) {
  char text[1024];
  text[0] = '\0';
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

std::string ItemText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

void SetItemText(HWND dialog, int id, const std::string &text) {
  SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void PressButton(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

static HWND FindChild(HWND parent, const char *className, const std::string &text) {
  ChildSearch search = {className, text, NULL};
  EnumChildWindows(parent, MatchChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindChildWithText(HWND parent, const std::string &text) { return FindChild(parent, NULL, text); }

HWND FindChildOfClass(HWND parent, const char *className) { return FindChild(parent, className, ""); }

void PostKeyPress(HWND window, UINT virtualKey) {
  UINT scan = MapVirtualKeyA(virtualKey, 0 /* MAPVK_VK_TO_VSC */);
  PostMessageA(window, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
  PostMessageA(window, WM_KEYUP, virtualKey, 1 | (scan << 16) | 0xC0000000);
}
