// The pixel kernels' SSE2 bodies and plain loops give the same bytes, for any input the kernels
// can be handed: the i686 build takes either, so one file must give one picture on every build.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "imgctl/core/colour_transform.h"
#include "imgctl/core/jpeg_idct.h"
#include "imgctl/core/jpeg_rows.h"
#include "imgctl/core/png_filters.h"
#include "imgctl/core/resampler.h"
#include "imgctl/core/vector_kernels.h"

namespace imgctl {
namespace {

// Runs `make` once with each body and returns both results (vector first).
template <typename Make>
auto BothPaths(Make make) {
  SetVectorKernels(true);
  auto vector = make();
  SetVectorKernels(false);
  auto plain = make();
  SetVectorKernels(true);
  return std::make_pair(vector, plain);
}

TEST(KernelPaths, VectorAndPlainBodiesGiveTheSameBytesForExtremeBlocksAndRandomRows) {
  ASSERT_TRUE(IMGCTL_VECTOR_KERNELS) << "built for a processor without the SSE2 bodies";
  std::mt19937 random(2024);
  auto below = [&](int n) { return int(random() % unsigned(n)); };

  // Inverse DCTs, three kinds of block: sparse ones over the whole int16 range, where the
  // transforms' 16-bit lanes wrap and saturate; sparse dequantised ones (each coefficient within
  // +-kJpegMaxCoefficient, as the decoder hands them over); and, half of all, one row of extremes
  // and small values: their columns saturate the first pass, and about one such row in 3000 takes
  // a 32-bit sum of the second pass past 2^31.
  for (int trial = 0; trial < 80000; ++trial) {
    const int kind = std::min(trial % 4, 2);
    const int high = kind == 1 ? kJpegMaxCoefficient : 32767, low = kind == 1 ? -kJpegMaxCoefficient : -32768;
    int16_t block[64] = {};
    if (kind == 2) {
      for (int x = 0; x < 8; ++x) {
        int choice = below(3), small = 1 + below(4);
        block[x] = int16_t(choice == 0 ? high : choice == 1 ? low : below(2) ? small : -small);
      }
    } else {
      const int fill = 1 + below(64);  // coefficients set, of 64
      for (int i = 0; i < fill; ++i) {
        int choice = below(4);
        block[below(64)] = int16_t(choice == 0 ? high : choice == 1 ? low : low + below(high - low + 1));
      }
    }
    for (int size : {8, 4, 2, 1}) {
      auto out = BothPaths([&] {
        std::vector<uint8_t> pixels(64);
        InverseDct(block, size, pixels.data(), 8);
        return pixels;
      });
      ASSERT_EQ(out.first, out.second) << "size " << size << ", trial " << trial;
    }
    // The same blocks as coded coefficients, times steps of every kind (16-bit tables reach 65535).
    uint16_t steps[64];
    for (uint16_t &step : steps)
      step = uint16_t(below(4) == 0 ? 65535 - below(3) : below(3) == 0 ? below(65536) : below(256));
    auto dequantized = BothPaths([&] {
      std::vector<int16_t> out(64);
      Dequantize(block, steps, out.data());
      return out;
    });
    ASSERT_EQ(dequantized.first, dequantized.second) << "trial " << trial;
    for (int i = 0; i < 64; ++i)
      ASSERT_EQ(dequantized.second[i], std::clamp(block[i] * steps[i], -kJpegMaxCoefficient, kJpegMaxCoefficient));
  }

  // Row kernels (the JPEG decoder's and the PNG filters, for pixels of 1 to 8 bytes): every length
  // around the vector steps, bytes mostly at 0 or 255.
  auto randomRow = [&](int n) {
    std::vector<uint8_t> row(static_cast<size_t>(n));
    for (uint8_t &v : row) v = uint8_t(below(3) == 0 ? 255 * below(2) : below(256));
    return row;
  };
  for (int trial = 0; trial < 2000; ++trial) {
    const int n = 1 + below(70);
    std::vector<uint8_t> a = randomRow(n), b = randomRow(n), c = randomRow(n);
    auto rows = BothPaths([&] {
      std::vector<uint8_t> bytes(size_t(8 * n));
      UpsampleH2V2(a.data(), b.data(), n, bytes.data());
      UpsampleH2V1(a.data(), n, bytes.data() + 2 * n);
      UpsampleH1V2(a.data(), b.data(), n, trial % 2 != 0, bytes.data() + 4 * n);
      std::vector<uint32_t> pixels(static_cast<size_t>(n));
      YCbCrToBgra(a.data(), b.data(), c.data(), n, pixels.data());
      const int step = 1 + trial % 8;
      for (int filter = 1; filter <= 4; ++filter) {
        std::vector<uint8_t> row = a;
        UnfilterPngRow(filter, row.data(), b.data(), size_t(n), step);
        bytes.insert(bytes.end(), row.begin(), row.end());
      }
      return std::make_pair(bytes, pixels);
    });
    ASSERT_EQ(rows.first, rows.second) << "length " << n;
  }

  // The resampler: shrinking (with flat and with block-mean taps), enlarging and copying along
  // each axis, over random rows with random transparency.
  for (int trial = 0; trial < 300; ++trial) {
    const int32_t width = 1 + below(40), height = 1 + below(40);
    const int32_t targetWidth = 1 + below(50), targetHeight = 1 + below(50);
    const bool blockMeans = below(2) != 0;
    Pixels source(size_t(width) * size_t(height));
    for (uint32_t &p : source) p = uint32_t(random()) | (below(2) ? 0xFF000000u : 0u);
    auto out = BothPaths([&] {
      Resampler resampler(targetWidth, targetHeight, blockMeans ? width * 2 : 0, blockMeans ? height * 2 : 0);
      resampler.Begin(width, height);
      for (int32_t y = 0; y < height; ++y) resampler.PutRow(y, &source[size_t(y) * size_t(width)]);
      return resampler.Finish();
    });
    ASSERT_EQ(out.first, out.second) << width << "x" << height << " -> " << targetWidth << "x" << targetHeight;
  }

  // The colour conversion, which names its bodies itself (the x86-64 build chooses its plain loop):
  // wide-gamut colorants, whose saturated colours clip at both ends, and sRGB's own with a 1.8 power
  // curve; every length around the two-pixel step, channels mostly at 0 or 255, alpha kept.
  struct Space {
    double primaries[3][2], white[2], gamma;
  } spaces[] = {
      {{{0.7347, 0.2653}, {0.1596, 0.8404}, {0.0366, 0.0001}}, {0.3457, 0.3585}, 1.8},  // ProPhoto RGB
      {{{0.7350, 0.2650}, {0.1150, 0.8260}, {0.1570, 0.0180}}, {0.3457, 0.3585}, 2.2},  // Wide Gamut RGB
      {{{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}}, {0.3127, 0.3290}, 1.8},
  };
  for (const Space &space : spaces) {
    ColourProfile profile;
    ASSERT_TRUE(ColorantsFromChromaticities(space.primaries, space.white, profile.toXyz));
    for (ToneCurve &curve : profile.curves) {
      curve.kind = ToneCurve::Kind::kGamma;
      curve.g = space.gamma;
    }
    ColourTransform transform;
    ASSERT_TRUE(MakeColourTransform(profile, &transform));
    for (int trial = 0; trial < 500; ++trial) {
      std::vector<uint32_t> pixels(size_t(1 + below(9)));
      for (uint32_t &p : pixels) {
        std::vector<uint8_t> bytes = randomRow(4);
        p = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
      }
      std::vector<uint32_t> vector = pixels, plain = pixels;
      ApplyColourTransform(transform, vector.data(), vector.size(), ColourBody::kVector);
      ApplyColourTransform(transform, plain.data(), plain.size(), ColourBody::kPlain);
      ASSERT_EQ(vector, plain) << "gamma " << space.gamma << ", length " << pixels.size();
      for (size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(vector[i] >> 24, pixels[i] >> 24);
    }
  }
}

}  // namespace
}  // namespace imgctl
