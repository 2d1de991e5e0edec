// libFuzzer target: a file's bytes through header probe, limits, decode, resample and orientation,
// once with the SSE2 kernels and once with the plain ones, then once more with an allocation of
// the decode failing. Built once per picture type
// (FUZZ_FORMAT_JPEG and so on) so that each run stays on its decoder, and once for any type
// (FUZZ_FORMAT_ANY) through the signature sniffing.
#include <stddef.h>
#include <stdint.h>

#include <new>
#include <vector>

#include "imgctl/core/limits.h"
#include "imgctl/core/picture.h"
#include "imgctl/core/vector_kernels.h"
#include "imgctl/tests/failing_allocations.h"

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
// 2048 x 2048 still comes in, where a file that stretches the decoder's work takes seconds per
// decode, many times a well-formed picture's, and the per-input time limit reports it.
constexpr int64_t kFuzzMaxPixels = 4 << 20;
// Pictures past this many pixels are not decoded at their stored size too, which only costs time.
constexpr int64_t kFuzzStoredSizePixels = 1 << 20;
// The allocation made to fail is picked from the input among the first this many of a decode.
constexpr uint64_t kFailingAllocations = 64;

bool HasPictureSize(const imgctl::Picture &picture, const imgctl::Pixels &pixels) {
  return pixels.size() == size_t(picture.width) * size_t(picture.height);
}

// The pipeline's pictures: at the stored size, shrunk (scaled decode), enlarged a little; none when
// the file does not open or is too large for the run.
std::vector<imgctl::Pixels> Pipeline(const uint8_t *data, size_t size) {
  std::vector<imgctl::Pixels> pictures;
  imgctl::Picture picture;
  if (!imgctl::OpenPicture(imgctl::FileBytes(data, data + size), &picture)) return pictures;
  if (int64_t(picture.header.width) * picture.header.height > kFuzzMaxPixels) return pictures;
  int32_t width = picture.width, height = picture.height;
  if (int64_t(width) * height <= kFuzzStoredSizePixels) pictures.push_back(imgctl::PicturePixels(&picture));
  imgctl::ResizePicture(&picture, width / 3 + 1, height / 5 + 1);
  const imgctl::Pixels &small = imgctl::PicturePixels(&picture);
  if (!HasPictureSize(picture, small)) __builtin_trap();
  pictures.push_back(small);
  if (width * 3 <= imgctl::kMaxEdge && height <= 64 && width <= 64) {
    imgctl::ResizePicture(&picture, width * 3, height + 1);
    pictures.push_back(imgctl::PicturePixels(&picture));
  }
  return pictures;
}

}  // namespace

// The pipeline runs with the SSE2 kernels and with the plain ones, which must give the same pictures.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (kFormat != imgctl::Format::kUnknown && imgctl::SniffFormat(data, size) != kFormat) return -1;
  imgctl::SetVectorKernels(true);
  std::vector<imgctl::Pixels> vector = Pipeline(data, size);
  imgctl::SetVectorKernels(false);
  std::vector<imgctl::Pixels> plain = Pipeline(data, size);
  imgctl::SetVectorKernels(true);
  if (vector != plain) __builtin_trap();
  if (vector.empty()) return 0;

  // A decode that cannot get its memory: picked by the input, one allocation or it and all later
  // ones fail. The picture then has no pixels, or all of them; the next use has all of them.
  uint64_t seed = size;
  for (size_t i = 0; i < size && i < 64; ++i) seed = seed * 31 + data[i];
  imgctl::Picture failing;
  if (!imgctl::OpenPicture(imgctl::FileBytes(data, data + size), &failing)) return 0;
  imgctl::ResizePicture(&failing, failing.width / 8 + 1, failing.height / 8 + 1);
  imgctl_test::FailAllocations(1 + seed % kFailingAllocations, (seed >> 8) & 1);
  const imgctl::Pixels &partial = imgctl::PicturePixels(&failing);
  bool ok = partial.empty() ? !failing.decoded : HasPictureSize(failing, partial) && failing.decoded;
  imgctl_test::FailAllocations(0);
  if (!ok || !HasPictureSize(failing, imgctl::PicturePixels(&failing))) __builtin_trap();
  return 0;
}
