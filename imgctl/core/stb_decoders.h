// JPEG, PNG and GIF decoders built on stb_image: our own header probes, stb's whole-picture decode streamed as rows.
#pragma once
#include "imgctl/core/decoder.h"

namespace imgctl {

extern const Decoder kStbJpegDecoder;  // baseline and progressive JPEG, 8-bit samples
extern const Decoder kStbPngDecoder;   // every PNG colour type and bit depth, interlaced too
extern const Decoder kStbGifDecoder;   // the first frame of a GIF, on its logical screen

// Header probes (sizes only; JPEG's EXIF orientation is read separately).
bool ProbeJpegHeader(const uint8_t *data, size_t size, ImageHeader *header);
bool ProbePngHeader(const uint8_t *data, size_t size, ImageHeader *header);
bool ProbeGifHeader(const uint8_t *data, size_t size, ImageHeader *header);

}  // namespace imgctl
