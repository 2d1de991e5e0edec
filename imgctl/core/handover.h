// Rows handed from the decoding thread to the thread that finishes them, through a ring of slots.
#pragma once
#include <stdint.h>

#include "imgctl/core/worker.h"

namespace imgctl {

// The producer fills item i (a row, an MCU row) in slot i % slots; the consumer uses the items in
// order and may still read the `behind` items before the one it uses (the previous row a PNG
// filter refers to), so a slot is filled again only once those are done with. Either side stops
// early by ending its count, and the other then stops waiting. Thread-safety: each slot has one
// writer at a time, decided by the two counts; the counts publish the slots' contents.
//
// A side that finds nothing to do waits until a quarter of the ring is ready for it, not one item:
// the two sides run at about the same speed, and waking a sleeping thread for every row would cost
// more than the rows (a system call each way, a server round trip under Wine).
class Handover {
 public:
  // `items` in all, through `slots` slots (at least 2 + behind).
  Handover(int32_t items, int32_t slots, int32_t behind)
      : items_(items), slots_(slots), behind_(behind), batch_(slots / 4 > 1 ? slots / 4 : 1) {}

  bool Prepare() { return produced_.Prepare() && used_.Prepare(); }

  // Producer: waits until item `index` may be written; false when the consumer has stopped.
  bool WaitToFill(int32_t index) {
    if (MayFill(index)) return true;
    const int32_t needed = index - slots_ + 1 + behind_;
    return used_.WaitFor(Batch(needed)) >= needed;
  }
  // Producer: whether item `index` may be written now.
  bool MayFill(int32_t index) const {
    int32_t needed = index - slots_ + 1 + behind_;
    return needed <= 0 || used_.Value() >= needed;
  }
  void Filled(int32_t index) { produced_.Raise(index + 1); }
  // Items filled so far.
  int32_t FilledCount() const { return produced_.Value(); }
  void StopFilling() { produced_.End(); }

  // Consumer: waits until item `index` is filled; false when no more items come.
  bool WaitToUse(int32_t index) {
    if (produced_.Value() > index) return true;
    return produced_.WaitFor(Batch(index + 1)) > index;
  }
  void Used(int32_t index) { used_.Raise(index + 1); }
  void StopUsing() { used_.End(); }
  // What a failing consumer ends (Worker::Start's endOnFailure).
  Progress *UsedProgress() { return &used_; }

 private:
  // A count to wait for: `needed` and a batch more, as far as there are items.
  int32_t Batch(int32_t needed) const {
    int32_t wanted = needed + batch_ - 1;
    return wanted < items_ ? wanted : (needed > items_ ? needed : items_);
  }

  int32_t items_, slots_, behind_, batch_;
  Progress produced_, used_;
};

}  // namespace imgctl
