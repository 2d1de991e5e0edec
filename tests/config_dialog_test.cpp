// The configuration dialog running modally in this process, driven from a second thread through
// its controls and through the real colour, font, folder and message-box dialogs it opens.
#include <gtest/gtest.h>
#include <windows.h>
#include <colordlg.h>
#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/config_dialog.h"
#include "config/folder_picker.h"
#include "slideshow/settings.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/settings_file.h"

namespace {

const int kText = 2011, kTime = 2012, kFolder = 2013, kClose = 2021, kFont = 2023, kBrowse = 2024;
const int kGradual = 2030, kTextMode = 2031, kFileType = 2032, kPictureMode = 2033;
const int kColor = 101, kSize = 102, kCount = 104;

// A text of the system's own, in the ANSI code page of the program (Shift-JIS).
std::string Sjis(const wchar_t *text) {
  char bytes[1024];
  int n = WideCharToMultiByte(932, 0, text, -1, bytes, sizeof(bytes), NULL, NULL);
  return n > 0 ? std::string(bytes) : std::string();
}

// Writes a settings file that holds just these keys.
void WriteSettings(const std::vector<std::pair<const char *, std::string>> &keys) {
  std::string text = std::string("[") + kSettingsSection + "]\r\n";
  for (const auto &key : keys) text += std::string(key.first) + "=" + key.second + "\r\n";
  WriteSettingsFileBytes(text);
}

INT_PTR RunConfigDialog(const std::function<void(DWORD)> &script) {
  return RunDialogWithScript(
      [] { return DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(2003), NULL, ConfigDialogProc, 0); },
      script);
}

HWND WaitForConfigDialog(DWORD thread) {
  const std::string caption = Sjis(L"Orvalo設定画面");
  return WaitForWindow(thread, [&](HWND w) { return IsDialogWindow(w) && WindowText(w) == caption; });
}

// A dialog that the configuration dialog owns and that holds the control id.
HWND WaitForOwnedDialog(DWORD thread, HWND owner, int controlId) {
  return WaitForWindow(thread, [&](HWND w) {
    return IsDialogWindow(w) && GetWindow(w, GW_OWNER) == owner && GetDlgItem(w, controlId) != NULL;
  });
}

// Presses a picker button and waits for the common dialog it opens (known by one of its controls).
HWND OpenPicker(DWORD thread, HWND dialog, int button, int controlId) {
  PressButton(dialog, button);
  return WaitForOwnedDialog(thread, dialog, controlId);
}

// Presses OK or Cancel in a common dialog and waits until it has gone.
bool EndPicker(HWND picker, int button) {
  PressButton(picker, button);
  return WaitUntilClosed(picker);
}

// The shell's folder browser: an unowned dialog with a folder tree.
HWND WaitForFolderBrowser(DWORD thread) {
  return WaitForWindow(thread, [](HWND w) {
    return IsDialogWindow(w) && GetWindow(w, GW_OWNER) == NULL && FindChildOfClass(w, "SysTreeView32") != NULL;
  });
}

// Types a folder into the folder edit, presses "．．．" and waits for the browser.
HWND OpenBrowserOn(DWORD thread, HWND dialog, const std::string &folder) {
  SetItemText(dialog, kFolder, folder);
  PressButton(dialog, kBrowse);
  return WaitForFolderBrowser(thread);
}

// A message box owned by the dialog with this caption.
HWND WaitForMessageBox(DWORD thread, HWND owner, const std::string &caption) {
  return WaitForWindow(thread, [&](HWND w) {
    return IsDialogWindow(w) && GetWindow(w, GW_OWNER) == owner && WindowText(w) == caption;
  });
}

// The icon that a message box shows: the warning icon for MB_ICONWARNING.
bool ShowsWarningIcon(HWND box) {
  HICON warning = LoadIconA(NULL, MAKEINTRESOURCEA(32515) /* IDI_WARNING */);
  bool found = false;
  for (HWND child = GetWindow(box, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT))
    if (reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)) == warning) found = true;
  return found;
}

// The whole text of every static child of a message box.
std::string MessageText(HWND box) {
  std::string text;
  for (HWND child = GetWindow(box, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
    char name[16];
    if (GetClassNameA(child, name, sizeof(name)) > 0 && lstrcmpiA(name, "Static") == 0) text += WindowText(child);
  }
  return text;
}

std::string FocusedWindowOf(DWORD thread, HWND dialog, int id) {
  GUITHREADINFO info;
  ZeroMemory(&info, sizeof(info));
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(thread, &info);
  return info.hwndFocus == GetDlgItem(dialog, id) ? "focused" : "not focused";
}

// Runs the dialog procedure itself on the dialog's thread, through a subclass of the dialog.
const UINT kCallDialogProc = WM_APP + 77;
struct ProcCall {
  UINT message;
  WPARAM wParam;
};
WNDPROC g_dialogClassProc = NULL;

LRESULT CALLBACK CallingSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kCallDialogProc) {
    const ProcCall *call = reinterpret_cast<const ProcCall *>(lParam);
    return ConfigDialogProc(window, call->message, call->wParam, 0);
  }
  return CallWindowProcA(g_dialogClassProc, window, message, wParam, lParam);
}

void SubclassForCalls(HWND dialog) {
  g_dialogClassProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CallingSubclass)));
}

INT_PTR CallDialogProc(HWND dialog, UINT message, WPARAM wParam) {
  ProcCall call = {message, wParam};
  return SendMessageA(dialog, kCallDialogProc, 0, reinterpret_cast<LPARAM>(&call));
}

// The text of the folder tree's selected item.
std::string SelectedTreeText(HWND tree) {
  char text[MAX_PATH] = "";
  TVITEMA item;
  ZeroMemory(&item, sizeof(item));
  item.mask = TVIF_TEXT;
  item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  item.pszText = text;
  item.cchTextMax = sizeof(text);
  if (item.hItem == NULL || !SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return "";
  return text;
}

// Picks an item of a common dialog's combo box as the mouse would: select it, then notify.
void PickComboItem(HWND dialog, int id, const char *item) {
  HWND combo = GetDlgItem(dialog, id);
  LRESULT index = SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(item));
  ASSERT_NE(CB_ERR, index) << item;
  SendMessageA(combo, CB_SETCURSEL, index, 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

// A folder of the test's own in the test prefix's drive C, created on demand.
std::string TestFolder(const std::string &relative) {
  // A name that is its own short form, like the drive above it.
  std::string path = "C:\\LUMCFGTS";
  CreateDirectoryA(path.c_str(), NULL);
  size_t start = 0;
  while (start < relative.size()) {
    size_t end = relative.find('\\', start);
    if (end == std::string::npos) end = relative.size();
    path += "\\" + relative.substr(start, end - start);
    CreateDirectoryA(path.c_str(), NULL);
    start = end + 1;
  }
  return path;
}

// A chain of folders named after stem (the last one cut) whose path is exactly length bytes.
std::string FolderOfLength(const std::string &tag, const std::string &stem, size_t length) {
  std::string relative = tag;
  std::string path = TestFolder(tag);
  while (path.size() < length) {
    size_t room = length - path.size() - 1;
    std::string name = stem.substr(0, room);
    if (room == stem.size() + 1) name.pop_back();  // leave room for one more name
    path += "\\" + name;
    relative += "\\" + name;
  }
  return TestFolder(relative);
}

const char kLongStem[] = "LongFolderName_abcdefghij";
const char kShortStem[] = "ABCDEFGH";

class ConfigDialogTest : public testing::Test {
 protected:
  void SetUp() override { DeleteSettingsFile(); }
  SettingsFileGuard guard_;
};

TEST_F(ConfigDialogTest, OpensWithTheDefaultsWhenThereIsNoSettingsFile) {
  INT_PTR result = RunConfigDialog([](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Maro-Works", ItemText(dialog, kText));
    EXPECT_EQ("d:\\My Documents\\My Pictures", ItemText(dialog, kFolder));
    EXPECT_EQ("3000", ItemText(dialog, kTime));
    EXPECT_EQ("100", ItemText(dialog, kSize));
    EXPECT_EQ("10", ItemText(dialog, kCount));
    EXPECT_EQ(Sjis(L"0:ＯＦＦ"), ItemText(dialog, kTextMode));
    EXPECT_EQ("0:ALL", ItemText(dialog, kFileType));
    EXPECT_EQ(Sjis(L"0:ＯＦＦ"), ItemText(dialog, kPictureMode));
    EXPECT_EQ(BST_UNCHECKED, SendDlgItemMessageA(dialog, kGradual, BM_GETCHECK, 0, 0));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kGradual)));
    EXPECT_EQ("focused", FocusedWindowOf(ui, dialog, kText));
    // No owner and no centring: the top left of the screen.
    RECT frame;
    GetWindowRect(dialog, &frame);
    EXPECT_EQ(0, frame.left);
    EXPECT_EQ(0, frame.top);
    EXPECT_EQ(nullptr, GetWindow(dialog, GW_OWNER));
    PressButton(dialog, kClose);
  });
  EXPECT_EQ(1, result);
  EXPECT_EQ("Maro-Works", ReadSettingsKey("STR"));
  EXPECT_EQ(3000, ReadSettingsInt("TIME"));
  EXPECT_EQ(1, ReadSettingsInt("J-MODE"));
  EXPECT_EQ(255, ReadSettingsInt("COLOR_B"));
}

TEST_F(ConfigDialogTest, ModeCombosListTheirItemsInOrderWithNoneSelected) {
  const std::vector<std::string> textModes = {Sjis(L"0:ＯＦＦ"), Sjis(L"1:ランダム"), Sjis(L"2:ピンポン")};
  const std::vector<std::string> fileTypes = {"0:ALL", "1:JEG", "2:BMP"};
  const std::vector<std::string> pictureModes = {Sjis(L"0:ＯＦＦ"),         Sjis(L"1:右上+現サイズ"),
                                                 Sjis(L"2:中央+現サイズ"),  Sjis(L"3:フィット画面"),
                                                 Sjis(L"4:フィット元絵"),   Sjis(L"5:ランダム")};
  RunConfigDialog([&](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    const std::pair<int, const std::vector<std::string> *> combos[] = {
        {kTextMode, &textModes}, {kFileType, &fileTypes}, {kPictureMode, &pictureModes}};
    for (const auto &combo : combos) {
      SCOPED_TRACE(combo.first);
      ASSERT_EQ(static_cast<LRESULT>(combo.second->size()), SendDlgItemMessageA(dialog, combo.first, CB_GETCOUNT, 0, 0));
      for (size_t i = 0; i < combo.second->size(); ++i) {
        char item[64] = "";
        SendDlgItemMessageA(dialog, combo.first, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        EXPECT_EQ((*combo.second)[i], item);
      }
      EXPECT_EQ(CB_ERR, SendDlgItemMessageA(dialog, combo.first, CB_GETCURSEL, 0, 0));
    }
    PressButton(dialog, kClose);
  });
}

TEST_F(ConfigDialogTest, StoredModesShowTheirItemOrNothingAndCloseByTheLeadingDigit) {
  struct Case {
    int sMode, fMode, gMode;
    std::string sText, fText, gText;
    int sSaved, fSaved, gSaved;
  } const cases[] = {
      {7, 3, 6, "", "", "", 0, 0, 0},
      {-1, 4, 9, "", "", "", 0, 0, 0},
      {2, 2, 5, Sjis(L"2:ピンポン"), "2:BMP", Sjis(L"5:ランダム"), 2, 2, 5},
      {1, 1, 3, Sjis(L"1:ランダム"), "1:JEG", Sjis(L"3:フィット画面"), 1, 1, 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "S-MODE " << c.sMode << " F-MODE " << c.fMode << " G-MODE " << c.gMode);
    WriteSettings({{"S-MODE", std::to_string(c.sMode)}, {"F-MODE", std::to_string(c.fMode)},
                   {"G-MODE", std::to_string(c.gMode)}});
    RunConfigDialog([&](DWORD ui) {
      HWND dialog = WaitForConfigDialog(ui);
      ASSERT_NE(nullptr, dialog);
      EXPECT_EQ(c.sText, ItemText(dialog, kTextMode));
      EXPECT_EQ(c.fText, ItemText(dialog, kFileType));
      EXPECT_EQ(c.gText, ItemText(dialog, kPictureMode));
      PressButton(dialog, kClose);
    });
    EXPECT_EQ(c.sSaved, ReadSettingsInt("S-MODE"));
    EXPECT_EQ(c.fSaved, ReadSettingsInt("F-MODE"));
    EXPECT_EQ(c.gSaved, ReadSettingsInt("G-MODE"));
  }
}

TEST_F(ConfigDialogTest, TypedModeTextsAreStoredByTheLowFourBitsOfTheFirstByte) {
  struct Case {
    int combo;
    const char *key;
    std::string typed;
    int stored;
  } const cases[] = {
      {kPictureMode, "G-MODE", "9", 9}, {kPictureMode, "G-MODE", "A", 1},   {kPictureMode, "G-MODE", "", 0},
      {kTextMode, "S-MODE", Sjis(L"2:ピンポン"), 2}, {kFileType, "F-MODE", "4:PNG", 4}, {kFileType, "F-MODE", "?", 15},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << " typed \"" << c.typed << '"');
    RunConfigDialog([&](DWORD ui) {
      HWND dialog = WaitForConfigDialog(ui);
      ASSERT_NE(nullptr, dialog);
      SetItemText(dialog, c.combo, c.typed);
      PressButton(dialog, kClose);
    });
    EXPECT_EQ(c.stored, ReadSettingsInt(c.key));
  }
}

TEST_F(ConfigDialogTest, NumberEditsAreReadAsAtoiOfAtMostFifteenCharacters) {
  const INT32 twelveDigits = static_cast<INT32>(static_cast<UINT32>(123456789012ull % 4294967296ull));
  const INT32 firstFifteen = static_cast<INT32>(static_cast<UINT32>(123456789012345ull % 4294967296ull));
  struct Case {
    const char *typed;
    INT32 stored;
  } const cases[] = {
      {" 250ms", 250}, {"abc", 0}, {"-5", -5}, {"123456789012", twelveDigits}, {"12345678901234567", firstFifteen},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "TIME typed \"" << c.typed << '"');
    RunConfigDialog([&](DWORD ui) {
      HWND dialog = WaitForConfigDialog(ui);
      ASSERT_NE(nullptr, dialog);
      SetItemText(dialog, kTime, c.typed);
      SetItemText(dialog, kSize, "222");
      SetItemText(dialog, kCount, "33");
      PressButton(dialog, kClose);
    });
    EXPECT_EQ(std::to_string(c.stored), ReadSettingsKey("TIME"));
    EXPECT_EQ(222, ReadSettingsInt("SIZE"));
    EXPECT_EQ(33, ReadSettingsInt("COUNT"));
  }
}

TEST_F(ConfigDialogTest, TextsAreCutToTheirFieldsOnWholeCharacters) {
  const std::string longText(70, 'x');
  const std::string longFolder = "c:\\" + std::string(300, 'p');
  std::wstring wideJapanese(40, L'あ');  // 80 bytes in Shift-JIS
  const std::string japanese = Sjis(wideJapanese.c_str());
  RunConfigDialog([&](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    SetItemText(dialog, kText, longText);
    SetItemText(dialog, kFolder, longFolder);
    PressButton(dialog, kClose);
  });
  EXPECT_EQ(std::string(63, 'x'), ReadSettingsKey("STR"));
  EXPECT_EQ(longFolder.substr(0, 255), ReadSettingsKey("PASS"));

  RunConfigDialog([&](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    SetItemText(dialog, kText, japanese);
    PressButton(dialog, kClose);
  });
  // 63 bytes would end in the first half of a character: 31 whole characters stay.
  EXPECT_EQ(japanese.substr(0, 62), ReadSettingsKey("STR"));
}

TEST_F(ConfigDialogTest, CloseAlwaysStoresJModeOneAndTheBoxIsNeverChecked) {
  for (int stored : {0, 1, 7}) {
    SCOPED_TRACE(stored);
    WriteSettings({{"J-MODE", std::to_string(stored)}});
    RunConfigDialog([](DWORD ui) {
      HWND dialog = WaitForConfigDialog(ui);
      ASSERT_NE(nullptr, dialog);
      EXPECT_EQ(BST_UNCHECKED, SendDlgItemMessageA(dialog, kGradual, BM_GETCHECK, 0, 0));
      PressButton(dialog, kClose);
    });
    EXPECT_EQ(1, ReadSettingsInt("J-MODE"));
  }
}

TEST_F(ConfigDialogTest, ClosingThroughTheFrameSavesNothingEvenAfterAColourChoice) {
  WriteSettings({{"STR", "kept"}, {"COLOR_R", "1"}, {"COLOR_G", "2"}, {"COLOR_B", "3"}, {"J-MODE", "0"}});
  const std::string before = ReadSettingsFileBytes();
  INT_PTR result = RunConfigDialog([](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    SetItemText(dialog, kText, "changed");
    HWND colors = OpenPicker(ui, dialog, kColor, COLOR_RED);
    ASSERT_NE(nullptr, colors);
    SetItemText(colors, COLOR_RED, "10");
    SetItemText(colors, COLOR_GREEN, "20");
    SetItemText(colors, COLOR_BLUE, "30");
    ASSERT_TRUE(EndPicker(colors, IDOK));
    // The close box and Alt+F4 arrive as this system command.
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(WaitUntilClosed(dialog));
  });
  EXPECT_EQ(1, result);
  EXPECT_EQ(before, ReadSettingsFileBytes());
}

TEST_F(ConfigDialogTest, ColourPickerStartsOnTheLowBitsAndStoresTheConfirmedColour) {
  WriteSettings({{"COLOR_R", "300"}, {"COLOR_G", "20"}, {"COLOR_B", "-226"}});
  RunConfigDialog([](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    HWND colors = OpenPicker(ui, dialog, kColor, COLOR_RED);
    ASSERT_NE(nullptr, colors);
    EXPECT_EQ("44", ItemText(colors, COLOR_RED));
    EXPECT_EQ("20", ItemText(colors, COLOR_GREEN));
    EXPECT_EQ("30", ItemText(colors, COLOR_BLUE));
    SetItemText(colors, COLOR_RED, "10");
    SetItemText(colors, COLOR_GREEN, "20");
    SetItemText(colors, COLOR_BLUE, "30");
    ASSERT_TRUE(EndPicker(colors, IDOK));
    // The focus is back in the dialog.
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(ui, &info);
    EXPECT_TRUE(info.hwndFocus == dialog || IsChild(dialog, info.hwndFocus));
    PressButton(dialog, kClose);
  });
  EXPECT_EQ(10, ReadSettingsInt("COLOR_R"));
  EXPECT_EQ(20, ReadSettingsInt("COLOR_G"));
  EXPECT_EQ(30, ReadSettingsInt("COLOR_B"));
}

TEST_F(ConfigDialogTest, FontPickerWritesTheConfirmedFontAndShowsBlackFirst) {
  int expectedHeight = 0;
  {
    HDC screen = GetDC(NULL);
    expectedHeight = -MulDiv(20, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(NULL, screen);
  }
  RunConfigDialog([](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    HWND fonts = OpenPicker(ui, dialog, kFont, cmb1);
    ASSERT_NE(nullptr, fonts);
    LRESULT colorIndex = SendDlgItemMessageA(fonts, cmb4, CB_GETCURSEL, 0, 0);
    ASSERT_NE(CB_ERR, colorIndex) << "the colour list has a selection";
    EXPECT_EQ(static_cast<LRESULT>(RGB(0, 0, 0)), SendDlgItemMessageA(fonts, cmb4, CB_GETITEMDATA, colorIndex, 0));
    PickComboItem(fonts, cmb3, "20");
    ASSERT_TRUE(EndPicker(fonts, IDOK));
    PressButton(dialog, kClose);
  });
  EXPECT_EQ(expectedHeight, ReadSettingsInt("lfHeight"));
  EXPECT_NE("", ReadSettingsKey("lfFaceName"));
}

TEST_F(ConfigDialogTest, CancelledColourAndFontPickersChangeNothing) {
  WriteSettings({{"COLOR_R", "300"}, {"COLOR_G", "-1"}, {"COLOR_B", "7"}});
  RunConfigDialog([](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    const struct {
      int button, marker, edit;
    } pickers[] = {{kColor, COLOR_RED, COLOR_RED}, {kFont, cmb1, cmb3}};
    for (const auto &picker : pickers) {
      HWND common = OpenPicker(ui, dialog, picker.button, picker.marker);
      ASSERT_NE(nullptr, common) << picker.button;
      SetItemText(common, picker.edit, "20");
      ASSERT_TRUE(EndPicker(common, IDCANCEL));
    }
    PressButton(dialog, kClose);
  });
  // The colour keeps its whole stored values, not their low bytes.
  EXPECT_EQ(300, ReadSettingsInt("COLOR_R"));
  EXPECT_EQ(-1, ReadSettingsInt("COLOR_G"));
  EXPECT_EQ(7, ReadSettingsInt("COLOR_B"));
  EXPECT_EQ(-48, ReadSettingsInt("lfHeight"));
  EXPECT_EQ(Sjis(L"ＭＳ 明朝"), ReadSettingsKey("lfFaceName"));
  EXPECT_EQ(128, ReadSettingsInt("lfCharSet"));
}

TEST_F(ConfigDialogTest, FolderBrowserOpensUnownedOnTheTypedFolder) {
  // A folder that exists before this process starts: Wine's browser can miss folders
  // that appear while a process runs.
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, sizeof(windows));
  const std::string folder = std::string(windows) + "\\Fonts";
  RunConfigDialog([&](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    HWND browser = OpenBrowserOn(ui, dialog, folder);
    ASSERT_NE(nullptr, browser);
    EXPECT_NE(nullptr, FindChildWithText(browser, Sjis(L"フォルダを選択"))) << "the browser's title";
    EXPECT_TRUE(IsWindowEnabled(dialog)) << "the dialog stays usable";
    HWND tree = FindChildOfClass(browser, "SysTreeView32");
    for (int i = 0; i < 3000 && lstrcmpiA(SelectedTreeText(tree).c_str(), "Fonts") != 0; ++i) Sleep(20);
    EXPECT_EQ(0, lstrcmpiA("Fonts", SelectedTreeText(tree).c_str())) << SelectedTreeText(tree);
    // Confirming returns the folder it opened on.
    PressButton(browser, IDOK);
    ASSERT_TRUE(WaitUntilClosed(browser));
    for (int i = 0; i < 100 && lstrcmpiA(ItemText(dialog, kFolder).c_str(), folder.c_str()) != 0; ++i) Sleep(20);
    EXPECT_EQ(0, lstrcmpiA(folder.c_str(), ItemText(dialog, kFolder).c_str())) << ItemText(dialog, kFolder);
    PressButton(dialog, kClose);
  });
  EXPECT_EQ(0, lstrcmpiA(folder.c_str(), ReadSettingsKey("PASS").c_str()));
}

TEST_F(ConfigDialogTest, CancelledFolderBrowserWarnsAndKeepsTheTypedFolder) {
  const std::string typed = "d:\\typed folder";
  RunConfigDialog([&](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    HWND browser = OpenBrowserOn(ui, dialog, typed);
    ASSERT_NE(nullptr, browser);
    PressButton(browser, IDCANCEL);
    HWND box = WaitForMessageBox(ui, dialog, Sjis(L"フォルダ選択"));
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(Sjis(L"キャンセルしました。"), MessageText(box));
    EXPECT_TRUE(ShowsWarningIcon(box));
    EXPECT_EQ(nullptr, GetDlgItem(box, IDCANCEL)) << "MB_OK only";
    PressButton(box, IDOK);
    ASSERT_TRUE(WaitUntilClosed(box));
    EXPECT_EQ(typed, ItemText(dialog, kFolder));
    PressButton(dialog, kClose);
  });
  EXPECT_EQ(typed, ReadSettingsKey("PASS"));
}

// A confirmed folder of 256 bytes or more goes through the same step as one the browser
// returns; it is handed over directly, since the browser's tree is slow to reach such depths.
TEST_F(ConfigDialogTest, AFolderPathTooLongForPassIsStoredByItsShortForm) {
  // Long names, 257 bytes in all; their short forms are much shorter.
  const std::string folder = FolderOfLength("long", kLongStem, 257);
  ASSERT_EQ(257u, folder.size());
  lstrcpynA(g_settings.pass, "d:\\before", sizeof(g_settings.pass));
  EXPECT_TRUE(StoreChosenFolder(NULL, folder.c_str()));
  std::string stored = g_settings.pass;
  EXPECT_LT(stored.size(), 256u);
  char longForm[MAX_PATH] = "";
  GetLongPathNameA(stored.c_str(), longForm, sizeof(longForm));
  EXPECT_EQ(0, lstrcmpiA(folder.c_str(), longForm)) << stored;

  // A path that fits is stored as it is.
  const std::string fits = TestFolder("Pictures");
  EXPECT_TRUE(StoreChosenFolder(NULL, fits.c_str()));
  EXPECT_EQ(fits, g_settings.pass);
}

TEST_F(ConfigDialogTest, AFolderPathWithoutAFittingShortFormWarnsAndKeepsTheFolder) {
  // Names that are their own short forms, 256 bytes in all.
  const std::string folder = FolderOfLength("short", kShortStem, 256);
  ASSERT_EQ(256u, folder.size());
  lstrcpynA(g_settings.pass, "d:\\before", sizeof(g_settings.pass));
  HWND owner = CreateWindowA("STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
  INT_PTR stored = RunDialogWithScript([&] { return static_cast<INT_PTR>(StoreChosenFolder(owner, folder.c_str())); },
                                       [&](DWORD ui) {
                                         HWND box = WaitForMessageBox(ui, owner, Sjis(L"フォルダ選択"));
                                         ASSERT_NE(nullptr, box);
                                         EXPECT_EQ(Sjis(L"フォルダのパスが長すぎるため、選択したフォルダを設定できません。"),
                                                   MessageText(box));
                                         EXPECT_TRUE(ShowsWarningIcon(box));
                                         PressButton(box, IDOK);
                                       });
  DestroyWindow(owner);
  EXPECT_FALSE(stored);
  EXPECT_STREQ("d:\\before", g_settings.pass);
}

TEST_F(ConfigDialogTest, EscEnterAndTheIdsOfOkAndCancelDoNotClose) {
  RunConfigDialog([](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    HWND edit = GetDlgItem(dialog, kText);
    SetItemText(dialog, kText, "");
    PostKeyPress(edit, VK_ESCAPE);
    PostKeyPress(edit, VK_RETURN);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    // A character posted last: once the edit shows it, everything before has been handled.
    PostMessageA(edit, WM_CHAR, 'Z', 1);
    for (int i = 0; i < 500 && ItemText(dialog, kText) != "Z"; ++i) Sleep(20);
    EXPECT_EQ("Z", ItemText(dialog, kText));
    EXPECT_TRUE(IsWindowVisible(dialog));
    PressButton(dialog, kClose);
  });
  EXPECT_EQ("Z", ReadSettingsKey("STR"));
}

TEST_F(ConfigDialogTest, DialogProcedureAnswersEachMessageAsItsTableSays) {
  RunConfigDialog([](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    SubclassForCalls(dialog);
    EXPECT_EQ(1, CallDialogProc(dialog, WM_INITDIALOG, 0));
    EXPECT_EQ(0, CallDialogProc(dialog, WM_COMMAND, 9999));
    EXPECT_EQ(0, CallDialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED)));
    EXPECT_EQ(0, CallDialogProc(dialog, WM_USER + 5, 0));
    EXPECT_EQ(0, CallDialogProc(dialog, WM_PAINT, 0));

    // The pickers run modally inside the call: answer them from here.
    INT_PTR result = -1;
    std::thread font([&] { result = CallDialogProc(dialog, WM_COMMAND, kFont); });
    HWND fonts = WaitForOwnedDialog(ui, dialog, cmb1);
    if (fonts != NULL) PressButton(fonts, IDCANCEL);
    font.join();
    EXPECT_EQ(0, result) << "font";

    std::thread color([&] { result = CallDialogProc(dialog, WM_COMMAND, MAKEWPARAM(kColor, BN_CLICKED)); });
    HWND colors = WaitForOwnedDialog(ui, dialog, COLOR_RED);
    if (colors != NULL) PressButton(colors, IDCANCEL);
    color.join();
    EXPECT_EQ(1, result) << "colour";

    std::thread folder([&] { result = CallDialogProc(dialog, WM_COMMAND, kBrowse); });
    HWND browser = WaitForFolderBrowser(ui);
    if (browser != NULL) PressButton(browser, IDCANCEL);
    HWND box = WaitForMessageBox(ui, dialog, Sjis(L"フォルダ選択"));
    if (box != NULL) PressButton(box, IDOK);
    folder.join();
    EXPECT_EQ(1, result) << "folder";

    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(1, CallDialogProc(dialog, WM_COMMAND, kClose));
    EXPECT_TRUE(WaitUntilClosed(dialog));
  });
  EXPECT_EQ(1, ReadSettingsInt("J-MODE"));

  INT_PTR result = RunConfigDialog([](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    SubclassForCalls(dialog);
    EXPECT_EQ(1, CallDialogProc(dialog, WM_CLOSE, 0));
    EXPECT_TRUE(WaitUntilClosed(dialog));
  });
  EXPECT_EQ(1, result);
}

TEST_F(ConfigDialogTest, AFailedSaveIsReportedOnceAndTheDialogStillEnds) {
  ReplaceSettingsFileWithFolder();
  int boxes = 0;
  INT_PTR result = RunConfigDialog([&](DWORD ui) {
    HWND dialog = WaitForConfigDialog(ui);
    ASSERT_NE(nullptr, dialog);
    SetItemText(dialog, kText, "after");
    PressButton(dialog, kClose);
    HWND box = WaitForMessageBox(ui, dialog, Sjis(L"Orvalo設定画面"));
    ASSERT_NE(nullptr, box);
    ++boxes;
    std::string text = MessageText(box);
    EXPECT_NE(std::string::npos, text.find(Sjis(L"設定を保存できませんでした。"))) << text;
    EXPECT_NE(std::string::npos, text.find(SettingsFilePath())) << text;
    EXPECT_TRUE(ShowsWarningIcon(box));
    PressButton(box, IDOK);
    ASSERT_TRUE(WaitUntilClosed(box));
    EXPECT_TRUE(WaitUntilClosed(dialog));
  });
  EXPECT_EQ(1, result);
  EXPECT_EQ(1, boxes);
  EXPECT_TRUE(SettingsFileIsFolder());
}

}  // namespace
