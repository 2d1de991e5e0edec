// Stand-in for the user's hand on the mouse before a saver starts: puts the cursor at the screen
// point given by its two arguments through the window system.
//
// Under Wine the window system keeps its own copy of the cursor position, updated only by events
// on Wine's own windows. A pointer moved on the X display while no Wine window is under it leaves
// that copy stale, and a process that asks soon after other window activity is given the copy,
// not the X pointer: a saver started so takes its cursor anchor where the pointer no longer is,
// and its first mouse message ends it. Setting the position here moves both together.
#include <windows.h>

#include <stdlib.h>

static const int kExitPlaced = 0;
static const int kExitUsage = 2;
static const int kExitRefused = 3;
static const int kExitElsewhere = 4;
// Longer than the 100 ms for which Wine answers GetCursorPos from its own copy.
static const DWORD kCopyAgeMilliseconds = 200;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc != 3) return kExitUsage;
  const int x = atoi(__argv[1]);
  const int y = atoi(__argv[2]);
  // Wine loads its display driver, which moves the X pointer, with the desktop window.
  if (GetDesktopWindow() == NULL) return kExitRefused;
  // Wine moves the X pointer only when the new position differs from its copy, which may already
  // hold (x, y) while the pointer is elsewhere: one pixel beside first, so that the second call
  // always moves it.
  if (!SetCursorPos(x + 1, y)) return kExitRefused;
  if (!SetCursorPos(x, y)) return kExitRefused;
  // Wine reads the X pointer for GetCursorPos once its copy is older than 100 ms. That read is a
  // round trip to the X server, which carries out the moves above before this process ends; on a
  // busy machine the last move was at times lost with the connection of a process that ended
  // right after it.
  Sleep(kCopyAgeMilliseconds);
  POINT now;
  if (!GetCursorPos(&now) || now.x != x || now.y != y) return kExitElsewhere;
  return kExitPlaced;
}
