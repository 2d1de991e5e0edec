// The picture-folder picker: the shell's folder browser on PASS.
#pragma once
#include <windows.h>

// Runs the folder browser (unowned, starting on PASS). A confirmed folder replaces PASS;
// a cancel shows the cancel warning and leaves PASS as it is.
void BrowseForPictureFolder(HWND dialog);

// The browser's callback: selects the folder named by data when the browser opens.
int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM lParam, LPARAM data);

// Puts a confirmed folder into PASS. A path too long for PASS is stored by its short
// (8.3) form when that fits and names the same folder; otherwise PASS keeps its value
// and the user is told. Returns TRUE when PASS was replaced.
BOOL StoreChosenFolder(HWND dialog, const char *path);
