// libFuzzer target: our ICC profile reader and the sRGB conversion built from what it reads, over arbitrary bytes.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "imgctl/core/colour_transform.h"
#include "imgctl/core/icc_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // A copy of exactly `size` bytes, so any read past the end is reported.
  std::vector<uint8_t> copy(data, data + size);
  imgctl::ColourProfile profile;
  if (!imgctl::ReadIccProfile(copy.data(), copy.size(), &profile)) return 0;
  imgctl::ColourTransform transform;
  if (!imgctl::MakeColourTransform(profile, &transform)) return 0;
  // Every value of each channel, with the others at their ends, through the tables.
  std::vector<uint32_t> pixels;
  for (uint32_t v = 0; v < 256; ++v)
    for (uint32_t other : {0u, 255u}) {
      pixels.push_back(0xFF000000u | v << 16 | other << 8 | other);
      pixels.push_back(0x80000000u | other << 16 | v << 8 | other);
      pixels.push_back(0xFF000000u | other << 16 | other << 8 | v);
    }
  imgctl::ApplyColourTransform(transform, pixels.data(), pixels.size());
  for (size_t i = 0; i < pixels.size(); i += 3)
    if ((pixels[i] >> 24) != 0xFF || (pixels[i + 1] >> 24) != 0x80) __builtin_trap();  // alpha is kept
  return 0;
}
