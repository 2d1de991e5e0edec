// Large working blocks kept from one picture to the next, so that their pages stay in memory.
#include "imgctl/core/kept_blocks.h"

#include <stdlib.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <type_traits>

namespace imgctl {

namespace {

// Every block starts with its capacity; the header keeps operator new's alignment for what follows.
struct alignas(16) BlockHeader {
  size_t capacity;
};

// Blocks a role keeps at most: the pixels twice, since a picture stored turned (an EXIF
// orientation) is made upright into a second block; one of everything else.
constexpr size_t kSlots = 2;
constexpr size_t kSlotsOfRole[size_t(BlockRole::kCount)] = {1, 2, 1};

// A spin lock: held only for a few pointer moves, and unlike a mutex it needs no destructor.
class SpinLock {
 public:
  void lock() {
    while (flag_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  void unlock() { flag_.clear(std::memory_order_release); }

 private:
  std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

// The kept blocks by role. Constant-initialised and never destroyed, so that pictures freed late
// in the library's unloading can still return their blocks. Thread-safety: the lock makes taking
// and returning safe from any thread. Only the thread calling the library's operations takes and
// returns blocks; the worker writes into blocks that thread took for the decode in hand, and the
// caller returns them only after the worker's part of the decode has ended.
struct KeptStore {
  SpinLock lock;
  BlockHeader *kept[size_t(BlockRole::kCount)][kSlots] = {};
  bool closed = false;  // unloading: blocks returned from now on are freed
};

KeptStore g_store;
static_assert(std::is_trivially_destructible<KeptStore>::value, "the store must outlive every picture");

// Frees the kept blocks when the library is unloaded.
struct ReleaseAtUnload {
  ~ReleaseAtUnload() {
    ReleaseKeptBlocks();
    std::lock_guard<SpinLock> hold(g_store.lock);
    g_store.closed = true;
  }
} g_releaseAtUnload;

// Room for a picture up to a quarter larger than this one, rounded to 64 KiB; pages never touched
// cost only address space.
size_t WithHeadroom(size_t bytes) {
  constexpr size_t kGrain = size_t(64) << 10;
  if (bytes < kMinKeptBlockBytes || bytes > kMaxKeptBlockBytes) return bytes;  // never kept: no room needed
  size_t roomy = bytes + bytes / 4;
  return roomy > kMaxKeptBlockBytes ? bytes : (roomy + kGrain - 1) / kGrain * kGrain;
}

// Blocks come from operator new, as every other allocation of the library does.
BlockHeader *Allocate(size_t capacity) {
  if (capacity > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  BlockHeader *header = static_cast<BlockHeader *>(::operator new(sizeof(BlockHeader) + capacity, std::nothrow));
  if (header != nullptr) header->capacity = capacity;
  return header;
}

void Free(BlockHeader *header) { ::operator delete(header); }

// The role's emptiest use of a slot: an empty slot, else the one with the smallest block.
BlockHeader *&SmallestSlot(BlockHeader **slots, size_t count) {
  size_t smallest = 0;
  for (size_t i = 0; i < count; ++i) {
    if (slots[i] == nullptr) return slots[i];
    if (slots[i]->capacity < slots[smallest]->capacity) smallest = i;
  }
  return slots[smallest];
}

}  // namespace

void *TakeBlock(BlockRole role, size_t bytes) {
  BlockHeader *block = nullptr;
  {
    std::lock_guard<SpinLock> hold(g_store.lock);
    BlockHeader **slots = g_store.kept[size_t(role)];
    const size_t count = kSlotsOfRole[size_t(role)];
    BlockHeader **fit = nullptr;  // the smallest kept block that is large enough
    for (size_t i = 0; i < count; ++i)
      if (slots[i] != nullptr && slots[i]->capacity >= bytes && (fit == nullptr || slots[i]->capacity < (*fit)->capacity))
        fit = &slots[i];
    if (fit != nullptr) {
      block = *fit;
      *fit = nullptr;
    } else if (bytes >= kMinKeptBlockBytes) {
      // None is large enough for pictures this size now: the smallest makes way for a new one.
      BlockHeader *&smallest = SmallestSlot(slots, count);
      Free(smallest);
      smallest = nullptr;
    }
  }
  if (block == nullptr) {
    block = Allocate(WithHeadroom(bytes));
    if (block == nullptr) {
      // Short of memory (or of address space, on a 32-bit system): what is kept goes first.
      ReleaseKeptBlocks();
      block = Allocate(bytes);
    }
  }
  return block != nullptr ? block + 1 : nullptr;
}

void ReturnBlock(BlockRole role, void *block) {
  if (block == nullptr) return;
  BlockHeader *header = static_cast<BlockHeader *>(block) - 1;
  if (header->capacity >= kMinKeptBlockBytes && header->capacity <= kMaxKeptBlockBytes) {
    std::lock_guard<SpinLock> hold(g_store.lock);
    BlockHeader *&slot = SmallestSlot(g_store.kept[size_t(role)], kSlotsOfRole[size_t(role)]);
    if (!g_store.closed && (slot == nullptr || slot->capacity < header->capacity)) std::swap(slot, header);
  }
  Free(header);  // what is not kept; deleting null does nothing
}

void ReleaseKeptBlocks() {
  std::lock_guard<SpinLock> hold(g_store.lock);
  for (auto &slots : g_store.kept)
    for (BlockHeader *&block : slots) {
      Free(block);
      block = nullptr;
    }
}

size_t KeptBytes() {
  std::lock_guard<SpinLock> hold(g_store.lock);
  size_t total = 0;
  for (const auto &slots : g_store.kept)
    for (const BlockHeader *block : slots)
      if (block != nullptr) total += block->capacity;
  return total;
}

}  // namespace imgctl
