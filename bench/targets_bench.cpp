// Native benchmark of the picture library's targets: our whole core pipeline (bytes -> fitted picture) against
// libjpeg-turbo's DCT-scaled decode and libpng's full decode, in one process, with the quality of each.
//   targets_bench FOLDER [RUNS]   prints one line per case: name, ours ms, peer ms, ratio, PSNR ours, PSNR peer
// JPEG peers feed our own streaming area resampler, so both sides pay the same resample; the quality
// reference is libjpeg-turbo's full decode through that resampler's exact area average.
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
#include <utility>
#include <vector>

#include "bench/psnr.h"
#include "imgctl/core/picture.h"
#include "imgctl/core/resampler.h"
#include "imgctl/core/vector_kernels.h"
#include "imgctl/native/file_bytes.h"

namespace {

int g_runs = 7;

// Picture mode 4's fitted size: scaled by the smaller ratio, truncated.
void Fit(int w, int h, int boxW, int boxH, int *dw, int *dh) {
  double x = double(boxW) / w, y = double(boxH) / h, ratio = x <= y ? x : y;
  *dw = int(w * ratio);
  *dh = int(h * ratio);
}

// libjpeg-turbo's decode at 1/scale, rows into the sink as 0xAARRGGBB.
void TurboDecode(const std::vector<uint8_t> &data, int scale, imgctl::RowSink &sink) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = 1;
  cinfo.scale_denom = unsigned(scale);
  cinfo.out_color_space = JCS_EXT_BGRA;
  jpeg_start_decompress(&cinfo);
  sink.Begin(int32_t(cinfo.output_width), int32_t(cinfo.output_height));
  std::vector<uint32_t> row(cinfo.output_width);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW r = reinterpret_cast<JSAMPROW>(row.data());
    int y = int(cinfo.output_scanline);
    jpeg_read_scanlines(&cinfo, &r, 1);
    sink.PutRow(y, row.data());
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
}

imgctl::Pixels TurboFitted(const std::vector<uint8_t> &data, int scale, int dw, int dh) {
  imgctl::Resampler resampler(dw, dh);
  TurboDecode(data, scale, resampler);
  return resampler.Finish();
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
  image->resize(size_t(w) * h);
  for (int p = 0; p < passes; ++p)
    for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, reinterpret_cast<png_bytep>(image->data() + y * w), nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

// Our whole core pipeline from the file's bytes: headers, fit, streamed decode and resample.
imgctl::Pixels OursFitted(const std::vector<uint8_t> &data, int boxW, int boxH) {
  imgctl::Picture picture;
  if (!imgctl::OpenPicture(imgctl::FileBytes(data.begin(), data.end()), &picture)) return {};
  int dw, dh;
  Fit(picture.width, picture.height, boxW, boxH, &dw, &dh);
  imgctl::ResizePicture(&picture, dw, dh);
  // Handed out as the peer's result is, without a copy the library itself never makes.
  imgctl::PicturePixels(&picture);
  return std::move(picture.pixels);
}

// Medians of ours and the peer run by turns, so that both meet the same load on a shared machine.
void MedianPairMs(const std::function<void()> &ours, const std::function<void()> &peer, double *oursMs,
                  double *peerMs) {
  std::vector<double> a, b;
  ours();  // warm-up
  peer();
  for (int i = 0; i < g_runs; ++i)
    for (int side = 0; side < 2; ++side) {
      auto start = std::chrono::steady_clock::now();
      (side == 0 ? ours : peer)();
      (side == 0 ? a : b).push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  *oursMs = a[a.size() / 2];
  *peerMs = b[b.size() / 2];
}

void JpegCase(const std::string &name, const std::string &path, int boxW, int boxH) {
  std::vector<uint8_t> data = ReadFileBytes(path);
  imgctl::Picture probe;
  if (data.empty() || !imgctl::OpenPicture(imgctl::FileBytes(data.begin(), data.end()), &probe)) {
    printf("%s\tmissing %s\n", name.c_str(), path.c_str());
    return;
  }
  int dw, dh;
  Fit(probe.width, probe.height, boxW, boxH, &dw, &dh);
  int scale = imgctl::DecodeScale(probe.width, probe.height, dw, dh);
  imgctl::Pixels ours, peer;
  double tOurs, tPeer;
  MedianPairMs([&] { ours = OursFitted(data, boxW, boxH); }, [&] { peer = TurboFitted(data, scale, dw, dh); }, &tOurs,
               &tPeer);
  imgctl::Pixels reference = TurboFitted(data, 1, dw, dh);
  printf("%s -> %dx%d\t%.1f\t%.1f\t%.2f\t%.1f\t%.1f\tlibjpeg-turbo 1/%d decode + area resample\n", name.c_str(), dw,
         dh, tOurs, tPeer, tOurs / tPeer, Psnr(ours, reference), Psnr(peer, reference), scale);
}

void PngCase(const std::string &name, const std::string &path, int boxW, int boxH) {
  std::vector<uint8_t> data = ReadFileBytes(path);
  if (data.empty()) {
    printf("%s\tmissing %s\n", name.c_str(), path.c_str());
    return;
  }
  imgctl::Pixels ours;
  std::vector<uint32_t> image;
  double tOurs, tPeer;
  MedianPairMs([&] { ours = OursFitted(data, boxW, boxH); }, [&] { LibpngDecode(data, &image); }, &tOurs, &tPeer);
  printf("%s\t%.1f\t%.1f\t%.2f\t-\t-\tlibpng full decode alone\n", name.c_str(), tOurs, tPeer, tOurs / tPeer);
}

}  // namespace

int main(int argc, char **argv) {
  // As the library does at load: a 32-bit build runs the SSE2 kernels where the processor has them.
  imgctl::SetVectorKernels(imgctl::ProcessorHasSse2());
  std::string dir = argc > 1 ? argv[1] : ".";
  if (argc > 2) g_runs = atoi(argv[2]) > 0 ? atoi(argv[2]) : g_runs;
  JpegCase("JPEG 4000x3000 q90", dir + "/photo_4000x3000.jpg", 1920, 1080);
  JpegCase("JPEG 6000x4000 q90", dir + "/photo_6000x4000.jpg", 3840, 2160);
  JpegCase("JPEG 4000x3000 q90 progressive", dir + "/photo_4000x3000_progressive.jpg", 1920, 1080);
  PngCase("PNG 4000x3000 -> 1440x1080", dir + "/photo_4000x3000.png", 1920, 1080);
  return 0;
}
