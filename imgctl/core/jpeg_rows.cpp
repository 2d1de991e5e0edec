// Row kernels of the JPEG decoder: chroma upsampling by two and YCbCr to BGRA conversion, with
// SSE2 bodies on x86 (chosen at run time on i686; see vector_kernels.h). Both paths give the same
// bytes: the vector code does the plain code's integer arithmetic, and every sum fits its lane.
#include "imgctl/core/jpeg_rows.h"

#include "imgctl/core/vector_kernels.h"

#if IMGCTL_VECTOR_KERNELS
#include <emmintrin.h>
#endif

namespace imgctl {
namespace {

// JFIF YCbCr -> RGB in 16-bit fixed point (x 2^16): 1.402, 0.34414, 0.71414, 1.772.
constexpr int32_t kCrR = 91881, kCbG = 22554, kCrG = 46802, kCbB = 116130;

inline uint8_t Clamp8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

inline uint32_t PixelOf(int y, int cb, int cr) {
  int x = cr - 128, z = cb - 128;
  uint32_t r = Clamp8(y + ((kCrR * x + 32768) >> 16));
  uint32_t g = Clamp8(y + ((-kCbG * z - kCrG * x + 32768) >> 16));
  uint32_t b = Clamp8(y + ((kCbB * z + 32768) >> 16));
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

#if IMGCTL_VECTOR_KERNELS
// Each vector body below handles whole steps of eight samples from `x` on and returns where it
// stopped; the plain loop finishes the row.

IMGCTL_SSE2_CODE inline __m128i Load8(const uint8_t *p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)), _mm_setzero_si128());
}
// Even results in the low byte of each 16-bit lane, odd ones in the high byte: stored as
// 16 bytes, they come out interleaved e0 o0 e1 o1 ...
IMGCTL_SSE2_CODE inline void StorePairs(uint8_t *out, __m128i even, __m128i odd) {
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_or_si128(even, _mm_slli_epi16(odd, 8)));
}

IMGCTL_SSE2_CODE int UpsampleH2V2Vector(const uint8_t *cur, const uint8_t *near, int n, int x, uint8_t *out) {
  const __m128i three = _mm_set1_epi16(3), eight = _mm_set1_epi16(8), seven = _mm_set1_epi16(7);
  for (; x + 9 <= n; x += 8) {  // reads columns x - 1 .. x + 8
    __m128i left = _mm_add_epi16(_mm_mullo_epi16(Load8(cur + x - 1), three), Load8(near + x - 1));
    __m128i mid = _mm_add_epi16(_mm_mullo_epi16(Load8(cur + x), three), Load8(near + x));
    __m128i right = _mm_add_epi16(_mm_mullo_epi16(Load8(cur + x + 1), three), Load8(near + x + 1));
    __m128i mid3 = _mm_mullo_epi16(mid, three);
    __m128i even = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(mid3, left), eight), 4);
    __m128i odd = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(mid3, right), seven), 4);
    StorePairs(out + 2 * x, even, odd);
  }
  return x;
}

IMGCTL_SSE2_CODE int UpsampleH2V1Vector(const uint8_t *cur, int n, int x, uint8_t *out) {
  const __m128i three = _mm_set1_epi16(3), one = _mm_set1_epi16(1), two = _mm_set1_epi16(2);
  for (; x + 9 <= n; x += 8) {
    __m128i mid3 = _mm_mullo_epi16(Load8(cur + x), three);
    __m128i even = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(mid3, Load8(cur + x - 1)), one), 2);
    __m128i odd = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(mid3, Load8(cur + x + 1)), two), 2);
    StorePairs(out + 2 * x, even, odd);
  }
  return x;
}

IMGCTL_SSE2_CODE int UpsampleH1V2Vector(const uint8_t *cur, const uint8_t *near, int n, int bias, uint8_t *out) {
  const __m128i three = _mm_set1_epi16(3), vbias = _mm_set1_epi16(static_cast<int16_t>(bias));
  int x = 0;
  for (; x + 8 <= n; x += 8) {
    __m128i v = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(Load8(cur + x), three), Load8(near + x)), vbias);
    v = _mm_srli_epi16(v, 2);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + x), _mm_packus_epi16(v, v));
  }
  return x;
}

// (term + 2^15) >> 16 of a pair product for eight pixels, saturated to 16 bits (it never needs to be).
IMGCTL_SSE2_CODE inline __m128i ColourTerm(__m128i lo, __m128i hi, __m128i k) {
  const __m128i round = _mm_set1_epi32(32768);
  __m128i a = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(lo, k), round), 16);
  __m128i b = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(hi, k), round), 16);
  return _mm_packs_epi32(a, b);
}

IMGCTL_SSE2_CODE int YCbCrToBgraVector(const uint8_t *y, const uint8_t *cb, const uint8_t *cr, int n, uint32_t *out) {
  // The constants that do not fit 16 bits are split so that every product stays exact:
  // 1.402 = 1 + 26345 / 2^16, 1.772 = 2 - 14942 / 2^16, and Cr's 46802 = 2 x 23401 (Cr taken twice).
  const __m128i center = _mm_set1_epi16(128);
  const __m128i kR = _mm_set1_epi32(26345 << 16);                               // (Cb, Cr) pairs: 0, 26345
  const __m128i kB = _mm_set1_epi32(static_cast<int32_t>(uint32_t(-14942) & 0xFFFF));  // -14942, 0
  const __m128i kG = _mm_set1_epi32(static_cast<int32_t>((uint32_t(-23401) << 16) | (uint32_t(-kCbG) & 0xFFFF)));
  const __m128i alpha = _mm_set1_epi8(static_cast<char>(0xFF));
  int x = 0;
  for (; x + 8 <= n; x += 8) {
    __m128i yy = Load8(y + x);
    __m128i u = _mm_sub_epi16(Load8(cb + x), center);
    __m128i v = _mm_sub_epi16(Load8(cr + x), center);
    __m128i v2 = _mm_add_epi16(v, v);
    __m128i uvLo = _mm_unpacklo_epi16(u, v), uvHi = _mm_unpackhi_epi16(u, v);
    __m128i r = _mm_add_epi16(_mm_add_epi16(yy, v), ColourTerm(uvLo, uvHi, kR));
    __m128i b = _mm_add_epi16(_mm_add_epi16(yy, _mm_add_epi16(u, u)), ColourTerm(uvLo, uvHi, kB));
    __m128i g = _mm_add_epi16(yy, ColourTerm(_mm_unpacklo_epi16(u, v2), _mm_unpackhi_epi16(u, v2), kG));
    __m128i b8 = _mm_packus_epi16(b, b), g8 = _mm_packus_epi16(g, g), r8 = _mm_packus_epi16(r, r);
    __m128i bg = _mm_unpacklo_epi8(b8, g8), ra = _mm_unpacklo_epi8(r8, alpha);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_unpacklo_epi16(bg, ra));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x + 4), _mm_unpackhi_epi16(bg, ra));
  }
  return x;
}
#endif

}  // namespace

void UpsampleH2V2(const uint8_t *cur, const uint8_t *near, int n, uint8_t *out) {
  // Column sums weigh the nearer row 3:1; then each output pixel weighs its column 3:1 against
  // the neighbouring one (the edges repeat their own column).
  auto sum = [&](int x) { return cur[x] * 3 + near[x]; };
  if (n == 1) {
    out[0] = static_cast<uint8_t>((sum(0) * 4 + 8) >> 4);
    out[1] = static_cast<uint8_t>((sum(0) * 4 + 7) >> 4);
    return;
  }
  out[0] = static_cast<uint8_t>((sum(0) * 4 + 8) >> 4);
  out[1] = static_cast<uint8_t>((sum(0) * 3 + sum(1) + 7) >> 4);
  int x = 1;
#if IMGCTL_VECTOR_KERNELS
  if (VectorKernelsOn()) x = UpsampleH2V2Vector(cur, near, n, x, out);
#endif
  for (; x < n - 1; ++x) {
    int s = sum(x) * 3;
    out[2 * x] = static_cast<uint8_t>((s + sum(x - 1) + 8) >> 4);
    out[2 * x + 1] = static_cast<uint8_t>((s + sum(x + 1) + 7) >> 4);
  }
  out[2 * n - 2] = static_cast<uint8_t>((sum(n - 1) * 3 + sum(n - 2) + 8) >> 4);
  out[2 * n - 1] = static_cast<uint8_t>((sum(n - 1) * 4 + 7) >> 4);
}

void UpsampleH2V1(const uint8_t *cur, int n, uint8_t *out) {
  if (n == 1) {
    out[0] = out[1] = cur[0];
    return;
  }
  out[0] = cur[0];
  out[1] = static_cast<uint8_t>((cur[0] * 3 + cur[1] + 2) >> 2);
  int x = 1;
#if IMGCTL_VECTOR_KERNELS
  if (VectorKernelsOn()) x = UpsampleH2V1Vector(cur, n, x, out);
#endif
  for (; x < n - 1; ++x) {
    int t = cur[x] * 3;
    out[2 * x] = static_cast<uint8_t>((t + cur[x - 1] + 1) >> 2);
    out[2 * x + 1] = static_cast<uint8_t>((t + cur[x + 1] + 2) >> 2);
  }
  out[2 * n - 2] = static_cast<uint8_t>((cur[n - 1] * 3 + cur[n - 2] + 1) >> 2);
  out[2 * n - 1] = cur[n - 1];
}

void UpsampleH1V2(const uint8_t *cur, const uint8_t *near, int n, bool lower, uint8_t *out) {
  const int bias = lower ? 2 : 1;
  int x = 0;
#if IMGCTL_VECTOR_KERNELS
  if (VectorKernelsOn()) x = UpsampleH1V2Vector(cur, near, n, bias, out);
#endif
  for (; x < n; ++x) out[x] = static_cast<uint8_t>((cur[x] * 3 + near[x] + bias) >> 2);
}

void YCbCrToBgra(const uint8_t *y, const uint8_t *cb, const uint8_t *cr, int n, uint32_t *out) {
  int x = 0;
#if IMGCTL_VECTOR_KERNELS
  if (VectorKernelsOn()) x = YCbCrToBgraVector(y, cb, cr, n, out);
#endif
  for (; x < n; ++x) out[x] = PixelOf(y[x], cb[x], cr[x]);
}

}  // namespace imgctl
