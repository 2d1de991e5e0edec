// A sink for the fuzz targets: checks row numbers and reads every delivered pixel.
#pragma once
#include <stdint.h>

#include "imgctl/core/decoder.h"

namespace imgctl_fuzz {

// Touches every delivered pixel so that a bad row pointer is caught.
class CheckingSink : public imgctl::RowSink {
 public:
  void Begin(int32_t width, int32_t height) override {
    width_ = width;
    height_ = height;
  }
  void PutRow(int32_t y, const uint32_t *pixels) override {
    if (y < 0 || y >= height_) __builtin_trap();
    for (int32_t x = 0; x < width_; ++x) sum_ += pixels[x];
  }
  uint32_t sum_ = 0;

 private:
  int32_t width_ = 0, height_ = 0;
};

}  // namespace imgctl_fuzz
