// The picture-folder picker: the shell's folder browser on PASS.
#include "config/folder_picker.h"

#include <shlobj.h>

#include "config/system_dialogs.h"
#include "slideshow/settings.h"

namespace {

// "フォルダを選択" (choose a folder).
const char kBrowseTitle[] = "\x83\x74\x83\x48\x83\x8B\x83\x5F\x82\xF0\x91\x49\x91\xF0";
// "キャンセルしました。" (cancelled).
const char kCancelledText[] =
    "\x83\x4C\x83\x83\x83\x93\x83\x5A\x83\x8B\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42";
// "フォルダ選択" (folder selection).
const char kFolderCaption[] = "\x83\x74\x83\x48\x83\x8B\x83\x5F\x91\x49\x91\xF0";
// "フォルダのパスが長すぎるため、選択したフォルダを設定できません。"
// (the folder's path is too long, so the chosen folder cannot be set).
const char kTooLongText[] =
    "\x83\x74\x83\x48\x83\x8B\x83\x5F\x82\xCC\x83\x70\x83\x58\x82\xAA\x92\xB7\x82\xB7\x82\xAC\x82\xE9"
    "\x82\xBD\x82\xDF\x81\x41\x91\x49\x91\xF0\x82\xB5\x82\xBD\x83\x74\x83\x48\x83\x8B\x83\x5F\x82\xF0"
    "\x90\xDD\x92\xE8\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x81\x42";

const UINT kWarningStyle = MB_OK | MB_ICONWARNING;

void ReplacePass(const char *path) {
  ZeroMemory(g_settings.pass, sizeof(g_settings.pass));
  lstrcpynA(g_settings.pass, path, sizeof(g_settings.pass));
}

}  // namespace

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
  // wParam TRUE: lParam is a path, not an item list.
  if (message == BFFM_INITIALIZED && data != 0) SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}

BOOL StoreChosenFolder(HWND dialog, const char *path) {
  if (lstrlenA(path) < static_cast<int>(sizeof(g_settings.pass))) {
    ReplacePass(path);
    return TRUE;
  }
  // A cut path would name another folder; the short form names the same one.
  char shortPath[MAX_PATH];
  DWORD length = GetShortPathNameA(path, shortPath, sizeof(shortPath));
  if (length > 0 && length < sizeof(g_settings.pass)) {
    ReplacePass(shortPath);
    return TRUE;
  }
  MessageBoxA(dialog, kTooLongText, kFolderCaption, kWarningStyle);
  return FALSE;
}

void BrowseForPictureFolder(HWND dialog) {
  BROWSEINFOA info;
  ZeroMemory(&info, sizeof(info));
  info.hwndOwner = NULL;  // unowned: the dialog stays enabled while the browser is open
  info.pidlRoot = NULL;   // start at the desktop
  info.pszDisplayName = NULL;
  info.lpszTitle = kBrowseTitle;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(g_settings.pass);

  char path[MAX_PATH];
  path[0] = '\0';
  LPITEMIDLIST item = CallBrowseForFolder(&info);
  if (item != NULL) {
    if (!CallGetPathFromIDList(item, path)) path[0] = '\0';
    CallTaskMemFree(item);
  }
  if (path[0] == '\0') {
    MessageBoxA(dialog, kCancelledText, kFolderCaption, kWarningStyle);
    return;
  }
  StoreChosenFolder(dialog, path);
}
