// Conversion of decoded pixels from a picture's colour space to the screen's sRGB through lookup tables.
#include "imgctl/core/colour_transform.h"

#include <math.h>

#include <algorithm>
#include <mutex>
#include <new>

#include "imgctl/core/vector_kernels.h"

#if IMGCTL_VECTOR_KERNELS
#include <emmintrin.h>
#endif

namespace imgctl {
namespace {

// Linear light indexes sRGB's curve in steps of 1/16384: near black, where the curve is steepest,
// a step is a fifth of an 8-bit level.
constexpr int kLinearBits = 14;
constexpr int32_t kLinearOne = 1 << kLinearBits;
// The shares carry four more fraction bits, so that the three added for a pixel stay within a
// tenth of a step of the exact sum, which is then rounded once to the step.
constexpr int kFractionBits = 4;
constexpr double kShareOne = double(kLinearOne << kFractionBits);
// One 64-bit word holds the three output channels' sums side by side, each in a field of 20 bits:
// blue in bits 0-19, green in 20-39, red in 40-59. Every field's final sum lies within its 20 bits
// (MakeColourTransform checks the extremes), so the carries and borrows between fields that the
// shares' signs cause along the way cancel out. A field's top 16 bits index the curve.
constexpr int kFieldBits = 20;
constexpr int kIndexBits = kFieldBits - kFractionBits;
static_assert(kIndexBits == 16, "the SSE2 body reads each index as a 16-bit lane");
constexpr int32_t kIndexCount = 1 << kIndexBits;
constexpr int kBlueShift = kFractionBits, kGreenShift = kFieldBits + kFractionBits,
              kRedShift = 2 * kFieldBits + kFractionBits;
// The index of linear light 0: the indexes cover -1.5 to 2.5, so that colours outside sRGB's
// gamut reach the curve's table, which holds them at 0 and at 255 (the clipping).
constexpr int32_t kIndexOfZero = 3 * kLinearOne / 2;
// Added to every field once, with the red channel's shares: the index of 0, and half an index step
// so that taking the top bits rounds.
constexpr int64_t kFieldOffset = (int64_t(kIndexOfZero) << kFractionBits) + (1 << (kFractionBits - 1));

constexpr int kChannelValues = 256;
constexpr int kLevels = 256;  // 8-bit sRGB values
constexpr int kEdges = kLevels - 1;
constexpr double kMaxLevel = kLevels - 1;

// A profile whose curves give every 8-bit value back, and whose colorants give sRGB's within
// kMatrixTolerance, counts as sRGB.
constexpr double kMatrixTolerance = 0.003;
// No real colour space needs a larger matrix entry; the fields' range check needs shares that fit.
constexpr double kMaxMatrixEntry = 16;

// sRGB's 8-bit levels as linear light: level k + 1 begins where the exact value reaches k + 1/2,
// at edge[k]; and for every curve index the level it shows, the count of edges it reaches.
struct SrgbLevels {
  double edge[kEdges];
  uint8_t shown[kIndexCount];
  SrgbLevels() {
    int32_t index = 0;
    for (int k = 0; k < kEdges; ++k) {
      edge[k] = SrgbDecode((k + 0.5) / kMaxLevel);
      const int32_t first = kIndexOfZero + int32_t(ceil(edge[k] * kLinearOne));
      for (; index < first; ++index) shown[index] = uint8_t(k);
    }
    for (; index < kIndexCount; ++index) shown[index] = uint8_t(kLevels - 1);
  }
};
const SrgbLevels &Levels() {
  static const SrgbLevels levels;
  return levels;
}

// The 8-bit sRGB value of linear light: the number of level edges it reaches.
uint8_t ShownLevel(const SrgbLevels &levels, double linear) {
  return uint8_t(std::upper_bound(levels.edge, levels.edge + kEdges, linear) - levels.edge);
}

// Whether sRGB's curve shows every stored value as itself from these linear values, that is within
// half a level.
bool GivesBackSrgb(const SrgbLevels &levels, const double linear[kChannelValues]) {
  for (int v = 0; v < kChannelValues; ++v)
    if (ShownLevel(levels, linear[v]) != v) return false;
  return true;
}

bool SameCurve(const ToneCurve &a, const ToneCurve &b) {
  return a.kind == b.kind && a.function == b.function && a.g == b.g && a.a == b.a && a.b == b.b && a.c == b.c &&
         a.d == b.d && a.e == b.e && a.f == b.f && a.samples == b.samples;
}

void ApplyGrey(const uint8_t *grey, uint32_t *pixels, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    uint32_t p = pixels[i];
    pixels[i] = (p & 0xFF000000u) | uint32_t(grey[(p >> 16) & 0xFF]) << 16 | uint32_t(grey[(p >> 8) & 0xFF]) << 8 |
                grey[p & 0xFF];
  }
}

// The pixels are read and written as bytes (B, G, R, A in memory): alpha is never touched.
void ApplyRgbPlain(const uint64_t *shares, const uint8_t *shown, uint8_t *bytes, size_t count) {
  const uint64_t *red = shares, *green = shares + kChannelValues, *blue = shares + 2 * kChannelValues;
  for (size_t i = 0; i < count; ++i, bytes += 4) {
    const uint64_t sums = red[bytes[2]] + green[bytes[1]] + blue[bytes[0]];
    bytes[0] = shown[uint32_t(sums >> kBlueShift) & (kIndexCount - 1)];
    bytes[1] = shown[uint32_t(sums >> kGreenShift) & (kIndexCount - 1)];
    bytes[2] = shown[uint32_t(sums >> kRedShift)];
  }
}

#if IMGCTL_VECTOR_KERNELS
// Two pixels' shares from one table, in the two 64-bit lanes of a register.
IMGCTL_SSE2_CODE inline __m128i SharePair(const uint64_t *table, uint8_t first, uint8_t second) {
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(table + first)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(table + second)));
}

// Two pixels at a time, their sums in the two 64-bit lanes of one register (the i686 build has no
// 64-bit registers of its own). Shifted right by 4, 8 and 12 bits, the blue, green and red indexes
// fall on 16-bit lanes 0, 1 and 2 of each pixel's half. Returns the pixels done.
IMGCTL_SSE2_CODE size_t ApplyRgbVector(const uint64_t *shares, const uint8_t *shown, uint8_t *bytes, size_t count) {
  const uint64_t *red = shares, *green = shares + kChannelValues, *blue = shares + 2 * kChannelValues;
  size_t i = 0;
  for (; i + 2 <= count; i += 2, bytes += 8) {
    const __m128i sums =
        _mm_add_epi64(_mm_add_epi64(SharePair(red, bytes[2], bytes[6]), SharePair(green, bytes[1], bytes[5])),
                      SharePair(blue, bytes[0], bytes[4]));
    const __m128i low = _mm_srli_epi64(sums, kBlueShift), middle = _mm_srli_epi64(sums, kGreenShift - 16),
                  high = _mm_srli_epi64(sums, kRedShift - 32);
    bytes[0] = shown[_mm_extract_epi16(low, 0)];
    bytes[1] = shown[_mm_extract_epi16(middle, 1)];
    bytes[2] = shown[_mm_extract_epi16(high, 2)];
    bytes[4] = shown[_mm_extract_epi16(low, 4)];
    bytes[5] = shown[_mm_extract_epi16(middle, 5)];
    bytes[6] = shown[_mm_extract_epi16(high, 6)];
  }
  return i;
}
#endif

// The tables made from `profile`, as MakeColourTransform describes.
bool BuildColourTransform(const ColourProfile &profile, ColourTransform *transform) {
  transform->kind = ColourTransform::Kind::kNone;
  const SrgbLevels &levels = Levels();
  // Each channel's linear light for its 256 stored values; a curve like the one before is not
  // evaluated again (the three curves are mostly one).
  const int channels = profile.grey ? 1 : 3;
  double linear[3][kChannelValues];
  bool curvesSrgb = true;
  for (int c = 0; c < channels; ++c) {
    if (c > 0 && SameCurve(profile.curves[c], profile.curves[c - 1])) {
      std::copy(linear[c - 1], linear[c - 1] + kChannelValues, linear[c]);
      continue;
    }
    for (int v = 0; v < kChannelValues; ++v) linear[c][v] = EvaluateToneCurve(profile.curves[c], v / kMaxLevel);
    curvesSrgb = curvesSrgb && GivesBackSrgb(levels, linear[c]);
  }
  if (profile.grey) {
    // A neutral grey stays neutral under the relative colorimetric intent: only its lightness maps.
    if (curvesSrgb) return false;
    transform->grey.resize(kChannelValues);
    for (int v = 0; v < kChannelValues; ++v) transform->grey[size_t(v)] = ShownLevel(levels, linear[0][v]);
    transform->kind = ColourTransform::Kind::kGrey;
    return true;
  }
  // Linear picture RGB -> D50 XYZ -> linear sRGB.
  Matrix3 fromXyz, matrix;
  if (!Invert(SrgbToXyz(), fromXyz)) return false;
  Multiply(fromXyz, profile.toXyz, matrix);
  bool srgb = curvesSrgb;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      if (!(fabs(matrix[r][c]) <= kMaxMatrixEntry)) return false;
      if (!(fabs(matrix[r][c] - (r == c ? 1.0 : 0.0)) <= kMatrixTolerance)) srgb = false;
    }
  if (srgb) return false;
  // Output channel `lane` (0 red, 1 green, 2 blue) goes to the field at bit kFieldBits * (2 - lane).
  int64_t least[3] = {}, most[3] = {};
  std::vector<uint64_t> shares(size_t(3) * kChannelValues);
  for (int c = 0; c < 3; ++c) {
    int64_t channelLeast[3] = {}, channelMost[3] = {};
    for (int v = 0; v < kChannelValues; ++v) {
      uint64_t packed = 0;
      for (int lane = 0; lane < 3; ++lane) {
        int64_t share = int64_t(floor(matrix[lane][c] * linear[c][v] * kShareOne + 0.5)) + (c == 0 ? kFieldOffset : 0);
        channelLeast[lane] = v == 0 ? share : std::min(channelLeast[lane], share);
        channelMost[lane] = v == 0 ? share : std::max(channelMost[lane], share);
        packed += uint64_t(share) << (kFieldBits * (2 - lane));  // two's complement: a borrow from the next field
      }
      shares[size_t(c) * kChannelValues + size_t(v)] = packed;
    }
    for (int lane = 0; lane < 3; ++lane) {
      least[lane] += channelLeast[lane];
      most[lane] += channelMost[lane];
    }
  }
  for (int lane = 0; lane < 3; ++lane)
    if (least[lane] < 0 || most[lane] >= (int64_t(1) << kFieldBits)) return false;
  transform->shares = std::move(shares);
  transform->kind = ColourTransform::Kind::kRgb;
  return true;
}

bool SameProfile(const ColourProfile &a, const ColourProfile &b) {
  if (a.grey != b.grey) return false;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      if (!(a.toXyz[r][c] == b.toXyz[r][c])) return false;
  for (int c = 0; c < 3; ++c)
    if (!SameCurve(a.curves[c], b.curves[c])) return false;
  return true;
}

// The last profile's conversion, kept for the next picture: a slide show's photos mostly come from
// one camera and share its profile, and the tables take 15 to 75 microseconds to build (the i686
// build's x87 powers are the slower), a percent of a small picture's decode. Held under a lock,
// since pictures may decode on more than one thread.
struct LastConversion {
  std::mutex lock;
  bool kept = false;
  bool made = false;  // MakeColourTransform's answer
  ColourProfile profile;
  ColourTransform transform;
};
LastConversion &Last() {
  static LastConversion last;
  return last;
}

}  // namespace

bool MakeColourTransform(const ColourProfile &profile, ColourTransform *transform) {
  LastConversion &last = Last();
  {
    std::lock_guard<std::mutex> hold(last.lock);
    if (last.kept && SameProfile(last.profile, profile)) {
      *transform = last.transform;
      return last.made;
    }
  }
  const bool made = BuildColourTransform(profile, transform);
  std::lock_guard<std::mutex> hold(last.lock);
  try {
    last.kept = false;
    last.profile = profile;
    last.transform = *transform;
    last.made = made;
    last.kept = true;
  } catch (const std::bad_alloc &) {
    // Only the keeping failed; the conversion stands.
  }
  return made;
}

void ApplyColourTransform(const ColourTransform &transform, uint32_t *pixels, size_t count, ColourBody body) {
  switch (transform.kind) {
    case ColourTransform::Kind::kNone:
      break;
    case ColourTransform::Kind::kGrey:
      ApplyGrey(transform.grey.data(), pixels, count);
      break;
    case ColourTransform::Kind::kRgb: {
      const uint8_t *shown = Levels().shown;
      uint8_t *bytes = reinterpret_cast<uint8_t *>(pixels);
      size_t done = 0;
#if IMGCTL_VECTOR_KERNELS
#if defined(__i386__)
      const bool vector = body == ColourBody::kVector || (body == ColourBody::kChosen && VectorKernelsOn());
#else
      const bool vector = body == ColourBody::kVector;
#endif
      if (vector) done = ApplyRgbVector(transform.shares.data(), shown, bytes, count);
#else
      (void)body;
#endif
      ApplyRgbPlain(transform.shares.data(), shown, bytes + 4 * done, count - done);
      break;
    }
  }
}

}  // namespace imgctl
