// Size bounds every picture and every resize must respect, so that the 32-bit build can always allocate.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace imgctl {

// Longest edge of a picture or a resize target, in pixels.
constexpr int32_t kMaxEdge = 32767;
// Most pixels of a picture or a resize target: 2^25 (33,554,432, e.g. 8192 x 4096), so one
// 32-bit frame is at most 128 MiB and the worst decoder's working set (16-bit RGBA PNG,
// about 20 bytes a pixel) stays well inside a 32-bit process's 2 GiB.
constexpr int64_t kMaxPixels = int64_t(1) << 25;
// Largest file that is read: 256 MiB.
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 28;

// True when width x height is a size the library may allocate: both at least 1, within the bounds.
inline bool SizeWithinLimits(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxEdge && height <= kMaxEdge && width * height <= kMaxPixels;
}

}  // namespace imgctl
