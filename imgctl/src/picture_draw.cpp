// Copies a rectangle of a picture's pixels one to one onto a device context.
#include "imgctl/src/picture_draw.h"

#include <algorithm>

namespace imgctl {

bool DrawPictureRectangle(HDC dc, int32_t destX, int32_t destY, int32_t destWidth, int32_t destHeight,
                          const uint32_t *pixels, int32_t pictureWidth, int32_t pictureHeight, int32_t sourceX,
                          int32_t sourceY, int32_t sourceWidth, int32_t sourceHeight, DWORD rasterOp) {
  // 64-bit arithmetic: the caller's values may be anything.
  int64_t x = sourceX, y = sourceY, dx = destX, dy = destY;
  int64_t width = std::min<int64_t>(destWidth, sourceWidth), height = std::min<int64_t>(destHeight, sourceHeight);
  if (x < 0) { width += x; dx -= x; x = 0; }
  if (y < 0) { height += y; dy -= y; y = 0; }
  width = std::min<int64_t>(width, pictureWidth - x);
  height = std::min<int64_t>(height, pictureHeight - y);
  if (width <= 0 || height <= 0 || dx > INT32_MAX || dy > INT32_MAX) return false;

  // A top-down DIB of the picture's rows from the first one drawn: with the scan lines
  // starting at that row, the lower-left and upper-left readings of the source origin agree.
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = pictureWidth;
  info.bmiHeader.biHeight = -int32_t(height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const uint32_t *rows = pixels + size_t(y) * size_t(pictureWidth);
  if (rasterOp == SRCCOPY)
    return SetDIBitsToDevice(dc, int(dx), int(dy), DWORD(width), DWORD(height), int(x), 0, 0, UINT(height), rows,
                             &info, DIB_RGB_COLORS) != 0;
  return StretchDIBits(dc, int(dx), int(dy), int(width), int(height), int(x), 0, int(width), int(height), rows, &info,
                       DIB_RGB_COLORS, rasterOp) != 0;
}

}  // namespace imgctl
