// Holds the x87 unit at double precision while an operation of the library runs (i686 only).
#pragma once
#include <stdint.h>

namespace imgctl {

// The i686 build computes in the x87 unit, whose control word the calling program owns: its
// precision control may round every result to 64 bits of mantissa (mingw's start-up sets that),
// or to 24 (Direct3D does), where the x86-64 build's SSE2 arithmetic rounds to double's 53. The
// resampler's taps are computed in double, so each operation sets the control word as Windows
// starts a program (53-bit precision, rounding to nearest, every exception masked) and gives the
// caller's back on return; then both builds compute the same taps and so the same pixels. The
// x86-64 build has nothing to do.
class X87Precision {
 public:
#if defined(__i386__)
  X87Precision() {
    __asm__ __volatile__("fnstcw %0" : "=m"(saved_) : : "memory");
    const uint16_t standard = kStandardControlWord;
    __asm__ __volatile__("fldcw %0" : : "m"(standard) : "memory");
  }
  ~X87Precision() { __asm__ __volatile__("fldcw %0" : : "m"(saved_) : "memory"); }
#else
  X87Precision() {}  // SSE2 arithmetic rounds to double whatever the x87 control word says
#endif
  X87Precision(const X87Precision &) = delete;
  X87Precision &operator=(const X87Precision &) = delete;

 private:
#if defined(__i386__)
  // Exceptions masked (bits 0-5, bit 6 reads as 1), precision control 10b = 53 bits (bits 8-9),
  // rounding control 00b = to nearest (bits 10-11).
  static constexpr uint16_t kStandardControlWord = 0x027F;
  uint16_t saved_ = 0;
#endif
};

}  // namespace imgctl
