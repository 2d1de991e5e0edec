// The streaming resampler: a separable fixed-point filter that takes rows as they are decoded.
#pragma once
#include <stdint.h>

#include <vector>

#include "imgctl/core/decoder.h"
#include "imgctl/core/kept_blocks.h"

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
  bool uniform = false;           // every count is stride (the horizontal pass makes them so)
};

// `blockMeans`: each source pixel is the exact mean of a block of finer pixels (a JPEG decoded at
// 1/2 to 1/8 scale in its DCT). A target pixel whose edge cuts such a pixel then takes the share
// of it that a linear model of the finer pixels gives, its slope from the two neighbours,
// rather than a flat share: the result comes closer to the area average of the finer picture.
AxisTaps BuildAxisTaps(int32_t sourceLength, int32_t targetLength, bool blockMeans = false);

// A RowSink that resamples the rows it is given to a fixed target size on the fly: it holds
// only a few rows besides its result, never the whole source. Pixels with alpha below 255 are
// composited over black before they are filtered. Rows must come top to bottom; a row that
// never comes is black.
class Resampler final : public RowSink {
 public:
  // The caller has checked the target size against the limits. storedWidth x storedHeight is the
  // picture's full size when the rows may come smaller, as block means (a scaled JPEG decode);
  // 0 when unknown.
  Resampler(int32_t targetWidth, int32_t targetHeight, int32_t storedWidth = 0, int32_t storedHeight = 0);
  void Begin(int32_t width, int32_t height) override;
  void PutRow(int32_t y, const uint32_t *pixels) override;
  // Completes the rows that never came and hands over targetWidth x targetHeight pixels,
  // top row first, each 0xFFRRGGBB. Begin and Finish throw std::bad_alloc when memory runs short.
  Pixels Finish();

 private:
  enum class Vertical { kCopy, kShrink, kEnlarge };
  void FilterRow(int32_t y, const uint32_t *row);

  // A source row adds to at most this many target rows (shrinking with block-mean taps, whose
  // footprint reaches one row past each end); the accumulators are a ring of twice as many.
  static constexpr int kRowTargets = 6;
  static constexpr int kAccumulatorRows = 8;

  int32_t targetWidth_, targetHeight_;
  int32_t storedWidth_, storedHeight_;
  int32_t sourceWidth_ = 0, sourceHeight_ = 0;
  bool begun_ = false;
  int32_t nextRow_ = 0;
  AxisTaps horizontal_;
  AxisTaps vertical_;
  Vertical verticalMode_ = Vertical::kCopy;
  // Shrinking: the first target row each source row adds to, how many, and their weights.
  std::vector<int32_t> rowTarget_;
  std::vector<uint8_t> rowTargetCount_;
  std::vector<int16_t> rowWeight_;  // kRowTargets per source row
  std::vector<int32_t> accumulator_;  // kAccumulatorRows target rows of four 32-bit sums per pixel
  // Enlarging: the two latest filtered source rows.
  std::vector<uint32_t> ring_;
  int32_t nextTarget_ = 0;
  std::vector<uint32_t> composited_;
  std::vector<uint32_t> filtered_;
  Pixels result_;
};

// Resamples a whole picture held in memory (rows `stride` pixels apart) into `target`, which holds
// targetWidth x targetHeight pixels. Throws std::bad_alloc when memory runs short.
void ResamplePicture(const uint32_t *source, int32_t width, int32_t height, size_t stride, uint32_t *target,
                     int32_t targetWidth, int32_t targetHeight);

}  // namespace imgctl
