// The conversion of a decode to sRGB, on the decoded rows or on the resampled picture, whichever is smaller.
#include "imgctl/core/colour_sink.h"

#include <string.h>

#include <new>
#include <utility>

#include "imgctl/core/embedded_colour.h"

namespace imgctl {

void ColourSink::Colour(const EmbeddedColour &colour) {
  // A profile is never worth a picture: when memory is short the colours stay as decoded.
  try {
    ColourProfile profile;
    ColourTransform transform;
    if (EmbeddedProfile(colour, &profile) && MakeColourTransform(profile, &transform))
      transform_ = std::move(transform);
  } catch (const std::bad_alloc &) {
    transform_ = ColourTransform();
  }
}

void ColourSink::Begin(int32_t width, int32_t height) {
  width_ = width;
  onRows_ = Converts() && int64_t(width) * height < targetPixels_;
  if (onRows_) {
    try {
      row_.resize(size_t(width));
    } catch (const std::bad_alloc &) {
      onRows_ = false;
    }
  }
  next_.Begin(width, height);
}

void ColourSink::PutRow(int32_t y, const uint32_t *pixels) {
  if (!onRows_) {
    next_.PutRow(y, pixels);
    return;
  }
  memcpy(row_.data(), pixels, row_.size() * sizeof(uint32_t));
  ApplyColourTransform(transform_, row_.data(), row_.size());
  next_.PutRow(y, row_.data());
}

void ColourSink::Finish(uint32_t *pixels, size_t count) const {
  if (!onRows_) ApplyColourTransform(transform_, pixels, count);
}

}  // namespace imgctl
