// The built lumeta_show.scr started as a process with real command lines, on both families.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/settings_file.h"

namespace {

const DWORD kWait = 20000;

std::string Saver() { return BuildFolder() + "\\lumeta_show.scr"; }

struct ExitCase {
  const char *arguments;
  int exitCode;
};

class RejectedSwitchTest : public testing::TestWithParam<ExitCase> {};

TEST_P(RejectedSwitchTest, ExitsWithoutAWindow) {
  HANDLE process = StartProgram(Saver(), GetParam().arguments);
  ASSERT_NE(nullptr, process);
  EXPECT_EQ(GetParam().exitCode, WaitForExit(process, kWait));
}

INSTANTIATE_TEST_SUITE_P(Switches, RejectedSwitchTest,
                         testing::Values(ExitCase{"/x", -1}, ExitCase{"/p 0", -1}, ExitCase{"/p", -1},
                                         ExitCase{"/a 123", -1}, ExitCase{"/l abc", -1}));

// The configuration dialog's caption, "Orvalo設定画面".
const wchar_t kDialogCaption[] = L"Orvalo\u8A2D\u5B9A\u753B\u9762";

TEST(ProgramTest, NoSwitchOpensTheDialogWhichEndsWithOne) {
  SettingsFileGuard keep;
  HANDLE process = StartProgram(Saver(), "");
  ASSERT_NE(nullptr, process);
  HWND dialog = WaitForWindowW(L"#32770", kDialogCaption, kWait);
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(NULL, GetWindow(dialog, GW_OWNER));
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_EQ(1, WaitForExit(process, kWait));
}

// The names of the modules loaded in a running process, in capitals.
std::vector<std::string> ModuleNames(HANDLE process) {
  HMODULE modules[512];
  DWORD bytes = 0;
  std::vector<std::string> names;
  if (!EnumProcessModules(process, modules, sizeof(modules), &bytes)) return names;
  for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < ARRAYSIZE(modules); ++i) {
    char name[MAX_PATH];
    if (GetModuleBaseNameA(process, modules[i], name, sizeof(name)) == 0) continue;
    CharUpperA(name);
    names.push_back(name);
  }
  return names;
}

// A full-screen run ends with 0. It never opens a dialog: the common dialogs, the shell and what
// they bring with them (the print spooler) stay out of the saver's memory.
TEST(ProgramTest, FullScreenRunLoadsNoDialogLibrariesAndEndsWithZero) {
  SettingsFileGuard keep;
  WriteSettingsFile("[Screen Saver.lumeta_show]\r\nG-MODE=0\r\nS-MODE=0\r\n");
  HANDLE process = StartProgram(Saver(), "/s");
  ASSERT_NE(nullptr, process);
  HWND saver = WaitForWindowW(L"WindowsScreenSaverClass", L"Screen Saver", kWait);
  ASSERT_NE(nullptr, saver);
  std::vector<std::string> names = ModuleNames(process);
  EXPECT_NE(std::find(names.begin(), names.end(), "IMGCTL.DLL"), names.end());
  // (OLE32 is not among them: Wine's own window code may load it into any process with a window.)
  for (const char *library : {"COMDLG32.DLL", "SHELL32.DLL", "WINSPOOL.DRV"})
    EXPECT_EQ(std::find(names.begin(), names.end(), library), names.end()) << library;
  PostMessageW(saver, WM_CLOSE, 0, 0);
  EXPECT_EQ(0, WaitForExit(process, kWait));
}

TEST(ProgramTest, PasswordSwitchOnThe9xFamilyExitsWithZero) {
  // A copy of the program under a name of its own, for which Wine reports Windows 98.
  std::string copy = BuildFolder() + "\\lumeta_show_9x.scr";
  ASSERT_TRUE(CopyFileA(Saver().c_str(), copy.c_str(), FALSE));
  ReportWin98To("lumeta_show_9x.scr", true);
  HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
  HANDLE process = StartProgram(copy, "/a " + std::to_string(static_cast<UINT32>(reinterpret_cast<UINT_PTR>(owner))));
  ASSERT_NE(nullptr, process);
  EXPECT_EQ(0, WaitForExit(process, kWait));
  process = StartProgram(copy, "/x");
  EXPECT_EQ(-1, WaitForExit(process, kWait));
  DestroyWindow(owner);
  ReportWin98To("lumeta_show_9x.scr", false);
  DeleteFileA(copy.c_str());
}

}  // namespace
