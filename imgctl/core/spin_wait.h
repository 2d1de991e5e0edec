// Waiting briefly by spinning before sleeping on an event, as both threads of a decode do.
#pragma once

namespace imgctl {

// Spins before sleeping: a hand-over between two busy threads usually comes within a row's time
// (a tenth of a millisecond or so), while sleeping on an event costs a system call on each side -
// under Wine a round trip through its server of 40 to 300 microseconds, paid by the thread that
// raises, which is the busier one. 16384 pauses take 0.1 to 0.6 ms, depending on the processor.
constexpr int kSpinsBeforeSleep = 16384;

inline void Pause() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_ia32_pause();
#endif
}

}  // namespace imgctl
