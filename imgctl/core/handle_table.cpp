// The table of live pictures behind the library's 32-bit handles.
#include "imgctl/core/handle_table.h"

#include <utility>

namespace imgctl {

uint32_t HandleTable::Add(std::unique_ptr<Picture> picture) {
  if (live_.size() >= kMaxLive) return 0;
  // With fewer than kMaxLive values live, a free one is at most kMaxLive + 1 steps away.
  while (next_ == 0 || live_.count(next_) != 0) ++next_;
  uint32_t handle = next_++;
  live_.emplace(handle, std::move(picture));
  return handle;
}

Picture *HandleTable::Find(uint32_t handle) const {
  auto found = live_.find(handle);
  return found != live_.end() ? found->second.get() : nullptr;
}

bool HandleTable::Remove(uint32_t handle) {
  // Erasing a map entry allocates nothing, so a free cannot fail for want of memory.
  return live_.erase(handle) != 0;
}

}  // namespace imgctl
