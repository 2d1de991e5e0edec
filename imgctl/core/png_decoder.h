// Our PNG decoder: chunk reader, zlib inflate, unfiltering, Adam7, every colour type and depth.
#pragma once
#include "imgctl/core/decoder.h"

namespace imgctl {

// Reads the size from the signature and IHDR (whose CRC must match). False when the data
// is not a PNG we can decode (bad IHDR fields, unknown colour type or depth).
bool ProbePng(const uint8_t *data, size_t size, ImageHeader *header);

// Decodes at full size whatever `scale` says (the caller resamples). Non-interlaced files
// stream row by row; Adam7 files are assembled in a full-size buffer first. Rows carry
// straight (not premultiplied) alpha. Chunk CRCs are checked for the chunks used (IHDR,
// PLTE, tRNS, IDAT); a mismatch counts as corruption. False when the data is corrupt or
// ends early (the rows delivered so far stand); std::bad_alloc when memory runs short.
bool DecodePng(const uint8_t *data, size_t size, int scale, RowSink &sink);

// Memory a decode holds besides the file and the sink: a few rows, or the whole picture
// (4 bytes a pixel) when it is interlaced. 0 when the headers do not parse.
uint64_t PngWorkingBytes(const uint8_t *data, size_t size, int scale);

extern const Decoder kPngDecoder;

}  // namespace imgctl
