// libFuzzer target: our JPEG decoder at full and 1/8 scale over arbitrary bytes, each decode run with
// the SSE2 kernels and with the plain ones, which must give the same rows.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "checking_sink.h"
#include "imgctl/core/jpeg_decoder.h"
#include "imgctl/core/vector_kernels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // A copy of exactly `size` bytes, so any read past the end is reported.
  std::vector<uint8_t> copy(data, data + size);
  imgctl::ImageHeader header;
  if (!imgctl::ProbeJpeg(copy.data(), copy.size(), &header)) return 0;
  // The library refuses pictures past its limits at probe; the fuzzer keeps to a bound that every
  // scale decodes quickly, so that the per-input time limit catches work that the data stretches.
  if (static_cast<int64_t>(header.width) * header.height > (int64_t{1} << 22)) return 0;
  for (int scale : {1, 2, 4, 8}) {
    imgctl_fuzz::CheckingSink vector, plain;
    imgctl::SetVectorKernels(true);
    bool vectorDone = imgctl::DecodeJpeg(copy.data(), copy.size(), scale, vector);
    imgctl::SetVectorKernels(false);
    bool plainDone = imgctl::DecodeJpeg(copy.data(), copy.size(), scale, plain);
    imgctl::SetVectorKernels(true);
    if (vectorDone != plainDone || vector.hash_ != plain.hash_) __builtin_trap();
  }
  return 0;
}
