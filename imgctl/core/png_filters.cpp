// PNG row filters undone, with SSE2 bodies on x86 (chosen at run time on i686; see
// vector_kernels.h) for Up and, for pixels of three and four bytes, Average and Paeth. Both paths
// give the same bytes: the filters are exact integer arithmetic.
#include "imgctl/core/png_filters.h"

#include <string.h>

#include "imgctl/core/vector_kernels.h"

#if IMGCTL_VECTOR_KERNELS
#include <emmintrin.h>
#endif

namespace imgctl {
namespace {

inline uint8_t Paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = p > a ? p - a : a - p;
  int pb = p > b ? p - b : b - p;
  int pc = p > c ? p - c : c - p;
  return static_cast<uint8_t>((pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c));
}

#if IMGCTL_VECTOR_KERNELS
// Each vector body below handles whole steps from `i` on and returns where it stopped; the
// plain loop finishes the row.

IMGCTL_SSE2_CODE size_t UpVector(uint8_t *row, const uint8_t *prev, size_t n) {
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(prev + i));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(row + i), _mm_add_epi8(x, b));
  }
  return i;
}

// Four bytes at p into the low four 16-bit lanes.
IMGCTL_SSE2_CODE inline __m128i Load4(const uint8_t *p) {
  int32_t v;
  memcpy(&v, p, sizeof v);
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), _mm_setzero_si128());
}
// The low four 16-bit lanes (each 0..255) as four bytes at p.
IMGCTL_SSE2_CODE inline void Store4(uint8_t *p, __m128i v) {
  int32_t out = _mm_cvtsi128_si32(_mm_packus_epi16(v, v));
  memcpy(p, &out, sizeof out);
}
// The lanes of one pixel's bytes.
IMGCTL_SSE2_CODE inline __m128i PixelLanes(size_t step) {
  return step == 3 ? _mm_set_epi16(0, 0, 0, 0, 0, -1, -1, -1) : _mm_set_epi16(0, 0, 0, 0, -1, -1, -1, -1);
}
IMGCTL_SSE2_CODE inline __m128i Abs16(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

// Average and Paeth one pixel of `step` (3 or 4) bytes at a time, each in 16-bit lanes: the left
// pixel is the one just made. Four bytes are read and written at each pixel; for three-byte
// pixels the fourth lane's prediction is held at 0, so the next pixel's first byte is written back
// as it was. `i + 4 <= n` keeps every access inside the row; the caller sees that n >= step + 4.
IMGCTL_SSE2_CODE size_t AverageVector(uint8_t *row, const uint8_t *prev, size_t n, size_t step) {
  const __m128i pixel = PixelLanes(step);
  const __m128i byte = _mm_set1_epi16(0xFF);
  __m128i a = Load4(row);  // the first pixel, already made
  size_t i = step;
  for (; i + 4 <= n; i += step) {
    __m128i prediction = _mm_and_si128(_mm_srli_epi16(_mm_add_epi16(a, Load4(prev + i)), 1), pixel);
    a = _mm_and_si128(_mm_add_epi16(Load4(row + i), prediction), byte);
    Store4(row + i, a);
  }
  return i;
}

IMGCTL_SSE2_CODE size_t PaethVector(uint8_t *row, const uint8_t *prev, size_t n, size_t step) {
  const __m128i pixel = PixelLanes(step);
  const __m128i byte = _mm_set1_epi16(0xFF);
  __m128i a = Load4(row), c = Load4(prev);  // the first pixel, already made, and the one above it
  size_t i = step;
  for (; i + 4 <= n; i += step) {
    __m128i b = Load4(prev + i);
    // p = a + b - c; |p - a| = |b - c|, |p - b| = |a - c|, |p - c| = |(b - c) + (a - c)|.
    __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
    __m128i pa = Abs16(bc), pb = Abs16(ac), pc = Abs16(_mm_add_epi16(bc, ac));
    __m128i least = _mm_min_epi16(_mm_min_epi16(pa, pb), pc);
    // a where pa is least; else b where pb is; else c (the filter's order of preference).
    __m128i takeA = _mm_cmpeq_epi16(pa, least);
    __m128i takeB = _mm_andnot_si128(takeA, _mm_cmpeq_epi16(pb, least));
    __m128i takeC = _mm_andnot_si128(_mm_or_si128(takeA, takeB), pixel);
    __m128i prediction = _mm_or_si128(_mm_or_si128(_mm_and_si128(takeA, a), _mm_and_si128(takeB, b)),
                                      _mm_and_si128(takeC, c));
    prediction = _mm_and_si128(prediction, pixel);
    a = _mm_and_si128(_mm_add_epi16(Load4(row + i), prediction), byte);
    Store4(row + i, a);
    c = b;
  }
  return i;
}
#endif

}  // namespace

bool UnfilterPngRow(int filter, uint8_t *row, const uint8_t *prev, size_t n, int step) {
  size_t s = static_cast<size_t>(step), i = 0;
#if IMGCTL_VECTOR_KERNELS
  const bool vector = VectorKernelsOn(), pixels = vector && (s == 3 || s == 4) && n >= s + 4;
#endif
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (i = s; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - s]);
      return true;
    case 2:
#if IMGCTL_VECTOR_KERNELS
      if (vector) i = UpVector(row, prev, n);
#endif
      for (; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
      return true;
    case 3:
      for (i = 0; i < s && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + (prev[i] >> 1));
#if IMGCTL_VECTOR_KERNELS
      if (pixels) i = AverageVector(row, prev, n, s);
#endif
      for (; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + ((row[i - s] + prev[i]) >> 1));
      return true;
    case 4:
      for (i = 0; i < s && i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + prev[i]);
#if IMGCTL_VECTOR_KERNELS
      if (pixels) i = PaethVector(row, prev, n, s);
#endif
      for (; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + Paeth(row[i - s], prev[i], prev[i - s]));
      return true;
    default:
      return false;
  }
}

}  // namespace imgctl
