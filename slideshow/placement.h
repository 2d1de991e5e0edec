// Placement arithmetic of the painter: random ranges, the ping-pong step and the picture modes.
#pragma once
#include <windows.h>

// value mod divisor, truncated toward zero; 0 when the range is empty (divisor 0).
INT32 RemainderOrZero(INT32 value, INT64 divisor);

// One ping-pong step on one axis: move by step forward (movingBack 0) or back, then turn
// for the next paint when the moved position is past forward limit screen - 2 * extent
// or before back limit extent. The move that crosses a limit stands.
void StepPingPong(INT32 *position, INT32 *movingBack, INT32 step, INT32 extent, INT32 screen);

// Where one picture goes. Source and destination always have the same size, so the
// library never stretches.
struct PicturePlacement {
  BOOL draw;           // FALSE: nothing is resized or drawn
  BOOL resize;         // resize the picture to scaledWidth x scaledHeight first
  INT32 scaledWidth;
  INT32 scaledHeight;
  INT32 destX, destY;      // on the window
  INT32 sourceX, sourceY;  // in the (resized) picture
  INT32 width, height;     // of both rectangles
};

// Places a width x height picture on a screenWidth x screenHeight screen by picture mode
// 1 to 5. Mode 5 draws its x and then its y from nextRandom; no other mode calls it.
PicturePlacement PlacePicture(INT32 mode, INT32 screenWidth, INT32 screenHeight, INT32 width, INT32 height,
                              INT32 sizeBound, int (*nextRandom)());
