// GIF decoder built on stb_image: our own header probe, stb's whole-frame decode streamed as rows.
#pragma once
#include <vector>

#include "imgctl/core/decoder.h"

namespace imgctl {

// The first frame of a GIF, on its logical screen.
extern const Decoder kGifDecoder;

// Reads the logical screen size.
bool ProbeGif(const uint8_t *data, size_t size, ImageHeader *header);

// What stb is given of a GIF that ProbeGif accepts: the file cut down to the screen descriptor and
// global colour table, the last graphic control extension before the first frame (its
// transparency), that frame's descriptor and local colour table, and only as much of its LZW data
// as makes its pixels. Later frames and other extensions are left out, so that stb reads exactly
// the structure checked here; and the LZW data ends where the frame is complete, since each
// further code would still cost stb the length of its string (up to 4096 steps): a small frame
// followed by 1 MB of long codes kept it busy for 22 s. Empty when the file holds no frame.
std::vector<uint8_t> GifFirstFrame(const uint8_t *data, size_t size);

// Bytes a whole-frame decode holds per pixel of the logical screen: stb's frame, background
// and history (4 + 4 + 1) and its 4-byte RGBA result.
constexpr uint64_t kGifBytesPerPixel = 13;

}  // namespace imgctl
