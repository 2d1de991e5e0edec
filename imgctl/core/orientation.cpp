// Turns a picture stored in one of the eight EXIF orientations upright.
#include "imgctl/core/orientation.h"

namespace imgctl {

Pixels TurnUpright(Pixels stored, int32_t width, int32_t height, int orientation) {
  if (width < 1 || height < 1 || stored.size() != size_t(width) * size_t(height)) return Pixels();
  if (orientation < 2 || orientation > 8) return stored;
  const bool swap = orientation >= 5;
  const size_t uprightWidth = size_t(swap ? height : width), uprightHeight = size_t(swap ? width : height);
  const size_t w = size_t(width), h = size_t(height);
  Pixels upright(stored.size());
  // For each upright pixel (x, y), the stored pixel (sx, sy) that the EXIF tag says shows there:
  // 2 mirrored, 3 turned half way, 4 flipped, 5 transposed, 6 to be turned clockwise,
  // 7 transversed, 8 to be turned anticlockwise.
  for (size_t y = 0; y < uprightHeight; ++y) {
    uint32_t *out = &upright[y * uprightWidth];
    for (size_t x = 0; x < uprightWidth; ++x) {
      size_t sx, sy;
      switch (orientation) {
        case 2: sx = w - 1 - x; sy = y; break;
        case 3: sx = w - 1 - x; sy = h - 1 - y; break;
        case 4: sx = x; sy = h - 1 - y; break;
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = h - 1 - x; break;
        case 7: sx = w - 1 - y; sy = h - 1 - x; break;
        default: sx = w - 1 - y; sy = x; break;  // 8
      }
      out[x] = stored[sy * w + sx];
    }
  }
  return upright;
}

}  // namespace imgctl
