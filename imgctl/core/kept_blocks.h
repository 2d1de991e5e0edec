// Large working blocks kept from one picture to the next, so that their pages stay in memory.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <new>
#include <utility>
#include <vector>

namespace imgctl {

// What a block is for. A slide show decodes one picture after another and each needs about the
// same blocks as the last, so each role keeps a block or two between uses. A fresh block costs
// a page fault per 4 KiB page on first touch (and the system's zero fill): for a camera photo's
// file and fitted picture that is more than the rest of the decode takes.
enum class BlockRole { kFileBytes, kPixels, kCoefficients, kCount };

// Blocks below this size are simply allocated and freed; the heap reuses them anyway.
constexpr size_t kMinKeptBlockBytes = size_t(256) << 10;
// Blocks above this size are freed at once rather than kept, so that an occasional huge picture
// does not stay in memory for the rest of the show.
constexpr size_t kMaxKeptBlockBytes = size_t(48) << 20;

// A block of at least `bytes` bytes, aligned as malloc aligns, its contents undefined: the role's
// smallest kept block that is large enough, otherwise a new one with some headroom, so that the next
// picture, a little larger, can use it too. nullptr when memory is short even after every kept
// block has been freed.
void *TakeBlock(BlockRole role, size_t bytes);

// Ends a use of a block from TakeBlock (nullptr is ignored). The role keeps it for its next use
// when it is within the kept sizes, in place of a smaller kept block when its slots are full.
void ReturnBlock(BlockRole role, void *block);

// Frees every kept block.
void ReleaseKeptBlocks();

// Bytes held by kept blocks now.
size_t KeptBytes();

// A block from TakeBlock owned by a scope or a record, returned when its owner ends.
class KeptBlock {
 public:
  KeptBlock() = default;
  ~KeptBlock() { ReturnBlock(role_, block_); }
  KeptBlock(const KeptBlock &) = delete;
  KeptBlock &operator=(const KeptBlock &) = delete;
  // A block of at least `bytes` for `role`, in place of any held so far; nullptr when memory is short.
  void *Take(BlockRole role, size_t bytes) {
    ReturnBlock(role_, block_);
    role_ = role;
    block_ = TakeBlock(role, bytes);
    return block_;
  }

 private:
  BlockRole role_ = BlockRole::kCount;
  void *block_ = nullptr;
};

// A standard allocator over TakeBlock for one role. Elements made without a value are left
// uninitialised, as `new T` leaves them: a file's bytes are read over them and pixels are all
// written, so filling them first would only cost time.
template <class T, BlockRole kRole>
struct KeptAllocator {
  using value_type = T;
  template <class U>
  struct rebind {
    using other = KeptAllocator<U, kRole>;
  };
  KeptAllocator() = default;
  template <class U>
  KeptAllocator(const KeptAllocator<U, kRole> &) {}
  T *allocate(size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    void *block = TakeBlock(kRole, count * sizeof(T));
    if (block == nullptr) throw std::bad_alloc();
    return static_cast<T *>(block);
  }
  void deallocate(T *block, size_t) { ReturnBlock(kRole, block); }
  template <class U>
  void construct(U *where) {
    ::new (static_cast<void *>(where)) U;
  }
  template <class U, class... Args>
  void construct(U *where, Args &&...args) {
    ::new (static_cast<void *>(where)) U(std::forward<Args>(args)...);
  }
  friend bool operator==(const KeptAllocator &, const KeptAllocator &) { return true; }
  friend bool operator!=(const KeptAllocator &, const KeptAllocator &) { return false; }
};

// A picture file's bytes, and a picture's pixels (0xFFRRGGBB, top row first).
using FileBytes = std::vector<uint8_t, KeptAllocator<uint8_t, BlockRole::kFileBytes>>;
using Pixels = std::vector<uint32_t, KeptAllocator<uint32_t, BlockRole::kPixels>>;

}  // namespace imgctl
