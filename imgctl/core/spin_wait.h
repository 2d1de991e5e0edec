// Waiting briefly before sleeping on an event, as both threads of a decode do.
#pragma once

#include "imgctl/core/os_thread.h"

namespace imgctl {

// A hand-over between two busy threads usually comes within a row's time (a tenth of a millisecond
// or so), while sleeping on an event costs a system call on each side - under Wine a round trip
// through its server of 40 to 300 microseconds, paid by the thread that raises, the busier one. So a
// waiting thread first spins (1024 pauses, 5 to 40 microseconds depending on the processor), then
// keeps offering its processor to other threads (a yield returns at once when no other thread is
// ready, so on an idle machine this goes on like spinning, about a millisecond in all; when the two
// threads share one processor, the other one runs at once); only then does it sleep.
constexpr int kSpinsBeforeYield = 1024;
constexpr int kYieldsBeforeSleep = 1024;

inline void Pause() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_ia32_pause();
#endif
}

// True as soon as ready() is; false when the waiter should sleep.
template <class Ready>
bool SpinUntil(Ready ready) {
  for (int i = 0; i < kSpinsBeforeYield; ++i) {
    if (ready()) return true;
    Pause();
  }
  for (int i = 0; i < kYieldsBeforeSleep; ++i) {
    if (ready()) return true;
    os::YieldTimeSlice();
  }
  return ready();
}

}  // namespace imgctl
