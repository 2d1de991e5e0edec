// libFuzzer target: our PNG decoder over arbitrary bytes.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "checking_sink.h"
#include "imgctl/core/png_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // A copy of exactly `size` bytes, so any read past the end is reported.
  std::vector<uint8_t> copy(data, data + size);
  imgctl::ImageHeader header;
  if (!imgctl::ProbePng(copy.data(), copy.size(), &header)) return 0;
  // The library refuses pictures past its limits at probe; the fuzzer keeps to a bound that decodes
  // quickly, so that the per-input time limit catches work that the data stretches.
  if (static_cast<int64_t>(header.width) * header.height > (int64_t{1} << 22)) return 0;
  imgctl_fuzz::CheckingSink sink;
  imgctl::DecodePng(copy.data(), copy.size(), 1, sink);
  return 0;
}
