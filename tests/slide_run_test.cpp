// The slide-show run on real windows: its start, its message table and the tick's clearing rule.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "host/close_rules.h"
#include "slideshow/image_list.h"
#include "slideshow/random.h"
#include "slideshow/settings.h"
#include "slideshow/slide_run.h"
#include "tests/support/process.h"
#include "tests/support/random_mirror.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/settings_file.h"

namespace {

const char kWindowClass[] = "LumetaSlideRunTest";
const char kStartClockVariable[] = "LUMETA_START_CLOCK";
const char kScratch[] = "C:\\lumeta_slide_run";

// The seams: a fixed clock and a screen of a chosen size.
time_t g_clock;
int g_screenWidth = 1024;
int g_screenHeight = 768;
time_t FixedClock(time_t *result) {
  if (result) *result = g_clock;
  return g_clock;
}
int WINAPI FixedScreen(HDC, int index) { return index == HORZRES ? g_screenWidth : index == VERTRES ? g_screenHeight : 0; }

// What reached the window while SlideSaverProc handled it.
int g_erases;
int g_paints;
LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) ++g_erases;
  if (message == WM_PAINT) ++g_paints;
  return SlideSaverProc(window, message, wParam, lParam);
}

time_t ClockAtLocalMinute(int minute) {
  time_t now = time(NULL);
  struct tm local = *localtime(&now);
  local.tm_min = minute;
  local.tm_sec = 30;
  return mktime(&local);
}

class SlideRunTest : public testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    ZeroMemory(&g_slide, sizeof(g_slide));
    g_slideRunCalls.readClock = FixedClock;
    g_slideRunCalls.deviceCaps = FixedScreen;
    g_clock = ClockAtLocalMinute(0);
    g_screenWidth = 1024;
    g_screenHeight = 768;
  }

  void TearDown() override {
    if (window && IsWindow(window)) DestroyWindow(window);
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA(kWindowClass, GetModuleHandleA(NULL));
  }

  // Settings with a timer too slow to tick during the test, then the window.
  void CreateWithSettings(const std::string &keys) {
    std::string file = "[Screen Saver.lumeta_show]\r\nTIME=600000\r\nG-MODE=0\r\nS-MODE=0\r\n" + keys;
    WriteSettingsFile(file.c_str());
    window = CreateWindowExA(0, kWindowClass, "run", WS_POPUP | WS_VISIBLE, 0, 0, 64, 64, NULL, NULL,
                             GetModuleHandleA(NULL), NULL);
    ASSERT_TRUE(window != NULL);
    UpdateWindow(window);  // the first paint, before any tick
    g_erases = 0;
    g_paints = 0;
  }

  SettingsFileGuard settingsGuard;
  HWND window = NULL;
};

TEST_F(SlideRunTest, CreationStartsTheRunAndGoesOn) {
  RemoveFolder(kScratch);
  ASSERT_TRUE(MakeFolder(kScratch));
  ASSERT_TRUE(MakeFile(std::string(kScratch) + "\\a.jpg"));
  char previous[MAX_PATH];
  GetCurrentDirectoryA(sizeof(previous), previous);
  ASSERT_TRUE(SetCurrentDirectoryA(kScratch));
  g_slide.pictureIndex = 5;
  g_slide.repaintCount = 7;
  g_clock = ClockAtLocalMinute(17);
  CreateWithSettings("PASS=\r\nF-MODE=1\r\nCOUNT=4\r\n");
  SetCurrentDirectoryA(previous);
  RemoveFolder(kScratch);
  EXPECT_STREQ(kScratch, g_imageList.startDirectory);
  EXPECT_EQ(1, g_imageList.count) << "the empty folder setting searched the start directory";
  EXPECT_EQ(4, g_settings.count);
  EXPECT_EQ(600000, g_settings.time);
  EXPECT_EQ(0, g_slide.repaintCount);
  EXPECT_EQ(1024, g_slide.screenWidth);
  EXPECT_EQ(768, g_slide.screenHeight);
  EXPECT_EQ(g_clock, g_slide.startTime);
  ASSERT_TRUE(g_slide.startLocalTime != NULL);
  EXPECT_EQ(17, g_slide.startLocalTime->tm_min);
  EXPECT_GE(g_slide.textX, 0);
  EXPECT_LT(g_slide.textX, 512);
  EXPECT_GE(g_slide.textY, 0);
  EXPECT_LT(g_slide.textY, 384);
  EXPECT_TRUE(KillTimer(window, kSlideTimerId)) << "timer 1 runs";
}

TEST_F(SlideRunTest, StartDiscardsOneRandomValuePerMinuteThenDrawsXThenY) {
  for (int minute : {0, 1, 7, 59}) {
    g_clock = ClockAtLocalMinute(minute);
    RandomMirror mirror = SyncRandomMirror();
    StartSlideShow(NULL);
    KillTimer(NULL, kSlideTimerId);
    for (int i = 0; i < minute; ++i) mirror.Next();
    EXPECT_EQ(mirror.Next() % 512, g_slide.textX) << "minute " << minute;
    EXPECT_EQ(mirror.Next() % 384, g_slide.textY) << "minute " << minute;
    EXPECT_EQ(mirror.Next(), NextRandom()) << "minute " << minute;
  }
}

TEST_F(SlideRunTest, ClockWithoutLocalTimeDiscardsNothing) {
  g_clock = static_cast<time_t>(0x7FFFFFFFFFFFFFFFLL);
  ASSERT_TRUE(localtime(&g_clock) == NULL);
  RandomMirror mirror = SyncRandomMirror();
  StartSlideShow(NULL);
  EXPECT_TRUE(g_slide.startLocalTime == NULL);
  EXPECT_EQ(mirror.Next() % 512, g_slide.textX);
  EXPECT_EQ(mirror.Next() % 384, g_slide.textY);
}

TEST_F(SlideRunTest, ScreenBelowTwoPixelsStartsTheTextAtZeroOnThatAxis) {
  const int sizes[][2] = {{1, 768}, {0, 0}, {1024, 1}, {-5, -5}};
  for (const auto &size : sizes) {
    g_screenWidth = size[0];
    g_screenHeight = size[1];
    RandomMirror mirror = SyncRandomMirror();
    StartSlideShow(NULL);
    int x = mirror.Next(), y = mirror.Next();
    EXPECT_EQ(size[0] / 2 ? x % (size[0] / 2) : 0, g_slide.textX) << size[0] << " x " << size[1];
    EXPECT_EQ(size[1] / 2 ? y % (size[1] / 2) : 0, g_slide.textY) << size[0] << " x " << size[1];
    EXPECT_EQ(mirror.Next(), NextRandom()) << "both values are drawn all the same";
  }
}

TEST_F(SlideRunTest, CurrentDirectoryTooLongForItsFieldIsSavedAsDot) {
  // 256 bytes: one more than the field holds with its NUL.
  std::string folder = std::string(kScratch) + "\\" + std::string(200, 'd') + "\\";
  folder += std::string(256 - folder.size(), 'e');
  RemoveFolder(kScratch);
  ASSERT_TRUE(MakeFolder(folder));
  ASSERT_TRUE(MakeFile(folder + "\\a.jpg"));
  char previous[MAX_PATH];
  GetCurrentDirectoryA(sizeof(previous), previous);
  bool entered = SetCurrentDirectoryA(folder.c_str()) != 0;
  if (entered) {
    char probe[512];
    ASSERT_EQ(256u, GetCurrentDirectoryA(sizeof(probe), probe));
    FillMemory(g_imageList.startDirectory, sizeof(g_imageList.startDirectory), 'x');
    WriteSettingsFile("[Screen Saver.lumeta_show]\r\nPASS=\r\nF-MODE=1\r\nTIME=600000\r\n");
    StartSlideShow(NULL);
    KillTimer(NULL, kSlideTimerId);
    SetCurrentDirectoryA(previous);
  }
  RemoveFolder(kScratch);
  if (!entered) GTEST_SKIP() << "the platform cannot enter a 256-byte current directory";
  EXPECT_STREQ(".", g_imageList.startDirectory);
  EXPECT_EQ('\0', g_imageList.startDirectory[1]);
  EXPECT_EQ(1, g_imageList.count) << "the current directory is still searched";
}

struct TickRow {
  int count;
  const char *clearedTicks;  // '1' where the tick clears the window, for ticks 1, 2, 3, ...
};

class SlideTickTest : public SlideRunTest, public testing::WithParamInterface<TickRow> {};

TEST_P(SlideTickTest, ClearsOnEveryCountThTickAndPaintsInsideEveryTick) {
  const TickRow &row = GetParam();
  CreateWithSettings("COUNT=" + std::to_string(row.count) + "\r\n");
  std::string cleared;
  for (size_t tick = 0; row.clearedTicks[tick]; ++tick) {
    g_erases = 0;
    g_paints = 0;
    EXPECT_EQ(0, SendMessageA(window, WM_TIMER, kSlideTimerId, 0));
    EXPECT_EQ(1, g_paints) << "tick " << tick + 1 << " paints before it returns";
    cleared += g_erases ? '1' : '0';
  }
  EXPECT_EQ(std::string(row.clearedTicks), cleared);
}

INSTANTIATE_TEST_SUITE_P(Counts, SlideTickTest,
                         testing::Values(TickRow{10, "000000000100000000010"}, TickRow{3, "0010010"},
                                         TickRow{1, "11111"}, TickRow{0, "11111"}, TickRow{-4, "11111"}));

TEST_F(SlideRunTest, RepaintCountRestartsAfterEachClearing) {
  CreateWithSettings("COUNT=3\r\n");
  const int expected[] = {1, 2, 0, 1, 2, 0};
  for (int value : expected) {
    SendMessageA(window, WM_TIMER, kSlideTimerId, 0);
    EXPECT_EQ(value, g_slide.repaintCount);
  }
}

TEST_F(SlideRunTest, OtherTimerIdsChangeNothing) {
  CreateWithSettings("COUNT=1\r\n");
  for (WPARAM id : {static_cast<WPARAM>(0), static_cast<WPARAM>(2), static_cast<WPARAM>(0x7FFF)}) {
    EXPECT_EQ(0, SendMessageA(window, WM_TIMER, id, 0));
    EXPECT_EQ(0, g_paints);
    EXPECT_EQ(0, g_erases);
    EXPECT_EQ(0, g_slide.repaintCount);
  }
}

TEST_F(SlideRunTest, DestroyStopsTheTimerAndPostsQuitZero) {
  CreateWithSettings("");
  EXPECT_EQ(0, SlideSaverProc(window, WM_DESTROY, 0, 0));
  EXPECT_FALSE(KillTimer(window, kSlideTimerId)) << "timer 1 was stopped";
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(0u, message.wParam);
}

TEST_F(SlideRunTest, PaintValidatesTheWindowAndReturnsZero) {
  CreateWithSettings("");
  InvalidateRect(window, NULL, FALSE);
  EXPECT_EQ(0, SlideSaverProc(window, WM_PAINT, 0, 0));
  RECT update;
  EXPECT_FALSE(GetUpdateRect(window, &update, FALSE));
}

TEST_F(SlideRunTest, OtherMessagesGetTheDefaultSaverResult) {
  CreateWithSettings("");
  const UINT messages[] = {WM_NCHITTEST, WM_ERASEBKGND, WM_GETMINMAXINFO, WM_USER + 5};
  HDC dc = GetDC(window);
  for (UINT message : messages) {
    WPARAM wParam = message == WM_ERASEBKGND ? reinterpret_cast<WPARAM>(dc) : 0;
    MINMAXINFO info;
    ZeroMemory(&info, sizeof(info));
    LPARAM lParam = message == WM_GETMINMAXINFO ? reinterpret_cast<LPARAM>(&info) : 0;
    EXPECT_EQ(DefaultSaverProc(window, message, wParam, lParam), SlideSaverProc(window, message, wParam, lParam))
        << "message " << message;
  }
  ReleaseDC(window, dc);
  // A key press reaches the close rules, which ask for a close.
  SlideSaverProc(window, WM_KEYDOWN, 'A', 0);
  MSG message;
  EXPECT_TRUE(PeekMessageA(&message, window, WM_CLOSE, WM_CLOSE, PM_REMOVE));
}

// Runs in a fresh process started by the test below, so that NextRandom starts from its
// first value; reports the start point as its exit code (x * 1000 + y).
TEST(StartPointChild, ReportsTheStartPointFromProcessStart) {
  char clock[32];
  if (!GetEnvironmentVariableA(kStartClockVariable, clock, sizeof(clock))) GTEST_SKIP() << "run by StartPointTest";
  g_clock = static_cast<time_t>(_strtoi64(clock, NULL, 10));
  g_slideRunCalls.readClock = FixedClock;
  g_slideRunCalls.deviceCaps = FixedScreen;
  StartSlideShow(NULL);
  ExitProcess(static_cast<UINT>(g_slide.textX * 1000 + g_slide.textY));
}

int StartPointInFreshProcess(time_t clock) {
  char module[MAX_PATH];
  GetModuleFileNameA(NULL, module, sizeof(module));
  SetEnvironmentVariableA(kStartClockVariable, std::to_string(static_cast<long long>(clock)).c_str());
  HANDLE child = StartProgram(module, "--gtest_filter=StartPointChild.*");
  SetEnvironmentVariableA(kStartClockVariable, NULL);
  if (child == NULL) return -1;
  return WaitForExit(child, 60000);
}

TEST(StartPointTest, OnA1024x768ScreenMinuteZeroGives41_35AndMinuteOneGives35_190) {
  EXPECT_EQ(41035, StartPointInFreshProcess(ClockAtLocalMinute(0)));
  EXPECT_EQ(35190, StartPointInFreshProcess(ClockAtLocalMinute(1)));
  // Without a local time no value is thrown away: as at minute 0.
  EXPECT_EQ(41035, StartPointInFreshProcess(static_cast<time_t>(0x7FFFFFFFFFFFFFFFLL)));
}

}  // namespace
