// libFuzzer target: a file's bytes through header probe, limits, decode, resample and orientation.
// Built once per picture type (FUZZ_FORMAT_JPEG and so on) so that each run stays on its decoder,
// and once for any type (FUZZ_FORMAT_ANY) through the signature sniffing.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "imgctl/core/limits.h"
#include "imgctl/core/picture.h"

namespace {

#if defined(FUZZ_FORMAT_JPEG)
constexpr imgctl::Format kFormat = imgctl::Format::kJpeg;
#elif defined(FUZZ_FORMAT_PNG)
constexpr imgctl::Format kFormat = imgctl::Format::kPng;
#elif defined(FUZZ_FORMAT_GIF)
constexpr imgctl::Format kFormat = imgctl::Format::kGif;
#elif defined(FUZZ_FORMAT_BMP)
constexpr imgctl::Format kFormat = imgctl::Format::kBmp;
#else
constexpr imgctl::Format kFormat = imgctl::Format::kUnknown;
#endif

// Pictures past this many pixels decode correctly but slowly; the run spends its time on smaller ones.
constexpr int64_t kFuzzMaxPixels = 4 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (kFormat != imgctl::Format::kUnknown && imgctl::SniffFormat(data, size) != kFormat) return -1;
  imgctl::Picture picture;
  if (!imgctl::OpenPicture(imgctl::FileBytes(data, data + size), &picture)) return 0;
  if (int64_t(picture.header.width) * picture.header.height > kFuzzMaxPixels) return 0;
  // Once at the stored size, once shrunk (scaled decode), once enlarged a little.
  int32_t width = picture.width, height = picture.height;
  (void)imgctl::PicturePixels(&picture);
  imgctl::ResizePicture(&picture, width / 3 + 1, height / 5 + 1);
  const imgctl::Pixels &small = imgctl::PicturePixels(&picture);
  if (small.size() != size_t(picture.width) * size_t(picture.height)) __builtin_trap();
  if (width * 3 <= imgctl::kMaxEdge && height <= 64 && width <= 64) {
    imgctl::ResizePicture(&picture, width * 3, height + 1);
    (void)imgctl::PicturePixels(&picture);
  }
  return 0;
}
