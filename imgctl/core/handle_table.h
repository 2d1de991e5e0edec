// The table of live pictures behind the library's 32-bit handles.
#pragma once
#include <stdint.h>

#include <memory>
#include <vector>

#include "imgctl/core/picture.h"

namespace imgctl {

// A handle is a slot number in its low 16 bits and the slot's use count in its high 16 bits,
// so a freed handle stays dead even after its slot is used again. 0 is never a handle.
class HandleTable {
 public:
  static constexpr uint32_t kMaxSlots = 0xFFFF;
  // Stores the picture; 0 when every slot is taken.
  uint32_t Add(std::unique_ptr<Picture> picture);
  // The live picture of a handle, or null.
  Picture *Find(uint32_t handle) const;
  // Frees a live handle's picture; false for a handle that is not live.
  bool Remove(uint32_t handle);

 private:
  struct Slot {
    uint16_t generation = 0;
    std::unique_ptr<Picture> picture;
  };
  std::vector<Slot> slots_;  // slot i has number i + 1
  std::vector<uint32_t> free_;
};

}  // namespace imgctl
