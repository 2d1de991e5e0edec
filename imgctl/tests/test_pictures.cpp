// Test helpers for the decoders: pictures made by external tools, reference decodes, sinks.
#include "test_pictures.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "imgctl/native/file_bytes.h"

namespace imgctl_test {

void PictureSink::Begin(int32_t width, int32_t height) {
  ++begins;
  picture.width = width;
  picture.height = height;
  // Hostile headers claim pictures far larger than memory: those rows are counted, not kept.
  uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (pixels <= (uint64_t{1} << 26)) picture.pixels.assign(static_cast<size_t>(pixels), 0);
}

void PictureSink::PutRow(int32_t y, const uint32_t *pixels) {
  if (begins != 1 || y != rows || y >= picture.height) {
    orderBroken = true;
    return;
  }
  if (picture.pixels.empty()) {
    ++rows;
    return;
  }
  memcpy(picture.pixels.data() + static_cast<size_t>(y) * picture.width, pixels,
         static_cast<size_t>(picture.width) * 4);
  ++rows;
}

namespace {
std::string MakeScratch() {
  char pattern[] = "/tmp/imgctl_decoders_XXXXXX";
  const char *dir = mkdtemp(pattern);
  std::string path = dir ? dir : "/tmp";
  static std::string forCleanup;
  forCleanup = path;
  atexit([] { RunCommand("rm -rf '" + forCleanup + "'"); });
  return path;
}
}  // namespace

const std::string &ScratchDir() {
  static const std::string dir = MakeScratch();
  return dir;
}

bool RunCommand(const std::string &command) { return system(command.c_str()) == 0; }

bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes) {
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

bool ReadPnm(const std::string &path, Picture *out) {
  std::vector<uint8_t> d = ReadFileBytes(path);
  size_t pos = 0;
  auto token = [&]() -> long {
    while (pos < d.size() && (d[pos] == ' ' || d[pos] == '\n' || d[pos] == '\r' || d[pos] == '\t')) ++pos;
    long v = 0;
    while (pos < d.size() && d[pos] >= '0' && d[pos] <= '9') v = v * 10 + (d[pos++] - '0');
    return v;
  };
  if (d.size() < 2 || d[0] != 'P' || (d[1] != '5' && d[1] != '6')) return false;
  int channels = d[1] == '6' ? 3 : 1;
  pos = 2;
  long w = token(), h = token(), maxval = token();
  ++pos;
  if (w <= 0 || h <= 0 || maxval != 255 || d.size() - pos < static_cast<size_t>(w * h * channels)) return false;
  out->width = static_cast<int>(w);
  out->height = static_cast<int>(h);
  out->pixels.resize(static_cast<size_t>(w * h));
  for (size_t i = 0; i < out->pixels.size(); ++i) {
    const uint8_t *p = d.data() + pos + i * channels;
    uint32_t r = p[0], g = channels == 3 ? p[1] : p[0], b = channels == 3 ? p[2] : p[0];
    out->pixels[i] = 0xFF000000u | (r << 16) | (g << 8) | b;
  }
  return true;
}

bool ReadRgba(const std::string &path, int width, int height, Picture *out) {
  std::vector<uint8_t> d = ReadFileBytes(path);
  if (d.size() != static_cast<size_t>(width) * height * 4) return false;
  out->width = width;
  out->height = height;
  out->pixels.resize(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < out->pixels.size(); ++i) {
    const uint8_t *p = d.data() + 4 * i;
    out->pixels[i] = (static_cast<uint32_t>(p[3]) << 24) | (p[0] << 16) | (p[1] << 8) | p[2];
  }
  return true;
}

Difference Compare(const Picture &a, const Picture &b, bool alpha) {
  Difference r;
  if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size()) {
    r.meanAbs = 1e9;
    r.maxAbs = 1 << 30;
    return r;
  }
  int channels = alpha ? 4 : 3;
  uint64_t total = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    for (int c = 0; c < channels; ++c) {
      int d = static_cast<int>((a.pixels[i] >> (8 * c)) & 0xFF) - static_cast<int>((b.pixels[i] >> (8 * c)) & 0xFF);
      if (d < 0) d = -d;
      total += static_cast<uint64_t>(d);
      if (d > r.maxAbs) r.maxAbs = d;
    }
  r.meanAbs = a.pixels.empty() ? 0 : static_cast<double>(total) / (static_cast<double>(a.pixels.size()) * channels);
  return r;
}

Picture BoxAverage(const Picture &full, int s) {
  Picture out;
  out.width = (full.width + s - 1) / s;
  out.height = (full.height + s - 1) / s;
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  for (int oy = 0; oy < out.height; ++oy)
    for (int ox = 0; ox < out.width; ++ox) {
      uint32_t sum[4] = {0, 0, 0, 0}, n = 0;
      for (int y = oy * s; y < full.height && y < oy * s + s; ++y)
        for (int x = ox * s; x < full.width && x < ox * s + s; ++x, ++n)
          for (int c = 0; c < 4; ++c) sum[c] += (full.pixels[static_cast<size_t>(y) * full.width + x] >> (8 * c)) & 0xFF;
      uint32_t v = 0;
      for (int c = 0; c < 4; ++c) v |= ((sum[c] + n / 2) / n) << (8 * c);
      out.pixels[static_cast<size_t>(oy) * out.width + ox] = v;
    }
  return out;
}

bool DecodeToPicture(const imgctl::Decoder &decoder, const std::vector<uint8_t> &data, int scale,
                     PictureSink *sink) {
  return decoder.decode(data.data(), data.size(), scale, *sink);
}

}  // namespace imgctl_test
