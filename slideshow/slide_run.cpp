// The slide-show run: starts the run at window creation, ticks timer 1, paints, stops.
#include "slideshow/slide_run.h"

#include <string.h>

#include "host/close_rules.h"
#include "slideshow/image_list.h"
#include "slideshow/placement.h"
#include "slideshow/random.h"
#include "slideshow/settings.h"
#include "slideshow/slide_painter.h"

SlideState g_slide;

static time_t ReadCalendarTime(time_t *result) { return time(result); }

SlideRunCalls g_slideRunCalls = {ReadCalendarTime, GetDeviceCaps};

// Saves the current directory; one that does not fit is saved as ".", the same folder
// named relative to the current directory, which nothing changes during the run.
static void SaveStartDirectory() {
  char *directory = g_imageList.startDirectory;
  ZeroMemory(directory, sizeof(g_imageList.startDirectory));
  DWORD length = GetCurrentDirectoryA(sizeof(g_imageList.startDirectory), directory);
  if (length == 0 || length >= sizeof(g_imageList.startDirectory)) {
    ZeroMemory(directory, sizeof(g_imageList.startDirectory));
    lstrcpynA(directory, ".", sizeof(g_imageList.startDirectory));
  }
}

// Advances the one random stream by the start minute; without a local time none are dropped.
static void DiscardRandomByStartMinute() {
  g_slide.startTime = g_slideRunCalls.readClock(NULL);
  g_slide.startLocalTime = localtime(&g_slide.startTime);
  int minutes = g_slide.startLocalTime ? g_slide.startLocalTime->tm_min : 0;
  for (int i = 0; i < minutes; ++i) NextRandom();
}

static void MeasureScreen() {
  HDC screen = GetDC(NULL);
  g_slide.screenWidth = g_slideRunCalls.deviceCaps(screen, HORZRES);
  g_slide.screenHeight = g_slideRunCalls.deviceCaps(screen, VERTRES);
  ReleaseDC(NULL, screen);
}

void StartSlideShow(HWND window) {
  // The order matters: the minute's discards and the start point share one random stream.
  SaveStartDirectory();
  LoadSettings();
  DiscardRandomByStartMinute();
  BuildImageList();
  g_slide.pictureIndex = 0;
  MeasureScreen();
  g_slide.repaintCount = 0;
  // Start point in the top-left quarter; x is drawn first. A screen under 2 pixels
  // leaves an empty range, and that axis starts at 0.
  g_slide.textX = RemainderOrZero(NextRandom(), g_slide.screenWidth / 2);
  g_slide.textY = RemainderOrZero(NextRandom(), g_slide.screenHeight / 2);
  SetTimer(window, kSlideTimerId, static_cast<UINT>(g_settings.time), NULL);
}

static LRESULT OnSlideCreate(HWND window) {
  StartSlideShow(window);
  return 0;  // creation goes on
}

static LRESULT OnSlideDestroy(HWND window) {
  KillTimer(window, kSlideTimerId);
  PostQuitMessage(0);
  return 0;
}

static LRESULT OnSlidePaint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  PaintSlide(window, dc, &paint);
  EndPaint(window, &paint);
  return 0;
}

// Every COUNT-th tick clears the window before the paint; the paint runs inside the tick.
static LRESULT OnSlideTimer(HWND window, WPARAM timerId) {
  if (timerId != kSlideTimerId) return 0;
  ++g_slide.repaintCount;
  BOOL erase = FALSE;
  if (g_slide.repaintCount >= g_settings.count) {
    g_slide.repaintCount = 0;
    erase = TRUE;
  }
  InvalidateRect(window, NULL, erase);
  UpdateWindow(window);
  return 0;
}

LRESULT CALLBACK SlideSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: return OnSlideCreate(window);
    case WM_DESTROY: return OnSlideDestroy(window);
    case WM_PAINT: return OnSlidePaint(window);
    case WM_TIMER: return OnSlideTimer(window, wParam);
  }
  return DefaultSaverProc(window, message, wParam, lParam);
}
