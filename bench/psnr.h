// Peak signal-to-noise ratio of two BGRA pictures over their colour channels, for the benchmarks.
#pragma once
#include <math.h>

#include "imgctl/core/picture.h"

// 99 for identical pictures, 0 when the sizes differ.
inline double Psnr(const imgctl::Pixels &a, const imgctl::Pixels &b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double se = 0;
  for (size_t i = 0; i < a.size(); ++i)
    for (int c = 0; c < 3; ++c) {
      double d = double((a[i] >> (8 * c)) & 0xFF) - double((b[i] >> (8 * c)) & 0xFF);
      se += d * d;
    }
  double mse = se / (3.0 * double(a.size()));
  return mse == 0 ? 99.0 : 10 * log10(255.0 * 255.0 / mse);
}
