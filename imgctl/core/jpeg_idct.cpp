// Inverse DCTs of one JPEG block: the integer 8x8 transform and the box-averaged reduced ones, the
// 8x8 and 4x4 with SSE2 bodies on x86 (chosen at run time on i686; see vector_kernels.h).
#include "imgctl/core/jpeg_idct.h"

#include <string.h>

#include "imgctl/core/vector_kernels.h"

#if IMGCTL_VECTOR_KERNELS
#include <emmintrin.h>
#endif

namespace imgctl {
namespace {

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;

// Fixed-point constants (x * 2^13) of the Loeffler-Ligtenberg-Moschytz 8-point transform.
constexpr int32_t kF0298 = 2446, kF0390 = 3196, kF0541 = 4433, kF0765 = 6270, kF0899 = 7373,
                  kF1175 = 9633, kF1501 = 12299, kF1847 = 15137, kF1961 = 16069,
                  kF2053 = 16819, kF2562 = 20995, kF3072 = 25172;

inline uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The arithmetic of the 16-bit lanes that the SSE2 transforms work in, which the plain code
// follows step for step so that both give the same bytes for any coefficients, however extreme:
// a sum of two coefficients wraps to 16 bits, a pass's result is saturated to 16 bits, and the
// 32-bit sums of products wrap (the last sum of the second pass can pass 2^31).
inline int32_t Wrap16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }
inline int32_t Saturate16(int32_t v) { return v < -32768 ? -32768 : (v > 32767 ? 32767 : v); }
inline int32_t WrapSum(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t WrapDifference(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// One 8-point inverse transform of 8 values spaced `step` apart, as the vector lanes compute it
// (products grouped so that each constant fits 16 bits; see Idct8Lanes): out[k] gets sample k,
// (sum + bias) >> shift before any saturation.
inline void Idct8Points(const int16_t *in, int step, int shift, int32_t bias, int32_t out[8]) {
  int32_t in0 = in[0], in1 = in[step], in2 = in[2 * step], in3 = in[3 * step];
  int32_t in4 = in[4 * step], in5 = in[5 * step], in6 = in[6 * step], in7 = in[7 * step];
  int32_t tmp2 = in2 * kF0541 + in6 * (kF0541 - kF1847);
  int32_t tmp3 = in2 * (kF0541 + kF0765) + in6 * kF0541;
  int32_t tmp0 = Wrap16(in0 + in4) * (1 << kConstBits);
  int32_t tmp1 = Wrap16(in0 - in4) * (1 << kConstBits);
  int32_t even[4] = {tmp0 + tmp3 + bias, tmp1 + tmp2 + bias, tmp1 - tmp2 + bias, tmp0 - tmp3 + bias};
  int32_t z3 = Wrap16(in7 + in3), z4 = Wrap16(in5 + in1);
  int32_t z3s = z3 * (kF1175 - kF1961) + z4 * kF1175;
  int32_t z4s = z3 * kF1175 + z4 * (kF1175 - kF0390);
  int32_t odd[4] = {in7 * (kF0298 - kF0899) - in1 * kF0899 + z3s,
                    in5 * (kF2053 - kF2562) - in3 * kF2562 + z4s,
                    -in5 * kF2562 + in3 * (kF3072 - kF2562) + z3s,
                    -in7 * kF0899 + in1 * (kF1501 - kF0899) + z4s};
  for (int k = 0; k < 4; ++k) {
    out[k] = WrapSum(even[k], odd[3 - k]) >> shift;
    out[7 - k] = WrapDifference(even[k], odd[3 - k]) >> shift;
  }
}

// Box-averaged reduced transforms: row i of the matrix that maps 8 coefficients to the mean
// of pixels [i*g, i*g+g) of the 8-point inverse transform (x 2^13). Rows past the middle
// follow by symmetry: out[n-1-i] takes the odd coefficients negated.
constexpr int32_t kBox4[2][8] = {{2896, 3711, 2676, 1303, 0, -871, -1108, -738},
                                 {2896, 1537, -2676, -3146, 0, 2102, 1108, -306}};
constexpr int32_t kBox2[8] = {2896, 2624, 0, -922, 0, 616, 0, -522};

}  // namespace

void InverseDctDcOnly(int16_t dc, int size, uint8_t *out, ptrdiff_t stride) {
  // The mean of the 8x8 block is DC / 8.
  uint8_t v = Clamp255(((dc + 4) >> 3) + 128);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) out[y * stride + x] = v;
}

#if IMGCTL_VECTOR_KERNELS
namespace {

// Two 16-bit constants for _mm_madd_epi16 over (a, b) pairs: a * first + b * second.
IMGCTL_SSE2_CODE inline __m128i Pair(int32_t first, int32_t second) {
  return _mm_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(second) << 16) |
                                             (static_cast<uint32_t>(first) & 0xFFFFu)));
}

// The 8-point transform on eight 16-bit lanes at once: in[k] holds frequency k, out[k] gets
// sample k, saturated to 16 bits. The products are regrouped so that every constant fits 16 bits
// (z1 * c1 + z2 * c2 with z1 = a + b becomes a * c1' + b * c2') and computed in 32 bits by
// _mm_madd_epi16; the four sums of two inputs wrap in their 16-bit lanes. Idct8Points does the
// same arithmetic in plain code.
template <int kShift>
IMGCTL_SSE2_CODE inline void Idct8Lanes(const __m128i in[8], __m128i out[8], __m128i bias) {
  const __m128i zero = _mm_setzero_si128();
  __m128i even[2][4], odd[2][4];  // [low or high four lanes][tmp10, tmp11, tmp12, tmp13 / tmp0..tmp3]
  __m128i z26[2] = {_mm_unpacklo_epi16(in[2], in[6]), _mm_unpackhi_epi16(in[2], in[6])};
  __m128i sum04 = _mm_add_epi16(in[0], in[4]), diff04 = _mm_sub_epi16(in[0], in[4]);
  __m128i sum04x[2] = {_mm_unpacklo_epi16(zero, sum04), _mm_unpackhi_epi16(zero, sum04)};
  __m128i diff04x[2] = {_mm_unpacklo_epi16(zero, diff04), _mm_unpackhi_epi16(zero, diff04)};
  __m128i z3 = _mm_add_epi16(in[7], in[3]), z4 = _mm_add_epi16(in[5], in[1]);
  __m128i z34[2] = {_mm_unpacklo_epi16(z3, z4), _mm_unpackhi_epi16(z3, z4)};
  __m128i p71[2] = {_mm_unpacklo_epi16(in[7], in[1]), _mm_unpackhi_epi16(in[7], in[1])};
  __m128i p53[2] = {_mm_unpacklo_epi16(in[5], in[3]), _mm_unpackhi_epi16(in[5], in[3])};
  for (int h = 0; h < 2; ++h) {
    __m128i tmp2 = _mm_madd_epi16(z26[h], Pair(kF0541, kF0541 - kF1847));
    __m128i tmp3 = _mm_madd_epi16(z26[h], Pair(kF0541 + kF0765, kF0541));
    __m128i tmp0 = _mm_srai_epi32(sum04x[h], 16 - kConstBits);  // (in0 + in4) << kConstBits
    __m128i tmp1 = _mm_srai_epi32(diff04x[h], 16 - kConstBits);
    even[h][0] = _mm_add_epi32(_mm_add_epi32(tmp0, tmp3), bias);
    even[h][3] = _mm_add_epi32(_mm_sub_epi32(tmp0, tmp3), bias);
    even[h][1] = _mm_add_epi32(_mm_add_epi32(tmp1, tmp2), bias);
    even[h][2] = _mm_add_epi32(_mm_sub_epi32(tmp1, tmp2), bias);
    __m128i z3s = _mm_madd_epi16(z34[h], Pair(kF1175 - kF1961, kF1175));
    __m128i z4s = _mm_madd_epi16(z34[h], Pair(kF1175, kF1175 - kF0390));
    odd[h][0] = _mm_add_epi32(_mm_madd_epi16(p71[h], Pair(kF0298 - kF0899, -kF0899)), z3s);
    odd[h][3] = _mm_add_epi32(_mm_madd_epi16(p71[h], Pair(-kF0899, kF1501 - kF0899)), z4s);
    odd[h][1] = _mm_add_epi32(_mm_madd_epi16(p53[h], Pair(kF2053 - kF2562, -kF2562)), z4s);
    odd[h][2] = _mm_add_epi32(_mm_madd_epi16(p53[h], Pair(-kF2562, kF3072 - kF2562)), z3s);
  }
  // out[k] = even[k] + odd[3 - k], out[7 - k] = even[k] - odd[3 - k].
  for (int k = 0; k < 4; ++k) {
    out[k] = _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(even[0][k], odd[0][3 - k]), kShift),
                             _mm_srai_epi32(_mm_add_epi32(even[1][k], odd[1][3 - k]), kShift));
    out[7 - k] = _mm_packs_epi32(_mm_srai_epi32(_mm_sub_epi32(even[0][k], odd[0][3 - k]), kShift),
                                 _mm_srai_epi32(_mm_sub_epi32(even[1][k], odd[1][3 - k]), kShift));
  }
}

// The block's eight rows of coefficients. Written out: as a loop, GCC on i686 turns the eight
// loads into a 4-byte copy loop through the stack.
IMGCTL_SSE2_CODE inline void LoadRows(const int16_t *in, __m128i r[8]) {
  r[0] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 0 * 8));
  r[1] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 1 * 8));
  r[2] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 2 * 8));
  r[3] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 3 * 8));
  r[4] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 4 * 8));
  r[5] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 5 * 8));
  r[6] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 6 * 8));
  r[7] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 7 * 8));
}

// Transposes an 8x8 matrix of 16-bit values held as eight rows.
IMGCTL_SSE2_CODE inline void Transpose8x16(__m128i r[8]) {
  __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
  __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
  __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
  __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
  __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  r[0] = _mm_unpacklo_epi64(b0, b4);
  r[1] = _mm_unpackhi_epi64(b0, b4);
  r[2] = _mm_unpacklo_epi64(b1, b5);
  r[3] = _mm_unpackhi_epi64(b1, b5);
  r[4] = _mm_unpacklo_epi64(b2, b6);
  r[5] = _mm_unpackhi_epi64(b2, b6);
  r[6] = _mm_unpacklo_epi64(b3, b7);
  r[7] = _mm_unpackhi_epi64(b3, b7);
}

IMGCTL_SSE2_CODE void InverseDct8Vector(const int16_t *in, uint8_t *out, ptrdiff_t stride) {
  __m128i v[8], w[8];
  LoadRows(in, v);
  // Columns (each register a row of coefficients), then rows after a transpose.
  Idct8Lanes<kConstBits - kPass1Bits>(v, w, _mm_set1_epi32(1 << (kConstBits - kPass1Bits - 1)));
  Transpose8x16(w);
  constexpr int shift = kConstBits + kPass1Bits + 3;
  Idct8Lanes<shift>(w, v, _mm_set1_epi32((1 << (shift - 1)) + (128 << shift)));
  // v[x] holds column x of the output: back to rows, clamped to 0..255 by the saturating pack.
  Transpose8x16(v);
  for (int r = 0; r < 8; ++r)
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + r * stride), _mm_packus_epi16(v[r], v[r]));
}

// One pass of the box-averaged 4x4 transform over four lanes of (frequency a, frequency b) pairs
// (the low or the high four of eight): w[i] gets (sum + bias) >> shift in 32 bits. Frequency 4 has
// no weight (kBox4[.][4] == 0).
IMGCTL_SSE2_CODE inline void Box4Lanes(const __m128i f[8], bool high, int shift, __m128i bias, __m128i w[4]) {
  __m128i p02 = high ? _mm_unpackhi_epi16(f[0], f[2]) : _mm_unpacklo_epi16(f[0], f[2]);
  __m128i p64 = high ? _mm_unpackhi_epi16(f[6], f[4]) : _mm_unpacklo_epi16(f[6], f[4]);
  __m128i p13 = high ? _mm_unpackhi_epi16(f[1], f[3]) : _mm_unpacklo_epi16(f[1], f[3]);
  __m128i p57 = high ? _mm_unpackhi_epi16(f[5], f[7]) : _mm_unpacklo_epi16(f[5], f[7]);
  __m128i e[2], o[2];
  for (int i = 0; i < 2; ++i) {
    e[i] = _mm_add_epi32(_mm_madd_epi16(p02, Pair(kBox4[i][0], kBox4[i][2])),
                         _mm_madd_epi16(p64, Pair(kBox4[i][6], 0)));
    e[i] = _mm_add_epi32(e[i], bias);
    o[i] = _mm_add_epi32(_mm_madd_epi16(p13, Pair(kBox4[i][1], kBox4[i][3])),
                         _mm_madd_epi16(p57, Pair(kBox4[i][5], kBox4[i][7])));
  }
  __m128i count = _mm_cvtsi32_si128(shift);
  w[0] = _mm_sra_epi32(_mm_add_epi32(e[0], o[0]), count);
  w[1] = _mm_sra_epi32(_mm_add_epi32(e[1], o[1]), count);
  w[2] = _mm_sra_epi32(_mm_sub_epi32(e[1], o[1]), count);
  w[3] = _mm_sra_epi32(_mm_sub_epi32(e[0], o[0]), count);
}

// The box-averaged 4x4 transform with 16-bit lanes: both passes multiply 16-bit values by 16-bit
// constants and sum in 32 bits (no sum comes near 2^31); the columns' results are saturated to 16
// bits between the passes, as the plain code does.
IMGCTL_SSE2_CODE void InverseDct4Vector(const int16_t *in, uint8_t *out, ptrdiff_t stride) {
  const __m128i zero = _mm_setzero_si128();
  __m128i r[8];
  LoadRows(in, r);
  constexpr int shift1 = kConstBits - kPass1Bits;
  __m128i lo[4], hi[4], ws[8];
  Box4Lanes(r, false, shift1, _mm_set1_epi32(1 << (shift1 - 1)), lo);
  Box4Lanes(r, true, shift1, _mm_set1_epi32(1 << (shift1 - 1)), hi);
  for (int i = 0; i < 4; ++i) ws[i] = _mm_packs_epi32(lo[i], hi[i]);  // row i of the vertical pass
  for (int i = 4; i < 8; ++i) ws[i] = zero;
  Transpose8x16(ws);  // ws[c]: column c, lanes 0..3 the four rows
  constexpr int shift = kConstBits + kPass1Bits;
  __m128i x[4];  // x[k]: output column k, lanes the four rows
  Box4Lanes(ws, false, shift, _mm_set1_epi32((1 << (shift - 1)) + (128 << shift)), x);
  __m128i a = _mm_packs_epi32(x[0], x[1]), b = _mm_packs_epi32(x[2], x[3]);
  __m128i c = _mm_unpacklo_epi16(a, b), d = _mm_unpackhi_epi16(a, b);
  __m128i px = _mm_packus_epi16(_mm_unpacklo_epi16(c, d), _mm_unpackhi_epi16(c, d));  // rows of 4 bytes
  for (int i = 0; i < 4; ++i) {
    uint32_t v = static_cast<uint32_t>(_mm_cvtsi128_si32(px));
    memcpy(out + i * stride, &v, 4);
    px = _mm_srli_si128(px, 4);
  }
}

}  // namespace
#endif

void InverseDct8(const int16_t *in, uint8_t *out, ptrdiff_t stride) {
#if IMGCTL_VECTOR_KERNELS
  if (VectorKernelsOn()) return InverseDct8Vector(in, out, stride);
#endif
  // Columns into 16-bit intermediates, then rows, descaled and clamped.
  int16_t ws[64];
  int32_t samples[8];
  constexpr int shift1 = kConstBits - kPass1Bits;
  for (int c = 0; c < 8; ++c) {
    Idct8Points(in + c, 8, shift1, 1 << (shift1 - 1), samples);
    for (int r = 0; r < 8; ++r) ws[r * 8 + c] = static_cast<int16_t>(Saturate16(samples[r]));
  }
  constexpr int shift = kConstBits + kPass1Bits + 3;
  constexpr int32_t bias = (1 << (shift - 1)) + (128 << shift);
  for (int r = 0; r < 8; ++r) {
    Idct8Points(ws + r * 8, 1, shift, bias, samples);
    for (int c = 0; c < 8; ++c) out[r * stride + c] = Clamp255(samples[c]);
  }
}

void InverseDct4(const int16_t *in, uint8_t *out, ptrdiff_t stride) {
#if IMGCTL_VECTOR_KERNELS
  if (VectorKernelsOn()) return InverseDct4Vector(in, out, stride);
#endif
  int16_t ws[4 * 8];  // 4 rows of 8 columns after the vertical pass, saturated to 16 bits
  constexpr int shift1 = kConstBits - kPass1Bits;
  for (int c = 0; c < 8; ++c) {
    const int16_t *col = in + c;
    int32_t e0 = kBox4[0][0] * col[0] + kBox4[0][2] * col[16] + kBox4[0][6] * col[48];
    int32_t e1 = kBox4[1][0] * col[0] + kBox4[1][2] * col[16] + kBox4[1][6] * col[48];
    int32_t o0 = kBox4[0][1] * col[8] + kBox4[0][3] * col[24] + kBox4[0][5] * col[40] +
                 kBox4[0][7] * col[56];
    int32_t o1 = kBox4[1][1] * col[8] + kBox4[1][3] * col[24] + kBox4[1][5] * col[40] +
                 kBox4[1][7] * col[56];
    constexpr int32_t b = 1 << (shift1 - 1);
    ws[0 * 8 + c] = static_cast<int16_t>(Saturate16((e0 + o0 + b) >> shift1));
    ws[1 * 8 + c] = static_cast<int16_t>(Saturate16((e1 + o1 + b) >> shift1));
    ws[2 * 8 + c] = static_cast<int16_t>(Saturate16((e1 - o1 + b) >> shift1));
    ws[3 * 8 + c] = static_cast<int16_t>(Saturate16((e0 - o0 + b) >> shift1));
  }
  constexpr int shift = kConstBits + kPass1Bits;
  constexpr int32_t bias = (1 << (shift - 1)) + (128 << shift);
  for (int r = 0; r < 4; ++r) {
    const int16_t *row = ws + r * 8;
    int32_t e0 = kBox4[0][0] * row[0] + kBox4[0][2] * row[2] + kBox4[0][6] * row[6];
    int32_t e1 = kBox4[1][0] * row[0] + kBox4[1][2] * row[2] + kBox4[1][6] * row[6];
    int32_t o0 = kBox4[0][1] * row[1] + kBox4[0][3] * row[3] + kBox4[0][5] * row[5] +
                 kBox4[0][7] * row[7];
    int32_t o1 = kBox4[1][1] * row[1] + kBox4[1][3] * row[3] + kBox4[1][5] * row[5] +
                 kBox4[1][7] * row[7];
    uint8_t *o = out + r * stride;
    o[0] = Clamp255((e0 + o0 + bias) >> shift);
    o[1] = Clamp255((e1 + o1 + bias) >> shift);
    o[2] = Clamp255((e1 - o1 + bias) >> shift);
    o[3] = Clamp255((e0 - o0 + bias) >> shift);
  }
}

void InverseDct2(const int16_t *in, uint8_t *out, ptrdiff_t stride) {
  int32_t ws[2 * 8];
  constexpr int shift1 = kConstBits - kPass1Bits;
  constexpr int32_t b = 1 << (shift1 - 1);
  for (int c = 0; c < 8; ++c) {
    const int16_t *col = in + c;
    int32_t e = kBox2[0] * col[0];
    int32_t o = kBox2[1] * col[8] + kBox2[3] * col[24] + kBox2[5] * col[40] + kBox2[7] * col[56];
    ws[c] = (e + o + b) >> shift1;
    ws[8 + c] = (e - o + b) >> shift1;
  }
  constexpr int shift = kConstBits + kPass1Bits;
  constexpr int32_t bias = (1 << (shift - 1)) + (128 << shift);
  for (int r = 0; r < 2; ++r) {
    const int32_t *row = ws + r * 8;
    int32_t e = kBox2[0] * row[0];
    int32_t o = kBox2[1] * row[1] + kBox2[3] * row[3] + kBox2[5] * row[5] + kBox2[7] * row[7];
    out[r * stride] = Clamp255((e + o + bias) >> shift);
    out[r * stride + 1] = Clamp255((e - o + bias) >> shift);
  }
}

void InverseDct(const int16_t *coefficients, int size, uint8_t *out, ptrdiff_t stride) {
  switch (size) {
    case 8: InverseDct8(coefficients, out, stride); break;
    case 4: InverseDct4(coefficients, out, stride); break;
    case 2: InverseDct2(coefficients, out, stride); break;
    default: InverseDctDcOnly(coefficients[0], 1, out, stride); break;
  }
}

#if IMGCTL_VECTOR_KERNELS
namespace {

// Eight products at a time, exact in 32 bits: the low and high halves of each 16 x 16-bit product,
// the high half taken as signed x signed and corrected for steps of 32768 and more (read as
// negative, each short by coded x 65536); packing saturates to 16 bits, then the clamp.
IMGCTL_SSE2_CODE void DequantizeVector(const int16_t *coded, const uint16_t *steps, int16_t *out) {
  const __m128i high = _mm_set1_epi16(kJpegMaxCoefficient), low = _mm_set1_epi16(-kJpegMaxCoefficient);
  for (int i = 0; i < 64; i += 8) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(coded + i));
    __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i *>(steps + i));
    __m128i lo = _mm_mullo_epi16(a, q);
    __m128i hi = _mm_add_epi16(_mm_mulhi_epi16(a, q), _mm_and_si128(a, _mm_srai_epi16(q, 15)));
    __m128i products = _mm_packs_epi32(_mm_unpacklo_epi16(lo, hi), _mm_unpackhi_epi16(lo, hi));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_min_epi16(_mm_max_epi16(products, low), high));
  }
}

}  // namespace
#endif

void Dequantize(const int16_t *coded, const uint16_t *steps, int16_t *out) {
#if IMGCTL_VECTOR_KERNELS
  if (VectorKernelsOn()) return DequantizeVector(coded, steps, out);
#endif
  for (int i = 0; i < 64; ++i) {
    const int32_t v = coded[i] * steps[i];
    out[i] = static_cast<int16_t>(v < -kJpegMaxCoefficient ? -kJpegMaxCoefficient
                                                           : (v > kJpegMaxCoefficient ? kJpegMaxCoefficient : v));
  }
}

uint64_t JpegCoefficientsUsed(int size) {
  // Per axis: which of the 8 frequencies the reduced transform reads.
  unsigned axis = size >= 8 ? 0xFFu : size == 4 ? 0xEFu : size == 2 ? 0xABu : 0x01u;
  uint64_t mask = 0;
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c)
      if ((axis >> r) & (axis >> c) & 1u) mask |= uint64_t{1} << (r * 8 + c);
  return mask;
}

}  // namespace imgctl
