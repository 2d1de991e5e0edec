// The streaming resampler: a separable fixed-point filter that takes rows as they are decoded.
#pragma once
#include <stdint.h>

#include <vector>

#include "imgctl/core/decoder.h"

namespace imgctl {

// Weights are fixed point with this many fraction bits; the weights of one target pixel sum to exactly 1.
constexpr int kWeightBits = 14;

// The source pixels that make up each target pixel along one axis, with their weights.
// Shrinking averages the area each target pixel covers (a box of the exact fractional width);
// enlarging interpolates linearly between the two nearest source pixel centres, so it never
// leaves the range of its sources; equal lengths copy.
struct AxisTaps {
  int32_t sourceLength = 0;
  int32_t targetLength = 0;
  int32_t stride = 0;             // weights kept per target pixel (an even number)
  std::vector<int32_t> first;     // first source pixel of each target pixel
  std::vector<int32_t> count;     // how many source pixels it takes
  std::vector<int16_t> weights;   // targetLength x stride, zero past count
};

AxisTaps BuildAxisTaps(int32_t sourceLength, int32_t targetLength);

// A RowSink that resamples the rows it is given to a fixed target size on the fly: it holds
// only a few rows besides its result, never the whole source. Pixels with alpha below 255 are
// composited over black before they are filtered. Rows must come top to bottom; a row that
// never comes is black.
class Resampler final : public RowSink {
 public:
  // The caller has checked the target size against the limits.
  Resampler(int32_t targetWidth, int32_t targetHeight);
  void Begin(int32_t width, int32_t height) override;
  void PutRow(int32_t y, const uint32_t *pixels) override;
  // Completes the rows that never came and hands over targetWidth x targetHeight pixels,
  // top row first, each 0xFFRRGGBB.
  std::vector<uint32_t> Finish();

 private:
  enum class Vertical { kCopy, kShrink, kEnlarge };
  void FilterRow(int32_t y, const uint32_t *row);

  int32_t targetWidth_, targetHeight_;
  int32_t sourceWidth_ = 0, sourceHeight_ = 0;
  bool begun_ = false;
  int32_t nextRow_ = 0;
  AxisTaps horizontal_;
  AxisTaps vertical_;
  Vertical verticalMode_ = Vertical::kCopy;
  // Shrinking: the (at most two) target rows each source row adds to, and their weights.
  std::vector<int32_t> rowTarget_;
  std::vector<int16_t> rowWeight_;  // two per source row
  std::vector<int32_t> accumulator_;  // two target rows of four 32-bit sums per pixel
  // Enlarging: the two latest filtered source rows.
  std::vector<uint32_t> ring_;
  int32_t nextTarget_ = 0;
  std::vector<uint32_t> composited_;
  std::vector<uint32_t> filtered_;
  std::vector<uint32_t> result_;
};

// Resamples a whole picture held in memory (rows `stride` pixels apart) into `target`.
void ResamplePicture(const uint32_t *source, int32_t width, int32_t height, size_t stride, uint32_t *target,
                     int32_t targetWidth, int32_t targetHeight);

}  // namespace imgctl
