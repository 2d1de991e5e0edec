// The conversion of a decode to sRGB, on the decoded rows or on the resampled picture, whichever is smaller.
#include "imgctl/core/colour_sink.h"

#include <string.h>

#include <new>
#include <utility>

#include "imgctl/core/embedded_colour.h"

namespace imgctl {
namespace {

// A resampled picture smaller than two parts converts on the calling thread alone: handing a part
// over would cost about what it saves.
constexpr size_t kPartPixels = 1 << 15;

// The resampled picture in parts that either thread claims, the next one first.
struct PictureParts {
  const ColourTransform *transform;
  uint32_t *pixels;
  size_t count;
  size_t claimed;  // parts claimed, by both threads
};

void ConvertParts(PictureParts &parts) {
  for (;;) {
    const size_t part = __atomic_fetch_add(&parts.claimed, 1, __ATOMIC_RELAXED);
    const size_t first = part * kPartPixels;
    if (first >= parts.count) return;
    const size_t count = parts.count - first < kPartPixels ? parts.count - first : kPartPixels;
    ApplyColourTransform(*parts.transform, parts.pixels + first, count);
  }
}

void ConvertPartsJob(void *context) { ConvertParts(*static_cast<PictureParts *>(context)); }

}  // namespace

ColourSink::~ColourSink() { StopRowJob(); }

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

// The worker takes the rows when it is free as the first row comes: a decode that uses it for
// itself has started it by then.
bool ColourSink::StartRowJob() {
  if (!WorkerAvailable() || !filled_.Prepare() || !converted_.Prepare()) return false;
  try {
    ring_.resize(size_t(kRingRows) * size_t(width_));
  } catch (const std::bad_alloc &) {
    return false;
  }
  return worker_.Start(ConvertRowsJob, this, &converted_);
}

// Row n, the next unclaimed one, for the calling thread; false when the other thread claimed it.
bool ColourSink::ClaimRow(int32_t n) {
  return __atomic_compare_exchange_n(&claimed_, &n, n + 1, false, __ATOMIC_RELAXED, __ATOMIC_RELAXED);
}

void ColourSink::ConvertRowsJob(void *context) {
  ColourSink &sink = *static_cast<ColourSink *>(context);
  for (;;) {
    const int32_t n = __atomic_load_n(&sink.claimed_, __ATOMIC_RELAXED);
    // A count that comes with the end is the last: the rows below it may still be claimed.
    if (sink.filled_.WaitFor(n + 1) <= n) break;
    if (!sink.ClaimRow(n)) continue;  // the caller took it
    ApplyColourTransform(sink.transform_, sink.RingRow(n), size_t(sink.width_));
    sink.converted_.Raise(n + 1);  // the worker's rows come in order, so this tells of row n
  }
}

// Passes the ring's rows up to `end` (not included) on, in order. A row nobody has claimed yet the
// caller converts itself; one the worker has claimed it waits for.
void ColourSink::PassRowsBefore(int32_t end) {
  for (; passed_ < end; ++passed_) {
    uint32_t *row = RingRow(passed_);
    if (ClaimRow(passed_))
      ApplyColourTransform(transform_, row, size_t(width_));
    else
      converted_.WaitFor(passed_ + 1);
    next_.PutRow(ringY_[passed_ % kRingRows], row);
  }
}

void ColourSink::PutRow(int32_t y, const uint32_t *pixels) {
  if (!onRows_) {
    next_.PutRow(y, pixels);
    return;
  }
  if (!rowJobTried_) {
    rowJobTried_ = true;
    rowJob_ = StartRowJob();
  }
  if (!rowJob_) {
    memcpy(row_.data(), pixels, row_.size() * sizeof(uint32_t));
    ApplyColourTransform(transform_, row_.data(), row_.size());
    next_.PutRow(y, row_.data());
    return;
  }
  // The ring row for this one is free once the row kRingRows before it has been passed on.
  PassRowsBefore(put_ - kRingRows + 1);
  memcpy(RingRow(put_), pixels, size_t(width_) * sizeof(uint32_t));
  ringY_[put_ % kRingRows] = y;
  filled_.Raise(++put_);
  // Rows the worker has done by now go on at once, so the resampler keeps pace with the decode.
  PassRowsBefore(converted_.Value());
}

void ColourSink::EndRows() {
  if (!rowJob_) return;
  PassRowsBefore(put_);
  StopRowJob();
}

void ColourSink::StopRowJob() {
  if (!rowJob_) return;
  filled_.End();
  worker_.EndJob();
  rowJob_ = false;
}

void ColourSink::Finish(uint32_t *pixels, size_t count) {
  if (onRows_ || !Converts()) return;
  PictureParts parts = {&transform_, pixels, count, 0};
  Worker worker;
  if (count >= 2 * kPartPixels) worker.Start(ConvertPartsJob, &parts, nullptr);
  ConvertParts(parts);
  worker.EndJob();
}

}  // namespace imgctl
