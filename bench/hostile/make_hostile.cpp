// Writes the hostile pictures of the benchmark (each at most 1 MB) and small ones of the same
// classes for the fuzz corpus:
//   make_hostile bench FOLDER     the benchmark's files
//   make_hostile corpus FOLDER    FOLDER/jpeg, FOLDER/gif, FOLDER/png, FOLDER/bmp, as imgctl/fuzz/corpus
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "imgctl/tests/flat_jpeg.h"
#include "imgctl/tests/lzw_flood_gif.h"
#include "imgctl/tests/scan_flood_jpeg.h"

namespace {

using Bytes = std::vector<uint8_t>;
using imgctl_test::FloodScans;

bool Write(const std::string &path, const Bytes &bytes) {
  FILE *file = fopen(path.c_str(), "wb");
  bool ok = file != nullptr && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (file != nullptr) fclose(file);
  if (ok) printf("%s\t%zu\n", path.c_str(), bytes.size());
  return ok;
}

void Be32(Bytes &out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}
void Le(Bytes &out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// An RGB PNG of width x height whose only IDAT holds `data` (raw, already deflated or not).
Bytes Png(uint32_t width, uint32_t height, const Bytes &data) {
  Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  auto chunk = [&](const char *type, const Bytes &body) {
    Be32(out, uint32_t(body.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    Be32(out, uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
  };
  Bytes header;
  Be32(header, width);
  Be32(header, height);
  header.insert(header.end(), {8, 2, 0, 0, 0});
  chunk("IHDR", header);
  chunk("IDAT", data);
  chunk("IEND", {});
  return out;
}

// The first rows of a grey ramp, deflated: a PNG stating a large picture over a few bytes of data.
Bytes FewRows(uint32_t width, int rows) {
  Bytes raw;
  for (int y = 0; y < rows; ++y) {
    raw.push_back(0);  // filter: none
    for (uint32_t x = 0; x < width; ++x) raw.insert(raw.end(), 3, uint8_t(x + y));
  }
  Bytes out(compressBound(uLong(raw.size())));
  uLongf length = uLongf(out.size());
  compress2(out.data(), &length, raw.data(), uLong(raw.size()), 9);
  out.resize(length);
  return out;
}

// A bottom-up BMP with a 40-byte header; `bits` 24 (no palette) or 8 (a grey palette).
Bytes Bmp(int32_t width, int32_t height, int bits, uint32_t compression, const Bytes &pixels) {
  const uint32_t palette = bits == 8 ? 256 * 4 : 0, offset = 14 + 40 + palette;
  Bytes out = {'B', 'M'};
  Le(out, offset + uint32_t(pixels.size()), 4);
  Le(out, 0, 4);
  Le(out, offset, 4);
  Le(out, 40, 4);
  Le(out, uint32_t(width), 4);
  Le(out, uint32_t(height), 4);
  Le(out, 1, 2);
  Le(out, uint32_t(bits), 2);
  Le(out, compression, 4);
  Le(out, uint32_t(pixels.size()), 4);
  Le(out, 0, 16);
  for (uint32_t i = 0; i < palette / 4; ++i) Le(out, i * 0x010101u, 4);
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

// RLE8 rows of one grey, each runs of 255 pixels and an end of line, then the end of the picture.
Bytes FlatRunLength(int32_t width, int32_t height, uint8_t grey) {
  Bytes out;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; x += 255) out.insert(out.end(), {uint8_t(width - x < 255 ? width - x : 255), grey});
    out.insert(out.end(), {0, 0});
  }
  out.insert(out.end(), {0, 1});
  return out;
}

// Rows of a deflated RGB picture of one colour: a PNG of width x height in a small file.
Bytes FlatRows(uint32_t width, uint32_t height) {
  z_stream z = {};
  deflateInit(&z, 9);
  Bytes row(size_t(width) * 3 + 1, 0), out(1 << 16);
  Bytes all;
  for (uint32_t y = 0; y <= height; ++y) {
    bool last = y == height;
    z.next_in = last ? nullptr : row.data();
    z.avail_in = last ? 0 : uInt(row.size());
    do {
      z.next_out = out.data();
      z.avail_out = uInt(out.size());
      deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      all.insert(all.end(), out.data(), out.data() + (out.size() - z.avail_out));
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  return all;
}

// A small flat JPEG whose frame comes after about `bytes` of Huffman table definitions that no scan
// uses: DHT segments of 3000 tables each, every table one code of one bit.
Bytes TableFloodJpeg(size_t bytes) {
  Bytes flat = imgctl_test::FlatJpeg(64, 64, 90, 140, 200), out(flat.begin(), flat.begin() + 2);
  const int kTables = 3000, kTableBytes = 18;
  const int length = 2 + kTables * kTableBytes;
  while (out.size() + size_t(length) + 2 < bytes) {
    out.insert(out.end(), {0xFF, 0xC4, uint8_t(length >> 8), uint8_t(length)});
    for (int t = 0; t < kTables; ++t) {
      out.insert(out.end(), {0x10, 1});  // AC table 0: one code of length 1 ...
      out.insert(out.end(), 15, 0);
      out.push_back(0x00);               // ... for the end of block
    }
  }
  out.insert(out.end(), flat.begin() + 2, flat.end());
  return out;
}

bool Bench(const std::string &folder) {
  const uint32_t kMiB = 1 << 20;
  return Write(folder + "/jpeg_refine_flood_2048_grey.jpg", imgctl_test::ScanFloodJpeg(2048, 2048, false, 1000, FloodScans::kRefine)) &&
         Write(folder + "/jpeg_refine_flood_4096_420.jpg", imgctl_test::ScanFloodJpeg(4096, 4096, true, 1000, FloodScans::kRefine)) &&
         // 65500 x 4096: as wide as libjpeg makes the photograph they are set against.
         Write(folder + "/jpeg_refine_flood_65500x4096_grey.jpg", imgctl_test::ScanFloodJpeg(65500, 4096, false, 1000, FloodScans::kRefine)) &&
         Write(folder + "/jpeg_first_flood_65500x4096_grey.jpg", imgctl_test::ScanFloodJpeg(65500, 4096, false, 1000, FloodScans::kFirst)) &&
         Write(folder + "/jpeg_table_flood_64.jpg", TableFloodJpeg(kMiB - 64)) &&
         Write(folder + "/gif_lzw_flood_1000.gif", imgctl_test::LzwFloodGif(1000, 1000, 1000, 1000, kMiB / 256 * 255 - 256)) &&
         Write(folder + "/png_short_8192.png", Png(8192, 8192, FewRows(8192, 16))) &&
         Write(folder + "/png_flat_8192.png", Png(8192, 8192, FlatRows(8192, 8192))) &&
         Write(folder + "/bmp_short_8192.bmp", Bmp(8192, 8192, 24, 0, Bytes(kMiB - 64, 0x80))) &&
         Write(folder + "/bmp_rle8_flat_8000.bmp", Bmp(8000, 8000, 8, 1, FlatRunLength(8000, 8000, 0x80)));
}

bool Corpus(const std::string &folder) {
  for (const char *type : {"jpeg", "gif", "png", "bmp"}) mkdir((folder + "/" + type).c_str(), 0755);
  return Write(folder + "/jpeg/scan_flood_refine_2048_grey.jpg", imgctl_test::ScanFloodJpeg(2048, 2048, false, 1000, FloodScans::kRefine)) &&
         Write(folder + "/jpeg/scan_flood_refine_1024_420.jpg", imgctl_test::ScanFloodJpeg(1024, 1024, true, 1000, FloodScans::kRefine)) &&
         Write(folder + "/jpeg/scan_flood_first_2048_grey.jpg", imgctl_test::ScanFloodJpeg(2048, 2048, false, 1000, FloodScans::kFirst)) &&
         Write(folder + "/jpeg/table_flood_64.jpg", TableFloodJpeg(250000)) &&
         Write(folder + "/gif/lzw_flood_64x48.gif", imgctl_test::LzwFloodGif(100, 80, 64, 48, 200000)) &&
         Write(folder + "/png/short_2048.png", Png(2048, 2048, FewRows(2048, 4))) &&
         Write(folder + "/bmp/short_2048.bmp", Bmp(2048, 2048, 24, 0, Bytes(6144, 0x80))) &&
         Write(folder + "/bmp/rle8_flat_2048.bmp", Bmp(2048, 2048, 8, 1, FlatRunLength(2048, 2048, 0x80)));
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 3 && strcmp(argv[1], "bench") == 0) return Bench(argv[2]) ? 0 : 1;
  if (argc == 3 && strcmp(argv[1], "corpus") == 0) return Corpus(argv[2]) ? 0 : 1;
  fprintf(stderr, "usage: make_hostile bench|corpus FOLDER\n");
  return 2;
}
