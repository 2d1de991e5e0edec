// GIF decoder built on stb_image: our own header probe, stb's whole-frame decode streamed as rows.
#include "imgctl/core/gif_decoder.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "imgctl/core/byte_reader.h"
#include "imgctl/core/limits.h"

namespace imgctl {
namespace {

// stb allocates for itself, through operator new as the rest of the library does. Every allocation
// passes this per-decode budget, so that a damaged file cannot make it ask for more than a frame of
// the logical screen; an allocation within it that fails is remembered, so that running short of
// memory is told apart from a damaged file.
size_t g_stbAllocationLimit = SIZE_MAX;
bool g_stbOutOfMemory = false;

void *StbMalloc(size_t size) {
  if (size > g_stbAllocationLimit) return nullptr;
  void *block = ::operator new(size, std::nothrow);
  if (block == nullptr) g_stbOutOfMemory = true;
  return block;
}
void *StbReallocSized(void *block, size_t oldSize, size_t newSize) {
  void *grown = StbMalloc(newSize);
  if (grown != nullptr && block != nullptr) memcpy(grown, block, oldSize < newSize ? oldSize : newSize);
  if (grown != nullptr) ::operator delete(block);
  return grown;
}
void StbFree(void *block) { ::operator delete(block); }

}  // namespace
}  // namespace imgctl

#define STBI_MALLOC(size) imgctl::StbMalloc(size)
#define STBI_REALLOC_SIZED(block, oldSize, newSize) imgctl::StbReallocSized(block, oldSize, newSize)
#define STBI_FREE(block) imgctl::StbFree(block)
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
  explicit AllocationBudget(size_t bytes) {
    g_stbAllocationLimit = bytes;
    g_stbOutOfMemory = false;
  }
  ~AllocationBudget() { g_stbAllocationLimit = SIZE_MAX; }
};

constexpr size_t kScreenDescriptorEnd = 13;  // signature and logical screen descriptor
constexpr uint8_t kExtension = 0x21, kImage = 0x2C, kTrailer = 0x3B, kGraphicControl = 0xF9;
constexpr int kMaxLzwCodes = 8192;  // dictionary entries stb makes room for; past them it stops

// Bytes of a colour table that a flags byte announces (bit 7 set: 3 x 2^(size + 1)).
size_t ColourTableBytes(uint8_t flags) { return flags & 0x80 ? size_t(3) << ((flags & 7) + 1) : 0; }

// Follows a frame's LZW codes as stb reads them, counting the pixels they deliver: codes grow from
// the minimum size plus one to 12 bits as the dictionary fills, a clear code starts afresh, the end
// code ends. Once the frame's pixels are there the rest of its data cannot show anything, yet each
// further code would cost stb the length of its string (up to 4096 steps): a small frame followed
// by a megabyte of long codes would keep it busy for seconds.
class LzwPixelCount {
 public:
  LzwPixelCount(int minimumCodeSize, uint64_t pixels)
      : minimum_(minimumCodeSize), clear_(1 << minimumCodeSize), pixels_(pixels), length_(kMaxLzwCodes, 1) {
    Clear();
  }
  // Takes the next byte of the data; false when the frame is complete or its data ends within this
  // byte (the end code, or what stb takes as damage: data before the first clear code, a code past
  // the dictionary, a full dictionary), so that the bytes after it are not needed.
  bool Take(uint8_t byte) {
    bits_ |= uint32_t(byte) << bitCount_;
    bitCount_ += 8;
    while (bitCount_ >= codeSize_) {
      const int code = int(bits_ & ((1u << codeSize_) - 1));
      bits_ >>= codeSize_;
      bitCount_ -= codeSize_;
      if (code == clear_) {
        Clear();
        cleared_ = true;
        continue;
      }
      if (code == clear_ + 1 || !cleared_ || code > available_ || (previous_ < 0 && code == available_)) return false;
      if (previous_ >= 0) {
        if (available_ >= kMaxLzwCodes) return false;
        length_[size_t(available_++)] = uint16_t(length_[size_t(previous_)] + 1);
      }
      delivered_ += length_[size_t(code)];
      if (delivered_ >= pixels_) return false;
      if ((available_ & ((1 << codeSize_) - 1)) == 0 && available_ < kLargestCode) ++codeSize_;
      previous_ = code;
    }
    return true;
  }

 private:
  static constexpr int kLargestCode = 1 << 12;
  void Clear() {
    codeSize_ = minimum_ + 1;
    available_ = clear_ + 2;
    previous_ = -1;
  }
  const int minimum_, clear_;
  const uint64_t pixels_;
  std::vector<uint16_t> length_;  // string length of each code
  int codeSize_ = 0, available_ = 0, previous_ = -1;
  bool cleared_ = false;
  uint64_t delivered_ = 0;
  uint32_t bits_ = 0;
  int bitCount_ = 0;
};

// Decodes the first frame with stb and hands its rows to the sink as 0xAARRGGBB.
bool DecodeGif(const uint8_t *data, size_t size, int, RowSink &sink) {
  ImageHeader header;
  if (size > size_t(INT_MAX) || !ProbeGif(data, size, &header)) return false;
  std::vector<uint8_t> frame = GifFirstFrame(data, size);
  if (frame.empty()) return false;
  // The largest legitimate buffer: one 4-byte frame of the logical screen, plus slack.
  AllocationBudget budget(size_t(header.width) * size_t(header.height) * 4 + (size_t(1) << 20));
  int width = 0, height = 0, channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void *)> rgba(
      stbi_load_from_memory(frame.data(), int(frame.size()), &width, &height, &channels, 4), stbi_image_free);
  if (rgba == nullptr && g_stbOutOfMemory) throw std::bad_alloc();
  if (rgba == nullptr || width != header.width || height != header.height) return false;
  sink.Begin(width, height);
  std::vector<uint32_t> row(static_cast<size_t>(width));
  for (int y = 0; y < height; ++y) {
    const stbi_uc *in = rgba.get() + size_t(y) * size_t(width) * 4;
    for (int x = 0; x < width; ++x, in += 4)
      row[size_t(x)] = uint32_t(in[3]) << 24 | uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
    sink.PutRow(y, row.data());
  }
  return true;
}

}  // namespace

std::vector<uint8_t> GifFirstFrame(const uint8_t *data, size_t size) {
  size_t at = kScreenDescriptorEnd + ColourTableBytes(data[10]);
  const uint8_t *control = nullptr;  // the four bytes of the last graphic control extension
  while (at < size && data[at] == kExtension) {
    if (++at >= size) return {};
    if (data[at] == kGraphicControl && InRange(size, at + 1, 5) && data[at + 1] == 4) control = data + at + 2;
    // Its sub-blocks (a length byte, then that many bytes) up to the empty one.
    for (++at; at < size && data[at] != 0;) at += 1 + size_t(data[at]);
    ++at;
  }
  if (at >= size || data[at] != kImage || !InRange(size, at + 1, 9)) return {};  // the trailer, or damage
  const size_t descriptor = at + 1;
  const size_t dataStart = descriptor + 9 + ColourTableBytes(data[descriptor + 8]);
  if (dataStart >= size || data[dataStart] > 12) return {};  // stb takes no code size past 12 bits

  std::vector<uint8_t> out(data, data + kScreenDescriptorEnd + ColourTableBytes(data[10]));
  if (control != nullptr) {
    out.insert(out.end(), {kExtension, kGraphicControl, 4});
    out.insert(out.end(), control, control + 4);
    out.push_back(0);
  }
  out.push_back(kImage);
  out.insert(out.end(), data + descriptor, data + dataStart + 1);  // descriptor, colour table, code size
  // The LZW data in sub-blocks of up to 255 bytes, as far as the frame needs it.
  LzwPixelCount count(data[dataStart], uint64_t(ReadLe16(data + descriptor + 4)) * ReadLe16(data + descriptor + 6));
  size_t lengthAt = out.size();
  out.push_back(0);
  bool more = true;
  for (at = dataStart + 1; more && at < size && data[at] != 0; at += 1 + size_t(data[at])) {
    const size_t end = std::min(size, at + 1 + size_t(data[at]));
    for (size_t i = at + 1; more && i < end; ++i) {
      if (out[lengthAt] == 255) {
        lengthAt = out.size();
        out.push_back(0);
      }
      out.push_back(data[i]);
      ++out[lengthAt];
      more = count.Take(data[i]);
    }
  }
  if (out[lengthAt] != 0) out.push_back(0);  // the empty sub-block that ends the data
  out.push_back(kTrailer);
  return out;
}

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

const Decoder kGifDecoder = {ProbeGif, DecodeGif, GifWorkingBytes, false};

}  // namespace imgctl
