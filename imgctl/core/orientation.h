// Turns a picture stored in one of the eight EXIF orientations upright.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "imgctl/core/kept_blocks.h"

namespace imgctl {

// `stored` holds width x height pixels as the file stores them; the result is the upright
// picture (height x width for the orientations 5 to 8). Orientation 1 or an unknown value
// returns the pixels unchanged. Pixels of any other count than width x height give an empty
// result, never a read past them.
Pixels TurnUpright(Pixels stored, int32_t width, int32_t height, int orientation);

}  // namespace imgctl
