// The table of live pictures behind the library's 32-bit handles.
#pragma once
#include <stdint.h>

#include <map>
#include <memory>

#include "imgctl/core/picture.h"

namespace imgctl {

// A handle is the serial number of the load that made it: each picture stored gets the next
// 32-bit value, skipping 0 (never a handle) and any value still live, and the count wraps only
// after 0xFFFFFFFF. So a freed handle stays dead until every other non-zero value has been issued:
// for at least 2^32 - 2 further loads, more than 200 years of a slide show at 1.5 s a picture (a
// table of slots with use counts brought a handle back after 65535 loads of its slot, 27 hours).
// Thread-safety: none of its own. The library's operations hold one lock while they use it
// (imgctl_api.cpp); the decode's worker thread never touches it.
class HandleTable {
 public:
  // Live pictures at most (the saver holds one at a time).
  static constexpr size_t kMaxLive = 0xFFFF;
  explicit HandleTable(uint32_t firstHandle = 1) : next_(firstHandle) {}
  // Stores the picture; 0 when kMaxLive pictures are live. Throws std::bad_alloc when memory runs short.
  uint32_t Add(std::unique_ptr<Picture> picture);
  // The live picture of a handle, or null.
  Picture *Find(uint32_t handle) const;
  // Frees a live handle's picture; false for a handle that is not live.
  bool Remove(uint32_t handle);

 private:
  uint32_t next_;  // the serial number the next picture gets, unless 0 or live
  std::map<uint32_t, std::unique_ptr<Picture>> live_;
};

}  // namespace imgctl
