// Close rules on the NT family: which messages of a real window post a WM_CLOSE.
#include <gtest/gtest.h>
#include <windows.h>

#include "host/close_rules.h"
#include "host/host_state.h"
#include "tests/support/saver_test_window.h"

namespace {

struct MessageCase {
  const char *name;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool closes;     // in a full-screen run
  bool answered;   // returns 1 at once instead of the default result
};

std::ostream &operator<<(std::ostream &out, const MessageCase &c) { return out << c.name; }

const LPARAM kAltDown = 1 << 29;

const MessageCase kMessageCases[] = {
    {"KeyDown", WM_KEYDOWN, 'A', 0x001E0001, true, false},
    {"SysKeyDown", WM_SYSKEYDOWN, 'X', 0x002D0001 | kAltDown, true, false},
    {"LeftButtonDown", WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10), true, false},
    {"RightButtonDown", WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10), true, false},
    {"MiddleButtonDown", WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(10, 10), true, false},
    {"ActivateAppLost", WM_ACTIVATEAPP, 0, 0, true, false},
    {"ActivateAppGained", WM_ACTIVATEAPP, 1, 0, false, false},
    {"PowerSuspendRequest", WM_POWER, 1, 0, false, false},  // PWR_SUSPENDREQUEST
    {"PowerCriticalResume", WM_POWER, PWR_CRITICALRESUME, 0, true, false},
    {"PowerBroadcastSuspend", WM_POWERBROADCAST, PBT_APMSUSPEND, 0, true, false},
    {"PowerBroadcastResume", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0, true, false},
    {"PowerBroadcastZero", WM_POWERBROADCAST, 0, 0, true, false},
    {"ShowWindow", WM_SHOWWINDOW, 1, 0, false, false},
    {"SetCursor", WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), false, true},
    {"KeyUp", WM_KEYUP, 'A', static_cast<LPARAM>(0xC01E0001u), false, false},
    {"SysKeyUp", WM_SYSKEYUP, 'X', static_cast<LPARAM>(0xE02D0001u), false, false},
    {"Char", WM_CHAR, 'a', 0x001E0001, false, false},
    {"LeftButtonUp", WM_LBUTTONUP, 0, MAKELPARAM(10, 10), false, false},
    {"RightButtonUp", WM_RBUTTONUP, 0, MAKELPARAM(10, 10), false, false},
    {"MiddleButtonUp", WM_MBUTTONUP, 0, MAKELPARAM(10, 10), false, false},
    {"Wheel", WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(10, 10), false, false},
    {"HorizontalWheel", WM_MOUSEHWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(10, 10), false, false},
};

class CloseTableTest : public testing::TestWithParam<MessageCase> {
 protected:
  void SetUp() override { window_ = CreateCloseRulesWindow(); }
  void TearDown() override {
    if (IsWindow(window_)) DestroyWindow(window_);
    ResetHostState(FALSE, FALSE);
  }
  HWND window_ = NULL;
};

TEST_P(CloseTableTest, FullScreenPostsACloseOnlyForTheTableRows) {
  const MessageCase &c = GetParam();
  ResetHostState(FALSE, FALSE);
  SetCursor(LoadCursor(NULL, IDC_ARROW));
  LRESULT expected = c.answered ? 1 : DefWindowProcA(window_, c.message, c.wParam, c.lParam);
  EXPECT_EQ(expected, SendMessageA(window_, c.message, c.wParam, c.lParam));
  EXPECT_EQ(c.closes ? 1 : 0, TakePostedCloses(window_));
  EXPECT_TRUE(IsWindow(window_));  // the close is only requested
  if (c.message == WM_SETCURSOR || c.message == WM_SHOWWINDOW) {
    EXPECT_EQ(NULL, GetCursor());
  }
}

TEST_P(CloseTableTest, PreviewNeverClosesAndUsesTheDefault) {
  const MessageCase &c = GetParam();
  ResetHostState(FALSE, TRUE);
  LRESULT expected = DefWindowProcA(window_, c.message, c.wParam, c.lParam);
  EXPECT_EQ(expected, SendMessageA(window_, c.message, c.wParam, c.lParam));
  EXPECT_EQ(0, TakePostedCloses(window_));
}

INSTANTIATE_TEST_SUITE_P(Messages, CloseTableTest, testing::ValuesIn(kMessageCases),
                         [](const testing::TestParamInfo<MessageCase> &info) { return info.param.name; });

// Mouse movement, measured with the real cursor against the anchor.
class MovementTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetHostState(FALSE, FALSE);
    window_ = CreateCloseRulesWindow();
    MoveCursorTo(kStart);
    g_host.cursorAnchor = kStart;
  }
  void TearDown() override {
    DestroyWindow(window_);
    ResetHostState(FALSE, FALSE);
  }
  void MoveCursorTo(POINT point) {
    SetCursorPos(point.x, point.y);
    POINT now;
    GetCursorPos(&now);
    ASSERT_EQ(point.x, now.x);
    ASSERT_EQ(point.y, now.y);
  }
  // Moves the cursor, then delivers a WM_MOUSEMOVE as the system would.
  int MoveAndCountCloses(LONG x, LONG y) {
    MoveCursorTo(POINT{x, y});
    SendMessageA(window_, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    return TakePostedCloses(window_);
  }
  const POINT kStart = {300, 300};
  HWND window_ = NULL;
};

struct MoveCase {
  LONG dx, dy;
  bool closes;
};

TEST_F(MovementTest, ClosesOnlyBeyondFourPixelsInTotal) {
  const MoveCase cases[] = {{2, 2, false},  {-2, -2, false}, {4, 0, false}, {0, -4, false}, {1, -3, false},
                            {5, 0, true},   {0, -5, true},   {3, 2, true},  {-3, -2, true}, {2, -3, true},
                            {40, 40, true}, {-1, 0, false}};
  for (const MoveCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "dx " << c.dx << " dy " << c.dy);
    MoveCursorTo(kStart);
    g_host.cursorAnchor = kStart;
    EXPECT_EQ(c.closes ? 1 : 0, MoveAndCountCloses(kStart.x + c.dx, kStart.y + c.dy));
    // The anchor follows the cursor only when a close was requested.
    EXPECT_EQ(c.closes ? kStart.x + c.dx : kStart.x, g_host.cursorAnchor.x);
    EXPECT_EQ(c.closes ? kStart.y + c.dy : kStart.y, g_host.cursorAnchor.y);
  }
}

TEST_F(MovementTest, SmallMovesAddUpAgainstTheSameAnchor) {
  for (int step = 1; step <= 4; ++step) EXPECT_EQ(0, MoveAndCountCloses(kStart.x + step, kStart.y)) << step;
  EXPECT_EQ(1, MoveAndCountCloses(kStart.x + 5, kStart.y));
  // Measured from the new anchor, the next pixel is a small move again.
  EXPECT_EQ(0, MoveAndCountCloses(kStart.x + 6, kStart.y));
}

TEST_F(MovementTest, TheMessagesOwnCoordinatesAreNotUsed) {
  SendMessageA(window_, WM_MOUSEMOVE, 0, MAKELPARAM(900, 700));
  EXPECT_EQ(0, TakePostedCloses(window_));
  g_host.cursorAnchor = POINT{kStart.x - 50, kStart.y};  // the cursor is far from the anchor
  SendMessageA(window_, WM_MOUSEMOVE, 0, MAKELPARAM(kStart.x - 50, kStart.y));
  EXPECT_EQ(1, TakePostedCloses(window_));
}

TEST_F(MovementTest, PreviewIgnoresMovement) {
  g_host.isPreview = 1;
  EXPECT_EQ(0, MoveAndCountCloses(kStart.x + 100, kStart.y + 100));
  EXPECT_EQ(kStart.x, g_host.cursorAnchor.x);
}

int g_verifyCalls = 0;
BOOL WINAPI CountingVerify(HWND) {
  ++g_verifyCalls;
  return 1;
}

TEST(CloseRulesNtTest, CloseDestroysTheWindowWithoutAnyCheck) {
  ResetHostState(FALSE, FALSE);
  g_verifyCalls = 0;
  g_host.verifyPasswordEntry = CountingVerify;  // would be called on the 9x family
  HWND window = CreateCloseRulesWindow();
  EXPECT_EQ(0, SendMessageA(window, WM_CLOSE, 0, 0));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(0, g_verifyCalls);
  EXPECT_EQ(0, g_host.closeAllowed);
  ResetHostState(FALSE, FALSE);
}

TEST(CloseRulesNtTest, VerifyMessageGoesToTheDefault) {
  ResetHostState(FALSE, FALSE);
  g_verifyCalls = 0;
  g_host.verifyPasswordEntry = CountingVerify;
  HWND window = CreateCloseRulesWindow();
  EXPECT_EQ(DefWindowProcA(window, SVM_VERIFYPASSWORD, 0, 0), SendMessageA(window, SVM_VERIFYPASSWORD, 0, 0));
  EXPECT_EQ(0, g_verifyCalls);
  DestroyWindow(window);
  ResetHostState(FALSE, FALSE);
}

TEST(CloseRulesNtTest, NoMessageIsTheAutoPlayQuery) {
  ResetHostState(FALSE, FALSE);  // queryCancelAutoPlayMessage stays 0 on NT
  HWND window = CreateCloseRulesWindow();
  UINT autoPlay = RegisterWindowMessageA("QueryCancelAutoPlay");
  EXPECT_EQ(DefWindowProcA(window, autoPlay, 0, 0), SendMessageA(window, autoPlay, 0, 0));
  EXPECT_EQ(0, SendMessageA(window, WM_NULL, 0, 0));
  EXPECT_EQ(0, TakePostedCloses(window));
  DestroyWindow(window);
}

}  // namespace
