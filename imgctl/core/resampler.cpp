// The streaming resampler: a separable fixed-point filter that takes rows as they are decoded. Its
// inner loops have SSE2 bodies on x86 (chosen at run time on i686; see vector_kernels.h) that give
// the plain loops' bytes: the same 16-bit weights, 32-bit sums, rounding and clamping.
#include "imgctl/core/resampler.h"

#include <math.h>
#include <string.h>

#include <algorithm>

#include "imgctl/core/vector_kernels.h"

#if IMGCTL_VECTOR_KERNELS
#include <emmintrin.h>
#endif

namespace imgctl {
namespace {

constexpr int32_t kOne = 1 << kWeightBits;
constexpr int32_t kHalf = 1 << (kWeightBits - 1);
constexpr uint32_t kOpaque = 0xFF000000u;

// Area weights: target pixel j covers [j * s, (j + 1) * s) and source pixel i covers
// [i * t, (i + 1) * t), both in units of 1 / (s * t) of the whole length. Each weight is the
// difference of rounded running sums, so the weights of a pixel add up to exactly kOne and
// each lies within one unit of its exact value.
void AreaTaps(AxisTaps &taps, int32_t j) {
  const int64_t s = taps.sourceLength, t = taps.targetLength;
  int64_t begin = j * s, end = (j + 1) * s;
  int32_t first = int32_t(begin / t), last = int32_t((end + t - 1) / t - 1);
  taps.first[size_t(j)] = first;
  taps.count[size_t(j)] = last - first + 1;
  int64_t covered = 0, given = 0;
  for (int32_t i = first; i <= last; ++i) {
    int64_t overlap = std::min<int64_t>((i + 1) * t, end) - std::max<int64_t>(i * t, begin);
    covered += overlap;
    int64_t total = (covered * kOne + s / 2) / s;
    taps.weights[size_t(j) * size_t(taps.stride) + size_t(i - first)] = int16_t(total - given);
    given = total;
  }
}

// Area weights over block means. Target pixel j covers [a, b) = [j s / t, (j + 1) s / t) in source
// pixels. A source pixel i wholly inside adds its mean with weight 1; one that an edge cuts, covered
// over [u, v), adds the integral of m_i + g (x - i - 1/2) over [u, v), with the slope g taken from
// its neighbours, (m_(i+1) - m_(i-1)) / 2 (one-sided at the picture's edges). Weights are made
// integers as in AreaTaps: differences of rounded running sums, so they add up to exactly kOne.
void BlockMeanAreaTaps(AxisTaps &taps, int32_t j) {
  const int64_t s = taps.sourceLength, t = taps.targetLength;
  const double a = double(j * s) / double(t), b = double((j + 1) * s) / double(t);
  const int32_t covered0 = int32_t(j * s / t), covered1 = int32_t(((j + 1) * s + t - 1) / t - 1);
  const int32_t first = std::max(covered0 - 1, 0), last = std::min<int32_t>(covered1 + 1, int32_t(s - 1));
  double weight[64] = {};  // stride is small when shrinking by less than about 60; see BuildAxisTaps
  for (int32_t i = covered0; i <= covered1; ++i) {
    double u = std::max(a, double(i)), v = std::min(b, double(i + 1));
    weight[i - first] += v - u;
    if (v - u >= 1.0) continue;
    int32_t low = std::max(i - 1, 0), high = std::min<int32_t>(i + 1, int32_t(s - 1));
    if (high == low) continue;
    double centre = i + 0.5, moment = ((v - centre) * (v - centre) - (u - centre) * (u - centre)) / 2;
    weight[high - first] += moment / (high - low);
    weight[low - first] -= moment / (high - low);
  }
  taps.first[size_t(j)] = first;
  taps.count[size_t(j)] = last - first + 1;
  double sum = 0;
  int64_t given = 0;
  for (int32_t i = first; i <= last; ++i) {
    sum += weight[i - first];
    int64_t total = i == last ? kOne : int64_t(floor(sum / (b - a) * kOne + 0.5));
    taps.weights[size_t(j) * size_t(taps.stride) + size_t(i - first)] = int16_t(total - given);
    given = total;
  }
}

// Linear weights between the two source centres around target pixel j's centre, which lies at
// ((2j + 1) s / t - 1) / 2 in source pixels; outside the outer centres the edge pixel stands.
void LinearTaps(AxisTaps &taps, int32_t j) {
  const int64_t s = taps.sourceLength, t = taps.targetLength;
  int64_t position = (2 * j + 1) * s - t;  // in units of 1 / (2t) source pixels
  int16_t *weights = &taps.weights[size_t(j) * size_t(taps.stride)];
  if (position <= 0 || position >= (s - 1) * 2 * t) {
    taps.first[size_t(j)] = position <= 0 ? 0 : int32_t(s - 1);
    taps.count[size_t(j)] = 1;
    weights[0] = int16_t(kOne);
    return;
  }
  int64_t index = position / (2 * t), fraction = position % (2 * t);
  int32_t second = int32_t((fraction * kOne + t) / (2 * t));
  taps.first[size_t(j)] = int32_t(index);
  taps.count[size_t(j)] = 2;
  weights[0] = int16_t(kOne - second);
  weights[1] = int16_t(second);
}

uint32_t ClampToByte(int32_t sum) {
  int32_t value = (sum + kHalf) >> kWeightBits;
  return uint32_t(value < 0 ? 0 : value > 255 ? 255 : value);
}

// Composites pixels with alpha below 255 over black; returns false when all are opaque.
bool CompositeOverBlack(const uint32_t *in, int32_t count, std::vector<uint32_t> &out) {
  int32_t x = 0;
  while (x < count && (in[x] >> 24) == 0xFF) ++x;
  if (x == count) return false;
  out.assign(in, in + count);
  for (; x < count; ++x) {
    uint32_t pixel = in[x], alpha = pixel >> 24, result = kOpaque;
    for (int shift = 0; shift < 24; shift += 8) {
      uint32_t product = ((pixel >> shift) & 0xFF) * alpha + 128;
      result |= ((product + (product >> 8)) >> 8) << shift;  // exact rounding of c * a / 255
    }
    out[size_t(x)] = result;
  }
  return true;
}

#if IMGCTL_VECTOR_KERNELS
// Each pixel's four channels in the four 32-bit lanes of one register: pairs of taps at once with
// _mm_madd_epi16 (the two pixels' channels interleaved with the two weights), the sum rounded,
// shifted and clamped by the saturating packs.
// Two neighbouring pixels' channels in (first, second) 16-bit pairs for _mm_madd_epi16.
IMGCTL_SSE2_CODE inline __m128i PixelPair(const uint32_t *p) {
  __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
  return _mm_unpacklo_epi8(_mm_unpacklo_epi8(two, _mm_srli_si128(two, 4)), _mm_setzero_si128());
}

// Uniform taps of two, four or six per target pixel (every enlargement, every shrink by less than
// 3, and the block-mean shrinks by less than 2 that follow a JPEG's scaled decode): the same
// arithmetic with the tap loop unrolled and each pixel's weights loaded at once.
template <int kTaps>
IMGCTL_SSE2_CODE void FilterUniformVector(const uint32_t *in, const AxisTaps &taps, uint32_t *out) {
  const int32_t *first = taps.first.data();
  const int16_t *weights = taps.weights.data();
  const __m128i round = _mm_set1_epi32(kHalf);
  for (int32_t j = 0; j < taps.targetLength; ++j, weights += kTaps) {
    const uint32_t *p = in + first[j];
    int32_t pair;
    memcpy(&pair, weights + (kTaps == 6 ? 4 : 0), sizeof pair);
    __m128i w = kTaps == 2 ? _mm_cvtsi32_si128(pair) : _mm_loadl_epi64(reinterpret_cast<const __m128i *>(weights));
    __m128i sum = _mm_add_epi32(round, _mm_madd_epi16(PixelPair(p), _mm_shuffle_epi32(w, 0x00)));
    if (kTaps >= 4) sum = _mm_add_epi32(sum, _mm_madd_epi16(PixelPair(p + 2), _mm_shuffle_epi32(w, 0x55)));
    if (kTaps == 6) sum = _mm_add_epi32(sum, _mm_madd_epi16(PixelPair(p + 4), _mm_set1_epi32(pair)));
    sum = _mm_srai_epi32(sum, kWeightBits);
    sum = _mm_packs_epi32(sum, sum);
    out[j] = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum)));
  }
}

IMGCTL_SSE2_CODE void FilterHorizontallyVector(const uint32_t *in, const AxisTaps &taps, uint32_t *out) {
  if (taps.uniform && taps.stride == 2) return FilterUniformVector<2>(in, taps, out);
  if (taps.uniform && taps.stride == 4) return FilterUniformVector<4>(in, taps, out);
  if (taps.uniform && taps.stride == 6) return FilterUniformVector<6>(in, taps, out);
  const int32_t *first = taps.first.data(), *count = taps.count.data();
  const int16_t *weights = taps.weights.data();
  const __m128i zero = _mm_setzero_si128(), round = _mm_set1_epi32(kHalf);
  for (int32_t j = 0; j < taps.targetLength; ++j, weights += taps.stride) {
    const uint32_t *p = in + first[j];
    int32_t n = count[j], k = 0;
    __m128i sum = round;
    for (; k + 1 < n; k += 2) {
      __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + k));
      __m128i paired = _mm_unpacklo_epi8(_mm_unpacklo_epi8(two, _mm_srli_si128(two, 4)), zero);
      int32_t pair;
      memcpy(&pair, weights + k, sizeof pair);
      sum = _mm_add_epi32(sum, _mm_madd_epi16(paired, _mm_set1_epi32(pair)));
    }
    if (k < n) {
      __m128i one = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p[k])), zero), zero);
      sum = _mm_add_epi32(sum, _mm_madd_epi16(one, _mm_set1_epi32(uint16_t(weights[k]))));
    }
    sum = _mm_srai_epi32(sum, kWeightBits);
    sum = _mm_packs_epi32(sum, sum);
    out[j] = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(sum, sum)));
  }
}

// Each vector body below handles whole steps of four pixels and returns where it stopped; the
// plain loop finishes the row.

IMGCTL_SSE2_CODE int32_t AccumulateVector(const uint32_t *row, int32_t width, int32_t weight, int32_t *accumulator) {
  const __m128i zero = _mm_setzero_si128(), w = _mm_set1_epi32(weight);
  int32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x));
    __m128i low = _mm_unpacklo_epi8(pixels, zero), high = _mm_unpackhi_epi8(pixels, zero);
    __m128i *sums = reinterpret_cast<__m128i *>(accumulator + 4 * x);
    _mm_storeu_si128(sums + 0, _mm_add_epi32(_mm_loadu_si128(sums + 0), _mm_madd_epi16(_mm_unpacklo_epi16(low, zero), w)));
    _mm_storeu_si128(sums + 1, _mm_add_epi32(_mm_loadu_si128(sums + 1), _mm_madd_epi16(_mm_unpackhi_epi16(low, zero), w)));
    _mm_storeu_si128(sums + 2, _mm_add_epi32(_mm_loadu_si128(sums + 2), _mm_madd_epi16(_mm_unpacklo_epi16(high, zero), w)));
    _mm_storeu_si128(sums + 3, _mm_add_epi32(_mm_loadu_si128(sums + 3), _mm_madd_epi16(_mm_unpackhi_epi16(high, zero), w)));
  }
  return x;
}

IMGCTL_SSE2_CODE int32_t SettleVector(const int32_t *accumulator, int32_t width, uint32_t *out) {
  const __m128i round = _mm_set1_epi32(kHalf);
  int32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    const __m128i *sums = reinterpret_cast<const __m128i *>(accumulator + 4 * x);
    __m128i s0 = _mm_srai_epi32(_mm_add_epi32(_mm_loadu_si128(sums + 0), round), kWeightBits);
    __m128i s1 = _mm_srai_epi32(_mm_add_epi32(_mm_loadu_si128(sums + 1), round), kWeightBits);
    __m128i s2 = _mm_srai_epi32(_mm_add_epi32(_mm_loadu_si128(sums + 2), round), kWeightBits);
    __m128i s3 = _mm_srai_epi32(_mm_add_epi32(_mm_loadu_si128(sums + 3), round), kWeightBits);
    __m128i packed = _mm_packus_epi16(_mm_packs_epi32(s0, s1), _mm_packs_epi32(s2, s3));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), packed);
  }
  return x;
}

IMGCTL_SSE2_CODE int32_t BlendVector(const uint32_t *a, const uint32_t *b, int32_t wa, int32_t wb, int32_t width,
                                     uint32_t *out) {
  const __m128i zero = _mm_setzero_si128(), round = _mm_set1_epi32(kHalf);
  const __m128i w = _mm_set1_epi32(int32_t(uint32_t(wb) << 16 | uint32_t(uint16_t(wa))));
  int32_t x = 0;
  for (; x + 4 <= width; x += 4) {
    __m128i pa = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + x));
    __m128i pb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + x));
    __m128i low = _mm_unpacklo_epi8(pa, pb), high = _mm_unpackhi_epi8(pa, pb);
    __m128i s0 = _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), w);
    __m128i s1 = _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), w);
    __m128i s2 = _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), w);
    __m128i s3 = _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), w);
    s0 = _mm_srai_epi32(_mm_add_epi32(s0, round), kWeightBits);
    s1 = _mm_srai_epi32(_mm_add_epi32(s1, round), kWeightBits);
    s2 = _mm_srai_epi32(_mm_add_epi32(s2, round), kWeightBits);
    s3 = _mm_srai_epi32(_mm_add_epi32(s3, round), kWeightBits);
    __m128i packed = _mm_packus_epi16(_mm_packs_epi32(s0, s1), _mm_packs_epi32(s2, s3));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), packed);
  }
  return x;
}
#endif

// One row through the horizontal taps.
void FilterHorizontally(const uint32_t *in, const AxisTaps &taps, uint32_t *out) {
#if IMGCTL_VECTOR_KERNELS
  if (VectorKernelsOn()) return FilterHorizontallyVector(in, taps, out);
#endif
  const int32_t *first = taps.first.data(), *count = taps.count.data();
  const int16_t *weights = taps.weights.data();
  for (int32_t j = 0; j < taps.targetLength; ++j, weights += taps.stride) {
    const uint32_t *p = in + first[j];
    int32_t b = 0, g = 0, r = 0, a = 0;
    for (int32_t k = 0; k < count[j]; ++k) {
      uint32_t pixel = p[k];
      int32_t w = weights[k];
      b += w * int32_t(pixel & 0xFF);
      g += w * int32_t((pixel >> 8) & 0xFF);
      r += w * int32_t((pixel >> 16) & 0xFF);
      a += w * int32_t(pixel >> 24);
    }
    out[j] = ClampToByte(a) << 24 | ClampToByte(r) << 16 | ClampToByte(g) << 8 | ClampToByte(b);
  }
}

// accumulator[4x + c] += weight * channel c of row[x].
void Accumulate(const uint32_t *row, int32_t width, int32_t weight, int32_t *accumulator) {
  int32_t x = 0;
#if IMGCTL_VECTOR_KERNELS
  if (VectorKernelsOn()) x = AccumulateVector(row, width, weight, accumulator);
#endif
  for (; x < width; ++x)
    for (int c = 0; c < 4; ++c) accumulator[4 * x + c] += weight * int32_t((row[x] >> (8 * c)) & 0xFF);
}

// Rounds the sums of a finished target row into pixels and clears them for the next use.
void Settle(int32_t *accumulator, int32_t width, uint32_t *out) {
  int32_t x = 0;
#if IMGCTL_VECTOR_KERNELS
  if (VectorKernelsOn()) x = SettleVector(accumulator, width, out);
#endif
  for (; x < width; ++x) {
    const int32_t *s = accumulator + 4 * x;
    out[x] = ClampToByte(s[3]) << 24 | ClampToByte(s[2]) << 16 | ClampToByte(s[1]) << 8 |
             ClampToByte(s[0]);
  }
  memset(accumulator, 0, size_t(width) * 4 * sizeof(int32_t));
}

// out = (a * wa + b * wb) per channel, wa + wb = kOne.
void Blend(const uint32_t *a, const uint32_t *b, int32_t wa, int32_t wb, int32_t width, uint32_t *out) {
  int32_t x = 0;
#if IMGCTL_VECTOR_KERNELS
  if (VectorKernelsOn()) x = BlendVector(a, b, wa, wb, width, out);
#endif
  for (; x < width; ++x) {
    uint32_t pixel = 0;
    for (int shift = 0; shift < 32; shift += 8)
      pixel |= ClampToByte(wa * int32_t((a[x] >> shift) & 0xFF) + wb * int32_t((b[x] >> shift) & 0xFF))
               << shift;
    out[x] = pixel;
  }
}

// Gives every target pixel the same number of taps (stride), moving its first tap back where
// needed and padding with zero weights, so that the horizontal loop runs a fixed count and the
// processor predicts it. Only for the horizontal pass: the vertical one relies on tight ranges.
void MakeTapCountsUniform(AxisTaps &taps) {
  if (taps.sourceLength < taps.stride) return;
  for (int32_t j = 0; j < taps.targetLength; ++j) {
    int32_t first = taps.first[size_t(j)], count = taps.count[size_t(j)];
    int32_t moved = std::min(first, taps.sourceLength - taps.stride);
    int16_t *weights = &taps.weights[size_t(j) * size_t(taps.stride)];
    int32_t shift = first - moved;
    for (int32_t k = count - 1; k >= 0; --k) weights[k + shift] = weights[k];
    for (int32_t k = 0; k < shift; ++k) weights[k] = 0;
    taps.first[size_t(j)] = moved;
    taps.count[size_t(j)] = taps.stride;
  }
  taps.uniform = true;
}

}  // namespace

AxisTaps BuildAxisTaps(int32_t sourceLength, int32_t targetLength, bool blockMeans) {
  AxisTaps taps;
  taps.sourceLength = sourceLength;
  taps.targetLength = targetLength;
  // A target pixel of a shrink covers source / target pixels, touching at most two more partly;
  // block-mean taps reach one more pixel on each side. They are kept for mild shrinks only, where
  // the cut pixels weigh much: past a factor of 8 the flat share is as good.
  const bool shrink = targetLength < sourceLength;
  blockMeans = blockMeans && shrink && sourceLength <= int64_t(targetLength) * 8;
  int32_t most = shrink ? (sourceLength + targetLength - 1) / targetLength + 1 + (blockMeans ? 2 : 0) : 2;
  taps.stride = (most + 1) & ~1;
  taps.first.resize(size_t(targetLength));
  taps.count.resize(size_t(targetLength));
  taps.weights.assign(size_t(targetLength) * size_t(taps.stride), 0);
  for (int32_t j = 0; j < targetLength; ++j) {
    if (blockMeans) BlockMeanAreaTaps(taps, j);
    else if (targetLength <= sourceLength) AreaTaps(taps, j);
    else LinearTaps(taps, j);
  }
  return taps;
}

Resampler::Resampler(int32_t targetWidth, int32_t targetHeight, int32_t storedWidth, int32_t storedHeight)
    : targetWidth_(targetWidth), targetHeight_(targetHeight), storedWidth_(storedWidth), storedHeight_(storedHeight) {}

void Resampler::Begin(int32_t width, int32_t height) {
  if (begun_ || width < 1 || height < 1) return;
  sourceWidth_ = width;
  sourceHeight_ = height;
  // Every target row is written by the time Finish returns: no fill first (the allocator leaves
  // elements made without a value uninitialised).
  result_.resize(size_t(targetWidth_) * size_t(targetHeight_));
  filtered_.resize(size_t(targetWidth_));
  if (width != targetWidth_) {
    horizontal_ = BuildAxisTaps(width, targetWidth_, width < storedWidth_);
    MakeTapCountsUniform(horizontal_);
  }
  if (height == targetHeight_) {
    verticalMode_ = Vertical::kCopy;
  } else if (height > targetHeight_) {
    verticalMode_ = Vertical::kShrink;
    vertical_ = BuildAxisTaps(height, targetHeight_, height < storedHeight_);
    // Invert the taps: which consecutive target rows each source row adds to, and with what weight.
    rowTarget_.assign(size_t(height), 0);
    rowTargetCount_.assign(size_t(height), 0);
    rowWeight_.assign(size_t(height) * kRowTargets, 0);
    for (int32_t j = 0; j < targetHeight_; ++j)
      for (int32_t k = 0; k < vertical_.count[size_t(j)]; ++k) {
        size_t y = size_t(vertical_.first[size_t(j)] + k);
        if (rowTargetCount_[y] == 0) rowTarget_[y] = j;
        int32_t slot = j - rowTarget_[y];
        if (slot >= kRowTargets) continue;  // cannot happen while shrinking; never overrun
        rowTargetCount_[y] = uint8_t(slot + 1);
        rowWeight_[y * kRowTargets + size_t(slot)] = vertical_.weights[size_t(j) * size_t(vertical_.stride) + size_t(k)];
      }
    accumulator_.assign(size_t(targetWidth_) * 4 * kAccumulatorRows, 0);
  } else {
    verticalMode_ = Vertical::kEnlarge;
    vertical_ = BuildAxisTaps(height, targetHeight_);
    ring_.assign(size_t(targetWidth_) * 2, kOpaque);
  }
  // Begun only now that every buffer is there: should an allocation above throw, rows are ignored
  // and Finish never writes through a buffer that was not made.
  begun_ = true;
}

void Resampler::PutRow(int32_t y, const uint32_t *pixels) {
  if (!begun_ || y < nextRow_ || y >= sourceHeight_) return;  // out of order or past the end: ignored
  static const uint32_t *const kNoRow = nullptr;
  while (nextRow_ < y) FilterRow(nextRow_, kNoRow);  // skipped rows are black
  FilterRow(y, pixels);
}

void Resampler::FilterRow(int32_t y, const uint32_t *row) {
  nextRow_ = y + 1;
  // Horizontal pass first: the rows the vertical pass keeps are target-wide.
  const uint32_t *narrow = row;
  uint32_t *destination = verticalMode_ == Vertical::kEnlarge ? &ring_[size_t(y & 1) * size_t(targetWidth_)]
                          : verticalMode_ == Vertical::kCopy  ? &result_[size_t(y) * size_t(targetWidth_)]
                                                              : filtered_.data();
  if (row == nullptr) {
    // A row that never came is opaque black, and so is any filtering of it: it costs the target's
    // width, not the source's (a damaged file may claim 65535 columns over a few bytes).
    std::fill(destination, destination + targetWidth_, kOpaque);
    narrow = destination;
  } else {
    if (CompositeOverBlack(row, sourceWidth_, composited_)) narrow = row = composited_.data();
    if (sourceWidth_ != targetWidth_) {
      FilterHorizontally(row, horizontal_, destination);
      narrow = destination;
    } else if (verticalMode_ != Vertical::kShrink) {
      memcpy(destination, row, size_t(targetWidth_) * sizeof(uint32_t));
      narrow = destination;
    }
  }
  switch (verticalMode_) {
    case Vertical::kCopy:
      break;
    case Vertical::kShrink: {
      // The source row adds to its target rows; a target row whose last source row this is is done.
      int32_t j = rowTarget_[size_t(y)];
      for (int32_t part = 0; part < rowTargetCount_[size_t(y)]; ++part) {
        int32_t target = j + part;
        int32_t last = vertical_.first[size_t(target)] + vertical_.count[size_t(target)] - 1;
        int32_t *sums = &accumulator_[size_t(target % kAccumulatorRows) * size_t(targetWidth_) * 4];
        int16_t weight = rowWeight_[size_t(y) * kRowTargets + size_t(part)];
        if (weight != 0) Accumulate(narrow, targetWidth_, weight, sums);
        if (y == last) Settle(sums, targetWidth_, &result_[size_t(target) * size_t(targetWidth_)]);
      }
      break;
    }
    case Vertical::kEnlarge:
      // Every target row whose lower source row has now arrived can be made.
      while (nextTarget_ < targetHeight_) {
        int32_t first = vertical_.first[size_t(nextTarget_)], count = vertical_.count[size_t(nextTarget_)];
        if (first + count - 1 > y) break;
        const int16_t *w = &vertical_.weights[size_t(nextTarget_) * size_t(vertical_.stride)];
        const uint32_t *upper = &ring_[size_t(first & 1) * size_t(targetWidth_)];
        const uint32_t *lower = count == 2 ? &ring_[size_t((first + 1) & 1) * size_t(targetWidth_)] : upper;
        Blend(upper, lower, w[0], count == 2 ? w[1] : 0, targetWidth_,
              &result_[size_t(nextTarget_) * size_t(targetWidth_)]);
        ++nextTarget_;
      }
      break;
  }
}

Pixels Resampler::Finish() {
  if (!begun_) return Pixels(size_t(targetWidth_) * size_t(targetHeight_), kOpaque);
  while (nextRow_ < sourceHeight_) FilterRow(nextRow_, nullptr);
  return std::move(result_);
}

void ResamplePicture(const uint32_t *source, int32_t width, int32_t height, size_t stride, uint32_t *target,
                     int32_t targetWidth, int32_t targetHeight) {
  Resampler resampler(targetWidth, targetHeight);
  resampler.Begin(width, height);
  for (int32_t y = 0; y < height; ++y) resampler.PutRow(y, source + size_t(y) * stride);
  Pixels result = resampler.Finish();
  // Copied by the target's size, which Finish's result has whenever it returns.
  const size_t pixels = size_t(targetWidth) * size_t(targetHeight);
  if (result.size() == pixels) memcpy(target, result.data(), pixels * sizeof(uint32_t));
}

}  // namespace imgctl
