// Tests of the JPEG row kernels: every row length gives, pixel for pixel, the triangle filter and
// the JFIF colour formulas, so the vector bodies and their edges agree with the plain code.
#include "imgctl/core/jpeg_rows.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

#include <vector>

namespace {

std::vector<uint8_t> RandomRow(int n) {
  std::vector<uint8_t> row(static_cast<size_t>(n));
  for (uint8_t &v : row) v = static_cast<uint8_t>(rand() % 256);
  return row;
}

int Clamped(int x, int n) { return x < 0 ? 0 : (x >= n ? n - 1 : x); }

// Lengths around the 8-sample vector steps, and a long row.
const int kLengths[] = {1, 2, 3, 7, 8, 9, 10, 15, 16, 17, 18, 25, 33, 101};

TEST(JpegRows, UpsamplingIsTheTriangleFilterAtEveryLength) {
  srand(5);
  for (int n : kLengths) {
    std::vector<uint8_t> cur = RandomRow(n), near = RandomRow(n), out(static_cast<size_t>(2 * n));
    // Two by two: columns weigh the nearer row 3:1, pixels their own column 3:1 against the
    // neighbour on their side (the edge column repeats); libjpeg rounds the two halves 8 and 7.
    imgctl::UpsampleH2V2(cur.data(), near.data(), n, out.data());
    auto column = [&](int x) { return 3 * cur[Clamped(x, n)] + near[Clamped(x, n)]; };
    for (int i = 0; i < 2 * n; ++i) {
      int x = i / 2, side = i % 2 ? 1 : -1;
      ASSERT_EQ(out[i], (3 * column(x) + column(x + side) + (i % 2 ? 7 : 8)) >> 4) << "h2v2 n " << n << " at " << i;
    }
    imgctl::UpsampleH2V1(cur.data(), n, out.data());
    for (int i = 0; i < 2 * n; ++i) {
      int x = i / 2, side = i % 2 ? 1 : -1;
      ASSERT_EQ(out[i], (3 * cur[x] + cur[Clamped(x + side, n)] + (i % 2 ? 2 : 1)) >> 2) << "h2v1 n " << n << " at " << i;
    }
    for (bool lower : {false, true}) {
      imgctl::UpsampleH1V2(cur.data(), near.data(), n, lower, out.data());
      for (int x = 0; x < n; ++x)
        ASSERT_EQ(out[x], (3 * cur[x] + near[x] + (lower ? 2 : 1)) >> 2) << "h1v2 n " << n << " at " << x;
    }
  }
}

TEST(JpegRows, ColourConversionFollowsJfifAndIsTheSameAtEveryLength) {
  srand(6);
  for (int n : kLengths) {
    std::vector<uint8_t> y = RandomRow(n), cb = RandomRow(n), cr = RandomRow(n);
    // Extremes, where the results clamp.
    y[0] = 255, cb[0] = 255, cr[0] = 255;
    if (n > 1) y[1] = 0, cb[1] = 0, cr[1] = 0;
    std::vector<uint32_t> row(static_cast<size_t>(n));
    imgctl::YCbCrToBgra(y.data(), cb.data(), cr.data(), n, row.data());
    for (int x = 0; x < n; ++x) {
      uint32_t alone;
      imgctl::YCbCrToBgra(&y[x], &cb[x], &cr[x], 1, &alone);
      ASSERT_EQ(row[x], alone) << "n " << n << " at " << x;
      double u = cb[x] - 128.0, v = cr[x] - 128.0;
      double want[3] = {y[x] + 1.402 * v, y[x] - 0.344136 * u - 0.714136 * v, y[x] + 1.772 * u};
      for (int c = 0; c < 3; ++c) {
        double w = want[c] < 0 ? 0 : (want[c] > 255 ? 255 : want[c]);
        int got = static_cast<int>((row[x] >> (16 - 8 * c)) & 0xFF);
        ASSERT_LE(fabs(got - w), 1.0) << "channel " << c << " n " << n << " at " << x;
      }
      ASSERT_EQ(row[x] >> 24, 0xFFu);
    }
  }
}

}  // namespace
