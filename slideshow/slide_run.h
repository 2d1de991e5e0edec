// The slide-show run: SlideState, the slide show's message handling, its start and its tick.
#pragma once
#include <time.h>
#include <windows.h>

// The one timer of the saver window.
const UINT_PTR kSlideTimerId = 1;

struct SlideState {
  INT32 screenWidth;   // HORZRES of the screen
  INT32 screenHeight;  // VERTRES of the screen
  INT32 textX;         // top-left corner of the text line, client coordinates
  INT32 textY;
  INT32 textMovingLeft;  // ping-pong directions: 0 right / down, 1 left / up
  INT32 textMovingUp;
  INT32 pictureIndex;     // the ImageList entry the next paint draws
  INT32 repaintCount;     // ticks since the window was last cleared
  time_t startTime;       // calendar time at the start of the run
  struct tm *startLocalTime;  // the C library's own local-time record of startTime, or null
};

extern SlideState g_slide;

// The clock and the screen measurement of StartSlideShow. Production code never changes
// them; tests put fixed values in their place.
struct SlideRunCalls {
  time_t (*readClock)(time_t *result);
  int(WINAPI *deviceCaps)(HDC dc, int index);
};
extern SlideRunCalls g_slideRunCalls;

LRESULT CALLBACK SlideSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void StartSlideShow(HWND window);
