// HostState: the saver host's process-wide flags and handles.
#pragma once
#include <windows.h>

// The private message with which a close asks the window to run the password check.
const UINT SVM_VERIFYPASSWORD = WM_APP;

// Signature of VerifyScreenSavePwd in PASSWORD.CPL.
typedef BOOL(WINAPI *VerifyScreenSavePwdProc)(HWND window);
// Signature of ImmAssociateContext in IMM32.DLL (input-context handles are opaque here).
typedef HANDLE(WINAPI *ImmAssociateContextProc)(HWND window, HANDLE context);

struct HostState {
  HINSTANCE instance;
  BOOL isWin9x;
  BOOL isPreview;
  HWND saverWindow;
  UINT queryCancelAutoPlayMessage;
  HMODULE imeModule;
  ImmAssociateContextProc imeAssociateContext;
  HANDLE savedImeContext;
  POINT cursorAnchor;
  LONG closeAllowed;
  BOOL isVerifying;
  HMODULE passwordModule;
  VerifyScreenSavePwdProc verifyPasswordEntry;
  DWORD lastVerifyTick;
};

// "No verification yet" for lastVerifyTick.
const DWORD kNoVerifyTick = 0xFFFFFFFF;

extern HostState g_host;
