// PASSWORD.CPL stand-in: VerifyScreenSavePwd asks for the screen-saver password in a
// small modal prompt and accepts only the stored one; with none stored it accepts at once.
#include <windows.h>

#include "standins/password_store.h"
#include "standins/standin_resource.h"

static HINSTANCE g_module;

static INT_PTR OnInitPrompt(HWND dialog) {
  SendDlgItemMessageW(dialog, IDC_PASSWORD, EM_LIMITTEXT, kMaxPasswordChars, 0);
  // The owner is a topmost full-screen window: the prompt must come up above it.
  SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(dialog);
  SetFocus(GetDlgItem(dialog, IDC_PASSWORD));
  return FALSE;  // the focus is set
}

// Ends the prompt with IDOK only for the stored password.
static INT_PTR OnPromptOk(HWND dialog) {
  wchar_t typed[kMaxPasswordChars + 1];
  GetDlgItemTextW(dialog, IDC_PASSWORD, typed, sizeof(typed) / sizeof(typed[0]));
  BOOL right = IsStoredPassword(typed);
  WipePassword(typed, sizeof(typed) / sizeof(typed[0]));
  SetDlgItemTextW(dialog, IDC_PASSWORD, L"");
  EndDialog(dialog, right ? IDOK : IDABORT);
  return TRUE;
}

static INT_PTR CALLBACK PromptDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return OnInitPrompt(dialog);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) return OnPromptOk(dialog);
      if (LOWORD(wParam) == IDCANCEL) return EndDialog(dialog, IDCANCEL);
      return FALSE;
  }
  return FALSE;
}

extern "C" BOOL WINAPI VerifyScreenSavePwd(HWND owner) {
  if (!IsPasswordStored()) return TRUE;
  INT_PTR result = DialogBoxParamW(g_module, MAKEINTRESOURCEW(IDD_VERIFY_PASSWORD), owner, PromptDialogProc, 0);
  return result == IDOK;  // wrong password, cancel and a failed dialog all keep the lock
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = module;
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}
