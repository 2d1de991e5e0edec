// Native benchmark program for the picture library's core, and the stb peer, run by bench/run.sh.
//   imgctl_bench fit FILE W H       load, fit into W x H (as picture mode 4 does), decode, copy to a screen buffer
//   imgctl_bench stb FILE W H       the same with stb_image and stb_image_resize
//   imgctl_bench resample REPS      4000 x 3000 -> 1440 x 1080 in memory: our resampler and stb_image_resize,
//                                   median milliseconds of REPS runs each
//   imgctl_bench decode RUNS W H FILE...  per file, from its bytes in memory: open, fit into W x H, decode;
//                                   prints the name and the median milliseconds of RUNS runs, or "refused"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

#include "imgctl/core/jpeg_baseline.h"
#include "imgctl/core/jpeg_frame.h"
#include "imgctl/core/jpeg_markers.h"
#include "imgctl/core/picture.h"
#include "imgctl/core/resampler.h"
#include "imgctl/core/vector_kernels.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image.h>
#include <stb/stb_image_resize.h>
#include "imgctl/native/file_bytes.h"

namespace {

// The fitted size of picture mode 4: scaled by the smaller ratio.
void Fit(int width, int height, int screenWidth, int screenHeight, int *fitWidth, int *fitHeight) {
  double x = double(screenWidth) / width, y = double(screenHeight) / height;
  double ratio = x <= y ? x : y;
  *fitWidth = int(width * ratio);
  *fitHeight = int(height * ratio);
}

int FitOurs(const char *path, int screenWidth, int screenHeight) {
  imgctl::Picture picture;
  if (!imgctl::OpenPicture(ReadFileBytes<imgctl::FileBytes>(path), &picture)) return 1;
  int width, height;
  Fit(picture.width, picture.height, screenWidth, screenHeight, &width, &height);
  imgctl::ResizePicture(&picture, width, height);
  const imgctl::Pixels &pixels = imgctl::PicturePixels(&picture);
  std::vector<uint32_t> screen(size_t(screenWidth) * size_t(screenHeight));
  for (int y = 0; y < height; ++y)
    memcpy(&screen[size_t(y) * size_t(screenWidth)], &pixels[size_t(y) * size_t(width)], size_t(width) * 4);
  return screen[size_t(screenWidth) / 2] == 0x12345678u;  // keeps the copy
}

int FitStb(const char *path, int screenWidth, int screenHeight) {
  int width, height, channels;
  unsigned char *rgba = stbi_load(path, &width, &height, &channels, 4);
  if (rgba == nullptr) return 1;
  int fitWidth, fitHeight;
  Fit(width, height, screenWidth, screenHeight, &fitWidth, &fitHeight);
  std::vector<unsigned char> out(size_t(fitWidth) * size_t(fitHeight) * 4);
  stbir_resize_uint8(rgba, width, height, 0, out.data(), fitWidth, fitHeight, 0, 4);
  stbi_image_free(rgba);
  return out[0] == 0x12 && out[1] == 0x34;
}

double Milliseconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int Resample(int repetitions) {
  const int width = 4000, height = 3000, targetWidth = 1440, targetHeight = 1080;
  // A photo-like source: smooth gradients with fine noise.
  std::vector<uint32_t> source(size_t(width) * size_t(height));
  uint32_t seed = 1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      uint32_t noise = seed >> 28;
      source[size_t(y) * width + x] = 0xFF000000u | ((x * 255 / width + noise) & 0xFF) << 16 |
                                      ((y * 255 / height + noise) & 0xFF) << 8 | ((x + y) & 0xFF);
    }
  std::vector<uint32_t> target(size_t(targetWidth) * size_t(targetHeight));
  std::vector<double> ours, stb;
  for (int i = 0; i < repetitions; ++i) {
    auto start = std::chrono::steady_clock::now();
    imgctl::ResamplePicture(source.data(), width, height, size_t(width), target.data(), targetWidth, targetHeight);
    ours.push_back(Milliseconds(start));
    start = std::chrono::steady_clock::now();
    stbir_resize_uint8(reinterpret_cast<const unsigned char *>(source.data()), width, height, 0,
                       reinterpret_cast<unsigned char *>(target.data()), targetWidth, targetHeight, 0, 4);
    stb.push_back(Milliseconds(start));
  }
  printf("%.1f %.1f\n", Median(ours), Median(stb));
  return 0;
}

// Opening, fitting and decoding from the file's bytes, timed apart from reading the file.
int Decode(int runs, int screenWidth, int screenHeight, int files, char **paths) {
  for (int i = 0; i < files; ++i) {
    const imgctl::FileBytes bytes = ReadFileBytes<imgctl::FileBytes>(paths[i]);
    std::vector<double> times;
    bool opened = true;
    for (int r = 0; r < runs && opened; ++r) {
      imgctl::FileBytes copy = bytes;
      auto start = std::chrono::steady_clock::now();
      imgctl::Picture picture;
      opened = imgctl::OpenPicture(std::move(copy), &picture);
      if (opened) {
        int width, height;
        Fit(picture.width, picture.height, screenWidth, screenHeight, &width, &height);
        imgctl::ResizePicture(&picture, width < 1 ? 1 : width, height < 1 ? 1 : height);
        (void)imgctl::PicturePixels(&picture);
      }
      times.push_back(Milliseconds(start));
    }
    if (opened)
      printf("%s\t%.1f\n", paths[i], Median(times));
    else
      printf("%s\trefused\n", paths[i]);
    fflush(stdout);
  }
  return 0;
}

// The entropy decoding alone, as a baseline decode's calling thread runs it: every block of the
// first scan decoded in order into a cleared block. Prints the fastest of the runs: one thread, so
// the fastest run is the one least disturbed by the machine's other load.
int Entropy(int runs, const char *path, bool raw) {
  namespace jpeg = imgctl::jpeg;
  const imgctl::FileBytes bytes = ReadFileBytes<imgctl::FileBytes>(path);
  std::vector<double> times;
  size_t blocks = 0;
  for (int r = 0; r < runs; ++r) {
    std::unique_ptr<jpeg::Frame> f(new jpeg::Frame());
    f->data = bytes.data();
    f->size = bytes.size();
    size_t pos = 2;
    if (jpeg::NextSegment(*f, pos, false) != jpeg::Walk::kScan || f->progressive || f->scanCount != f->count) {
      printf("%s\tnot a baseline file of one scan\n", path);
      return 1;
    }
    for (int i = 0; i < f->count; ++i) {
      jpeg::Built(f->dcTables[f->comps[i].dcTable]);
      jpeg::Built(f->acTables[f->comps[i].acTable]);
    }
    const int mcusX = (f->width + 8 * f->hmax - 1) / (8 * f->hmax);
    const int mcusY = (f->height + 8 * f->vmax - 1) / (8 * f->vmax);
    alignas(16) int16_t blk[64];
    unsigned sum = 0;  // keeps the compiler from dropping the decoded values
    blocks = 0;
    auto start = std::chrono::steady_clock::now();
    f->br.Start(f->data + pos, f->data + f->size);
    int restartsLeft = f->restartInterval;
    bool ok = true;
    for (int m = 0; m < mcusX * mcusY && ok; ++m) {
      if (f->restartInterval) {
        if (restartsLeft == 0) {
          if (!f->br.Restart()) break;
          for (int i = 0; i < f->count; ++i) f->comps[i].dcPred = 0;
          restartsLeft = f->restartInterval;
        }
        --restartsLeft;
      }
      for (int i = 0; i < f->count && ok; ++i) {
        jpeg::Component &c = f->comps[i];
        for (int b = 0; b < c.h * c.v && ok; ++b, ++blocks) {
          jpeg::ClearBlock(blk);
          const jpeg::HuffTable &dc = f->dcTables[c.dcTable], &ac = f->acTables[c.acTable];
          int result = raw ? jpeg::DecodeBlockRaw(f->br, c.dcPred, dc, ac, blk)
                           : jpeg::DecodeBlock(f->br, c.dcPred, dc, ac, f->quant[c.tq], blk);
          ok = result >= 0;
          sum += static_cast<unsigned>(result + blk[1]);
        }
      }
    }
    times.push_back(Milliseconds(start));
    if (!ok) printf("%s\tdamaged (%u)\n", path, sum);
  }
  std::sort(times.begin(), times.end());
  printf("%s\t%.2f ms\t%zu blocks\n", path, times[0], blocks);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  // As the library does at load: a 32-bit build runs the SSE2 kernels where the processor has them.
  imgctl::SetVectorKernels(imgctl::ProcessorHasSse2());
  if (argc == 5 && strcmp(argv[1], "fit") == 0) return FitOurs(argv[2], atoi(argv[3]), atoi(argv[4]));
  if (argc == 5 && strcmp(argv[1], "stb") == 0) return FitStb(argv[2], atoi(argv[3]), atoi(argv[4]));
  if (argc == 3 && strcmp(argv[1], "resample") == 0) return Resample(atoi(argv[2]));
  if (argc >= 6 && strcmp(argv[1], "decode") == 0)
    return Decode(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), argc - 5, argv + 5);
  if (argc == 4 && strcmp(argv[1], "entropy") == 0) return Entropy(atoi(argv[2]), argv[3], false);
  if (argc == 4 && strcmp(argv[1], "entropy-raw") == 0) return Entropy(atoi(argv[2]), argv[3], true);
  fprintf(stderr, "usage: imgctl_bench fit|stb FILE W H, imgctl_bench resample REPS, imgctl_bench decode RUNS W H FILE..., "
                  "imgctl_bench entropy RUNS FILE\n");
  return 2;
}
