// Benchmark: our JPEG and PNG decoders against libjpeg-turbo and libpng, fitting photos to a screen.
// Both sides feed the same streaming area resampler; medians of several runs, one process.
#include <math.h>
#include <stdio.h>
#include <string.h>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "imgctl/core/jpeg_decoder.h"
#include "imgctl/core/png_decoder.h"

namespace {

constexpr int kRuns = 7;

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::vector<uint8_t> bytes;
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return bytes;
  fseek(f, 0, SEEK_END);
  long n = ftell(f);
  fseek(f, 0, SEEK_SET);
  bytes.resize(static_cast<size_t>(n > 0 ? n : 0));
  if (fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
  fclose(f);
  return bytes;
}

// Streaming area (box with fractional coverage) resampler: every source pixel contributes to
// the destination pixels it overlaps, in proportion to the overlap.
class AreaResampler : public imgctl::RowSink {
 public:
  AreaResampler(int dstW, int dstH) : dstW_(dstW), dstH_(dstH) {}
  void Begin(int32_t w, int32_t h) override {
    srcW_ = w;
    srcH_ = h;
    column_.resize(static_cast<size_t>(w));
    for (int i = 0; i < w; ++i) {
      // Source pixel i spans [i * dstW, (i + 1) * dstW) in units where a destination pixel is srcW wide.
      int64_t a = static_cast<int64_t>(i) * dstW_, b = a + dstW_;
      int j = static_cast<int>(a / w);
      int64_t edge = static_cast<int64_t>(j + 1) * w;
      Span &s = column_[static_cast<size_t>(i)];
      s.first = j;
      s.w0 = static_cast<float>((std::min(b, edge) - a)) / dstW_;
      s.w1 = 1.0f - s.w0;
    }
    line_.assign(static_cast<size_t>(dstW_) * 3, 0.f);
    acc_.assign(static_cast<size_t>(dstW_) * 3 * 2, 0.f);
    out.assign(static_cast<size_t>(dstW_) * dstH_, 0);
  }
  void PutRow(int32_t y, const uint32_t *px) override {
    std::fill(line_.begin(), line_.end(), 0.f);
    float *l = line_.data();
    for (int i = 0; i < srcW_; ++i) {
      const Span &s = column_[static_cast<size_t>(i)];
      float r = (px[i] >> 16) & 0xFF, g = (px[i] >> 8) & 0xFF, b = px[i] & 0xFF;
      float *d = l + 3 * s.first;
      d[0] += r * s.w0;
      d[1] += g * s.w0;
      d[2] += b * s.w0;
      if (s.w1 > 0) {
        d[3] += r * s.w1;
        d[4] += g * s.w1;
        d[5] += b * s.w1;
      }
    }
    int64_t a = static_cast<int64_t>(y) * dstH_, bEnd = a + dstH_;
    int k = static_cast<int>(a / srcH_);
    int64_t edge = static_cast<int64_t>(k + 1) * srcH_;
    float w0 = static_cast<float>(std::min(bEnd, edge) - a) / dstH_;
    float *cur = acc_.data(), *next = acc_.data() + 3 * dstW_;
    for (int x = 0; x < 3 * dstW_; ++x) cur[x] += l[x] * w0;
    if (w0 < 1.0f)
      for (int x = 0; x < 3 * dstW_; ++x) next[x] += l[x] * (1.0f - w0);
    if (bEnd >= edge || y == srcH_ - 1) {
      // Destination row k is complete.
      float norm = static_cast<float>(dstW_) * dstH_ / (static_cast<float>(srcW_) * srcH_);
      uint32_t *o = out.data() + static_cast<size_t>(k) * dstW_;
      for (int x = 0; x < dstW_; ++x) {
        auto c = [&](int i) { return static_cast<uint32_t>(std::min(255.f, cur[3 * x + i] * norm + 0.5f)); };
        o[x] = 0xFF000000u | (c(0) << 16) | (c(1) << 8) | c(2);
      }
      std::copy(next, next + 3 * dstW_, cur);
      std::fill(next, next + 3 * dstW_, 0.f);
    }
  }
  std::vector<uint32_t> out;

 private:
  struct Span {
    int first;
    float w0, w1;
  };
  int dstW_, dstH_, srcW_ = 0, srcH_ = 0;
  std::vector<Span> column_;
  std::vector<float> line_, acc_;
};

class NullSink : public imgctl::RowSink {
 public:
  void Begin(int32_t, int32_t) override {}
  void PutRow(int32_t, const uint32_t *px) override { sum += px[0]; }
  uint32_t sum = 0;
};

void Fit(int w, int h, int boxW, int boxH, int *dw, int *dh) {
  double s = std::min(static_cast<double>(boxW) / w, static_cast<double>(boxH) / h);
  *dw = std::max(1, static_cast<int>(lround(w * s)));
  *dh = std::max(1, static_cast<int>(lround(h * s)));
}

// The smallest decode size not below the target: the largest DCT scale that keeps it.
int PickScale(int w, int h, int dw, int dh) {
  for (int s : {8, 4, 2})
    if ((w + s - 1) / s >= dw && (h + s - 1) / s >= dh) return s;
  return 1;
}

// libjpeg-turbo's DCT-scaled decode to BGRA rows (the 0xAARRGGBB of the sink).
bool TurboDecode(const std::vector<uint8_t> &data, int scale, imgctl::RowSink &sink) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = 1;
  cinfo.scale_denom = static_cast<unsigned>(scale);
  cinfo.out_color_space = JCS_EXT_BGRA;
  jpeg_start_decompress(&cinfo);
  sink.Begin(static_cast<int32_t>(cinfo.output_width), static_cast<int32_t>(cinfo.output_height));
  std::vector<uint32_t> row(cinfo.output_width);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW r = reinterpret_cast<JSAMPROW>(row.data());
    int y = static_cast<int>(cinfo.output_scanline);
    jpeg_read_scanlines(&cinfo, &r, 1);
    sink.PutRow(y, row.data());
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

struct PngSource {
  const std::vector<uint8_t> *data;
  size_t pos;
};

// libpng's full decode of the whole picture into memory as BGRA.
bool LibpngDecode(const std::vector<uint8_t> &data, std::vector<uint32_t> *image) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  PngSource src = {&data, 0};
  png_set_read_fn(png, &src, [](png_structp p, png_bytep out, png_size_t n) {
    PngSource *s = static_cast<PngSource *>(png_get_io_ptr(p));
    if (s->pos + n > s->data->size()) png_error(p, "short");
    memcpy(out, s->data->data() + s->pos, n);
    s->pos += n;
  });
  png_read_info(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  image->resize(static_cast<size_t>(w) * h);
  for (int p = 0; p < passes; ++p)
    for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, reinterpret_cast<png_bytep>(image->data() + y * w), nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

double MedianMs(const std::function<void()> &f) {
  std::vector<double> t;
  f();  // warm-up
  for (int i = 0; i < kRuns; ++i) {
    auto a = std::chrono::steady_clock::now();
    f();
    t.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - a).count());
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

double Psnr(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b) {
  double se = 0;
  for (size_t i = 0; i < a.size(); ++i)
    for (int c = 0; c < 3; ++c) {
      double d = static_cast<double>((a[i] >> (8 * c)) & 0xFF) - static_cast<double>((b[i] >> (8 * c)) & 0xFF);
      se += d * d;
    }
  double mse = se / (3.0 * static_cast<double>(a.size()));
  return mse == 0 ? 99.0 : 10 * log10(255.0 * 255.0 / mse);
}

void JpegCase(const std::string &name, const std::string &path, int boxW, int boxH) {
  std::vector<uint8_t> data = ReadFile(path);
  imgctl::ImageHeader h;
  if (data.empty() || !imgctl::ProbeJpeg(data.data(), data.size(), &h)) {
    printf("%-44s missing %s\n", name.c_str(), path.c_str());
    return;
  }
  int dw, dh;
  Fit(h.width, h.height, boxW, boxH, &dw, &dh);
  int scale = PickScale(h.width, h.height, dw, dh);
  AreaResampler ours(dw, dh), peer(dw, dh), reference(dw, dh);
  double tOurs = MedianMs([&] { imgctl::DecodeJpeg(data.data(), data.size(), scale, ours); });
  double tPeer = MedianMs([&] { TurboDecode(data, scale, peer); });
  TurboDecode(data, 1, reference);
  printf("%-44s 1/%d  %8.1f  %8.1f  %6.2f  %5.1f dB (peer %.1f dB)\n",
         (name + " -> " + std::to_string(dw) + "x" + std::to_string(dh)).c_str(), scale, tOurs, tPeer, tOurs / tPeer,
         Psnr(ours.out, reference.out), Psnr(peer.out, reference.out));
}

void PngCase(const std::string &name, const std::string &path, int boxW, int boxH) {
  std::vector<uint8_t> data = ReadFile(path);
  imgctl::ImageHeader h;
  if (data.empty() || !imgctl::ProbePng(data.data(), data.size(), &h)) {
    printf("%-44s missing %s\n", name.c_str(), path.c_str());
    return;
  }
  int dw, dh;
  Fit(h.width, h.height, boxW, boxH, &dw, &dh);
  AreaResampler ours(dw, dh);
  NullSink null;
  std::vector<uint32_t> image;
  double tOurs = MedianMs([&] { imgctl::DecodePng(data.data(), data.size(), 1, ours); });
  double tDecode = MedianMs([&] { imgctl::DecodePng(data.data(), data.size(), 1, null); });
  double tPeer = MedianMs([&] { LibpngDecode(data, &image); });
  printf("%-44s full  %8.1f  %8.1f  %6.2f  (decode alone %.1f ms, %.2f x)\n",
         (name + " -> " + std::to_string(dw) + "x" + std::to_string(dh)).c_str(), tOurs, tPeer, tOurs / tPeer, tDecode,
         tDecode / tPeer);
}

}  // namespace

int main(int argc, char **argv) {
  std::string dir = argc > 1 ? argv[1] : ".";
  printf("Medians of %d runs, ms. JPEG peer: libjpeg-turbo %d DCT-scaled decode + the same area resample;\n"
         "PSNR of ours against libjpeg-turbo's full decode + the same resample. PNG peer: libpng full decode.\n\n",
         kRuns, LIBJPEG_TURBO_VERSION_NUMBER);
  printf("%-44s %-5s %8s  %8s  %6s  %s\n", "case", "scale", "ours", "peer", "ratio", "quality");
  JpegCase("baseline q90 4000x3000", dir + "/photo_4000x3000.jpg", 1920, 1080);
  JpegCase("progressive q90 4000x3000", dir + "/photo_4000x3000_progressive.jpg", 1920, 1080);
  JpegCase("baseline q90 6000x4000", dir + "/photo_6000x4000.jpg", 1920, 1080);
  JpegCase("baseline q90 6000x4000", dir + "/photo_6000x4000.jpg", 3840, 2160);
  PngCase("png 4000x3000", dir + "/photo_4000x3000.png", 1920, 1080);
  return 0;
}
