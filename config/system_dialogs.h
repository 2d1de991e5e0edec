// The colour and font common dialogs and the shell's folder browser, bound when first used.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

// Each calls the system function of the same name in COMDLG32.DLL, SHELL32.DLL or OLE32.DLL,
// loading that library on the first call. The slide show never opens these dialogs; importing
// them would map the libraries, and the print spooler and shell they bring with them, into
// every run of the saver. A library or entry that cannot be found answers as a cancel does.
BOOL CallChooseColor(CHOOSECOLORA *choice);
BOOL CallChooseFont(CHOOSEFONTA *choice);
LPITEMIDLIST CallBrowseForFolder(BROWSEINFOA *info);
BOOL CallGetPathFromIDList(LPCITEMIDLIST item, char *path);
void CallTaskMemFree(void *block);
