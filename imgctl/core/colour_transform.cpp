// Conversion of decoded pixels from a picture's colour space to the screen's sRGB through lookup tables.
#include "imgctl/core/colour_transform.h"

#include <math.h>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define IMGCTL_SSE2 1
#endif

namespace imgctl {
namespace {

// Linear light indexes the sRGB curve's table in steps of 1/16384: near black, where sRGB's curve
// is steepest, a step is a fifth of an 8-bit level.
constexpr int kLinearBits = 14;
constexpr int32_t kLinearOne = 1 << kLinearBits;
// The shares carry six more fraction bits, so that the sum of three is rounded once.
constexpr int kShareBits = 20;
constexpr int kShareShift = kShareBits - kLinearBits;
constexpr int kChannelValues = 256;
constexpr int kShareLanes = 4;  // output R, G, B and a 0, so that one pixel's sums fill a 128-bit vector

// A profile whose conversion changes no 8-bit value by more than this (in levels) along each
// curve, and whose colorants give sRGB's within kMatrixTolerance, counts as sRGB.
constexpr double kCurveTolerance = 0.5;
constexpr double kMatrixTolerance = 0.003;
// No real colour space needs a larger matrix entry; a damaged profile's colorants could overflow the shares.
constexpr double kMaxMatrixEntry = 16;

struct SrgbCurveTable {
  uint8_t stored[kLinearOne + 1];
  SrgbCurveTable() {
    for (int32_t i = 0; i <= kLinearOne; ++i) stored[i] = uint8_t(lround(SrgbEncode(double(i) / kLinearOne) * 255));
  }
};
const uint8_t *SrgbCurve() {
  static const SrgbCurveTable table;
  return table.stored;
}

bool CurveIsSrgb(const ToneCurve &curve) {
  for (int v = 0; v < kChannelValues; ++v) {
    double shown = SrgbEncode(EvaluateToneCurve(curve, v / 255.0)) * 255;
    if (!(fabs(shown - v) <= kCurveTolerance)) return false;
  }
  return true;
}

inline int32_t Clamp(int32_t linear) { return linear < 0 ? 0 : (linear > kLinearOne ? kLinearOne : linear); }

void ApplyGrey(const uint8_t *grey, uint32_t *pixels, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    uint32_t p = pixels[i];
    pixels[i] = (p & 0xFF000000u) | uint32_t(grey[(p >> 16) & 0xFF]) << 16 | uint32_t(grey[(p >> 8) & 0xFF]) << 8 |
                grey[p & 0xFF];
  }
}

void ApplyRgb(const int32_t *shares, uint32_t *pixels, size_t count) {
  const int32_t *red = shares, *green = shares + kChannelValues * kShareLanes,
                *blue = shares + 2 * kChannelValues * kShareLanes;
  const uint8_t *curve = SrgbCurve();
  size_t i = 0;
#if IMGCTL_SSE2
  // Four pixels at a time: each pixel's three sums in one vector, two pixels packed to 16 bits and
  // held to 0..kLinearOne together (the pack saturates, which keeps values past the range past it).
  // The pixels are read and written as bytes (B, G, R, A in memory), which saves the shifts.
  const __m128i low = _mm_setzero_si128(), high = _mm_set1_epi16(int16_t(kLinearOne));
  auto sums = [&](const uint8_t *p) {
    __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i *>(red + p[2] * kShareLanes));
    __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i *>(green + p[1] * kShareLanes));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(blue + p[0] * kShareLanes));
    return _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(r, g), b), kShareShift);
  };
  uint8_t *bytes = reinterpret_cast<uint8_t *>(pixels);
  alignas(16) int16_t linear[16];
  for (; i + 4 <= count; i += 4, bytes += 16) {
    __m128i first = _mm_packs_epi32(sums(bytes), sums(bytes + 4));
    __m128i second = _mm_packs_epi32(sums(bytes + 8), sums(bytes + 12));
    _mm_store_si128(reinterpret_cast<__m128i *>(linear), _mm_min_epi16(_mm_max_epi16(first, low), high));
    _mm_store_si128(reinterpret_cast<__m128i *>(linear + 8), _mm_min_epi16(_mm_max_epi16(second, low), high));
    for (int k = 0; k < 4; ++k) {
      bytes[4 * k + 2] = curve[linear[4 * k]];
      bytes[4 * k + 1] = curve[linear[4 * k + 1]];
      bytes[4 * k] = curve[linear[4 * k + 2]];
    }
  }
#endif
  for (; i < count; ++i) {
    uint32_t p = pixels[i];
    const int32_t *r = red + ((p >> 16) & 0xFF) * kShareLanes, *g = green + ((p >> 8) & 0xFF) * kShareLanes,
                  *b = blue + (p & 0xFF) * kShareLanes;
    uint32_t out = p & 0xFF000000u;
    for (int lane = 0; lane < 3; ++lane)
      out |= uint32_t(curve[Clamp((r[lane] + g[lane] + b[lane]) >> kShareShift)]) << (16 - 8 * lane);
    pixels[i] = out;
  }
}

}  // namespace

bool MakeColourTransform(const ColourProfile &profile, ColourTransform *transform) {
  transform->kind = ColourTransform::Kind::kNone;
  if (profile.grey) {
    // A neutral grey stays neutral under the relative colorimetric intent: only its lightness maps.
    if (CurveIsSrgb(profile.curves[0])) return false;
    transform->grey.resize(kChannelValues);
    for (int v = 0; v < kChannelValues; ++v)
      transform->grey[size_t(v)] = uint8_t(lround(SrgbEncode(EvaluateToneCurve(profile.curves[0], v / 255.0)) * 255));
    transform->kind = ColourTransform::Kind::kGrey;
    return true;
  }
  // Linear picture RGB -> D50 XYZ -> linear sRGB.
  Matrix3 fromXyz, matrix;
  if (!Invert(SrgbToXyz(), fromXyz)) return false;
  Multiply(fromXyz, profile.toXyz, matrix);
  bool srgb = true;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      if (!(fabs(matrix[r][c]) <= kMaxMatrixEntry)) return false;
      if (!(fabs(matrix[r][c] - (r == c ? 1.0 : 0.0)) <= kMatrixTolerance)) srgb = false;
    }
  for (int c = 0; c < 3 && srgb; ++c) srgb = CurveIsSrgb(profile.curves[c]);
  if (srgb) return false;
  transform->shares.assign(size_t(3) * kChannelValues * kShareLanes, 0);
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < kChannelValues; ++v) {
      double linear = EvaluateToneCurve(profile.curves[c], v / 255.0);
      int32_t *share = &transform->shares[(size_t(c) * kChannelValues + size_t(v)) * kShareLanes];
      for (int lane = 0; lane < 3; ++lane) {
        // The rounding of the sum rides on the red channel's shares.
        double rounding = c == 0 ? 0.5 : 0.0;
        share[lane] = int32_t(floor(matrix[lane][c] * linear * (1 << kShareBits) + 0.5) +
                              rounding * (1 << kShareShift));
      }
    }
  transform->kind = ColourTransform::Kind::kRgb;
  return true;
}

void ApplyColourTransform(const ColourTransform &transform, uint32_t *pixels, size_t count) {
  switch (transform.kind) {
    case ColourTransform::Kind::kNone:
      break;
    case ColourTransform::Kind::kGrey:
      ApplyGrey(transform.grey.data(), pixels, count);
      break;
    case ColourTransform::Kind::kRgb:
      ApplyRgb(transform.shares.data(), pixels, count);
      break;
  }
}

}  // namespace imgctl
