// JPEG, PNG and GIF decoders built on stb_image: our own header probes, stb's whole-picture decode streamed as rows.
#include "imgctl/core/stb_decoders.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "imgctl/core/byte_reader.h"
#include "imgctl/core/limits.h"

namespace imgctl {
namespace {

// stb allocates for itself; every allocation passes this per-decode budget, so that a
// compressed stream that inflates without end (a "zip bomb" PNG) fails instead of growing.
size_t g_stbAllocationLimit = SIZE_MAX;

// Zeroed memory: stb_image 2.27 reads a Huffman table that a scan names but no DHT defined from
// its uninitialised decoder record; zeroed, such a table decodes nothing instead of indexing at random.
void *StbMalloc(size_t size) { return size > g_stbAllocationLimit ? nullptr : calloc(1, size); }
void *StbRealloc(void *block, size_t size) {
  return size > g_stbAllocationLimit ? nullptr : realloc(block, size);
}

}  // namespace
}  // namespace imgctl

#define STBI_MALLOC(size) imgctl::StbMalloc(size)
#define STBI_REALLOC(block, size) imgctl::StbRealloc(block, size)
#define STBI_FREE(block) free(block)
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_MAX_DIMENSIONS 32767
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>  // Debian libstb-dev, /usr/include/stb
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace imgctl {
namespace {

static_assert(STBI_MAX_DIMENSIONS == kMaxEdge, "stb's size bound follows the library's");

// Restores the unlimited budget when a decode ends.
struct AllocationBudget {
  explicit AllocationBudget(size_t bytes) { g_stbAllocationLimit = bytes; }
  ~AllocationBudget() { g_stbAllocationLimit = SIZE_MAX; }
};

// Decodes the whole picture with stb and hands its rows to the sink as 0xAARRGGBB.
bool StbDecode(const uint8_t *data, size_t size, RowSink &sink, bool (*probe)(const uint8_t *, size_t, ImageHeader *)) {
  ImageHeader header;
  if (size > size_t(INT_MAX) || !probe(data, size, &header)) return false;
  // The largest legitimate buffer: 8 bytes a pixel (16-bit RGBA) with a block's margin, plus slack.
  AllocationBudget budget(size_t(header.width + 16) * size_t(header.height + 16) * 8 + (size_t(1) << 20));
  int width = 0, height = 0, channels = 0;
  stbi_uc *rgba = stbi_load_from_memory(data, int(size), &width, &height, &channels, 4);
  if (rgba == nullptr) return false;
  if (!SizeWithinLimits(width, height)) {
    stbi_image_free(rgba);
    return false;
  }
  sink.Begin(width, height);
  std::vector<uint32_t> row(static_cast<size_t>(width));
  for (int y = 0; y < height; ++y) {
    const stbi_uc *in = rgba + size_t(y) * size_t(width) * 4;
    for (int x = 0; x < width; ++x, in += 4)
      row[size_t(x)] = uint32_t(in[3]) << 24 | uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
    sink.PutRow(y, row.data());
  }
  stbi_image_free(rgba);
  return true;
}

// stb_image 2.27 (Debian 12) writes past its Huffman size table when a DHT segment declares
// more than 256 codes; such tables are refused here before stb sees the file. All segments are
// checked, including those between the scans of a progressive file.
bool JpegHuffmanTablesAreSound(const uint8_t *data, size_t size) {
  size_t at = 2;
  while (at + 4 <= size) {
    if (data[at] != 0xFF) {  // entropy-coded data: skip to the next marker
      const void *next = memchr(data + at, 0xFF, size - at);
      if (next == nullptr) return true;
      at = size_t(static_cast<const uint8_t *>(next) - data);
      continue;
    }
    uint8_t marker = data[at + 1];
    if (marker == 0x00 || marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
      at += marker == 0xFF ? 1 : 2;  // stuffed byte, fill byte or a marker without a length
      continue;
    }
    if (marker == 0xD9) return true;
    size_t length = ReadBe16(data + at + 2);
    size_t end = at + 2 + length;
    if (marker == 0xC4) {
      size_t table = at + 4;
      while (table < end && table < size) {
        size_t codes = 0;  // counts cut off by the file's end read as 0, as stb reads them
        for (size_t i = 1; i <= 16 && table + i < size; ++i) codes += data[table + i];
        if (codes > 256) return false;
        table += 17 + codes;
      }
    }
    at = end;
  }
  return true;
}

bool DecodeJpeg(const uint8_t *data, size_t size, int, RowSink &sink) {
  if (!JpegHuffmanTablesAreSound(data, size)) return false;
  return StbDecode(data, size, sink, ProbeJpegHeader);
}
bool DecodePng(const uint8_t *data, size_t size, int, RowSink &sink) {
  return StbDecode(data, size, sink, ProbePngHeader);
}
bool DecodeGif(const uint8_t *data, size_t size, int, RowSink &sink) {
  return StbDecode(data, size, sink, ProbeGifHeader);
}

bool IsStartOfFrame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace

bool ProbeJpegHeader(const uint8_t *data, size_t size, ImageHeader *header) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
  size_t at = 2;
  while (InRange(size, at, 4)) {
    if (data[at] != 0xFF) return false;
    uint8_t marker = data[at + 1];
    if (marker == 0xFF) { ++at; continue; }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { at += 2; continue; }
    if (marker == 0xDA || marker == 0xD9) return false;  // image data before any frame header
    size_t length = ReadBe16(data + at + 2);
    if (length < 2) return false;
    if (IsStartOfFrame(marker)) {
      // Baseline, extended and progressive Huffman frames of 8-bit samples are what stb decodes.
      if (marker > 0xC2 || !InRange(size, at + 4, 6) || data[at + 4] != 8) return false;
      header->height = int32_t(ReadBe16(data + at + 5));
      header->width = int32_t(ReadBe16(data + at + 7));
      header->orientation = 1;
      int components = data[at + 9];
      return header->width > 0 && header->height > 0 && (components == 1 || components == 3 || components == 4);
    }
    at += 2 + length;
  }
  return false;
}

bool ProbePngHeader(const uint8_t *data, size_t size, ImageHeader *header) {
  static const uint8_t kSignatureAndHeader[16] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                                                  0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  if (size < 33 || memcmp(data, kSignatureAndHeader, 16) != 0) return false;
  uint32_t width = ReadBe32(data + 16), height = ReadBe32(data + 20);
  uint8_t depth = data[24], colourType = data[25];
  bool valid;
  switch (colourType) {
    case 0: valid = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16; break;
    case 3: valid = depth == 1 || depth == 2 || depth == 4 || depth == 8; break;
    case 2: case 4: case 6: valid = depth == 8 || depth == 16; break;
    default: valid = false;
  }
  if (!valid || width == 0 || height == 0 || width > uint32_t(kMaxEdge) || height > uint32_t(kMaxEdge)) return false;
  header->width = int32_t(width);
  header->height = int32_t(height);
  header->orientation = 1;
  return true;
}

bool ProbeGifHeader(const uint8_t *data, size_t size, ImageHeader *header) {
  if (size < 13 || (memcmp(data, "GIF87a", 6) != 0 && memcmp(data, "GIF89a", 6) != 0)) return false;
  header->width = int32_t(ReadLe16(data + 6));
  header->height = int32_t(ReadLe16(data + 8));
  header->orientation = 1;
  return header->width > 0 && header->height > 0;
}

const Decoder kStbJpegDecoder = {ProbeJpegHeader, DecodeJpeg};
const Decoder kStbPngDecoder = {ProbePngHeader, DecodePng};
const Decoder kStbGifDecoder = {ProbeGifHeader, DecodeGif};

}  // namespace imgctl
