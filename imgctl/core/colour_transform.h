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
// light in 14-bit steps. Every table is built by integer arithmetic and by double arithmetic
// without the C runtime's pow, so that each build converts a picture to the same bytes.
struct ColourTransform {
  enum class Kind { kNone, kGrey, kRgb };
  Kind kind = Kind::kNone;
  // kRgb: for each input channel (R, G, B) and value 0..255, its shares of output B, G and R in
  // linear light, fixed point, in three 20-bit fields of one 64-bit word (colour_transform.cpp),
  // so that one addition per input channel sums all three. kGrey: the sRGB value of each grey value.
  std::vector<uint64_t> shares;
  std::vector<uint8_t> grey;
};

// The conversion from `profile` to sRGB. False, with the transform left of kind kNone, when the
// profile is sRGB within the tolerance (its curves give every 8-bit value back within half a
// level and its colorants are sRGB's within 0.003), so that the pixels stay exactly as decoded,
// and when its colorants lie so far from sRGB's that a colour could come out below -1.5 or above
// 2.5 in linear sRGB (no colour space made for pictures comes near: ProPhoto RGB's reach -1.04
// and 2.04). The last profile's tables are kept: the next picture with the same profile takes a copy.
// Throws std::bad_alloc when memory runs short.
bool MakeColourTransform(const ColourProfile &profile, ColourTransform *transform);

// The bodies that convert RGB pixels, which give the same bytes: the plain loop sums a pixel's three
// output channels in one 64-bit integer; the SSE2 body sums two pixels in one register. kChosen is
// the SSE2 body on i686 processors that have it (vector_kernels.h), the plain loop elsewhere: the
// x86-64 build's 64-bit registers make it the faster there. Tests name a body to run both.
enum class ColourBody { kChosen, kPlain, kVector };

// Converts 0xAARRGGBB pixels in place (alpha is kept). Does nothing for kind kNone.
void ApplyColourTransform(const ColourTransform &transform, uint32_t *pixels, size_t count,
                          ColourBody body = ColourBody::kChosen);

}  // namespace imgctl
