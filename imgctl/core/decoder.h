// The decoders' common interface: header probe and row-streamed decoding (no Win32 here).
#pragma once
#include <stddef.h>
#include <stdint.h>

namespace imgctl {

struct EmbeddedColour;

// What a decoder learns from a file's headers alone.
struct ImageHeader {
  int32_t width = 0;   // stored width in pixels, before any EXIF orientation
  int32_t height = 0;  // stored height in pixels
  int orientation = 1; // EXIF orientation 1 to 8 (1: as stored); only JPEG files carry one
};

// Receives decoded rows top to bottom. Each row holds `width` pixels as 32-bit
// values 0xAARRGGBB (bytes B, G, R, A in memory, as a Windows 32-bit DIB);
// alpha 255 is opaque. The pointer is valid only during the call.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // Called once before the first row with the size of the rows that will follow
  // (the stored size divided by the scale, rounded up).
  virtual void Begin(int32_t width, int32_t height) = 0;
  virtual void PutRow(int32_t y, const uint32_t *pixels) = 0;
  // Called before Begin with what the file says about its colours (embedded_colour.h).
  virtual void Colour(const EmbeddedColour &) {}
};

// One picture format. Decode delivers rows at 1/scale of the stored size (scale 1, 2, 4
// or 8; a decoder that cannot scale may deliver full size, and says so by the size it
// passes to Begin). It returns false when the data is corrupt or ends early: the rows
// already delivered stand and the caller treats the rest as black. It never reads
// outside [data, data + size), and its work is bounded by the picture's size at that scale
// (a small multiple of what a well-formed file of that size costs), not by tricks in the data.
// workingBytes tells, from the headers alone and without allocating anything large, how much
// memory a decode at that scale holds besides the file's bytes and the sink (rows in flight,
// coefficient stores, whole-picture buffers). Memory that cannot be had is no damage: decode and
// workingBytes then throw std::bad_alloc (as the sink may), and the caller decides.
struct Decoder {
  bool (*probe)(const uint8_t *data, size_t size, ImageHeader *header);
  bool (*decode)(const uint8_t *data, size_t size, int scale, RowSink &sink);
  uint64_t (*workingBytes)(const uint8_t *data, size_t size, int scale);
  // True when a decode at scale 2 to 8 does less work than one at 1: the decoder reduces the
  // picture as it decodes rather than handling every stored pixel.
  bool scales;
};

}  // namespace imgctl
