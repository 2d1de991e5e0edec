// Which bodies the pixel kernels run: the switch and the processor's SSE2 check.
#include "imgctl/core/vector_kernels.h"

#if defined(__i386__)
#include <cpuid.h>
#endif

namespace imgctl {

#if defined(__x86_64__) || defined(_M_X64)
std::atomic<bool> g_vectorKernels{true};
#else
std::atomic<bool> g_vectorKernels{false};
#endif

void SetVectorKernels(bool on) { g_vectorKernels.store(on && IMGCTL_VECTOR_KERNELS, std::memory_order_relaxed); }

bool ProcessorHasSse2() {
#if defined(__x86_64__) || defined(_M_X64)
  return true;
#elif defined(__i386__)
  // __get_cpuid first checks that CPUID exists at all (the ID flag of EFLAGS can be toggled).
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (edx & bit_SSE2) != 0;
#else
  return false;
#endif
}

}  // namespace imgctl
