// libFuzzer target: our PNG decoder over arbitrary bytes.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "imgctl/core/png_decoder.h"

namespace {

// Touches every delivered pixel so that a bad row pointer is caught.
class CheckingSink : public imgctl::RowSink {
 public:
  void Begin(int32_t width, int32_t height) override {
    width_ = width;
    height_ = height;
  }
  void PutRow(int32_t y, const uint32_t *pixels) override {
    if (y < 0 || y >= height_) __builtin_trap();
    for (int32_t x = 0; x < width_; ++x) sum_ += pixels[x];
  }
  uint32_t sum_ = 0;

 private:
  int32_t width_ = 0, height_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // A copy of exactly `size` bytes, so any read past the end is reported.
  std::vector<uint8_t> copy(data, data + size);
  imgctl::ImageHeader header;
  if (!imgctl::ProbePng(copy.data(), copy.size(), &header)) return 0;
  // The library refuses pictures past its limits at probe; the fuzzer keeps to a similar bound.
  if (static_cast<int64_t>(header.width) * header.height > (int64_t{1} << 24)) return 0;
  CheckingSink sink;
  imgctl::DecodePng(copy.data(), copy.size(), 1, sink);
  return 0;
}
