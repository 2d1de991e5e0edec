// Bounds-checked little- and big-endian reads from a byte range (out of range reads give 0 and fail).
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace imgctl {

// True when [offset, offset + count) lies inside a range of `size` bytes.
inline bool InRange(size_t size, size_t offset, size_t count) {
  return offset <= size && count <= size - offset;
}

inline uint32_t ReadLe16(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t ReadLe32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint32_t ReadBe16(const uint8_t *p) { return uint32_t(p[0]) << 8 | uint32_t(p[1]); }
inline uint32_t ReadBe32(const uint8_t *p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

}  // namespace imgctl
