// Conversion of decoded pixels from a picture's colour space to the screen's sRGB through lookup tables.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "imgctl/core/colour_profile.h"

namespace imgctl {

// A matrix/TRC profile turned into tables: each stored value's linear light, times the 3 x 3
// matrix from the picture's colorants to sRGB's, summed per output channel, held to the sRGB gamut
// (relative colorimetric intent, clipped), and sRGB's curve applied by a table indexed by linear
// light in 14-bit steps.
struct ColourTransform {
  enum class Kind { kNone, kGrey, kRgb };
  Kind kind = Kind::kNone;
  // kRgb: for each input channel (R, G, B) and value 0..255, its share of output R, G and B (and
  // a 0) in linear light, fixed point. kGrey: the sRGB value of each grey value.
  std::vector<int32_t> shares;
  std::vector<uint8_t> grey;
};

// The conversion from `profile` to sRGB. False, with the transform left of kind kNone, when the
// profile is sRGB within the tolerance (its curves give every 8-bit value back within half a
// level and its colorants are sRGB's within 0.003), so that the pixels stay exactly as decoded.
bool MakeColourTransform(const ColourProfile &profile, ColourTransform *transform);

// Converts 0xAARRGGBB pixels in place (alpha is kept). Does nothing for kind kNone.
void ApplyColourTransform(const ColourTransform &transform, uint32_t *pixels, size_t count);

}  // namespace imgctl
