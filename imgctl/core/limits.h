// Bounds on what a picture really holds in memory, so that the 32-bit build can always allocate it.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace imgctl {

// A decode holds three things at once: the file's bytes (kept from load to free), the decoder's
// working memory at the scale it decodes at (a few rows for streaming decoders; a coefficient
// store, a whole interlaced picture or a whole GIF frame for the others), and the picture at the
// size it is drawn at (twice for a moment while an EXIF orientation turns it). Each part has its
// own bound; together they stay under 768 MiB, well inside a 32-bit process's 2 GiB.

// Largest file that is read: 256 MiB.
constexpr uint64_t kMaxFileBytes = uint64_t(1) << 28;
// Most working memory a decoder may hold besides the file and the picture: 256 MiB.
constexpr uint64_t kMaxWorkingBytes = uint64_t(1) << 28;

// Longest edge of the picture as held (its size after any resize, or a resize target), in pixels.
constexpr int32_t kMaxEdge = 32767;
// Most pixels of the picture as held: 2^25 (33,554,432, e.g. 8192 x 4096), 128 MiB at 4 bytes.
constexpr int64_t kMaxPixels = int64_t(1) << 25;

// Largest stored picture a file may hold: the edge any of the four formats can state in 16 bits,
// and 2^28 pixels (268 MP) so that even a decode at 1/8 scale ends within a few seconds. Such a
// picture streams through the decoder and is held only at the size it is drawn at.
constexpr int32_t kMaxSourceEdge = 65535;
constexpr int64_t kMaxSourcePixels = int64_t(1) << 28;
// Most stored pixels where the decoder handles every stored pixel whatever the size it is drawn at
// (PNG, BMP and GIF; JPEG decodes at 1/2 to 1/8 in its DCT): 2^26 (67 MP, e.g. 8192 x 8192), which
// the 32-bit build fits to a 1920 x 1080 screen in about a second. A 1 MB PNG can state 268 MP of
// well-compressed rows: 3.4 s, during which the saver could not be dismissed.
constexpr int64_t kMaxFullScaleSourcePixels = int64_t(1) << 26;

// True when width x height is a size the library may hold: both at least 1, within the bounds.
inline bool SizeWithinLimits(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxEdge && height <= kMaxEdge && width * height <= kMaxPixels;
}

// True when a file's stored width x height is one the library may decode (straight to a smaller size).
inline bool SourceWithinLimits(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxSourceEdge && height <= kMaxSourceEdge &&
         width * height <= kMaxSourcePixels;
}

}  // namespace imgctl
