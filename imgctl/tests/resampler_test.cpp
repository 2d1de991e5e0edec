// The resampler's arithmetic: exact weights, constants, means, edges, ranges, streaming and transparency.
#include "imgctl/core/resampler.h"

#include <gtest/gtest.h>

#include <math.h>

#include <random>
#include <vector>

#include "imgctl/core/kept_blocks.h"

namespace imgctl {
namespace {

Pixels Resample(const Pixels &source, int32_t width, int32_t height, int32_t targetWidth, int32_t targetHeight) {
  Pixels target(size_t(targetWidth) * size_t(targetHeight));
  ResamplePicture(source.data(), width, height, size_t(width), target.data(), targetWidth, targetHeight);
  return target;
}

int Channel(uint32_t pixel, int c) { return int((pixel >> (8 * c)) & 0xFF); }

Pixels RandomPicture(int32_t width, int32_t height, unsigned seed) {
  std::mt19937 random(seed);
  Pixels pixels(size_t(width) * size_t(height));
  for (uint32_t &p : pixels) p = 0xFF000000u | (random() & 0xFFFFFF);
  return pixels;
}

// Exact area average in double precision, the reference for shrinking.
double AreaReference(const Pixels &source, int32_t width, int32_t height, int32_t targetWidth, int32_t targetHeight,
                     int32_t tx, int32_t ty, int c) {
  double x0 = double(tx) * width / targetWidth, x1 = double(tx + 1) * width / targetWidth;
  double y0 = double(ty) * height / targetHeight, y1 = double(ty + 1) * height / targetHeight;
  double sum = 0;
  for (int32_t y = int32_t(y0); y < height && y < y1; ++y)
    for (int32_t x = int32_t(x0); x < width && x < x1; ++x) {
      double cover = (fmin(x + 1, x1) - fmax(x, x0)) * (fmin(y + 1, y1) - fmax(y, y0));
      sum += cover * Channel(source[size_t(y) * size_t(width) + size_t(x)], c);
    }
  return sum / ((x1 - x0) * (y1 - y0));
}

TEST(AxisTaps, WeightsAreNonNegativeAndSumToOneForAnyLengths) {
  const int32_t lengths[] = {1, 2, 3, 5, 7, 16, 97, 100, 1080, 1440, 3000, 4000, 65535};
  for (int32_t source : lengths)
    for (int32_t target : lengths) {
      AxisTaps taps = BuildAxisTaps(source, target);
      for (int32_t j = 0; j < target; ++j) {
        int sum = 0;
        ASSERT_GE(taps.first[size_t(j)], 0);
        ASSERT_LE(taps.first[size_t(j)] + taps.count[size_t(j)], source) << source << "->" << target;
        ASSERT_LE(taps.count[size_t(j)], taps.stride);
        for (int32_t k = 0; k < taps.count[size_t(j)]; ++k) {
          int w = taps.weights[size_t(j) * size_t(taps.stride) + size_t(k)];
          ASSERT_GE(w, 0);
          sum += w;
        }
        ASSERT_EQ(sum, 1 << kWeightBits) << source << "->" << target << " at " << j;
      }
    }
}

TEST(Resampler, ConstantPictureStaysConstant) {
  const int32_t sizes[][4] = {{10, 10, 3, 7}, {97, 61, 13, 5}, {4, 4, 17, 9}, {1, 1, 5, 3}, {7, 3, 1, 1},
                              {300, 2, 7, 11}, {2, 300, 11, 7}, {64, 48, 64, 17}, {5, 5, 5, 5}};
  for (const auto &s : sizes) {
    Pixels source(size_t(s[0]) * size_t(s[1]), 0xFF3C91E7u);
    for (uint32_t pixel : Resample(source, s[0], s[1], s[2], s[3]))
      ASSERT_EQ(pixel, 0xFF3C91E7u) << s[0] << "x" << s[1] << "->" << s[2] << "x" << s[3];
  }
}

TEST(Resampler, CheckerboardShrunkByTwoAndThreeGivesTheMean) {
  for (int32_t factor : {2, 3}) {
    const int32_t width = 60, height = 42;
    Pixels source(size_t(width) * size_t(height));
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) source[size_t(y * width + x)] = (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    Pixels target = Resample(source, width, height, width / factor, height / factor);
    for (int32_t y = 0; y < height / factor; ++y)
      for (int32_t x = 0; x < width / factor; ++x) {
        // The mean of the block of factor x factor cells.
        int white = 0;
        for (int32_t dy = 0; dy < factor; ++dy)
          for (int32_t dx = 0; dx < factor; ++dx) white += (x * factor + dx + y * factor + dy) % 2;
        double mean = 255.0 * white / (factor * factor);
        for (int c = 0; c < 3; ++c)
          ASSERT_NEAR(Channel(target[size_t(y * (width / factor) + x)], c), mean, 1.0) << factor;
      }
  }
}

TEST(Resampler, ShrinkingMatchesTheExactAreaAverage) {
  const int32_t cases[][4] = {{400, 300, 144, 108}, {97, 61, 13, 5}, {50, 50, 1, 1}, {1, 200, 1, 7}, {200, 1, 9, 1},
                              {33, 21, 32, 20}, {1000, 3, 37, 2}};
  for (const auto &s : cases) {
    Pixels source = RandomPicture(s[0], s[1], 7);
    Pixels target = Resample(source, s[0], s[1], s[2], s[3]);
    for (int32_t y = 0; y < s[3]; ++y)
      for (int32_t x = 0; x < s[2]; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_NEAR(Channel(target[size_t(y * s[2] + x)], c), AreaReference(source, s[0], s[1], s[2], s[3], x, y, c),
                      1.01)
              << s[0] << "x" << s[1] << "->" << s[2] << "x" << s[3] << " at " << x << "," << y;
  }
}

TEST(Resampler, OneByNAndNByOne) {
  // A ramp along the only axis, shrunk and enlarged, stays a monotone ramp with the right ends.
  for (bool vertical : {false, true}) {
    const int32_t length = 256;
    Pixels ramp(length);
    for (int32_t i = 0; i < length; ++i) ramp[size_t(i)] = 0xFF000000u | uint32_t(i) * 0x010101u;
    for (int32_t target : {1, 2, 7, 255, 256, 600}) {
      Pixels out = vertical ? Resample(ramp, 1, length, 1, target) : Resample(ramp, length, 1, target, 1);
      ASSERT_EQ(out.size(), size_t(target));
      for (int32_t i = 1; i < target; ++i) ASSERT_GE(Channel(out[size_t(i)], 0), Channel(out[size_t(i - 1)], 0));
      if (target == 1) EXPECT_NEAR(Channel(out[0], 0), 127.5, 0.5);
      if (target == length) EXPECT_EQ(out, ramp);
    }
  }
}

TEST(Resampler, ScaleOneIsExact) {
  Pixels source = RandomPicture(37, 23, 3);
  EXPECT_EQ(Resample(source, 37, 23, 37, 23), source);
  // One axis kept, the other changed: the kept axis is copied exactly.
  Pixels columns = Resample(source, 37, 23, 37, 1);
  for (int32_t x = 0; x < 37; ++x)
    EXPECT_NEAR(Channel(columns[size_t(x)], 1), AreaReference(source, 37, 23, 37, 1, x, 0, 1), 1.01);
}

TEST(Resampler, EnlargingStaysWithinTheSourceRange) {
  const Pixels source = {0xFF102030u, 0xFFC0A0E0u, 0xFF605040u, 0xFF20F010u};
  for (const auto &size : {std::pair<int, int>{3, 3}, {4, 4}, {17, 5}, {100, 100}, {2, 9}}) {
    Pixels out = Resample(source, 2, 2, size.first, size.second);
    for (uint32_t pixel : out)
      for (int c = 0; c < 3; ++c) {
        int low = 255, high = 0;
        for (uint32_t s : source) low = std::min(low, Channel(s, c)), high = std::max(high, Channel(s, c));
        ASSERT_GE(Channel(pixel, c), low);
        ASSERT_LE(Channel(pixel, c), high);
      }
    // The corners keep the corner pixels (the edge pixel stands beyond the outer centres).
    EXPECT_EQ(out[0], source[0]);
    EXPECT_EQ(out.back(), source[3]);
  }
}

TEST(Resampler, EnlargingInterpolatesBetweenCentres) {
  // 0 and 255 side by side, doubled: centres at 0.25 and 0.75 of the span give 64 and 191 inside.
  Pixels out = Resample({0xFF000000u, 0xFFFFFFFFu}, 2, 1, 4, 1);
  EXPECT_EQ(Channel(out[0], 0), 0);
  EXPECT_EQ(Channel(out[1], 0), 64);
  EXPECT_EQ(Channel(out[2], 0), 191);
  EXPECT_EQ(Channel(out[3], 0), 255);
}

TEST(Resampler, TransparencyIsCompositedOverBlackBeforeFiltering) {
  // Half-transparent red and a fully transparent white: over black they are dark red and black.
  Pixels out = Resample({0x80FF0000u, 0x00FFFFFFu}, 2, 1, 2, 1);
  EXPECT_EQ(out[0], 0xFF800000u);
  EXPECT_EQ(out[1], 0xFF000000u);
  Pixels mean = Resample({0x80FF0000u, 0x00FFFFFFu}, 2, 1, 1, 1);
  EXPECT_EQ(mean[0], 0xFF400000u);
}

TEST(Resampler, MissingAndStrayRowsGiveBlackAndAreIgnored) {
  Resampler resampler(4, 4);
  resampler.Begin(4, 4);
  const uint32_t white[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  resampler.PutRow(1, white);   // row 0 never comes: black
  resampler.PutRow(1, white);   // repeated: ignored
  resampler.PutRow(9, white);   // past the end: ignored
  Pixels out = resampler.Finish();  // rows 2 and 3 never come: black
  EXPECT_EQ(out[0], 0xFF000000u);
  EXPECT_EQ(out[4], 0xFFFFFFFFu);
  EXPECT_EQ(out[8], 0xFF000000u);
  EXPECT_EQ(out[15], 0xFF000000u);

  Resampler unused(3, 2);
  EXPECT_EQ(unused.Finish(), Pixels(6, 0xFF000000u));  // a decoder that never began: black
}

// The result is not filled before the rows come: every target pixel must be written whichever way
// each axis goes and however many rows arrive. The kept pixel block the result will take is
// poisoned first with transparent pixels, which no result pixel may still hold.
TEST(Resampler, EveryTargetPixelIsWrittenOverAReusedBlock) {
  const struct {
    int32_t width, height, targetWidth, targetHeight, rowsGiven;
  } kCases[] = {
      {700, 500, 300, 300, 500},  // shrunk both ways
      {700, 500, 300, 300, 123},  // rows missing
      {100, 80, 320, 300, 80},    // enlarged
      {100, 300, 320, 300, 300},  // height kept
      {350, 900, 300, 300, 0},    // no row at all
  };
  for (const auto &c : kCases) {
    ReleaseKeptBlocks();
    const size_t pixels = size_t(c.targetWidth) * size_t(c.targetHeight);
    {
      Pixels poison(pixels, 0x00C0FFEEu);
    }
    ASSERT_GT(KeptBytes(), 0u);
    Pixels source = RandomPicture(c.width, c.height, 3);
    Resampler resampler(c.targetWidth, c.targetHeight);
    resampler.Begin(c.width, c.height);
    for (int32_t y = 0; y < c.rowsGiven; ++y) resampler.PutRow(y, &source[size_t(y) * size_t(c.width)]);
    Pixels out = resampler.Finish();
    ASSERT_EQ(out.size(), pixels);
    size_t unwritten = 0;
    for (uint32_t p : out) unwritten += (p >> 24) != 0xFF;
    EXPECT_EQ(unwritten, 0u) << c.width << "x" << c.height << " -> " << c.targetWidth << "x" << c.targetHeight;
  }
}

}  // namespace
}  // namespace imgctl

namespace imgctl {
namespace {

// Block-mean taps: every target pixel's weights add up to exactly 1, and a linear ramp given as
// means of s-pixel blocks comes out as the exact area average of the fine ramp (the linear model
// inside a cut block is then true), where flat shares would be off.
TEST(BlockMeanTaps, WeightsSumToOneAndAFineRampIsRecovered) {
  struct { int32_t fine, scale, target; } cases[] = {{4000, 2, 1440}, {4000, 4, 700}, {17, 2, 6}, {3000, 8, 97}};
  for (const auto &c : cases) {
    const int32_t blocks = c.fine / c.scale;
    AxisTaps taps = BuildAxisTaps(blocks, c.target, true);
    std::vector<double> means(static_cast<size_t>(blocks));
    for (int32_t i = 0; i < blocks; ++i) means[size_t(i)] = 0.05 * (i * c.scale + (c.scale - 1) / 2.0);
    for (int32_t j = 0; j < c.target; ++j) {
      int32_t sum = 0;
      double value = 0;
      for (int32_t k = 0; k < taps.count[size_t(j)]; ++k) {
        int32_t w = taps.weights[size_t(j) * size_t(taps.stride) + size_t(k)];
        sum += w;
        value += w * means[size_t(taps.first[size_t(j)] + k)];
      }
      EXPECT_EQ(sum, 1 << kWeightBits) << c.fine << "/" << c.scale << "->" << c.target << " at " << j;
      // The fine ramp's exact mean over [j F / t, (j + 1) F / t) with F = blocks x scale fine pixels.
      double a = double(j) * blocks * c.scale / c.target, b = double(j + 1) * blocks * c.scale / c.target;
      double exact = 0.05 * ((a + b) / 2 - 0.5);
      bool inside = j > 0 && j + 1 < c.target;  // the edges use one-sided slopes
      if (inside) EXPECT_NEAR(value / (1 << kWeightBits), exact, 0.01) << c.fine << "/" << c.scale << " at " << j;
    }
  }
}

}  // namespace
}  // namespace imgctl
