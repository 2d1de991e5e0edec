// GIF decoder built on stb_image: our own header probe, stb's whole-frame decode streamed as rows.
#pragma once
#include "imgctl/core/decoder.h"

namespace imgctl {

// The first frame of a GIF, on its logical screen.
extern const Decoder kGifDecoder;

// Reads the logical screen size.
bool ProbeGif(const uint8_t *data, size_t size, ImageHeader *header);

// Bytes a whole-frame decode holds per pixel of the logical screen: stb's frame, background
// and history (4 + 4 + 1) and its 4-byte RGBA result.
constexpr uint64_t kGifBytesPerPixel = 13;

}  // namespace imgctl
