// Picture formats told apart by their signatures, and the table of decoders by format.
#include "imgctl/core/format.h"

#include <string.h>

#include "imgctl/core/bmp_decoder.h"
#include "imgctl/core/gif_decoder.h"
#include "imgctl/core/jpeg_decoder.h"
#include "imgctl/core/png_decoder.h"

namespace imgctl {

Format SniffFormat(const uint8_t *data, size_t size) {
  static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return Format::kJpeg;
  if (size >= 8 && memcmp(data, kPngSignature, 8) == 0) return Format::kPng;
  if (size >= 6 && (memcmp(data, "GIF87a", 6) == 0 || memcmp(data, "GIF89a", 6) == 0)) return Format::kGif;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return Format::kBmp;
  return Format::kUnknown;
}

// One row per format: replacing a decoder is a change of its row only.
const Decoder *DecoderFor(Format format) {
  switch (format) {
    case Format::kJpeg: return &kJpegDecoder;
    case Format::kPng: return &kPngDecoder;
    case Format::kGif: return &kGifDecoder;
    case Format::kBmp: return &kBmpDecoder;
    case Format::kUnknown: break;
  }
  return nullptr;
}

}  // namespace imgctl
