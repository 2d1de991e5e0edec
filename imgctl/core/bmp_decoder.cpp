// BMP decoder: 1, 4, 8, 16, 24 and 32 bits, RLE4 and RLE8, bit-field masks, top-down rows, OS/2 headers.
#include "imgctl/core/bmp_decoder.h"

#include <vector>

#include "imgctl/core/byte_reader.h"
#include "imgctl/core/embedded_colour.h"
#include "imgctl/core/limits.h"

namespace imgctl {
namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;  // OS/2 1.x BITMAPCOREHEADER
constexpr uint32_t kInfoHeaderBytes = 40;  // BITMAPINFOHEADER
constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
constexpr uint32_t kOpaqueBlack = 0xFF000000u;

// One colour channel held in a bit-field mask.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};

struct BmpLayout {
  int32_t width = 0, height = 0;
  bool topDown = false;
  int bitsPerPixel = 0;
  uint32_t compression = kRgb;
  Channel red, green, blue, alpha;
  bool useAlpha = false;
  uint32_t palette[256] = {};
  uint64_t pixelOffset = 0;  // as the file header gives it: it may point anywhere, up to 4 GiB
  size_t stride = 0;
};

Channel MakeChannel(uint32_t mask) {
  Channel channel;
  channel.mask = mask;
  if (mask == 0) return channel;
  while (!((mask >> channel.shift) & 1)) ++channel.shift;
  while (channel.shift + channel.bits < 32 && ((mask >> (channel.shift + channel.bits)) & 1)) ++channel.bits;
  return channel;
}

// The channel's value scaled to 0..255 (a wider field keeps its top 8 bits).
inline uint32_t ChannelValue(const Channel &channel, uint32_t pixel) {
  if (channel.bits == 0) return 0;  // an empty mask: the channel is absent
  uint32_t value = (pixel & channel.mask) >> channel.shift;
  if (channel.bits >= 8) return (value >> (channel.bits - 8)) & 0xFF;
  uint32_t maximum = (1u << channel.bits) - 1;
  return (value * 255 + maximum / 2) / maximum;
}

bool ParseLayout(const uint8_t *data, size_t size, BmpLayout *layout) {
  if (size < kFileHeaderBytes + 4 || data[0] != 'B' || data[1] != 'M') return false;
  layout->pixelOffset = ReadLe32(data + 10);
  uint32_t headerBytes = ReadLe32(data + 14);
  size_t paletteEntryBytes = 4, colours = 0;
  int64_t height;
  if (headerBytes == kCoreHeaderBytes) {
    if (!InRange(size, kFileHeaderBytes, kCoreHeaderBytes)) return false;
    layout->width = int32_t(ReadLe16(data + 18));
    height = ReadLe16(data + 20);  // unsigned in this header: always bottom-up
    layout->bitsPerPixel = int(ReadLe16(data + 24));
    paletteEntryBytes = 3;
  } else if (headerBytes >= kInfoHeaderBytes && headerBytes <= 1024) {
    if (!InRange(size, kFileHeaderBytes, kInfoHeaderBytes)) return false;
    layout->width = int32_t(ReadLe32(data + 18));
    height = int32_t(ReadLe32(data + 22));
    layout->bitsPerPixel = int(ReadLe16(data + 28));
    layout->compression = ReadLe32(data + 30);
    colours = ReadLe32(data + 46);
  } else {
    return false;
  }
  layout->topDown = height < 0;
  if (height < 0) height = -height;
  layout->height = int32_t(height > INT32_MAX ? 0 : height);
  if (!SourceWithinLimits(layout->width, layout->height)) return false;

  int bits = layout->bitsPerPixel;
  size_t paletteOffset = kFileHeaderBytes + headerBytes;
  switch (layout->compression) {
    case kRgb:
      if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
      break;
    case kRle8:
      if (bits != 8 || layout->topDown) return false;
      break;
    case kRle4:
      if (bits != 4 || layout->topDown) return false;
      break;
    case kBitFields:
    case kAlphaBitFields: {
      if (bits != 16 && bits != 32) return false;
      size_t maskCount = layout->compression == kAlphaBitFields ? 4 : 3;
      size_t maskOffset = kFileHeaderBytes + kInfoHeaderBytes;
      // A plain 40-byte header is followed by the masks; later headers hold them inside.
      if (headerBytes == kInfoHeaderBytes) paletteOffset += maskCount * 4;
      else if (headerBytes >= 56) maskCount = 4;
      if (!InRange(size, maskOffset, maskCount * 4)) return false;
      layout->red = MakeChannel(ReadLe32(data + maskOffset));
      layout->green = MakeChannel(ReadLe32(data + maskOffset + 4));
      layout->blue = MakeChannel(ReadLe32(data + maskOffset + 8));
      if (maskCount == 4) layout->alpha = MakeChannel(ReadLe32(data + maskOffset + 12));
      break;
    }
    default:
      return false;  // embedded JPEG or PNG, OS/2 Huffman and RLE24: not drawn
  }
  if (layout->compression == kRgb && bits == 16) {
    layout->red = MakeChannel(0x7C00);
    layout->green = MakeChannel(0x03E0);
    layout->blue = MakeChannel(0x001F);
  } else if (layout->compression == kRgb && bits == 32) {
    layout->red = MakeChannel(0xFF0000);
    layout->green = MakeChannel(0xFF00);
    layout->blue = MakeChannel(0xFF);  // the fourth byte of BI_RGB is not alpha
  }
  layout->useAlpha = layout->alpha.mask != 0;

  if (bits <= 8) {
    size_t entries = size_t(1) << bits;
    if (colours != 0 && colours < entries) entries = colours;
    for (size_t i = 0; i < entries; ++i) {
      size_t at = paletteOffset + i * paletteEntryBytes;
      if (!InRange(size, at, 3)) break;  // a cut-short palette: the missing colours are black
      layout->palette[i] = kOpaqueBlack | uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 1]) << 8 | data[at];
    }
    for (size_t i = entries; i < 256; ++i) layout->palette[i] = kOpaqueBlack;  // indices past the palette
  }
  layout->stride = ((size_t(layout->width) * size_t(bits) + 31) / 32) * 4;
  return true;
}

// Decodes `count` pixels of one stored row of an uncompressed picture.
void DecodeRow(const BmpLayout &layout, const uint8_t *in, int32_t count, uint32_t *out) {
  switch (layout.bitsPerPixel) {
    case 1: case 4: case 8: {
      int bits = layout.bitsPerPixel, perByte = 8 / bits;
      uint32_t mask = (1u << bits) - 1;
      for (int32_t x = 0; x < count; ++x) {
        int shift = 8 - bits * (x % perByte + 1);
        out[x] = layout.palette[(in[x / perByte] >> shift) & mask];
      }
      break;
    }
    case 24:
      for (int32_t x = 0; x < count; ++x, in += 3)
        out[x] = kOpaqueBlack | uint32_t(in[2]) << 16 | uint32_t(in[1]) << 8 | in[0];
      break;
    default: {
      bool wide = layout.bitsPerPixel == 32;
      for (int32_t x = 0; x < count; ++x) {
        uint32_t pixel = wide ? ReadLe32(in + size_t(x) * 4) : ReadLe16(in + size_t(x) * 2);
        uint32_t a = layout.useAlpha ? ChannelValue(layout.alpha, pixel) : 255;
        out[x] = a << 24 | ChannelValue(layout.red, pixel) << 16 | ChannelValue(layout.green, pixel) << 8 |
                 ChannelValue(layout.blue, pixel);
      }
    }
  }
}

// Where stored row `row` begins in the file. Worked out in 64 bits: with an offset near 4 GiB, a
// 32-bit sum would wrap back to the start of the file and show the headers as pixels.
uint64_t RowOffset(const BmpLayout &layout, int32_t row) {
  return layout.pixelOffset + uint64_t(row) * uint64_t(layout.stride);
}

// Pixels of a stored row that the file's bytes hold: none for a row that begins past the end.
int32_t AvailablePixels(const BmpLayout &layout, size_t size, uint64_t rowOffset) {
  if (rowOffset >= size) return 0;
  size_t bytes = size - size_t(rowOffset);
  size_t pixels = bytes * 8 / size_t(layout.bitsPerPixel);
  return pixels >= size_t(layout.width) ? layout.width : int32_t(pixels);
}

// Some writers fill a declared alpha channel with zeros throughout; such a picture is opaque.
bool AlphaChannelIsEmpty(const BmpLayout &layout, const uint8_t *data, size_t size) {
  std::vector<uint32_t> row(size_t(layout.width));
  for (int32_t y = 0; y < layout.height; ++y) {
    uint64_t offset = RowOffset(layout, y);
    int32_t count = AvailablePixels(layout, size, offset);
    if (count == 0) break;
    DecodeRow(layout, data + size_t(offset), count, row.data());
    for (int32_t x = 0; x < count; ++x)
      if (row[size_t(x)] >> 24) return false;
  }
  return true;
}

bool DecodeUncompressed(const BmpLayout &layout, const uint8_t *data, size_t size, RowSink &sink) {
  std::vector<uint32_t> row(size_t(layout.width));
  bool complete = true;
  for (int32_t y = 0; y < layout.height; ++y) {
    int32_t stored = layout.topDown ? y : layout.height - 1 - y;
    uint64_t offset = RowOffset(layout, stored);
    int32_t count = AvailablePixels(layout, size, offset);
    if (count < layout.width) complete = false;
    if (count == 0) continue;  // past the data: the sink makes rows that never come black
    DecodeRow(layout, data + size_t(offset), count, row.data());
    for (int32_t x = count; x < layout.width; ++x) row[size_t(x)] = kOpaqueBlack;
    sink.PutRow(y, row.data());
  }
  return complete;
}

// RLE4 and RLE8: runs and literal stretches of palette indices, with end-of-line, end-of-picture
// and delta escapes. Pixels that no command sets stay black; runs past a row's end and commands
// past the last row are dropped.
bool DecodeRunLength(const BmpLayout &layout, const uint8_t *data, size_t size, RowSink &sink) {
  const int32_t width = layout.width, height = layout.height;
  std::vector<uint32_t> picture(size_t(width) * size_t(height), kOpaqueBlack);  // bottom row first
  bool rle4 = layout.compression == kRle4;
  int64_t x = 0, y = 0;
  size_t at = layout.pixelOffset < size ? size_t(layout.pixelOffset) : size;  // past the end: no commands
  bool complete = false;
  auto put = [&](uint32_t index) {
    if (x < width && y < height) picture[size_t(y) * size_t(width) + size_t(x)] = layout.palette[index & 0xFF];
    ++x;
  };
  while (y < height && InRange(size, at, 2)) {
    uint32_t first = data[at], second = data[at + 1];
    at += 2;
    if (first > 0) {  // a run of `first` pixels
      for (uint32_t i = 0; i < first && x < width; ++i) put(rle4 ? (i & 1 ? second & 15 : second >> 4) : second);
      continue;
    }
    if (second == 0) { x = 0; ++y; continue; }           // end of line
    if (second == 1) { complete = true; break; }         // end of picture
    if (second == 2) {                                   // delta
      if (!InRange(size, at, 2)) break;
      x += data[at];
      y += data[at + 1];
      at += 2;
      continue;
    }
    // A literal stretch of `second` pixels, padded to a 16-bit boundary.
    size_t bytes = rle4 ? (second + 1) / 2 : second;
    if (!InRange(size, at, bytes)) break;
    for (uint32_t i = 0; i < second; ++i) {
      uint32_t byte = data[at + (rle4 ? i / 2 : i)];
      put(rle4 ? (i & 1 ? byte & 15 : byte >> 4) : byte);
    }
    at += (bytes + 1) & ~size_t(1);
  }
  if (y >= height) complete = true;
  for (int32_t row = 0; row < height; ++row)
    sink.PutRow(row, picture.data() + size_t(height - 1 - row) * size_t(width));
  return complete;
}

bool DecodeBmp(const uint8_t *data, size_t size, int, RowSink &sink) {
  BmpLayout layout;
  if (!ParseLayout(data, size, &layout)) return false;
  if (layout.useAlpha && AlphaChannelIsEmpty(layout, data, size)) layout.useAlpha = false;
  EmbeddedColour colour;
  NoteBmpColourSpace(&colour, data, size);
  sink.Colour(colour);
  sink.Begin(layout.width, layout.height);
  if (layout.compression == kRle4 || layout.compression == kRle8) return DecodeRunLength(layout, data, size, sink);
  return DecodeUncompressed(layout, data, size, sink);
}

}  // namespace

bool ProbeBmpHeader(const uint8_t *data, size_t size, ImageHeader *header) {
  BmpLayout layout;
  if (!ParseLayout(data, size, &layout)) return false;
  header->width = layout.width;
  header->height = layout.height;
  header->orientation = 1;
  return true;
}

// Uncompressed rows stream one at a time; RLE commands may jump about, so the whole picture is held.
uint64_t BmpWorkingBytes(const uint8_t *data, size_t size, int) {
  BmpLayout layout;
  if (!ParseLayout(data, size, &layout)) return 0;
  uint64_t row = uint64_t(layout.width) * 4;
  bool runLength = layout.compression == kRle4 || layout.compression == kRle8;
  return runLength ? row * uint64_t(layout.height) : row;
}

const Decoder kBmpDecoder = {ProbeBmpHeader, DecodeBmp, BmpWorkingBytes, false};

}  // namespace imgctl
