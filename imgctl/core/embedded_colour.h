// What a picture file says about its colours (ICC profiles, PNG's colour chunks, BMP colour spaces).
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "imgctl/core/colour_profile.h"

namespace imgctl {

// The kind of pixels a file stores: a profile is used only with pictures of its own colour space.
enum class PictureChannels { kRgb, kGrey, kOther };

// A JPEG file splits a profile over APP2 segments numbered 1 to at most 255.
constexpr int kMaxIccSegments = 255;

// Filled by a decoder while it reads the headers and handed to its sink before the first row. The
// pointers point into the file's bytes, which outlive the decode.
struct EmbeddedColour {
  PictureChannels channels = PictureChannels::kRgb;
  // JPEG APP2 "ICC_PROFILE" parts by sequence number; iccSegments is the count they state, -1
  // when they disagree about it or repeat a number.
  int iccSegments = 0;
  const uint8_t *iccSegment[kMaxIccSegments] = {};
  uint32_t iccSegmentBytes[kMaxIccSegments] = {};
  // A profile stored in one piece: PNG's iCCP (zlib-compressed) or a BMP's embedded profile.
  const uint8_t *profile = nullptr;
  size_t profileBytes = 0;
  bool profileCompressed = false;
  // PNG's sRGB chunk, or a BMP stating the sRGB or the Windows colour space.
  bool srgb = false;
  // PNG's gAMA: the exponent from linear light to the stored value, in units of 1/100000 (0: absent).
  uint32_t pngGamma = 0;
  // PNG's cHRM: white x, y, then red, green and blue x, y, in units of 1/100000.
  bool hasChromaticities = false;
  uint32_t chromaticities[8] = {};
  // A BMP's calibrated RGB colour space: the primaries' XYZ (2.30 fixed point) and gammas (16.16).
  bool calibrated = false;
  int32_t endpoints[9] = {};
  uint32_t gammas[3] = {};
};

// A JPEG APP2 segment's body (after its length): an "ICC_PROFILE" part is noted, others ignored.
void NoteJpegSegment(EmbeddedColour *colour, const uint8_t *body, size_t length);

// True for the PNG chunk types that describe colours: iCCP, sRGB, gAMA and cHRM.
bool IsPngColourChunk(uint32_t type);
// Notes one of those chunks (its CRC checked by the caller); the first of each type counts.
void NotePngColourChunk(EmbeddedColour *colour, uint32_t type, const uint8_t *body, size_t length);

// Notes the colour space of a BMP file's version 4 or 5 header, when it has one.
void NoteBmpColourSpace(EmbeddedColour *colour, const uint8_t *data, size_t size);

// The colour space the picture's pixels are in, by the rules of its format: a usable ICC profile
// first; then for PNG the sRGB chunk, then gAMA with cHRM; then a BMP's calibrated colour space.
// False when the pixels are sRGB or the file says nothing that can be used.
bool EmbeddedProfile(const EmbeddedColour &colour, ColourProfile *profile);

}  // namespace imgctl
