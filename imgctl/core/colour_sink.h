// The conversion of a decode to sRGB, on the decoded rows or on the resampled picture, whichever is smaller.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "imgctl/core/colour_transform.h"
#include "imgctl/core/decoder.h"

namespace imgctl {

// A RowSink in front of the resampler. It builds the conversion from what the decoder says about
// the picture's colours; when the decoded picture has fewer pixels than the target (an enlargement)
// it converts each row before passing it on, otherwise Finish converts the resampled picture. Both
// orders give the same colours within a level; the smaller side costs less.
class ColourSink final : public RowSink {
 public:
  ColourSink(RowSink &next, int64_t targetPixels) : next_(next), targetPixels_(targetPixels) {}
  void Colour(const EmbeddedColour &colour) override;
  void Begin(int32_t width, int32_t height) override;
  void PutRow(int32_t y, const uint32_t *pixels) override;
  // Converts the resampled picture, unless the rows were converted already.
  void Finish(uint32_t *pixels, size_t count) const;
  bool Converts() const { return transform_.kind != ColourTransform::Kind::kNone; }

 private:
  RowSink &next_;
  int64_t targetPixels_;
  ColourTransform transform_;
  bool onRows_ = false;
  int32_t width_ = 0;
  std::vector<uint32_t> row_;
};

}  // namespace imgctl
