// Copies a rectangle of a picture's pixels one to one onto a device context.
#pragma once
#include <windows.h>
#include <stdint.h>

namespace imgctl {

// Copies the source rectangle (sourceX, sourceY, width, height) of a width x height picture
// to (destX, destY) on the device context, where width and height are the smaller of the
// destination and source sizes (nothing is stretched). The rectangle is clipped to the
// picture, and the destination moves with any part clipped at the top or left. SRCCOPY goes
// through SetDIBitsToDevice; any other raster operation through StretchDIBits at 1:1.
// Returns false when nothing is left to draw.
bool DrawPictureRectangle(HDC dc, int32_t destX, int32_t destY, int32_t destWidth, int32_t destHeight,
                          const uint32_t *pixels, int32_t pictureWidth, int32_t pictureHeight, int32_t sourceX,
                          int32_t sourceY, int32_t sourceWidth, int32_t sourceHeight, DWORD rasterOp);

}  // namespace imgctl
