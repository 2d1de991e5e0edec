// Start-up: the command tail, the switch table, window handles, the exception guard.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "host/host_state.h"
#include "host/startup.h"

namespace {

struct TailCase {
  const char *line;
  const char *tail;
};

void PrintTo(const TailCase &c, std::ostream *out) { *out << c.line; }

class CommandTailTest : public testing::TestWithParam<TailCase> {};

TEST_P(CommandTailTest, StartsAfterTheProgramNameAndBlanks) {
  EXPECT_STREQ(GetParam().tail, FindCommandTail(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandTailTest,
    testing::Values(TailCase{"\"C:\\Program Files\\lumeta show.scr\" /s", "/s"},
                    TailCase{"\"C:\\Program Files\\lumeta show.scr /s", ""},      // never closed
                    TailCase{"lumeta_show.scr/s", ""},                             // glued to the name
                    TailCase{"\"lumeta_show.scr\"/s", "/s"},                       // right after the quote
                    TailCase{"lumeta_show.scr", ""}, TailCase{"", ""},
                    TailCase{"lumeta_show.scr \t\t /p 123", "/p 123"},            // tabs skipped here
                    TailCase{"lumeta_show.scr\t/c:5", "/c:5"},
                    TailCase{"\"\x8E\xCA\x90\x5E\\\x95\x5C.scr\" -s", "-s"},       // Shift-JIS name "写真\表.scr"
                    TailCase{"\x95\x5C.scr /s", "/s"}));

// What the dispatcher asked the other subsystems to do.
struct ModeLog {
  int saverCalls;
  HWND saverParent;
  int passwordCalls;
  HWND passwordOwner;
  int dialogCalls;
  HWND dialogOwner;
  HINSTANCE dialogInstance;
  LPCSTR dialogTemplate;
};
ModeLog g_log;
const int kSaverResult = 17;
const int kDialogResult = 23;

int RecordSaverWindow(HWND parent) {
  ++g_log.saverCalls;
  g_log.saverParent = parent;
  return kSaverResult;
}
void RecordPasswordChange(HWND owner) {
  ++g_log.passwordCalls;
  g_log.passwordOwner = owner;
}
INT_PTR WINAPI RecordDialog(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC, LPARAM) {
  ++g_log.dialogCalls;
  g_log.dialogOwner = owner;
  g_log.dialogInstance = instance;
  g_log.dialogTemplate = name;
  return kDialogResult;
}

enum Mode { kNone, kSaver, kPreview, kDialog, kPassword };
// Which window the mode should get.
enum Owner { kNull, kTestWindow, kForeground };

struct SwitchCase {
  const char *tail;  // "%w" stands for the test window's handle in decimal
  Mode mode;
  Owner owner;
};

void PrintTo(const SwitchCase &c, std::ostream *out) { *out << '"' << c.tail << '"'; }

class DispatchTest : public testing::TestWithParam<SwitchCase> {
 protected:
  static void SetUpTestSuite() {
    window_ = CreateWindowExA(0, "STATIC", "dispatch test", WS_OVERLAPPED, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
  }
  static void TearDownTestSuite() { DestroyWindow(window_); }
  void SetUp() override {
    saved_ = g_modeCalls;
    g_modeCalls = SaverModeCalls{RecordSaverWindow, RecordPasswordChange, RecordDialog};
    ZeroMemory(&g_log, sizeof(g_log));
  }
  void TearDown() override { g_modeCalls = saved_; }

  static std::string WithWindow(const char *tail) {
    std::string text = tail;
    size_t at = text.find("%w");
    if (at != std::string::npos)
      text.replace(at, 2, std::to_string(static_cast<UINT32>(reinterpret_cast<UINT_PTR>(window_))));
    return text;
  }
  static HWND Expected(Owner owner) {
    return owner == kNull ? NULL : owner == kTestWindow ? window_ : GetForegroundWindow();
  }

  static HWND window_;
  SaverModeCalls saved_;
};
HWND DispatchTest::window_;

TEST_P(DispatchTest, RunsTheModeOfTheFirstSwitch) {
  const SwitchCase &c = GetParam();
  HINSTANCE instance = GetModuleHandleA(NULL);
  int result = DispatchSaverSwitch(instance, WithWindow(c.tail).c_str());
  EXPECT_EQ(instance, g_host.instance);
  EXPECT_EQ(0, g_host.isWin9x);  // Wine reports the NT family here
  EXPECT_EQ(c.mode == kSaver || c.mode == kPreview ? 1 : 0, g_log.saverCalls);
  EXPECT_EQ(c.mode == kDialog ? 1 : 0, g_log.dialogCalls);
  EXPECT_EQ(c.mode == kPassword ? 1 : 0, g_log.passwordCalls);
  switch (c.mode) {
    case kNone:
      EXPECT_EQ(-1, result);
      break;
    case kSaver:
    case kPreview:
      EXPECT_EQ(kSaverResult, result);
      EXPECT_EQ(Expected(c.owner), g_log.saverParent);
      break;
    case kDialog:
      EXPECT_EQ(kDialogResult, result);
      EXPECT_EQ(Expected(c.owner), g_log.dialogOwner);
      EXPECT_EQ(instance, g_log.dialogInstance);
      EXPECT_EQ(MAKEINTRESOURCEA(2003), g_log.dialogTemplate);
      break;
    case kPassword:
      EXPECT_EQ(0, result);
      EXPECT_EQ(Expected(c.owner), g_log.passwordOwner);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Switches, DispatchTest,
    testing::Values(
        // Full screen, whatever follows the letter.
        SwitchCase{"/s", kSaver, kNull}, SwitchCase{"-S", kSaver, kNull}, SwitchCase{"//s", kSaver, kNull},
        SwitchCase{"s", kSaver, kNull}, SwitchCase{"/ s", kSaver, kNull}, SwitchCase{"/s /p 5", kSaver, kNull},
        SwitchCase{"-/- S garbage", kSaver, kNull},
        // Preview: a decimal window after optional blanks (0x20 only).
        SwitchCase{"/p %w", kPreview, kTestWindow}, SwitchCase{"/p    %w", kPreview, kTestWindow},
        SwitchCase{"/l %w", kPreview, kTestWindow}, SwitchCase{"/P%w", kPreview, kTestWindow},
        SwitchCase{"-L %w trailing", kPreview, kTestWindow}, SwitchCase{"/p 0", kNone, kNull},
        SwitchCase{"/p", kNone, kNull}, SwitchCase{"/p abc", kNone, kNull}, SwitchCase{"/p:%w", kNone, kNull},
        SwitchCase{"/p\t%w", kNone, kNull}, SwitchCase{"/p -%w", kNone, kNull}, SwitchCase{"/p 1", kNone, kNull},
        // Configuration: no switch, or c with an optional colon and owner.
        SwitchCase{"", kDialog, kNull}, SwitchCase{"   ", kDialog, kNull}, SwitchCase{"- / -", kDialog, kNull},
        SwitchCase{"/c:%w", kDialog, kTestWindow}, SwitchCase{"C:%w", kDialog, kTestWindow},
        SwitchCase{"/c", kDialog, kForeground}, SwitchCase{"/c %w", kDialog, kForeground},
        SwitchCase{"/c:", kDialog, kForeground}, SwitchCase{"/c:0", kDialog, kForeground},
        SwitchCase{"/c:1", kDialog, kForeground},
        // The password switch belongs to the 9x family only.
        SwitchCase{"/a %w", kNone, kNull}, SwitchCase{"/A", kNone, kNull},
        // Anything else.
        SwitchCase{"/x", kNone, kNull}, SwitchCase{"/\ts", kNone, kNull}, SwitchCase{"\ts", kNone, kNull},
        SwitchCase{"/\x82s", kNone, kNull}, SwitchCase{"/?", kNone, kNull}, SwitchCase{"1", kNone, kNull}));

TEST(ParseWindowHandleTest, ReadsDecimalDigitsOnlyAndWrapsModulo2To32) {
  struct {
    const char *text;
    UINT32 value;
  } cases[] = {{"123", 123},           {"0", 0},           {"", 0},        {"abc", 0},          {"-5", 0},
               {"+5", 0},              {" 5", 0},          {"12 34", 12},  {"0x1F", 0},         {"4294967295", 4294967295u},
               {"4294967296", 0},      {"4294967297", 1},  {"99999999999", 1215752191u}, {"7\x82", 7}};
  for (const auto &c : cases) {
    HWND handle = ParseWindowHandle(c.text);
    EXPECT_EQ(static_cast<UINT_PTR>(c.value), reinterpret_cast<UINT_PTR>(handle)) << c.text;
  }
}

TEST_F(DispatchTest, AHandleBeyond32BitsWrapsOntoAnExistingWindow) {
  UINT64 wrapped = static_cast<UINT64>(reinterpret_cast<UINT_PTR>(window_) & 0xFFFFFFFFu) + (1ull << 32) * 3;
  std::string tail = "/p " + std::to_string(wrapped);
  EXPECT_EQ(kSaverResult, DispatchSaverSwitch(GetModuleHandleA(NULL), tail.c_str()));
  EXPECT_EQ(window_, g_log.saverParent);
}

TEST_F(DispatchTest, AnInvalidPreviewWindowCreatesNothing) {
  HWND gone = CreateWindowExA(0, "STATIC", "gone", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
  DestroyWindow(gone);
  std::string tail = "/p " + std::to_string(static_cast<UINT32>(reinterpret_cast<UINT_PTR>(gone)));
  EXPECT_EQ(-1, DispatchSaverSwitch(GetModuleHandleA(NULL), tail.c_str()));
  EXPECT_EQ(0, g_log.saverCalls);
}

int Crash(HWND) {
  *static_cast<volatile int *>(nullptr) = 1;
  return 0;
}
int RaiseCustom(HWND) {
  RaiseException(0xE0CAFE01, 0, 0, NULL);
  return 0;
}

// Stands for the system's verdict on an unhandled exception (no debugger, no report):
// UnhandledExceptionFilter asks the process's top-level filter first.
LONG WINAPI HandleEverything(EXCEPTION_POINTERS *) { return EXCEPTION_EXECUTE_HANDLER; }

TEST_F(DispatchTest, TheGuardEndsAModeThatCrashesWithTheExceptionCode) {
  LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(HandleEverything);
  g_modeCalls.runSaverWindow = Crash;
  EXPECT_EQ(static_cast<int>(EXCEPTION_ACCESS_VIOLATION), DispatchSaverSwitch(GetModuleHandleA(NULL), "/s"));
  g_modeCalls.runSaverWindow = RaiseCustom;
  EXPECT_EQ(static_cast<int>(0xE0CAFE01), DispatchSaverSwitch(GetModuleHandleA(NULL), "/s"));
  // The guard is left intact: a normal run after a crash returns the mode's result.
  g_modeCalls.runSaverWindow = RecordSaverWindow;
  EXPECT_EQ(kSaverResult, DispatchSaverSwitch(GetModuleHandleA(NULL), "/s"));
  SetUnhandledExceptionFilter(previous);
}

TEST(PrepareDialogClassesTest, RegistersNothingAndSaysYes) { EXPECT_EQ(TRUE, PrepareDialogClasses(GetModuleHandleA(NULL))); }

}  // namespace
