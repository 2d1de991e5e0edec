// A sink for the fuzz targets: checks row numbers, reads every delivered pixel and hashes the rows.
#pragma once
#include <stdint.h>

#include "imgctl/core/decoder.h"

namespace imgctl_fuzz {

// Touches every delivered pixel so that a bad row pointer is caught; the hash of the row numbers
// and pixels lets two decodes of the same input be compared.
class CheckingSink : public imgctl::RowSink {
 public:
  void Begin(int32_t width, int32_t height) override {
    width_ = width;
    height_ = height;
    Mix(uint32_t(width));
    Mix(uint32_t(height));
  }
  void PutRow(int32_t y, const uint32_t *pixels) override {
    if (y < 0 || y >= height_) __builtin_trap();
    Mix(uint32_t(y));
    for (int32_t x = 0; x < width_; ++x) Mix(pixels[x]);
  }
  uint64_t hash_ = 14695981039346656037ull;  // 64-bit FNV-1a over 32-bit words

 private:
  void Mix(uint32_t word) { hash_ = (hash_ ^ word) * 1099511628211ull; }
  int32_t width_ = 0, height_ = 0;
};

}  // namespace imgctl_fuzz
