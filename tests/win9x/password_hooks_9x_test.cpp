// Password hooks and close rules on the Windows 9x family (Wine reports Windows 98 to this
// program), with scripted test doubles of PASSWORD.CPL and MPR.DLL beside it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "host/close_rules.h"
#include "host/host_state.h"
#include "host/password_hooks.h"
#include "host/startup.h"
#include "tests/support/password_setting.h"
#include "tests/support/saver_test_window.h"

namespace {

typedef void (*AnyProc)();
typedef BOOL (*VerifyScript)(HWND window);
typedef void(WINAPI *SetVerifyScriptProc)(VerifyScript script);
typedef LONG(WINAPI *VerifyCallsProc)();
typedef HWND(WINAPI *LastVerifyOwnerProc)();
struct ChangeCall {
  char provider[32];
  HWND owner;
  DWORD reserved1;
  DWORD reserved2;
};
typedef LONG(WINAPI *ChangeCallsProc)(ChangeCall *last);

template <typename T>
T Entry(HMODULE module, const char *name) {
  return reinterpret_cast<T>(reinterpret_cast<AnyProc>(GetProcAddress(module, name)));
}

// Recorders in place of the hooks' platform calls; they pass on to the real ones
// except where a test makes a library or an entry go missing.
struct CallLog {
  int registryCalls = 0;
  std::vector<std::string> loaded;
  int freed = 0;
  std::vector<UINT> runningStates;  // uiParam of each SPI_SETSCREENSAVERRUNNING
  int tickReads = 0;
  bool libraryMissing = false;
  bool entryMissing = false;
};
CallLog g_log;
DWORD g_tick = 1000;

LONG WINAPI RecordOpenKey(HKEY key, LPCSTR name, PHKEY result) {
  ++g_log.registryCalls;
  return RegOpenKeyA(key, name, result);
}
LONG WINAPI RecordQueryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
  ++g_log.registryCalls;
  return RegQueryValueExA(key, name, reserved, type, data, size);
}
LONG WINAPI RecordCloseKey(HKEY key) {
  ++g_log.registryCalls;
  return RegCloseKey(key);
}
HMODULE WINAPI RecordLoadLibrary(LPCSTR name) {
  g_log.loaded.push_back(name);
  return g_log.libraryMissing ? NULL : LoadLibraryA(name);
}
FARPROC WINAPI RecordGetProcAddress(HMODULE module, LPCSTR name) {
  return g_log.entryMissing ? NULL : GetProcAddress(module, name);
}
BOOL WINAPI RecordFreeLibrary(HMODULE module) {
  ++g_log.freed;
  return FreeLibrary(module);
}
BOOL WINAPI RecordRunningState(UINT action, UINT param, PVOID, UINT) {
  if (action == SPI_SETSCREENSAVERRUNNING) g_log.runningStates.push_back(param);
  return TRUE;
}
DWORD WINAPI ScriptedTick() {
  ++g_log.tickReads;
  return g_tick;
}

const PasswordHookCalls kRecorders = {RecordOpenKey,      RecordQueryValue,     RecordCloseKey,
                                      RecordLoadLibrary,  RecordGetProcAddress, RecordFreeLibrary,
                                      RecordRunningState, ScriptedTick};

const DWORD kOne = 1;

class Win9xTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_passwordCalls;
    g_passwordCalls = kRecorders;
    g_log = CallLog();
    g_tick = 1000;
    ResetHostState(TRUE, FALSE);
  }
  void TearDown() override {
    UnloadPasswordHook();
    ResetHostState(TRUE, FALSE);
    g_passwordCalls = saved_;
  }
  UsePasswordGuard keepSetting_;
  PasswordHookCalls saved_;
};

TEST(Win9xFamilyTest, WineReportsWindows98AndTheDispatcherSeesIt) {
  OSVERSIONINFOA version;
  ZeroMemory(&version, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);
  ASSERT_TRUE(GetVersionExA(&version));
  ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS), version.dwPlatformId)
      << "run with Wine's AppDefaults Version=win98 for this program (scripts/wine-env.sh)";
  static HWND changedFor;
  changedFor = HWND(1);
  SaverModeCalls saved = g_modeCalls;
  g_modeCalls.changeSaverPassword = [](HWND parent) { changedFor = parent; };
  HWND owner = CreateCloseRulesWindow();
  std::string tail = "/a " + std::to_string(static_cast<UINT32>(reinterpret_cast<UINT_PTR>(owner)));
  EXPECT_EQ(0, DispatchSaverSwitch(GetModuleHandleA(NULL), tail.c_str()));
  g_modeCalls = saved;
  EXPECT_EQ(1, g_host.isWin9x);
  EXPECT_EQ(owner, changedFor);
  DestroyWindow(owner);
}

// The user's setting, read as at most four bytes of any registry type.
struct SettingCase {
  const char *name;
  DWORD type;  // 0: no value
  const char *bytes;
  DWORD size;
  bool armed;
};
std::ostream &operator<<(std::ostream &out, const SettingCase &c) { return out << c.name; }

const SettingCase kSettingCases[] = {
    {"Missing", 0, "", 0, false},
    {"DwordZero", REG_DWORD, "\0\0\0\0", 4, false},
    {"DwordOne", REG_DWORD, "\1\0\0\0", 4, true},
    {"DwordHighByte", REG_DWORD, "\0\0\0\1", 4, true},
    {"TextZeroArms", REG_SZ, "0", 2, true},  // the bytes 0x30 0x00
    {"EmptyText", REG_SZ, "", 1, false},
    {"OneByte", REG_BINARY, "\1", 1, true},
    {"FiveBytesTooLong", REG_BINARY, "\1\1\1\1\1", 5, false},
    {"LongTextTooLong", REG_SZ, "1111", 5, false},
};

class SettingTest : public Win9xTest, public testing::WithParamInterface<SettingCase> {};

TEST_P(SettingTest, ArmsTheCheckOnlyForANonZeroValueOfAtMostFourBytes) {
  const SettingCase &c = GetParam();
  if (c.type)
    WriteUsePassword(c.type, c.bytes, c.size);
  else
    DeleteUsePassword();
  LoadPasswordHook();
  EXPECT_EQ(c.armed, g_host.passwordModule != NULL);
  EXPECT_EQ(c.armed, g_host.verifyPasswordEntry != NULL);
  EXPECT_EQ(c.armed, GetModuleHandleA("PASSWORD.CPL") != NULL);
  EXPECT_EQ(c.armed ? std::vector<UINT>{1} : std::vector<UINT>{}, g_log.runningStates);
  UnloadPasswordHook();
  EXPECT_EQ(NULL, GetModuleHandleA("PASSWORD.CPL"));
  EXPECT_EQ(c.armed ? std::vector<UINT>({1, 0}) : std::vector<UINT>{}, g_log.runningStates);
  EXPECT_EQ(NULL, g_host.passwordModule);
}

INSTANTIATE_TEST_SUITE_P(Values, SettingTest, testing::ValuesIn(kSettingCases),
                         [](const testing::TestParamInfo<SettingCase> &info) { return info.param.name; });

TEST_F(Win9xTest, RunningStateOnlyWhileTheComponentIsLoadedWithItsEntry) {
  WriteUsePassword(REG_DWORD, &kOne, 4);
  g_log.libraryMissing = true;
  LoadPasswordHook();
  EXPECT_EQ(NULL, g_host.passwordModule);
  EXPECT_TRUE(g_log.runningStates.empty());

  g_log.libraryMissing = false;
  g_log.entryMissing = true;
  LoadPasswordHook();
  EXPECT_EQ(NULL, g_host.passwordModule);
  EXPECT_EQ(NULL, g_host.verifyPasswordEntry);
  EXPECT_EQ(1, g_log.freed);  // freed again at once
  EXPECT_EQ(NULL, GetModuleHandleA("PASSWORD.CPL"));
  EXPECT_TRUE(g_log.runningStates.empty());

  g_log.entryMissing = false;
  LoadPasswordHook();
  LoadPasswordHook();  // a second load unloads the first
  EXPECT_EQ(std::vector<UINT>({1, 0, 1}), g_log.runningStates);
  UnloadPasswordHook();
  UnloadPasswordHook();  // nothing loaded: nothing happens
  EXPECT_EQ(std::vector<UINT>({1, 0, 1, 0}), g_log.runningStates);
  EXPECT_EQ(3, g_log.freed);
}

TEST_F(Win9xTest, ExceptionGuardsCallClearsTheRunningState) {
  SetSaverRunning(0);
  EXPECT_EQ(std::vector<UINT>{0}, g_log.runningStates);
}

// A full-screen run with the test double of PASSWORD.CPL loaded.
class VerifyTest : public Win9xTest {
 protected:
  void SetUp() override {
    Win9xTest::SetUp();
    WriteUsePassword(REG_DWORD, &kOne, 4);
    LoadPasswordHook();
    ASSERT_NE(nullptr, g_host.verifyPasswordEntry);
    setScript_ = Entry<SetVerifyScriptProc>(g_host.passwordModule, "SetVerifyScript");
    calls_ = Entry<VerifyCallsProc>(g_host.passwordModule, "VerifyCalls");
    lastOwner_ = Entry<LastVerifyOwnerProc>(g_host.passwordModule, "LastVerifyOwner");
    ASSERT_NE(nullptr, setScript_);
    window_ = CreateCloseRulesWindow();
    s_window = window_;
    callsBefore_ = calls_();
  }
  void TearDown() override {
    setScript_(NULL);
    if (IsWindow(window_)) DestroyWindow(window_);
    Win9xTest::TearDown();
  }
  LONG Calls() { return calls_() - callsBefore_; }
  static HWND s_window;
  HWND window_ = NULL;
  SetVerifyScriptProc setScript_ = NULL;
  VerifyCallsProc calls_ = NULL;
  LastVerifyOwnerProc lastOwner_ = NULL;
  LONG callsBefore_ = 0;
};
HWND VerifyTest::s_window = NULL;

TEST_F(VerifyTest, RightPasswordLetsTheCloseDestroyTheWindow) {
  setScript_([](HWND) -> BOOL {
    g_tick = 4000;  // the dialog took three seconds
    return 1;
  });
  EXPECT_EQ(0, SendMessageA(window_, WM_CLOSE, 0, 0));
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(1, Calls());
  EXPECT_EQ(window_, lastOwner_());
  EXPECT_EQ(1, g_host.closeAllowed);
  EXPECT_EQ(0, g_host.isVerifying);
  EXPECT_EQ(4000u, g_host.lastVerifyTick);
}

TEST_F(VerifyTest, CloseAllowedKeepsTheComponentsValueAndNeverGoesBack) {
  setScript_([](HWND) -> BOOL { return 7; });
  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(7, g_host.closeAllowed);
  EXPECT_EQ(0, VerifyBeforeClose(window_));  // nothing more to verify
  EXPECT_EQ(7, g_host.closeAllowed);
  EXPECT_EQ(1, Calls());
}

TEST_F(VerifyTest, WrongPasswordKeepsTheSaverAndRecordsTheAnchor) {
  setScript_([](HWND) -> BOOL {
    SetCursor(LoadCursor(NULL, IDC_ARROW));  // the prompt showed a cursor
    SetCursorPos(321, 243);
    return 0;
  });
  EXPECT_EQ(0, SendMessageA(window_, WM_CLOSE, 0, 0));
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_EQ(0, g_host.closeAllowed);
  EXPECT_EQ(0, g_host.isVerifying);
  EXPECT_EQ(321, g_host.cursorAnchor.x);
  EXPECT_EQ(243, g_host.cursorAnchor.y);
  EXPECT_EQ(NULL, GetCursor());
  EXPECT_EQ(1000u, g_host.lastVerifyTick);
  // Later movement is measured from the new anchor.
  SetCursorPos(323, 245);
  SendMessageA(window_, WM_MOUSEMOVE, 0, 0);
  EXPECT_EQ(0, TakePostedCloses(window_));
}

TEST_F(VerifyTest, ClosesWithin200msOfARefusedCheckAreRefusedWithoutAsking) {
  setScript_([](HWND) -> BOOL {
    g_tick = 5000;
    return 0;
  });
  SendMessageA(window_, WM_CLOSE, 0, 0);
  ASSERT_EQ(1, Calls());
  g_tick = 5199;
  SetCursorPos(200, 100);
  EXPECT_EQ(0, SendMessageA(window_, WM_CLOSE, 0, 0));
  EXPECT_EQ(1, Calls());
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_EQ(200, g_host.cursorAnchor.x);  // a refused close records the anchor too
  g_tick = 5200;
  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(2, Calls());
}

TEST_F(VerifyTest, RefusalWindowWorksAcrossTheWrapOfTheTickCounter) {
  setScript_([](HWND) -> BOOL {
    g_tick = 0xFFFFFF80;  // 128 ms before the wrap
    return 0;
  });
  SendMessageA(window_, WM_CLOSE, 0, 0);
  ASSERT_EQ(0xFFFFFF80u, g_host.lastVerifyTick);
  g_tick = 0x47;  // 199 ms later
  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(1, Calls());
  g_tick = 0x48;  // 200 ms later
  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(2, Calls());
}

TEST_F(VerifyTest, FirstCheckIsNeverHeldBack) {
  setScript_([](HWND) -> BOOL { return 0; });
  g_tick = 0x10;  // 17 ms after "0xFFFFFFFF", which means no check yet
  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(1, Calls());
}

// Checks made from inside the prompt, while the check runs nested in WM_CLOSE.
struct DuringCheck {
  BOOL verifying;
  LRESULT secondClose;
  BOOL windowAlive;
  int closesPosted;
  LRESULT setCursor;
  LRESULT setCursorDefault;
  int pendingTimers;
};
DuringCheck g_during;

TEST_F(VerifyTest, WhileThePromptIsOpenClosesAreRefusedAndInputCannotClose) {
  for (int i = 0; i < 3; ++i) PostMessageA(window_, WM_TIMER, 1, 0);
  setScript_([](HWND window) -> BOOL {
    HWND saver = s_window;
    g_during.verifying = g_host.isVerifying;
    g_during.pendingTimers = CountPendingTimers(saver);
    g_during.secondClose = SendMessageA(saver, WM_CLOSE, 0, 0);
    g_during.windowAlive = IsWindow(saver);
    SendMessageA(saver, WM_KEYDOWN, 'A', 0);
    SendMessageA(saver, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SendMessageA(saver, WM_ACTIVATEAPP, 0, 0);
    SendMessageA(saver, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SetCursorPos(g_host.cursorAnchor.x + 100, g_host.cursorAnchor.y + 100);
    SendMessageA(saver, WM_MOUSEMOVE, 0, 0);
    g_during.closesPosted = TakePostedCloses(saver);
    g_during.setCursor = SendMessageA(saver, WM_SETCURSOR, (WPARAM)saver, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    g_during.setCursorDefault = DefWindowProcA(saver, WM_SETCURSOR, (WPARAM)saver, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return window == saver ? 0 : 1;
  });
  g_during = DuringCheck();
  EXPECT_EQ(0, SendMessageA(window_, WM_CLOSE, 0, 0));
  EXPECT_EQ(1, Calls());  // the second WM_CLOSE did not ask again
  EXPECT_TRUE(g_during.verifying);
  EXPECT_EQ(0, g_during.secondClose);
  EXPECT_TRUE(g_during.windowAlive);
  EXPECT_EQ(0, g_during.closesPosted);
  EXPECT_EQ(g_during.setCursorDefault, g_during.setCursor);
  EXPECT_EQ(1, g_during.pendingTimers);  // two pending ticks were dropped before the prompt
  EXPECT_TRUE(IsWindow(window_));
  EXPECT_EQ(0, g_host.isVerifying);
}

TEST_F(VerifyTest, AfterTheCloseIsAllowedInputAndTheCheckGoToTheDefault) {
  g_host.closeAllowed = 1;
  const UINT closers[] = {WM_KEYDOWN, WM_LBUTTONDOWN, WM_ACTIVATEAPP, WM_POWERBROADCAST, WM_MOUSEMOVE};
  SetCursorPos(g_host.cursorAnchor.x + 100, g_host.cursorAnchor.y + 100);
  for (UINT message : closers) SendMessageA(window_, message, 0, 0);
  EXPECT_EQ(0, TakePostedCloses(window_));
  EXPECT_EQ(DefWindowProcA(window_, SVM_VERIFYPASSWORD, 0, 0), SendMessageA(window_, SVM_VERIFYPASSWORD, 0, 0));
  EXPECT_EQ(0, Calls());
  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(0, Calls());
}

TEST_F(VerifyTest, PreviewClosesWithoutAPassword) {
  g_host.isPreview = 1;
  EXPECT_EQ(DefWindowProcA(window_, SVM_VERIFYPASSWORD, 0, 0), SendMessageA(window_, SVM_VERIFYPASSWORD, 0, 0));
  SendMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(0, Calls());
}

TEST_F(VerifyTest, AutoPlayQueryClosesAndIsCancelledWhileLocked) {
  g_host.queryCancelAutoPlayMessage = RegisterWindowMessageA("QueryCancelAutoPlay");
  ASSERT_NE(0u, g_host.queryCancelAutoPlayMessage);
  EXPECT_EQ(1, SendMessageA(window_, g_host.queryCancelAutoPlayMessage, 0, 0));
  EXPECT_EQ(1, TakePostedCloses(window_));
  // Answered in preview and after a close was allowed too.
  g_host.isPreview = 1;
  EXPECT_EQ(1, SendMessageA(window_, g_host.queryCancelAutoPlayMessage, 0, 0));
  g_host.isPreview = 0;
  g_host.closeAllowed = 1;
  EXPECT_EQ(1, SendMessageA(window_, g_host.queryCancelAutoPlayMessage, 0, 0));
  EXPECT_EQ(2, TakePostedCloses(window_));
  EXPECT_EQ(0, Calls());
}

TEST_F(Win9xTest, WithoutAComponentAutoPlayIsNotCancelledAndTheCloseNeedsNoCheck) {
  DeleteUsePassword();
  LoadPasswordHook();
  HWND window = CreateCloseRulesWindow();
  g_host.queryCancelAutoPlayMessage = RegisterWindowMessageA("QueryCancelAutoPlay");
  EXPECT_EQ(0, SendMessageA(window, g_host.queryCancelAutoPlayMessage, 0, 0));
  EXPECT_EQ(1, TakePostedCloses(window));
  EXPECT_EQ(1, SendMessageA(window, SVM_VERIFYPASSWORD, 0, 0));  // no component: accepted
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(1, g_host.closeAllowed);
  EXPECT_EQ(0, g_log.tickReads);
}

TEST_F(Win9xTest, ChangeRunsThePasswordChangeOfMprAndFreesIt) {
  HMODULE pinned = LoadLibraryA("MPR.DLL");  // the double, kept loaded to read its record
  ASSERT_NE(nullptr, pinned);
  ChangeCallsProc changeCalls = Entry<ChangeCallsProc>(pinned, "ChangeCalls");
  ASSERT_NE(nullptr, changeCalls) << "the test double of MPR.DLL was not loaded (WINEDLLOVERRIDES=mpr=n,b)";
  ChangeCall last;
  LONG before = changeCalls(&last);
  HWND owner = CreateCloseRulesWindow();
  ChangeSaverPassword(owner);
  EXPECT_EQ(before + 1, changeCalls(&last));
  EXPECT_STREQ("SCRSAVE", last.provider);
  EXPECT_EQ(owner, last.owner);
  EXPECT_EQ(0u, last.reserved1);
  EXPECT_EQ(0u, last.reserved2);
  EXPECT_EQ(std::vector<std::string>{"MPR.DLL"}, g_log.loaded);
  EXPECT_EQ(1, g_log.freed);
  // Without the library nothing is called.
  g_log.libraryMissing = true;
  ChangeSaverPassword(owner);
  EXPECT_EQ(before + 1, changeCalls(&last));
  EXPECT_EQ(1, g_log.freed);
  // Without the entry the library is freed again.
  g_log.libraryMissing = false;
  g_log.entryMissing = true;
  ChangeSaverPassword(owner);
  EXPECT_EQ(before + 1, changeCalls(&last));
  EXPECT_EQ(2, g_log.freed);
  DestroyWindow(owner);
  FreeLibrary(pinned);
}

}  // namespace
