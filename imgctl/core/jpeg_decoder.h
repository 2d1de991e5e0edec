// Our JPEG decoder: baseline and progressive Huffman JPEG, decoded straight to 1/1..1/8 size.
#pragma once
#include "imgctl/core/decoder.h"

namespace imgctl {

// Reads the frame size (and the EXIF orientation, when an APP1 segment before the frame
// carries one) without decoding. False when the data is not a JPEG we can decode.
bool ProbeJpeg(const uint8_t *data, size_t size, ImageHeader *header);

// Decodes to 1/scale of the stored size (scale 1, 2, 4 or 8; others are taken as the
// next smaller power of two), handing rows to the sink one MCU row at a time.
// Baseline files stream through a few MCU rows of memory; progressive and multi-scan files
// keep only the coefficients the chosen scale reads. False when the data is corrupt or
// ends early (the rows delivered so far stand), and for a file whose scans would visit its blocks
// far more often than a well-formed file's do (the rows they reached stand).
bool DecodeJpeg(const uint8_t *data, size_t size, int scale, RowSink &sink);

// Memory a decode at 1/scale holds besides the file and the sink, from the headers up to the
// first scan: a few MCU rows of samples for a baseline file whose first scan holds every
// component, plus the coefficient store for progressive and multi-scan files. Both throw
// std::bad_alloc when memory runs short.
uint64_t JpegWorkingBytes(const uint8_t *data, size_t size, int scale);

extern const Decoder kJpegDecoder;

}  // namespace imgctl
