// Which bodies the pixel kernels run: their SSE2 code or the plain loops, which give the same bytes.
#pragma once
#include <atomic>

// The JPEG row kernels, inverse DCTs, resampler loops and PNG filters have SSE2 bodies on x86. On
// x86-64 SSE2 is part of the architecture and the compiler targets it everywhere. The i686 build
// must still run on processors without SSE2 (the Pentium Pro to the Pentium III, the Athlon XP),
// so there only the vector functions themselves are compiled for SSE2, and they run only after a
// check at load (see SetVectorKernels). Every function holding SSE2 code carries
// IMGCTL_SSE2_CODE, so that nothing else in the i686 build uses SSE2 instructions.
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#define IMGCTL_VECTOR_KERNELS 1
#else
#define IMGCTL_VECTOR_KERNELS 0
#endif

#if defined(__i386__) && !defined(__SSE2__)
#define IMGCTL_SSE2_CODE __attribute__((target("sse2")))
#else
#define IMGCTL_SSE2_CODE
#endif

namespace imgctl {

// Set while the kernels may run their SSE2 bodies: from the start on x86-64, off on i686 until
// the library has checked the processor and the system.
extern std::atomic<bool> g_vectorKernels;

inline bool VectorKernelsOn() {
#if IMGCTL_VECTOR_KERNELS
  return g_vectorKernels.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

// Chooses the SSE2 bodies (true, where they are compiled in) or the plain loops (false). The
// library sets it once at load; tests and fuzz targets switch it to run both.
void SetVectorKernels(bool on);

// True when the processor reports SSE2 (CPUID leaf 1, EDX bit 26). Whether the system saves the
// XMM registers on a task switch is the caller's question.
bool ProcessorHasSse2();

}  // namespace imgctl
