// The configuration dialog (template 2003) and its pickers.
#pragma once
#include <windows.h>

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
