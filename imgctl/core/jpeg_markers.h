// JPEG marker segments: frame and scan headers, tables, restart interval, EXIF, Adobe and ICC.
#pragma once
#include <stddef.h>

#include "imgctl/core/jpeg_frame.h"

namespace imgctl {
namespace jpeg {

// Walks the marker segments from `pos` up to the next SOS (kScan, with pos after its header
// and the scan set up), to EOI or to the end of the data. `headerOnly` stops right after
// the frame header (kFrame).
enum class Walk { kScan, kFrame, kEndOfImage, kEnd, kError };  // kEnd: the data ran out

Walk NextSegment(Frame &f, size_t &pos, bool headerOnly);

}  // namespace jpeg
}  // namespace imgctl
