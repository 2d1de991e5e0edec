// The table of live pictures behind the library's 32-bit handles.
#include "imgctl/core/handle_table.h"

#include <utility>

namespace imgctl {

uint32_t HandleTable::Add(std::unique_ptr<Picture> picture) {
  uint32_t index;
  if (!free_.empty()) {
    index = free_.back();
    free_.pop_back();
  } else {
    if (slots_.size() >= kMaxSlots) return 0;
    index = uint32_t(slots_.size());
    slots_.emplace_back();
  }
  Slot &slot = slots_[index];
  slot.generation = uint16_t(slot.generation + 1 == 0 ? 1 : slot.generation + 1);
  slot.picture = std::move(picture);
  return uint32_t(slot.generation) << 16 | (index + 1);
}

Picture *HandleTable::Find(uint32_t handle) const {
  uint32_t number = handle & 0xFFFF;
  if (number == 0 || number > slots_.size()) return nullptr;
  const Slot &slot = slots_[number - 1];
  return slot.picture && slot.generation == handle >> 16 ? slot.picture.get() : nullptr;
}

bool HandleTable::Remove(uint32_t handle) {
  if (Find(handle) == nullptr) return false;
  uint32_t index = (handle & 0xFFFF) - 1;
  slots_[index].picture.reset();
  free_.push_back(index);
  return true;
}

}  // namespace imgctl
