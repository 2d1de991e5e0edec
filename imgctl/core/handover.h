// Rows decoded on one thread and finished, in order, by either thread, through a ring of slots.
#pragma once
#include <stdint.h>

#include "imgctl/core/os_thread.h"
#include "imgctl/core/spin_wait.h"
#include "imgctl/core/worker.h"

namespace imgctl {

// The producer (the decoding thread) fills item i (a row, an MCU row) in slot i % slots. Items are
// finished in order, one at a time, by either thread: the worker as they are filled, the producer
// too when the ring is full and the worker is not at it (slow to wake, or its processor busy with
// another program), rather than wait. Finishing an item may still read the `behind` items before
// it (the previous row a PNG filter refers to), so a slot is filled again only once those are done
// with. Thread-safety: each slot has one writer at a time, decided by the counts of items filled
// and finished, which publish the slots' contents; the right to finish the next item is taken and
// given back around each one and publishes what its last holder wrote.
//
// A thread that finds nothing to do waits until a quarter of the ring is ready for it, not one item:
// the two sides run at about the same speed, and waking a sleeping thread for every row would cost
// more than the rows (a system call each way, a server round trip under Wine).
class Handover {
 public:
  // `items` in all, through `slots` slots (at least 2 + behind).
  Handover(int32_t items, int32_t slots, int32_t behind)
      : items_(items), slots_(slots), behind_(behind), batch_(slots / 4 > 1 ? slots / 4 : 1) {}

  bool Prepare() { return produced_.Prepare() && used_.Prepare(); }

  // Producer: item `index` is filled; no more items will be.
  void Filled(int32_t index) { produced_.Raise(index + 1); }
  void StopFilling() { produced_.End(); }
  // What a failing worker ends (Worker::Start's endOnFailure).
  Progress *UsedProgress() { return &used_; }

  // Finishes the next filled item unless the other thread is finishing one; true when it did.
  // `finish(index)` false stops the finishing for good (a damaged row): Failed() then tells.
  template <class Finish>
  bool FinishNext(Finish &&finish) {
    // Looked at before it is taken, so that a thread waiting for the right keeps the line shared.
    int32_t free = 0;
    if (__atomic_load_n(&finishing_, __ATOMIC_RELAXED) != 0 ||
        !__atomic_compare_exchange_n(&finishing_, &free, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
      return false;
    struct GiveBack {  // also when memory runs short in `finish`
      int32_t &right;
      ~GiveBack() { __atomic_store_n(&right, 0, __ATOMIC_RELEASE); }
    } giveBack = {finishing_};
    const int32_t index = finished_;
    if (failed_ || index >= produced_.Value()) return false;
    if (!finish(index)) {
      __atomic_store_n(&failed_, true, __ATOMIC_RELEASE);
      used_.End();
      return false;
    }
    __atomic_store_n(&finished_, index + 1, __ATOMIC_RELEASE);
    used_.Raise(index + 1);
    return true;
  }
  // The worker's part: finishes items as they are filled, until every item is finished, the
  // producer stops or gives up, or a finish fails.
  template <class Finish>
  void FinishAsFilled(Finish &&finish) {
    int misses = 0;  // the producer had the item, times in a row
    for (int32_t index = Finished(); index < items_; index = Finished()) {
      if (!WaitToUse(index) || Failed() || __atomic_load_n(&givenUp_, __ATOMIC_ACQUIRE)) break;
      if (FinishNext(finish))
        misses = 0;
      else if (++misses < kSpinsBeforeYield)
        Pause();
      else
        os::YieldTimeSlice();  // the producer may be waiting for this processor to finish its item
    }
  }
  // Producer: makes room for item `index`, finishing the oldest items itself while the worker is
  // not at them; false when the finishing has stopped.
  template <class Finish>
  bool MakeRoom(int32_t index, Finish &&finish) {
    while (!MayFill(index) && FinishNext(finish)) {
    }
    return WaitToFill(index);
  }
  // Producer: it failed (memory ran short) and stops; the worker stops finishing.
  void GiveUp() {
    __atomic_store_n(&givenUp_, true, __ATOMIC_RELEASE);
    StopFilling();
  }
  int32_t Finished() const { return __atomic_load_n(&finished_, __ATOMIC_ACQUIRE); }
  bool Failed() const { return __atomic_load_n(&failed_, __ATOMIC_ACQUIRE); }

 private:
  // Producer: whether item `index` may be written now.
  bool MayFill(int32_t index) const {
    const int32_t needed = index - slots_ + 1 + behind_;
    return needed <= 0 || used_.Value() >= needed;
  }
  // Producer: waits until item `index` may be written; false when the finishing has stopped.
  bool WaitToFill(int32_t index) {
    if (MayFill(index)) return true;
    const int32_t needed = index - slots_ + 1 + behind_;
    return used_.WaitFor(Batch(needed)) >= needed;
  }
  // Worker: waits until item `index` is filled; false when no more items come.
  bool WaitToUse(int32_t index) {
    if (produced_.Value() > index) return true;
    return produced_.WaitFor(Batch(index + 1)) > index;
  }

  // A count to wait for: `needed` and a batch more, as far as there are items.
  int32_t Batch(int32_t needed) const {
    int32_t wanted = needed + batch_ - 1;
    return wanted < items_ ? wanted : (needed > items_ ? needed : items_);
  }

  int32_t items_, slots_, behind_, batch_;
  Progress produced_, used_;
  int32_t finishing_ = 0;  // a thread holds the right to finish the next item
  int32_t finished_ = 0;   // items finished
  bool failed_ = false;    // a finish failed
  bool givenUp_ = false;
};

}  // namespace imgctl
