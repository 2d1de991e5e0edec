// Native benchmark of embedded colour profiles: the same photo with and without an Adobe RGB (1998) profile through
// our whole pipeline, by turns in one process, and where the conversion to sRGB costs least and loses least: on the
// decoded rows before the resampler, or on the resampled picture.
//   colour_bench FOLDER PROFILE [RUNS]   prints the table and the conversion's own speed
//   colour_bench write FOLDER PROFILE    writes each photo of the table with the profile as tagged_<name> into
//                                        FOLDER, for the same comparison under Wine (bench/colour_wine.py)
// The tagged files are made from the untagged ones (an APP2 segment or an iCCP chunk added), so that both hold the
// same compressed pixels.
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "bench/psnr.h"
#include "imgctl/core/colour_profile.h"
#include "imgctl/core/colour_transform.h"
#include "imgctl/core/icc_profile.h"
#include "imgctl/core/picture.h"
#include "imgctl/core/resampler.h"
#include "imgctl/native/file_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;
int g_runs = 7;

void Put32(Bytes &b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

// The profile in APP2 segments right after SOI.
Bytes TaggedJpeg(const Bytes &jpeg, const Bytes &profile) {
  constexpr size_t kPart = 65519;  // the most one APP2 segment holds after its 14-byte header
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  size_t parts = (profile.size() + kPart - 1) / kPart;
  for (size_t n = 0; n < parts; ++n) {
    size_t from = n * kPart, to = std::min(profile.size(), from + kPart);
    size_t length = 2 + 14 + (to - from);
    const char marker[] = "ICC_PROFILE";
    out.insert(out.end(), {0xFF, 0xE2, uint8_t(length >> 8), uint8_t(length)});
    out.insert(out.end(), marker, marker + 12);
    out.insert(out.end(), {uint8_t(n + 1), uint8_t(parts)});
    out.insert(out.end(), profile.begin() + long(from), profile.begin() + long(to));
  }
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// The profile in an iCCP chunk right after IHDR.
Bytes TaggedPng(const Bytes &png, const Bytes &profile) {
  uLongf packedSize = compressBound(uLong(profile.size()));
  Bytes packed(packedSize);
  compress(packed.data(), &packedSize, profile.data(), uLong(profile.size()));
  Bytes chunk;
  Put32(chunk, uint32_t(7 + packedSize));  // the name "bench", its 0, the compression method
  chunk.insert(chunk.end(), {'i', 'C', 'C', 'P', 'b', 'e', 'n', 'c', 'h', 0, 0});
  chunk.insert(chunk.end(), packed.begin(), packed.begin() + long(packedSize));
  Put32(chunk, uint32_t(crc32(0, chunk.data() + 4, uInt(chunk.size() - 4))));
  Bytes out(png.begin(), png.begin() + 33);  // signature and IHDR
  out.insert(out.end(), chunk.begin(), chunk.end());
  out.insert(out.end(), png.begin() + 33, png.end());
  return out;
}

void Fit(int w, int h, int boxW, int boxH, int *dw, int *dh) {
  double x = double(boxW) / w, y = double(boxH) / h, ratio = x <= y ? x : y;
  *dw = int(w * ratio);
  *dh = int(h * ratio);
}

// The library's own pipeline from the file's bytes to the fitted picture.
imgctl::Pixels Library(const Bytes &data, int dw, int dh) {
  imgctl::Picture picture;
  if (!imgctl::OpenPicture(imgctl::FileBytes(data.begin(), data.end()), &picture)) return {};
  imgctl::ResizePicture(&picture, dw, dh);
  imgctl::PicturePixels(&picture);
  return std::move(picture.pixels);
}

// Converts each row before passing it to the resampler.
class ConvertingSink final : public imgctl::RowSink {
 public:
  ConvertingSink(imgctl::RowSink &next, const imgctl::ColourTransform &transform)
      : next_(next), transform_(transform) {}
  void Begin(int32_t width, int32_t height) override {
    row_.resize(size_t(width));
    next_.Begin(width, height);
  }
  void PutRow(int32_t y, const uint32_t *pixels) override {
    memcpy(row_.data(), pixels, row_.size() * 4);
    imgctl::ApplyColourTransform(transform_, row_.data(), row_.size());
    next_.PutRow(y, row_.data());
  }

 private:
  imgctl::RowSink &next_;
  const imgctl::ColourTransform &transform_;
  std::vector<uint32_t> row_;
};

enum class Placement { kRows, kResult };

// The untagged file decoded at `scale` (1: full size) and resampled, converted on the rows or on the result.
imgctl::Pixels Placed(const Bytes &data, int dw, int dh, int scale, const imgctl::ColourTransform &transform,
                      Placement placement) {
  imgctl::Picture picture;
  if (!imgctl::OpenPicture(imgctl::FileBytes(data.begin(), data.end()), &picture)) return {};
  imgctl::Resampler resampler(dw, dh, scale > 1 ? picture.header.width : 0, scale > 1 ? picture.header.height : 0);
  ConvertingSink converting(resampler, transform);
  imgctl::RowSink &sink = placement == Placement::kRows ? static_cast<imgctl::RowSink &>(converting) : resampler;
  picture.decoder->decode(picture.bytes.data(), picture.bytes.size(), scale, sink);
  imgctl::Pixels result = resampler.Finish();
  if (placement == Placement::kResult) imgctl::ApplyColourTransform(transform, result.data(), result.size());
  return result;
}

// Keeps every decoded row.
class WholeSink final : public imgctl::RowSink {
 public:
  void Begin(int32_t width, int32_t height) override {
    width_ = width;
    height_ = height;
    pixels_.assign(size_t(width) * size_t(height), 0xFF000000u);
  }
  void PutRow(int32_t y, const uint32_t *pixels) override {
    memcpy(&pixels_[size_t(y) * size_t(width_)], pixels, size_t(width_) * 4);
  }
  int32_t width_ = 0, height_ = 0;
  std::vector<uint32_t> pixels_;
};

// The fitted picture as light averages: the full-size decode converted exactly to linear sRGB, each target
// pixel the area average of that light, then sRGB's curve. Neither placement averages light; this shows which
// comes closer to it.
imgctl::Pixels LinearLight(const Bytes &data, int dw, int dh, const imgctl::ColourProfile &profile) {
  imgctl::Picture picture;
  if (!imgctl::OpenPicture(imgctl::FileBytes(data.begin(), data.end()), &picture)) return {};
  WholeSink whole;
  picture.decoder->decode(picture.bytes.data(), picture.bytes.size(), 1, whole);
  const int32_t w = whole.width_, h = whole.height_;
  imgctl::Matrix3 fromXyz, matrix;
  imgctl::Invert(imgctl::SrgbToXyz(), fromXyz);
  imgctl::Multiply(fromXyz, profile.toXyz, matrix);
  float linear[3][256];
  for (int c = 0; c < 3; ++c)
    for (int v = 0; v < 256; ++v) linear[c][v] = float(imgctl::EvaluateToneCurve(profile.curves[c], v / 255.0));
  imgctl::AxisTaps across = imgctl::BuildAxisTaps(w, dw), down = imgctl::BuildAxisTaps(h, dh);
  std::vector<float> narrow(size_t(dw) * size_t(h) * 3);
  std::vector<float> light(size_t(w) * 3);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint32_t p = whole.pixels_[size_t(y) * size_t(w) + size_t(x)];
      float in[3] = {linear[0][(p >> 16) & 0xFF], linear[1][(p >> 8) & 0xFF], linear[2][p & 0xFF]};
      for (int r = 0; r < 3; ++r) {
        double v = matrix[r][0] * in[0] + matrix[r][1] * in[1] + matrix[r][2] * in[2];
        light[size_t(x) * 3 + size_t(r)] = float(v < 0 ? 0 : v > 1 ? 1 : v);
      }
    }
    for (int32_t j = 0; j < dw; ++j)
      for (int32_t k = 0; k < across.count[size_t(j)]; ++k) {
        float weight = across.weights[size_t(j) * size_t(across.stride) + size_t(k)] / float(1 << imgctl::kWeightBits);
        for (int r = 0; r < 3; ++r)
          narrow[(size_t(y) * size_t(dw) + size_t(j)) * 3 + size_t(r)] +=
              weight * light[size_t(across.first[size_t(j)] + k) * 3 + size_t(r)];
      }
  }
  imgctl::Pixels out(size_t(dw) * size_t(dh));
  for (int32_t i = 0; i < dh; ++i)
    for (int32_t j = 0; j < dw; ++j) {
      float sum[3] = {0, 0, 0};
      for (int32_t k = 0; k < down.count[size_t(i)]; ++k) {
        float weight = down.weights[size_t(i) * size_t(down.stride) + size_t(k)] / float(1 << imgctl::kWeightBits);
        for (int r = 0; r < 3; ++r)
          sum[r] += weight * narrow[(size_t(down.first[size_t(i)] + k) * size_t(dw) + size_t(j)) * 3 + size_t(r)];
      }
      uint32_t pixel = 0xFF000000u;
      for (int r = 0; r < 3; ++r) pixel |= uint32_t(lround(imgctl::SrgbEncode(sum[r]) * 255)) << (16 - 8 * r);
      out[size_t(i) * size_t(dw) + size_t(j)] = pixel;
    }
  return out;
}

double MedianMs(const std::function<void()> &work, std::vector<double> &times) {
  auto start = std::chrono::steady_clock::now();
  work();
  times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  std::vector<double> sorted = times;
  std::sort(sorted.begin(), sorted.end());
  return sorted[sorted.size() / 2];
}

// Medians of several pieces of work run by turns, so that each meets the same load.
std::vector<double> ByTurns(const std::vector<std::function<void()>> &work) {
  for (const auto &w : work) w();  // warm-up
  std::vector<std::vector<double>> times(work.size());
  std::vector<double> medians(work.size());
  for (int i = 0; i < g_runs; ++i)
    for (size_t k = 0; k < work.size(); ++k) medians[k] = MedianMs(work[k], times[k]);
  return medians;
}

struct Case {
  const char *name;
  const char *file;
  bool jpeg;
  int boxW, boxH;
};

}  // namespace

const Case kCases[] = {
    {"JPEG 4000x3000 q90", "photo_4000x3000.jpg", true, 1920, 1080},
    {"JPEG 6000x4000 q90", "photo_6000x4000.jpg", true, 3840, 2160},
    {"JPEG 4000x3000 q90 progressive", "photo_4000x3000_progressive.jpg", true, 1920, 1080},
    {"PNG 4000x3000", "photo_4000x3000.png", false, 1920, 1080},
    {"JPEG 800x600 q90 (enlarged)", "photo_800x600.jpg", true, 1920, 1080},
};

// The tagged copy of every photo of the table, beside it.
int WriteTagged(const std::string &dir, const Bytes &profile) {
  for (const Case &c : kCases) {
    Bytes plain = ReadFileBytes(dir + "/" + c.file);
    if (plain.empty()) continue;
    Bytes tagged = c.jpeg ? TaggedJpeg(plain, profile) : TaggedPng(plain, profile);
    std::string path = dir + "/tagged_" + c.file;
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr || fwrite(tagged.data(), 1, tagged.size(), file) != tagged.size()) return 1;
    fclose(file);
  }
  return 0;
}

int main(int argc, char **argv) {
  if (argc < 3) return 2;
  if (strcmp(argv[1], "write") == 0) return argc < 4 ? 2 : WriteTagged(argv[2], ReadFileBytes(argv[3]));
  std::string dir = argv[1];
  Bytes profile = ReadFileBytes(argv[2]);
  if (argc > 3) g_runs = atoi(argv[3]) > 0 ? atoi(argv[3]) : g_runs;
  imgctl::ColourProfile parsed;
  imgctl::ColourTransform transform;
  if (!imgctl::ReadIccProfile(profile.data(), profile.size(), &parsed) ||
      !imgctl::MakeColourTransform(parsed, &transform)) {
    printf("profile %s not usable\n", argv[2]);
    return 1;
  }
  printf("Medians of %d runs, milliseconds, by turns in one process: the same photo without and with an embedded "
         "Adobe RGB (1998) profile through the whole pipeline (load, fit, decode, resample, convert), and the "
         "conversion placed on the decoded rows or on the resampled picture. PSNR of each placement against "
         "the full-size decode converted pixel by pixel and then area-averaged (as the library averages untagged "
         "pictures), and against the area average of the light itself.\n\n",
         g_runs);
  printf("| Case (fit into) | Untagged ms | Tagged ms | Ratio | Target | Rows ms | Result ms | PSNR rows | "
         "PSNR result | PSNR rows, light | PSNR result, light |\n");
  printf("| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |\n");
  for (const Case &c : kCases) {
    Bytes plain = ReadFileBytes(dir + "/" + c.file);
    imgctl::Picture probe;
    if (plain.empty() || !imgctl::OpenPicture(imgctl::FileBytes(plain.begin(), plain.end()), &probe)) {
      printf("| %s | missing | | | | | | | | | |\n", c.name);
      continue;
    }
    Bytes tagged = c.jpeg ? TaggedJpeg(plain, profile) : TaggedPng(plain, profile);
    int dw, dh;
    Fit(probe.width, probe.height, c.boxW, c.boxH, &dw, &dh);
    int scale = c.jpeg ? imgctl::WorkingScale(probe, imgctl::DecodeScale(probe.width, probe.height, dw, dh)) : 1;
    imgctl::Pixels untaggedOut, taggedOut, rows, result;
    std::vector<double> t = ByTurns({[&] { untaggedOut = Library(plain, dw, dh); },
                                     [&] { taggedOut = Library(tagged, dw, dh); },
                                     [&] { rows = Placed(plain, dw, dh, scale, transform, Placement::kRows); },
                                     [&] { result = Placed(plain, dw, dh, scale, transform, Placement::kResult); }});
    imgctl::Pixels reference = Placed(plain, dw, dh, 1, transform, Placement::kRows);
    imgctl::Pixels light = LinearLight(plain, dw, dh, parsed);
    printf("| %s -> %dx%d (%dx%d) | %.1f | %.1f | %.2f | <= 1.10 | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f |\n",
           c.name, dw, dh, c.boxW, c.boxH, t[0], t[1], t[1] / t[0], t[2], t[3], Psnr(rows, reference),
           Psnr(result, reference), Psnr(rows, light), Psnr(result, light));
  }
  // The conversion alone over a fitted photo's pixels.
  Bytes plain = ReadFileBytes(dir + "/photo_4000x3000.jpg");
  imgctl::Pixels fitted = Library(plain, 1440, 1080);
  if (!fitted.empty()) {
    std::vector<double> times;
    double ms = 0;
    for (int i = 0; i < g_runs * 3; ++i) {
      imgctl::Pixels copy = fitted;
      ms = MedianMs([&] { imgctl::ApplyColourTransform(transform, copy.data(), copy.size()); }, times);
    }
    printf("\nThe conversion alone, 1440x1080 pixels of the photo: %.2f ms (%.2f ns a pixel).\n", ms,
           ms * 1e6 / double(fitted.size()));
  }
  return 0;
}
