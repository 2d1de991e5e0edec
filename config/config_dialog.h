// The configuration dialog (template 2003): shows SaverSettings, saves them on Close.
#pragma once
#include <windows.h>

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Tells the user that the settings could not be saved, naming the settings file.
void WarnSettingsNotSaved(HWND dialog);
