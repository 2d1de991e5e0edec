// Picture formats told apart by their signatures, and the table of decoders by format.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "imgctl/core/decoder.h"

namespace imgctl {

enum class Format { kUnknown, kJpeg, kPng, kGif, kBmp };

// The format whose signature starts the data (the file name's extension plays no part).
Format SniffFormat(const uint8_t *data, size_t size);

// The decoder that handles `format`, or null for kUnknown.
const Decoder *DecoderFor(Format format);

}  // namespace imgctl
