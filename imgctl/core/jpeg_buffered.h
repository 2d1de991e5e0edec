// Coefficient-buffered JPEG decoding: progressive and multi-scan sequential files.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "imgctl/core/decoder.h"
#include "imgctl/core/jpeg_frame.h"

namespace imgctl {
namespace jpeg {

// Chooses which coefficients each component keeps at the frame's scale (set up by SetUpGeometry);
// returns the bytes the store takes.
uint64_t PlanCoefficients(Frame &f);

// What a decode of the frame holds besides its samples: the coefficient store (PlanCoefficients)
// and the tables the two threads build for the scans.
uint64_t BufferedWorkingBytes(Frame &f);

// Plans and takes the coefficient store. False when it would pass its bound; std::bad_alloc when
// its memory cannot be had.
bool AllocateCoefficients(Frame &f);

// Decodes every scan from the first one's data at `pos` into the coefficient store, then hands
// the rows to the sink. False on corrupt or short data (the rows some scan reached stand).
bool DecodeBuffered(Frame &f, size_t pos, RowSink &sink);

}  // namespace jpeg
}  // namespace imgctl
