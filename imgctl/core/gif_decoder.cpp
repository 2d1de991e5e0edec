// GIF decoder built on stb_image: our own header probe, stb's whole-frame decode streamed as rows.
#include "imgctl/core/gif_decoder.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "imgctl/core/byte_reader.h"
#include "imgctl/core/limits.h"

namespace imgctl {
namespace {

// stb allocates for itself; every allocation passes this per-decode budget, so that a
// damaged file cannot make it ask for more than a frame of the logical screen.
size_t g_stbAllocationLimit = SIZE_MAX;

// stb's GIF reader clears the frame buffers it allocates itself, so plain malloc will do.
void *StbMalloc(size_t size) { return size > g_stbAllocationLimit ? nullptr : malloc(size); }
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
#define STBI_ONLY_GIF
#define STBI_MAX_DIMENSIONS 65535
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

static_assert(STBI_MAX_DIMENSIONS == kMaxSourceEdge, "stb's size bound follows the library's");

// Restores the unlimited budget when a decode ends.
struct AllocationBudget {
  explicit AllocationBudget(size_t bytes) { g_stbAllocationLimit = bytes; }
  ~AllocationBudget() { g_stbAllocationLimit = SIZE_MAX; }
};

// Decodes the first frame with stb and hands its rows to the sink as 0xAARRGGBB.
bool DecodeGif(const uint8_t *data, size_t size, int, RowSink &sink) {
  ImageHeader header;
  if (size > size_t(INT_MAX) || !ProbeGif(data, size, &header)) return false;
  // The largest legitimate buffer: one 4-byte frame of the logical screen, plus slack.
  AllocationBudget budget(size_t(header.width) * size_t(header.height) * 4 + (size_t(1) << 20));
  int width = 0, height = 0, channels = 0;
  stbi_uc *rgba = stbi_load_from_memory(data, int(size), &width, &height, &channels, 4);
  if (rgba == nullptr) return false;
  if (width != header.width || height != header.height) {
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

}  // namespace

bool ProbeGif(const uint8_t *data, size_t size, ImageHeader *header) {
  if (size < 13 || (memcmp(data, "GIF87a", 6) != 0 && memcmp(data, "GIF89a", 6) != 0)) return false;
  header->width = int32_t(ReadLe16(data + 6));
  header->height = int32_t(ReadLe16(data + 8));
  header->orientation = 1;
  return header->width > 0 && header->height > 0;
}

uint64_t GifWorkingBytes(const uint8_t *data, size_t size, int) {
  ImageHeader header;
  if (!ProbeGif(data, size, &header)) return 0;
  return uint64_t(header.width) * uint64_t(header.height) * kGifBytesPerPixel;
}

const Decoder kGifDecoder = {ProbeGif, DecodeGif, GifWorkingBytes};

}  // namespace imgctl
