// Allocation failures on demand: the program's operator new fails the N-th allocation when asked.
// Linked into the native test program and the fuzz targets, where it replaces the global operator
// new and delete (all of their forms, so that none comes from the runtime); the picture library
// allocates only through operator new, so every allocation of a decode can be made to fail.
#include "imgctl/tests/failing_allocations.h"

#include <stdlib.h>

#include <atomic>
#include <cstddef>
#include <new>

namespace imgctl_test {
namespace {

std::atomic<uint64_t> g_countdown{0};  // allocations until the one that fails; 0: none fails
std::atomic<bool> g_andLater{false};
std::atomic<bool> g_failed{false};

// True when this allocation is to fail.
bool Fails() {
  uint64_t left = g_countdown.load(std::memory_order_relaxed);
  if (left == 0) return false;
  if (left == 1) {
    if (!g_andLater.load(std::memory_order_relaxed)) g_countdown.store(0, std::memory_order_relaxed);
    g_failed.store(true, std::memory_order_relaxed);
    return true;
  }
  g_countdown.store(left - 1, std::memory_order_relaxed);
  return false;
}

void *Allocate(size_t size, size_t alignment) {
  if (Fails()) return nullptr;
  if (size == 0) size = 1;
  if (alignment <= alignof(std::max_align_t)) return malloc(size);
  void *block = nullptr;
  return posix_memalign(&block, alignment, size) == 0 ? block : nullptr;
}

void *AllocateOrThrow(size_t size, size_t alignment) {
  void *block = Allocate(size, alignment);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

}  // namespace

void FailAllocations(uint64_t nth, bool andLater) {
  g_andLater.store(andLater, std::memory_order_relaxed);
  g_failed.store(false, std::memory_order_relaxed);
  g_countdown.store(nth, std::memory_order_relaxed);
}

bool AllocationFailed() { return g_failed.load(std::memory_order_relaxed); }

}  // namespace imgctl_test

using imgctl_test::Allocate;
using imgctl_test::AllocateOrThrow;

void *operator new(size_t size) { return AllocateOrThrow(size, 0); }
void *operator new[](size_t size) { return AllocateOrThrow(size, 0); }
void *operator new(size_t size, const std::nothrow_t &) noexcept { return Allocate(size, 0); }
void *operator new[](size_t size, const std::nothrow_t &) noexcept { return Allocate(size, 0); }
void *operator new(size_t size, std::align_val_t alignment) { return AllocateOrThrow(size, size_t(alignment)); }
void *operator new[](size_t size, std::align_val_t alignment) { return AllocateOrThrow(size, size_t(alignment)); }
void *operator new(size_t size, std::align_val_t alignment, const std::nothrow_t &) noexcept {
  return Allocate(size, size_t(alignment));
}
void *operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t &) noexcept {
  return Allocate(size, size_t(alignment));
}
void operator delete(void *block) noexcept { free(block); }
void operator delete[](void *block) noexcept { free(block); }
void operator delete(void *block, size_t) noexcept { free(block); }
void operator delete[](void *block, size_t) noexcept { free(block); }
void operator delete(void *block, const std::nothrow_t &) noexcept { free(block); }
void operator delete[](void *block, const std::nothrow_t &) noexcept { free(block); }
void operator delete(void *block, std::align_val_t) noexcept { free(block); }
void operator delete[](void *block, std::align_val_t) noexcept { free(block); }
void operator delete(void *block, size_t, std::align_val_t) noexcept { free(block); }
void operator delete[](void *block, size_t, std::align_val_t) noexcept { free(block); }
void operator delete(void *block, std::align_val_t, const std::nothrow_t &) noexcept { free(block); }
void operator delete[](void *block, std::align_val_t, const std::nothrow_t &) noexcept { free(block); }
