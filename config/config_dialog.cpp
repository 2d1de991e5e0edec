// The configuration dialog (template 2003): shows SaverSettings, saves them on Close.
#include "config/config_dialog.h"

#include "config/color_picker.h"
#include "config/folder_picker.h"
#include "config/font_picker.h"
#include "config/number_text.h"
#include "resources/resource.h"
#include "slideshow/settings.h"

namespace {

// Numbers pass through one text buffer of 16 bytes: at most 15 characters.
const int kNumberBufferSize = 16;
// The dialog's result, whichever way it ends.
const INT_PTR kDialogResult = 1;

// The items of a mode combo, in their order; each begins with the digit of its value.
struct ModeList {
  int comboId;
  const char *const *items;
  int count;
};

const char *const kTextModeItems[] = {
    "\x30\x3A\x82\x6E\x82\x65\x82\x65",          // "0:ＯＦＦ"
    "\x31\x3A\x83\x89\x83\x93\x83\x5F\x83\x80",  // "1:ランダム"
    "\x32\x3A\x83\x73\x83\x93\x83\x7C\x83\x93",  // "2:ピンポン"
};
const char *const kFileTypeItems[] = {"0:ALL", "1:JEG", "2:BMP"};
const char *const kPictureModeItems[] = {
    "\x30\x3A\x82\x6E\x82\x65\x82\x65",                                  // "0:ＯＦＦ"
    "\x31\x3A\x89\x45\x8F\xE3\x2B\x8C\xBB\x83\x54\x83\x43\x83\x59",      // "1:右上+現サイズ"
    "\x32\x3A\x92\x86\x89\x9B\x2B\x8C\xBB\x83\x54\x83\x43\x83\x59",      // "2:中央+現サイズ"
    "\x33\x3A\x83\x74\x83\x42\x83\x62\x83\x67\x89\xE6\x96\xCA",          // "3:フィット画面"
    "\x34\x3A\x83\x74\x83\x42\x83\x62\x83\x67\x8C\xB3\x8A\x47",          // "4:フィット元絵"
    "\x35\x3A\x83\x89\x83\x93\x83\x5F\x83\x80",                          // "5:ランダム"
};

const ModeList kTextModeList = {IDC_TEXT_MODE, kTextModeItems, ARRAYSIZE(kTextModeItems)};
const ModeList kFileTypeList = {IDC_FILE_TYPE, kFileTypeItems, ARRAYSIZE(kFileTypeItems)};
const ModeList kPictureModeList = {IDC_PICTURE_MODE, kPictureModeItems, ARRAYSIZE(kPictureModeItems)};

// "設定を保存できませんでした。" (the settings could not be saved) and "設定ファイル: " (settings file).
const char kNotSavedText[] =
    "\x90\xDD\x92\xE8\x82\xF0\x95\xDB\x91\xB6\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5"
    "\x82\xBD\x81\x42";
const char kSettingsFileLabel[] = "\x90\xDD\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B\x3A\x20";
// "Orvalo設定画面", the dialog's caption.
const char kDialogCaption[] = "\x4F\x72\x76\x61\x6C\x6F\x90\xDD\x92\xE8\x89\xE6\x96\xCA";

void SetNumberText(HWND dialog, int id, INT32 value) {
  char buffer[kNumberBufferSize];
  ZeroMemory(buffer, sizeof(buffer));
  wsprintfA(buffer, "%d", value);
  SetDlgItemTextA(dialog, id, buffer);
}

INT32 ReadNumberText(HWND dialog, int id) {
  char buffer[kNumberBufferSize];
  GetDlgItemTextA(dialog, id, buffer, sizeof(buffer));
  return ParseNumberText(buffer);
}

// Empties the combo, adds its items, and shows the item of the value when there is one.
void FillModeCombo(HWND dialog, const ModeList &list, INT32 value) {
  HWND combo = GetDlgItem(dialog, list.comboId);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < list.count; ++i) SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(list.items[i]));
  // WM_SETTEXT sets the edit field only; no item becomes selected.
  if (value >= 0 && value < list.count) SendMessageA(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(list.items[value]));
}

INT32 ReadModeCombo(HWND dialog, int id) {
  char buffer[kNumberBufferSize];
  GetDlgItemTextA(dialog, id, buffer, sizeof(buffer));
  return ModeFromText(buffer);
}

// Copies an edit's text into a fixed field, cut to the field and to whole characters.
void ReadTextField(HWND dialog, int id, char *field, int fieldSize) {
  GetDlgItemTextA(dialog, id, field, fieldSize);
  TrimSplitCharacter(field);
}

void RepaintDialog(HWND dialog) {
  InvalidateRect(dialog, NULL, TRUE);
  UpdateWindow(dialog);
}

INT_PTR OnInitDialog(HWND dialog) {
  LoadSettings();
  SetDlgItemTextA(dialog, IDC_DISPLAY_TEXT, g_settings.str);
  SetDlgItemTextA(dialog, IDC_FOLDER, g_settings.pass);
  SetNumberText(dialog, IDC_CYCLE_TIME, g_settings.time);
  SetNumberText(dialog, IDC_RANDOM_SIZE, g_settings.size);
  SetNumberText(dialog, IDC_CLEAR_COUNT, g_settings.count);
  FillModeCombo(dialog, kTextModeList, g_settings.sMode);
  FillModeCombo(dialog, kFileTypeList, g_settings.fMode);
  FillModeCombo(dialog, kPictureModeList, g_settings.gMode);
  // The gradual-switching box is never shown checked, whatever J-MODE holds.
  CheckRadioButton(dialog, IDC_GRADUAL, IDC_GRADUAL, 0);
  return TRUE;  // the dialog manager focuses the first tab stop, the display-text edit
}

INT_PTR OnColorButton(HWND dialog) {
  ChooseTextColor(dialog, &g_settings.colorR, &g_settings.colorG, &g_settings.colorB);
  RepaintDialog(dialog);
  return 1;
}

INT_PTR OnFontButton(HWND dialog) {
  ChooseTextFont(dialog, &g_settings.font);
  RepaintDialog(dialog);
  return 0;
}

INT_PTR OnFolderButton(HWND dialog) {
  ReadTextField(dialog, IDC_FOLDER, g_settings.pass, sizeof(g_settings.pass));
  BrowseForPictureFolder(dialog);
  SetDlgItemTextA(dialog, IDC_FOLDER, g_settings.pass);
  return 1;
}

INT_PTR OnCloseButton(HWND dialog) {
  ReadTextField(dialog, IDC_DISPLAY_TEXT, g_settings.str, sizeof(g_settings.str));
  ReadTextField(dialog, IDC_FOLDER, g_settings.pass, sizeof(g_settings.pass));
  g_settings.time = ReadNumberText(dialog, IDC_CYCLE_TIME);
  g_settings.size = ReadNumberText(dialog, IDC_RANDOM_SIZE);
  g_settings.count = ReadNumberText(dialog, IDC_CLEAR_COUNT);
  g_settings.sMode = ReadModeCombo(dialog, IDC_TEXT_MODE);
  g_settings.fMode = ReadModeCombo(dialog, IDC_FILE_TYPE);
  g_settings.gMode = ReadModeCombo(dialog, IDC_PICTURE_MODE);
  g_settings.jMode = 1;
  if (!SaveSettings()) WarnSettingsNotSaved(dialog);
  EndDialog(dialog, kDialogResult);
  return 1;
}

// The command id is the low word; the notification code is not looked at.
INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case IDC_COLOR: return OnColorButton(dialog);
    case IDC_FONT: return OnFontButton(dialog);
    case IDC_BROWSE: return OnFolderButton(dialog);
    case IDC_CLOSE: return OnCloseButton(dialog);
  }
  return 0;  // no OK or Cancel: Esc and Enter on no button do nothing
}

// The frame's close box, the system menu and Alt+F4: end without saving.
INT_PTR OnFrameClose(HWND dialog) {
  EndDialog(dialog, kDialogResult);
  return 1;
}

}  // namespace

void WarnSettingsNotSaved(HWND dialog) {
  // Profile names without a directory live in the Windows directory.
  char file[MAX_PATH];
  UINT length = GetWindowsDirectoryA(file, sizeof(file));
  if (length == 0 || length >= sizeof(file)) file[0] = '\0';
  else if (file[length - 1] != '\\') lstrcpynA(file + length, "\\", static_cast<int>(sizeof(file) - length));
  lstrcpynA(file + lstrlenA(file), kSettingsFile, static_cast<int>(sizeof(file)) - lstrlenA(file));

  char text[sizeof(kNotSavedText) + 2 + sizeof(kSettingsFileLabel) + MAX_PATH];
  wsprintfA(text, "%s\r\n%s%s", kNotSavedText, kSettingsFileLabel, file);
  MessageBoxA(dialog, text, kDialogCaption, MB_OK | MB_ICONWARNING);
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return OnInitDialog(dialog);
    case WM_COMMAND: return OnCommand(dialog, wParam);
    case WM_CLOSE: return OnFrameClose(dialog);
  }
  return 0;
}
