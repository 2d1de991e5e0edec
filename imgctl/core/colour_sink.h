// The conversion of a decode to sRGB, on the decoded rows or on the resampled picture, whichever is smaller.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "imgctl/core/colour_transform.h"
#include "imgctl/core/decoder.h"
#include "imgctl/core/worker.h"

namespace imgctl {

// A RowSink in front of the resampler. It builds the conversion from what the decoder says about
// the picture's colours; when the decoded picture has fewer pixels than the target (an enlargement)
// it converts each row before passing it on, otherwise Finish converts the resampled picture. Both
// orders give the same colours within a level; the smaller side costs less.
//
// The conversion runs beside the decode where the worker thread is free: rows go through a ring
// that the worker converts while the caller decodes on (a decode that keeps the worker for itself
// calls PutRow with the worker busy, and the rows convert inline), and Finish converts parts of the
// picture on both threads. Either thread claims the next row or part, so the caller converts what
// the worker has not come to (a worker slow to wake, or whose processor another program holds,
// costs no waiting). Pixels are converted one by one, so every way gives the same bytes.
class ColourSink final : public RowSink {
 public:
  ColourSink(RowSink &next, int64_t targetPixels) : next_(next), targetPixels_(targetPixels) {}
  // A decode that threw leaves rows in the ring: the worker is stopped and they are dropped.
  ~ColourSink();
  ColourSink(const ColourSink &) = delete;
  ColourSink &operator=(const ColourSink &) = delete;

  void Colour(const EmbeddedColour &colour) override;
  void Begin(int32_t width, int32_t height) override;
  void PutRow(int32_t y, const uint32_t *pixels) override;
  // Passes on the rows still being converted; called once the decode has returned.
  void EndRows();
  // Converts the resampled picture, unless the rows were converted already.
  void Finish(uint32_t *pixels, size_t count);
  bool Converts() const { return transform_.kind != ColourTransform::Kind::kNone; }

 private:
  // Rows in flight between the caller and the worker.
  static constexpr int32_t kRingRows = 16;

  bool StartRowJob();
  static void ConvertRowsJob(void *context);
  uint32_t *RingRow(int32_t n) { return ring_.data() + size_t(n % kRingRows) * size_t(width_); }
  bool ClaimRow(int32_t n);
  void PassRowsBefore(int32_t end);
  void StopRowJob();

  RowSink &next_;
  int64_t targetPixels_;
  ColourTransform transform_;
  bool onRows_ = false;
  int32_t width_ = 0;
  std::vector<uint32_t> row_;
  // The ring: rows put (the caller raises `filled_`), claimed for conversion by either thread in
  // order, converted by the worker (it raises `converted_` past each row it did) and passed on,
  // counted from the first row; each ring row's y.
  bool rowJobTried_ = false;
  bool rowJob_ = false;
  std::vector<uint32_t> ring_;
  int32_t ringY_[kRingRows] = {};
  int32_t put_ = 0, passed_ = 0;
  int32_t claimed_ = 0;  // both threads

  Progress filled_, converted_;
  Worker worker_;  // after the counts: it is joined before they go
};

}  // namespace imgctl
