// BMP decoder: 1, 4, 8, 16, 24 and 32 bits, RLE4 and RLE8, bit-field masks, top-down rows, OS/2 headers.
#pragma once
#include "imgctl/core/decoder.h"

namespace imgctl {

extern const Decoder kBmpDecoder;

bool ProbeBmpHeader(const uint8_t *data, size_t size, ImageHeader *header);

}  // namespace imgctl
