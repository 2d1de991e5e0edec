// The EXIF orientation tag of a JPEG file, read from its APP1 "Exif" segment.
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace imgctl {

// The orientation 1 to 8 that the first EXIF segment's IFD0 records; 1 when the file has
// none, or when the tag is missing, malformed or out of range.
int ReadJpegOrientation(const uint8_t *data, size_t size);

// True for the orientations 5 to 8, which swap the stored width and height.
inline bool OrientationSwapsAxes(int orientation) { return orientation >= 5 && orientation <= 8; }

}  // namespace imgctl
