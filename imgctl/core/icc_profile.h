// Reading an ICC colour profile: the header, the tag table and the tags of a matrix/TRC profile.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "imgctl/core/colour_profile.h"

namespace imgctl {

// Largest profile that is read: matrix/TRC profiles take a few kilobytes (with text in many
// languages some tens); larger ones carry lookup tables, which are not used.
constexpr size_t kMaxIccProfileBytes = size_t(1) << 22;

// Reads an RGB matrix/TRC profile (rXYZ, gXYZ, bXYZ and rTRC, gTRC, bTRC) or a grey TRC profile
// (kTRC), version 2 or 4, with an XYZ connection space, into `profile`. Curves may be gammas,
// sampled curves or parametric curves. False for anything else: lookup-table profiles (an AToB0
// or AToB1 tag wins over the matrix), CMYK and other colour spaces, device links, and damaged
// profiles (any offset, count or size outside the profile, curves that do not rise from black to
// white, colorants without a usable white).
bool ReadIccProfile(const uint8_t *data, size_t size, ColourProfile *profile);

}  // namespace imgctl
