// Placement arithmetic of the painter, free of any drawing so that it can be checked alone.
#include "slideshow/placement.h"

#include <stdint.h>

#include "slideshow/settings.h"

INT32 RemainderOrZero(INT32 value, INT64 divisor) {
  if (divisor == 0) return 0;
  // C++ remainder truncates toward zero and takes the dividend's sign; the dividend is a
  // NextRandom value (0 to 32767), so the result lies in 0 .. |divisor| - 1 and fits.
  return static_cast<INT32>(value % divisor);
}

void StepPingPong(INT32 *position, INT32 *movingBack, INT32 step, INT32 extent, INT32 screen) {
  INT64 moved = *movingBack ? static_cast<INT64>(*position) - step : static_cast<INT64>(*position) + step;
  if (moved > INT32_MAX) moved = INT32_MAX;
  if (moved < INT32_MIN) moved = INT32_MIN;
  *position = static_cast<INT32>(moved);
  if (!*movingBack) {
    if (moved > static_cast<INT64>(screen) - 2 * static_cast<INT64>(extent)) *movingBack = 1;
  } else {
    if (moved < extent) *movingBack = 0;
  }
}

namespace {

// a / 2, truncated toward zero: an odd margin leaves its extra pixel on the right or bottom.
INT32 Half(INT64 a) { return static_cast<INT32>(a / 2); }

INT32 Smaller(INT32 a, INT32 b) { return a < b ? a : b; }

// A double becomes an integer by truncation toward zero; values beyond the 32-bit range
// (an extreme aspect ratio filling the screen) are held at its ends instead of overflowing.
INT32 Truncate(double value) {
  if (!(value == value)) return 0;  // NaN
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<INT32>(value);
}

void PlaceActualSize(PicturePlacement *p, BOOL centred, INT32 W, INT32 H, INT32 w, INT32 h) {
  p->width = Smaller(W, w);
  p->height = Smaller(H, h);
  if (centred) {
    p->destX = W > w ? Half(static_cast<INT64>(W) - w) : 0;
    p->destY = H > h ? Half(static_cast<INT64>(H) - h) : 0;
    p->sourceX = W > w ? 0 : Half(static_cast<INT64>(w) - W);
    p->sourceY = H > h ? 0 : Half(static_cast<INT64>(h) - H);
  }
}

// Modes 3 and 4: scale by the larger ratio (fill) or the smaller one (fit). The axis whose
// ratio was taken meets the screen's edge exactly: truncating its double product could leave it
// one pixel short (2592 x 1944 filling 1366 x 768 gives 1365.99...), a column of the previous
// picture. The other axis keeps the truncated product; at equal ratios both axes are exact.
void PlaceScaledToScreen(PicturePlacement *p, BOOL fill, INT32 W, INT32 H, INT32 w, INT32 h) {
  double ratioX = static_cast<double>(W) / w;
  double ratioY = static_cast<double>(H) / h;
  BOOL byWidth = fill ? !(ratioX < ratioY) : ratioX <= ratioY;
  BOOL byHeight = ratioX == ratioY || !byWidth;
  double scale = byWidth ? ratioX : ratioY;
  p->resize = TRUE;
  p->scaledWidth = byWidth ? W : Truncate(w * scale);
  p->scaledHeight = byHeight ? H : Truncate(h * scale);
  if (fill) {
    p->width = W;
    p->height = H;
    p->sourceX = Half(static_cast<INT64>(p->scaledWidth) - W);
    p->sourceY = Half(static_cast<INT64>(p->scaledHeight) - H);
  } else {
    p->width = p->scaledWidth;
    p->height = p->scaledHeight;
    p->destX = Half(static_cast<INT64>(W) - p->scaledWidth);
    p->destY = Half(static_cast<INT64>(H) - p->scaledHeight);
  }
}

// Mode 5: shrink only when both edges exceed the bound, until the shorter one meets it (exactly,
// as in modes 3 and 4); a bound of 0 or less shrinks nothing.
void PlaceRandomly(PicturePlacement *p, INT32 W, INT32 H, INT32 w, INT32 h, INT32 bound, int (*nextRandom)()) {
  double ratioX = 1.0, ratioY = 1.0;
  if (bound > 0) {
    if (w > bound) ratioX = static_cast<double>(w) / bound;
    if (h > bound) ratioY = static_cast<double>(h) / bound;
  }
  double divisor = ratioX > ratioY ? ratioY : ratioX;
  BOOL shrunk = divisor > 1.0;
  p->resize = TRUE;
  p->scaledWidth = shrunk && divisor == ratioX ? bound : Truncate(w / divisor);
  p->scaledHeight = shrunk && divisor == ratioY ? bound : Truncate(h / divisor);
  p->width = p->scaledWidth;
  p->height = p->scaledHeight;
  p->destX = RemainderOrZero(nextRandom(), static_cast<INT64>(W) - p->scaledWidth);
  p->destY = RemainderOrZero(nextRandom(), static_cast<INT64>(H) - p->scaledHeight);
}

}  // namespace

PicturePlacement PlacePicture(INT32 mode, INT32 screenWidth, INT32 screenHeight, INT32 width, INT32 height,
                              INT32 sizeBound, int (*nextRandom)()) {
  PicturePlacement p;
  ZeroMemory(&p, sizeof(p));
  // A picture without area has nothing to place, and modes 3 and 4 would divide by it.
  if (width <= 0 || height <= 0) return p;
  switch (mode) {
    case kPictureTopLeft:
    case kPictureCentred:
      PlaceActualSize(&p, mode == kPictureCentred, screenWidth, screenHeight, width, height);
      break;
    case kPictureFill:
    case kPictureFit:
      PlaceScaledToScreen(&p, mode == kPictureFill, screenWidth, screenHeight, width, height);
      break;
    case kPictureRandom:
      PlaceRandomly(&p, screenWidth, screenHeight, width, height, sizeBound, nextRandom);
      break;
    default:
      return p;  // no placement for other modes: nothing is drawn
  }
  if (p.resize && (p.scaledWidth <= 0 || p.scaledHeight <= 0)) p.resize = FALSE;
  p.draw = p.width > 0 && p.height > 0 && (p.resize || mode == kPictureTopLeft || mode == kPictureCentred);
  return p;
}
