// Our PNG decoder: chunks, inflate through zlib, unfiltering, Adam7 and colour conversion.
#include "imgctl/core/png_decoder.h"

#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <memory>
#include <new>
#include <vector>

#include "imgctl/core/embedded_colour.h"
#include "imgctl/core/handover.h"
#include "imgctl/core/interrupt.h"
#include "imgctl/core/png_filters.h"

namespace imgctl {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint64_t kMaxRowBytes = uint64_t{1} << 28;
// An interlaced picture is assembled whole before delivery; beyond this many pixels it is refused.
constexpr uint64_t kMaxInterlacedPixels = uint64_t{1} << 26;

inline uint32_t Be32(const uint8_t *p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

enum ColourType { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

struct Chunk {
  uint32_t length = 0;
  uint32_t type = 0;
  const uint8_t *body = nullptr;
  size_t next = 0;  // offset of the following chunk
};

constexpr uint32_t Tag(char a, char b, char c, char d) {
  return (static_cast<uint32_t>(a) << 24) | (static_cast<uint32_t>(b) << 16) | (static_cast<uint32_t>(c) << 8) |
         static_cast<uint32_t>(d);
}

// The chunk at `pos`, bounds-checked. False when it does not fit in the data.
bool ReadChunk(const uint8_t *data, size_t size, size_t pos, Chunk *c) {
  if (pos > size || size - pos < 12) return false;
  c->length = Be32(data + pos);
  if (c->length > 0x7FFFFFFFu || c->length > size - pos - 12) return false;
  c->type = Be32(data + pos + 4);
  c->body = data + pos + 8;
  c->next = pos + 12 + c->length;
  return true;
}

bool CrcMatches(const Chunk &c) {
#if defined(IMGCTL_FUZZ_SKIP_CRC)
  // The fuzzing build only: mutated files then reach inflating, the filters and Adam7 instead of
  // stopping at their first changed chunk.
  (void)c;
  return true;
#else
  uLong crc = crc32(0L, c.body - 4, static_cast<uInt>(c.length + 4));
  return crc == Be32(c.body + c.length);
#endif
}

struct Png {
  int32_t width = 0, height = 0;
  int depth = 0, colourType = 0, interlace = 0;
  int channels = 0;
  int bitsPerPixel = 0;
  int filterStep = 1;  // bytes between a byte and the one its filter refers to
  uint64_t rowBytes = 0;
  uint32_t palette[256];
  int paletteSize = 0;
  bool hasKey = false;
  uint16_t key[3] = {0, 0, 0};
  EmbeddedColour colour;  // iCCP, sRGB, gAMA, cHRM
};

bool ReadHeader(const uint8_t *data, size_t size, Png *png) {
  if (!data || size < 8 || memcmp(data, kSignature, 8) != 0) return false;
  Chunk c;
  if (!ReadChunk(data, size, 8, &c) || c.type != Tag('I', 'H', 'D', 'R') || c.length != 13 || !CrcMatches(c))
    return false;
  const uint8_t *p = c.body;
  uint32_t w = Be32(p), h = Be32(p + 4);
  if (w == 0 || h == 0 || w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) return false;
  png->width = static_cast<int32_t>(w);
  png->height = static_cast<int32_t>(h);
  png->depth = p[8];
  png->colourType = p[9];
  if (p[10] != 0 || p[11] != 0 || p[12] > 1) return false;
  png->interlace = p[12];
  int d = png->depth;
  switch (png->colourType) {
    case kGrey: png->channels = 1; if (d != 1 && d != 2 && d != 4 && d != 8 && d != 16) return false; break;
    case kRgb: png->channels = 3; if (d != 8 && d != 16) return false; break;
    case kPalette: png->channels = 1; if (d != 1 && d != 2 && d != 4 && d != 8) return false; break;
    case kGreyAlpha: png->channels = 2; if (d != 8 && d != 16) return false; break;
    case kRgba: png->channels = 4; if (d != 8 && d != 16) return false; break;
    default: return false;
  }
  png->bitsPerPixel = png->channels * d;
  png->filterStep = png->bitsPerPixel >= 8 ? png->bitsPerPixel / 8 : 1;
  png->rowBytes = (static_cast<uint64_t>(w) * png->bitsPerPixel + 7) / 8;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Colour conversion to 0xAARRGGBB

// 16 to 8 bits as ImageMagick does it (floor of v * 255 / 65535), so decodes compare exactly.
inline uint8_t To8(uint32_t v16) { return static_cast<uint8_t>(v16 / 257); }
// ImageMagick keeps opacity (65535 - alpha) and floors that, which rounds alpha up.
inline uint8_t Alpha8(uint32_t a16) { return static_cast<uint8_t>(255 - (65535 - a16) / 257); }
inline uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

// One row of `count` pixels from unfiltered bytes.
void ConvertRow(const Png &png, const uint8_t *in, int32_t count, uint32_t *out) {
  const int d = png.depth;
  switch (png.colourType) {
    case kGrey:
      if (d == 16) {
        for (int32_t x = 0; x < count; ++x) {
          uint32_t v = (in[2 * x] << 8) | in[2 * x + 1];
          uint8_t g = To8(v);
          out[x] = Argb(png.hasKey && v == png.key[0] ? 0 : 255, g, g, g);
        }
      } else if (d == 8) {
        for (int32_t x = 0; x < count; ++x) {
          uint32_t v = in[x];
          out[x] = Argb(png.hasKey && v == png.key[0] ? 0 : 255, v, v, v);
        }
      } else {
        const int mask = (1 << d) - 1, perByte = 8 / d, scale = 255 / mask;
        for (int32_t x = 0; x < count; ++x) {
          int v = (in[x / perByte] >> (8 - d - (x % perByte) * d)) & mask;
          uint32_t g = static_cast<uint32_t>(v * scale);
          out[x] = Argb(png.hasKey && v == png.key[0] ? 0 : 255, g, g, g);
        }
      }
      break;
    case kPalette: {
      if (d == 8) {
        for (int32_t x = 0; x < count; ++x) out[x] = png.palette[in[x]];
      } else {
        const int mask = (1 << d) - 1, perByte = 8 / d;
        for (int32_t x = 0; x < count; ++x) out[x] = png.palette[(in[x / perByte] >> (8 - d - (x % perByte) * d)) & mask];
      }
      break;
    }
    case kRgb:
      if (d == 8) {
        for (int32_t x = 0; x < count; ++x) {
          const uint8_t *p = in + 3 * x;
          bool clear = png.hasKey && p[0] == png.key[0] && p[1] == png.key[1] && p[2] == png.key[2];
          out[x] = Argb(clear ? 0 : 255, p[0], p[1], p[2]);
        }
      } else {
        for (int32_t x = 0; x < count; ++x) {
          const uint8_t *p = in + 6 * x;
          uint32_t r = (p[0] << 8) | p[1], g = (p[2] << 8) | p[3], b = (p[4] << 8) | p[5];
          bool clear = png.hasKey && r == png.key[0] && g == png.key[1] && b == png.key[2];
          out[x] = Argb(clear ? 0 : 255, To8(r), To8(g), To8(b));
        }
      }
      break;
    case kGreyAlpha:
      if (d == 8) {
        for (int32_t x = 0; x < count; ++x) out[x] = Argb(in[2 * x + 1], in[2 * x], in[2 * x], in[2 * x]);
      } else {
        for (int32_t x = 0; x < count; ++x) {
          const uint8_t *p = in + 4 * x;
          uint8_t g = To8((p[0] << 8) | p[1]);
          out[x] = Argb(Alpha8((p[2] << 8) | p[3]), g, g, g);
        }
      }
      break;
    case kRgba:
      if (d == 8) {
        for (int32_t x = 0; x < count; ++x) {
          const uint8_t *p = in + 4 * x;
          out[x] = Argb(p[3], p[0], p[1], p[2]);
        }
      } else {
        for (int32_t x = 0; x < count; ++x) {
          const uint8_t *p = in + 8 * x;
          out[x] = Argb(Alpha8((p[6] << 8) | p[7]), To8((p[0] << 8) | p[1]), To8((p[2] << 8) | p[3]),
                        To8((p[4] << 8) | p[5]));
        }
      }
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// Inflating the concatenated IDAT chunks

// zlib's state and window come from operator new like every other allocation of the library.
voidpf ZlibAllocate(voidpf, uInt items, uInt size) {
  if (size != 0 && items > SIZE_MAX / size) return Z_NULL;
  void *block = ::operator new(size_t(items) * size, std::nothrow);
  if (block != nullptr) memset(block, 0, size_t(items) * size);
  return block;
}
void ZlibFree(voidpf, voidpf block) { ::operator delete(block); }

// The run of IDAT chunks from the first one, as their headers lay it out: where each body is and
// how long. Their CRCs are checked by whoever finishes the rows, before a row that needed a chunk's
// data is delivered: so a damaged chunk stops the rows exactly where refusing to inflate it would.
struct DataChunks {
  std::vector<const uint8_t *> bodies;  // each chunk's type and body, as its CRC covers them
  std::vector<uint32_t> lengths;
  size_t checked = 0;  // chunks whose CRC has been found right
  bool damaged = false;

  void Read(const uint8_t *data, size_t size, size_t firstIdat) {
    Chunk c;
    for (size_t pos = firstIdat; ReadChunk(data, size, pos, &c) && c.type == Tag('I', 'D', 'A', 'T'); pos = c.next) {
      bodies.push_back(c.body);
      lengths.push_back(c.length);
    }
  }
  // True when the CRCs of the first `count` chunks are right.
  bool CheckedUpTo(size_t count) {
    for (; checked < count && !damaged; ++checked) {
      Chunk c;
      c.length = lengths[checked];
      c.body = bodies[checked];
      damaged = !CrcMatches(c);
    }
    return !damaged;
  }
};

// Inflates the concatenated chunk bodies. The zlib header is read here and the deflate data is
// inflated raw: the Adler-32 check at the stream's end is left out, since the chunks' CRCs cover
// every byte, and the rows are read before the stream's end is reached anyway.
struct Inflater {
  const DataChunks *chunks = nullptr;
  size_t fed = 0;        // chunks given to zlib so far
  bool started = false;
  z_stream z;

  Inflater() {
    memset(&z, 0, sizeof(z));
    z.zalloc = ZlibAllocate;
    z.zfree = ZlibFree;
  }
  ~Inflater() {
    if (started) inflateEnd(&z);
  }
  // Reads and checks the two-byte zlib header: deflate with a window of at most 32 KiB, the check
  // bits right, no preset dictionary.
  bool Start(const DataChunks &list) {
    chunks = &list;
    uint8_t header[2];
    for (int i = 0; i < 2; ++i) {
      if (z.avail_in == 0 && !Feed()) return false;
      header[i] = *z.next_in++;
      --z.avail_in;
    }
    if ((header[0] & 15) != 8 || (header[0] >> 4) > 7 || (header[0] * 256 + header[1]) % 31 != 0 || (header[1] & 0x20))
      return false;
    int result = inflateInit2(&z, -15);
    if (result == Z_MEM_ERROR) throw std::bad_alloc();
    if (result != Z_OK) return false;
    started = true;
    return true;
  }
  // Feeds the next chunk that has data; false after the last one.
  bool Feed() {
    while (fed < chunks->bodies.size()) {
      size_t i = fed++;
      if (chunks->lengths[i] == 0) continue;
      z.next_in = const_cast<Bytef *>(chunks->bodies[i]);
      z.avail_in = chunks->lengths[i];
      return true;
    }
    return false;
  }
  // Fills out[0, n) with inflated bytes. False when the stream is corrupt or ends early.
  bool Read(uint8_t *out, size_t n) {
    z.next_out = out;
    z.avail_out = static_cast<uInt>(n);
    while (z.avail_out > 0) {
      if (z.avail_in == 0 && !Feed()) return false;
      uInt before = z.avail_in;
      int r = inflate(&z, Z_NO_FLUSH);
      if (r == Z_MEM_ERROR) throw std::bad_alloc();
      if (r == Z_STREAM_END) return z.avail_out == 0;
      if (r == Z_BUF_ERROR && z.avail_in == before && z.avail_in != 0) return false;  // no progress
      if (r != Z_OK && r != Z_BUF_ERROR) return false;
    }
    return true;
  }
};

// Ancillary and palette chunks up to the first IDAT. Returns its offset, or 0 when the data
// holds no IDAT or a chunk used is damaged.
size_t ReadChunksBeforeData(const uint8_t *data, size_t size, Png *png) {
  for (int i = 0; i < 256; ++i) png->palette[i] = 0xFF000000u;
  Chunk c;
  size_t pos = 8;
  if (!ReadChunk(data, size, pos, &c)) return 0;
  pos = c.next;  // IHDR, already read
  while (ReadChunk(data, size, pos, &c)) {
    if (c.type == Tag('I', 'D', 'A', 'T')) return pos;
    if (c.type == Tag('I', 'E', 'N', 'D')) return 0;
    if (c.type == Tag('P', 'L', 'T', 'E')) {
      if (!CrcMatches(c) || c.length % 3 != 0 || c.length / 3 > 256) return 0;
      png->paletteSize = static_cast<int>(c.length / 3);
      for (int i = 0; i < png->paletteSize; ++i)
        png->palette[i] = Argb(255, c.body[3 * i], c.body[3 * i + 1], c.body[3 * i + 2]);
    } else if (c.type == Tag('t', 'R', 'N', 'S') && CrcMatches(c)) {
      if (png->colourType == kPalette) {
        for (uint32_t i = 0; i < c.length && i < 256; ++i)
          png->palette[i] = (png->palette[i] & 0x00FFFFFFu) | (static_cast<uint32_t>(c.body[i]) << 24);
      } else if (png->colourType == kGrey && c.length >= 2) {
        png->hasKey = true;
        png->key[0] = static_cast<uint16_t>((c.body[0] << 8) | c.body[1]);
      } else if (png->colourType == kRgb && c.length >= 6) {
        png->hasKey = true;
        for (int k = 0; k < 3; ++k) png->key[k] = static_cast<uint16_t>((c.body[2 * k] << 8) | c.body[2 * k + 1]);
      }
    } else if (IsPngColourChunk(c.type) && CrcMatches(c)) {
      NotePngColourChunk(&png->colour, c.type, c.body, c.length);
    }
    pos = c.next;
  }
  return 0;
}

// A non-interlaced picture on two threads: the caller inflates rows into a ring, the worker
// unfilters, converts and hands them to the sink; without a worker the caller does both, row by row.
// Pictures below this many inflated bytes are decoded on the calling thread alone: handing rows
// over costs more than it saves.
constexpr uint64_t kWorkerMinBytes = uint64_t(1) << 20;
// The ring holds about this many bytes of rows, between 4 and 64 of them.
constexpr size_t kRingBytes = size_t(256) << 10;

struct PngRows {
  const Png *png;
  RowSink *sink;
  size_t rowBytes;               // filter byte and the row's bytes
  int32_t slots;
  std::vector<uint8_t> ring;     // `slots` filtered rows, then one row of zeros (above the first)
  std::vector<uint32_t> out;     // the converted row (used by the thread finishing a row)
  std::vector<size_t> chunksUsed;  // per slot: the data chunks fed to zlib when its row was read
  DataChunks *chunks = nullptr;
};

uint8_t *Slot(PngRows &rows, int32_t y) {
  return rows.ring.data() + (y < 0 ? size_t(rows.slots) : size_t(y % rows.slots)) * rows.rowBytes;
}

// Checks the CRCs of the chunks row y was read from, unfilters it in place against row y - 1,
// converts it and hands it on.
bool FinishRow(PngRows &rows, int32_t y) {
  if (!rows.chunks->CheckedUpTo(rows.chunksUsed[size_t(y % rows.slots)])) return false;
  uint8_t *cur = Slot(rows, y);
  const uint8_t *prev = Slot(rows, y - 1);
  size_t n = rows.rowBytes - 1;
  if (!UnfilterPngRow(cur[0], cur + 1, prev + 1, n, rows.png->filterStep)) return false;
  ConvertRow(*rows.png, cur + 1, rows.png->width, rows.out.data());
  rows.sink->PutRow(y, rows.out.data());
  return true;
}

struct PngPipeline {
  PngRows rows;
  Handover handover;  // rows are finished by either thread (see Handover)
  PngPipeline(int32_t height, int32_t slots) : rows(), handover(height, slots, 1) {}
};

// A row's finishing, as the hand-over runs it on either thread; false for a damaged row (a chunk
// whose CRC does not match, a filter type PNG does not define), which ends the rows.
struct RowFinish {
  PngRows &rows;
  bool operator()(int32_t y) const { return FinishRow(rows, y); }
};

void FinishRowsJob(void *context) {
  PngPipeline *p = static_cast<PngPipeline *>(context);
  p->handover.FinishAsFilled(RowFinish{p->rows});
}

bool DecodeRows(const Png &png, Inflater &in, DataChunks &chunks, RowSink &sink) {
  size_t n = static_cast<size_t>(png.rowBytes);
  size_t fit = kRingBytes / (n + 1);
  int32_t slots = static_cast<int32_t>(fit < 4 ? 4 : fit > 64 ? 64 : fit);
  PngPipeline p(png.height, slots);
  p.rows.png = &png;
  p.rows.sink = &sink;
  p.rows.rowBytes = n + 1;
  p.rows.slots = slots;
  p.rows.ring.assign((static_cast<size_t>(slots) + 1) * (n + 1), 0);
  p.rows.out.resize(static_cast<size_t>(png.width));
  p.rows.chunksUsed.assign(size_t(slots), 0);
  p.rows.chunks = &chunks;
  Worker worker;
  bool beside = static_cast<uint64_t>(n) * png.height >= kWorkerMinBytes && p.handover.Prepare() &&
                worker.Start(FinishRowsJob, &p, p.handover.UsedProgress());
  bool read = true;
  try {
    for (int32_t y = 0; y < png.height; ++y) {
      // A full ring: the caller finishes the oldest rows itself unless the worker is at them.
      if (beside ? !p.handover.MakeRoom(y, RowFinish{p.rows}) : p.handover.Failed()) break;
      if (DecodeInterrupted()) {
        read = false;
        break;
      }
      if (!in.Read(Slot(p.rows, y), n + 1)) {
        read = false;
        break;
      }
      p.rows.chunksUsed[size_t(y % slots)] = in.fed;
      p.handover.Filled(y);
      if (!beside) p.handover.FinishNext(RowFinish{p.rows});
    }
  } catch (...) {
    p.handover.GiveUp();
    throw;
  }
  p.handover.StopFilling();
  // The worker not come yet, or gone on: the rows left are the caller's.
  if (!worker.EndJob()) throw std::bad_alloc();
  while (p.handover.FinishNext(RowFinish{p.rows})) {
  }
  return read && !p.handover.Failed() && p.handover.Finished() == png.height;
}

bool DecodeInterlaced(const Png &png, Inflater &in, DataChunks &chunks, RowSink &sink) {
  static const int kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};  // x0, y0, dx, dy
  uint64_t pixels = static_cast<uint64_t>(png.width) * static_cast<uint64_t>(png.height);
  if (pixels > kMaxInterlacedPixels) return false;
  std::vector<uint32_t> image(static_cast<size_t>(pixels));  // transparent black where no pass reaches
  size_t n = static_cast<size_t>(png.rowBytes);
  std::vector<uint8_t> rows(2 * (n + 1));
  std::vector<uint32_t> out(static_cast<size_t>(png.width));
  bool ok = true;
  int32_t rowsReached = 0;  // rows below hold no pixel of any pass: they are left to the sink's black
  for (int pass = 0; pass < 7 && ok; ++pass) {
    const int *ps = kPass[pass];
    int32_t pw = (png.width - ps[0] + ps[2] - 1) / ps[2];
    int32_t ph = (png.height - ps[1] + ps[3] - 1) / ps[3];
    if (pw <= 0 || ph <= 0) continue;
    size_t pn = (static_cast<size_t>(pw) * png.bitsPerPixel + 7) / 8;
    memset(rows.data(), 0, rows.size());
    uint8_t *cur = rows.data(), *prev = rows.data() + n + 1;
    for (int32_t py = 0; py < ph; ++py) {
      if (DecodeInterrupted() || !in.Read(cur, pn + 1) || !chunks.CheckedUpTo(in.fed) ||
          !UnfilterPngRow(cur[0], cur + 1, prev + 1, pn, png.filterStep)) {
        ok = false;
        break;
      }
      ConvertRow(png, cur + 1, pw, out.data());
      const int32_t y = ps[1] + py * ps[3];
      uint32_t *dst = image.data() + static_cast<size_t>(y) * png.width;
      for (int32_t x = 0; x < pw; ++x) dst[ps[0] + x * ps[2]] = out[x];
      if (y >= rowsReached) rowsReached = y + 1;
      uint8_t *t = cur;
      cur = prev;
      prev = t;
    }
  }
  for (int32_t y = 0; y < rowsReached; ++y) sink.PutRow(y, image.data() + static_cast<size_t>(y) * png.width);
  return ok;
}

}  // namespace

bool DecodePng(const uint8_t *data, size_t size, int /*scale*/, RowSink &sink) {
  std::unique_ptr<Png> png(new Png());
  if (!ReadHeader(data, size, png.get())) return false;
  if (png->rowBytes > kMaxRowBytes) return false;
  size_t idat = ReadChunksBeforeData(data, size, png.get());
  if (idat == 0) return false;
  if (png->colourType == kPalette && png->paletteSize == 0) return false;
  if (png->interlace &&
      static_cast<uint64_t>(png->width) * static_cast<uint64_t>(png->height) > kMaxInterlacedPixels)
    return false;
  DataChunks chunks;
  chunks.Read(data, size, idat);
  png->colour.channels =
      png->colourType == kGrey || png->colourType == kGreyAlpha ? PictureChannels::kGrey : PictureChannels::kRgb;
  sink.Colour(png->colour);
  sink.Begin(png->width, png->height);
  // A stream whose header is wrong delivers no rows.
  Inflater in;
  if (!in.Start(chunks)) return false;
  return png->interlace ? DecodeInterlaced(*png, in, chunks, sink) : DecodeRows(*png, in, chunks, sink);
}

bool ProbePng(const uint8_t *data, size_t size, ImageHeader *header) {
  Png png;
  if (!ReadHeader(data, size, &png)) return false;
  if (header) {
    header->width = png.width;
    header->height = png.height;
    header->orientation = 1;
  }
  return true;
}

uint64_t PngWorkingBytes(const uint8_t *data, size_t size, int) {
  Png png;
  if (!ReadHeader(data, size, &png)) return 0;
  // Two filtered rows, one converted row and zlib's state with its 32 KiB window.
  uint64_t rows = 2 * (png.rowBytes + 1) + uint64_t(png.width) * 4 + sizeof(Png) + (uint64_t(64) << 10);
  uint64_t whole = png.interlace ? uint64_t(png.width) * uint64_t(png.height) * 4 : 0;
  return rows + whole;
}

const Decoder kPngDecoder = {ProbePng, DecodePng, PngWorkingBytes, false};

}  // namespace imgctl
