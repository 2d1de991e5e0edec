// PNG row filters undone: None, Sub, Up, Average and Paeth, against the previous row.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace imgctl {

// Undoes filter type `filter` (0 to 4) of `row`, n bytes, against `prev` (the previous row as
// unfiltered, zeros above the first row); `step` is the distance in bytes to the byte a filter
// refers to on the left (a pixel's bytes, at least 1). False for an unknown filter type.
bool UnfilterPngRow(int filter, uint8_t *row, const uint8_t *prev, size_t n, int step);

}  // namespace imgctl
