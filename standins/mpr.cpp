// MPR.DLL stand-in: PwdChangePasswordA for the provider "SCRSAVE" asks for the old
// screen-saver password (when one is stored) and the new one twice, and stores it.
#include <windows.h>
#include <winnetwk.h>

#include "standins/password_store.h"
#include "standins/standin_resource.h"

static HINSTANCE g_module;

static const char kScreenSaverProvider[] = "SCRSAVE";
static const wchar_t kOldPasswordWrong[] = L"The old password is not correct.";
static const wchar_t kNewPasswordsDiffer[] = L"The new passwords do not match. Type them again.";
static const wchar_t kPasswordNotStored[] = L"The password could not be stored.";

static INT_PTR OnInitChange(HWND dialog) {
  SendDlgItemMessageW(dialog, IDC_OLD_PASSWORD, EM_LIMITTEXT, kMaxPasswordChars, 0);
  SendDlgItemMessageW(dialog, IDC_NEW_PASSWORD, EM_LIMITTEXT, kMaxPasswordChars, 0);
  SendDlgItemMessageW(dialog, IDC_CONFIRM_PASSWORD, EM_LIMITTEXT, kMaxPasswordChars, 0);
  BOOL stored = IsPasswordStored();
  EnableWindow(GetDlgItem(dialog, IDC_OLD_LABEL), stored);
  EnableWindow(GetDlgItem(dialog, IDC_OLD_PASSWORD), stored);
  SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(dialog);
  SetFocus(GetDlgItem(dialog, stored ? IDC_OLD_PASSWORD : IDC_NEW_PASSWORD));
  return FALSE;  // the focus is set
}

// Shows why the change did not happen, empties the named fields and puts the caret in the first.
static void RefuseChange(HWND dialog, const wchar_t *reason, int firstField, int lastField) {
  SetDlgItemTextW(dialog, IDC_STATUS, reason);
  for (int field = firstField; field <= lastField; ++field) SetDlgItemTextW(dialog, field, L"");
  SetFocus(GetDlgItem(dialog, firstField));
}

struct ChangeFields {
  wchar_t oldPassword[kMaxPasswordChars + 1];
  wchar_t newPassword[kMaxPasswordChars + 1];
  wchar_t confirmation[kMaxPasswordChars + 1];
};

static void ApplyChange(HWND dialog, ChangeFields *fields) {
  if (IsPasswordStored() && !IsStoredPassword(fields->oldPassword))
    RefuseChange(dialog, kOldPasswordWrong, IDC_OLD_PASSWORD, IDC_OLD_PASSWORD);
  else if (lstrcmpW(fields->newPassword, fields->confirmation) != 0)
    RefuseChange(dialog, kNewPasswordsDiffer, IDC_NEW_PASSWORD, IDC_CONFIRM_PASSWORD);
  else if (!StorePassword(fields->newPassword))
    SetDlgItemTextW(dialog, IDC_STATUS, kPasswordNotStored);
  else
    EndDialog(dialog, IDOK);
}

static INT_PTR OnChangeOk(HWND dialog) {
  ChangeFields fields;
  const int capacity = sizeof(fields.oldPassword) / sizeof(fields.oldPassword[0]);
  GetDlgItemTextW(dialog, IDC_OLD_PASSWORD, fields.oldPassword, capacity);
  GetDlgItemTextW(dialog, IDC_NEW_PASSWORD, fields.newPassword, capacity);
  GetDlgItemTextW(dialog, IDC_CONFIRM_PASSWORD, fields.confirmation, capacity);
  ApplyChange(dialog, &fields);
  WipePassword(reinterpret_cast<wchar_t *>(&fields), sizeof(fields) / sizeof(wchar_t));
  return TRUE;
}

static INT_PTR CALLBACK ChangeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return OnInitChange(dialog);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) return OnChangeOk(dialog);
      if (LOWORD(wParam) == IDCANCEL) return EndDialog(dialog, IDCANCEL);
      return FALSE;
  }
  return FALSE;
}

// Returns WN_SUCCESS when a new password was stored, WN_CANCEL when the user cancelled,
// WN_BAD_PROVIDER for any provider other than the screen saver's.
extern "C" DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD, DWORD) {
  if (!provider || lstrcmpiA(provider, kScreenSaverProvider) != 0) return WN_BAD_PROVIDER;
  INT_PTR result = DialogBoxParamW(g_module, MAKEINTRESOURCEW(IDD_CHANGE_PASSWORD), owner, ChangeDialogProc, 0);
  return result == IDOK ? WN_SUCCESS : WN_CANCEL;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = module;
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}
