// What a picture file says about its colours (ICC profiles, PNG's colour chunks, BMP colour spaces).
#include "imgctl/core/embedded_colour.h"

#include <math.h>
#include <string.h>
#include <zlib.h>

#include <vector>

#include "imgctl/core/byte_reader.h"
#include "imgctl/core/icc_profile.h"

namespace imgctl {
namespace {

// JPEG: "ICC_PROFILE", a 0, the part's number (from 1) and the number of parts, then the part.
constexpr char kIccMarker[] = "ICC_PROFILE";
constexpr size_t kIccPartHeaderBytes = sizeof(kIccMarker) + 2;

constexpr uint32_t ChunkType(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) << 24 | uint32_t(uint8_t(b)) << 16 | uint32_t(uint8_t(c)) << 8 | uint32_t(uint8_t(d));
}
constexpr uint32_t kIccp = ChunkType('i', 'C', 'C', 'P'), kSrgb = ChunkType('s', 'R', 'G', 'B'),
                   kGama = ChunkType('g', 'A', 'M', 'A'), kChrm = ChunkType('c', 'H', 'R', 'M');
constexpr double kPngUnit = 100000;  // gAMA and cHRM store their numbers times 100000
constexpr size_t kMaxProfileNameBytes = 79;  // iCCP's profile name, before its terminating 0

// Gamma 2.2 (PNG's gAMA 45455) is how PNG writers and old BMP headers spell sRGB for viewers that
// know no sRGB curve: PNG's sRGB chunk rule asks writers to add it beside the chunk, and many
// write it alone. Exponents within 1 % of 2.2 are therefore taken as sRGB's own curve.
constexpr double kSrgbStandInExponent = 2.2;
constexpr double kSrgbStandInTolerance = 0.01;
// Exponents outside this range are not a tone curve but damage.
constexpr double kLeastExponent = 0.2, kGreatestExponent = 5;

// BMP version 4 and 5 info headers (offsets from the header's start, which is byte 14 of the file).
constexpr size_t kBmpInfoHeader = 14;
constexpr size_t kV4HeaderBytes = 108, kV5HeaderBytes = 124;
constexpr size_t kColourSpaceField = 56, kEndpointsField = 60, kGammaField = 96, kProfileDataField = 112,
                 kProfileSizeField = 116;
constexpr uint32_t kCalibratedRgb = 0;
constexpr uint32_t kBmpSrgb = ChunkType('s', 'R', 'G', 'B'), kBmpWindows = ChunkType('W', 'i', 'n', ' '),
                   kBmpEmbedded = ChunkType('M', 'B', 'E', 'D');

ToneCurve SrgbToneCurve() {
  ToneCurve curve;
  curve.kind = ToneCurve::Kind::kParametric;
  curve.function = 3;
  curve.g = 2.4;
  curve.a = 1 / 1.055;
  curve.b = 0.055 / 1.055;
  curve.c = 1 / 12.92;
  curve.d = 0.04045;
  return curve;
}

// A pure power curve from stored value to linear light. False for an exponent that is no curve.
bool PowerCurve(double exponent, ToneCurve *curve) {
  if (!(exponent >= kLeastExponent && exponent <= kGreatestExponent)) return false;
  if (fabs(exponent / kSrgbStandInExponent - 1) <= kSrgbStandInTolerance) {
    *curve = SrgbToneCurve();
    return true;
  }
  curve->kind = ToneCurve::Kind::kGamma;
  curve->g = exponent;
  return true;
}

// Inflates a zlib stream of at most kMaxIccProfileBytes. False when it is damaged or longer.
bool Inflate(const uint8_t *data, size_t size, std::vector<uint8_t> *out) {
  z_stream z;
  memset(&z, 0, sizeof(z));
  if (inflateInit(&z) != Z_OK) return false;
  // zlib's state goes back however this ends, memory running short for `out` included.
  struct StreamEnd {
    z_stream &z;
    ~StreamEnd() { inflateEnd(&z); }
  } end = {z};
  z.next_in = const_cast<Bytef *>(data);
  z.avail_in = uInt(size > UINT32_MAX ? UINT32_MAX : size);
  uint8_t buffer[16384];
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = buffer;
    z.avail_out = sizeof(buffer);
    result = inflate(&z, Z_NO_FLUSH);
    size_t produced = sizeof(buffer) - z.avail_out;
    if (out->size() + produced > kMaxIccProfileBytes) result = Z_MEM_ERROR;
    else out->insert(out->end(), buffer, buffer + produced);
    if (result == Z_BUF_ERROR && produced == 0) break;  // the input ended before the stream
  }
  return result == Z_STREAM_END;
}

// The profile the file holds, in one piece. False when there is none or it cannot be had whole.
bool ProfileBytes(const EmbeddedColour &colour, std::vector<uint8_t> *bytes) {
  if (colour.profile != nullptr) {
    if (colour.profileCompressed) return Inflate(colour.profile, colour.profileBytes, bytes);
    if (colour.profileBytes > kMaxIccProfileBytes) return false;
    bytes->assign(colour.profile, colour.profile + colour.profileBytes);
    return true;
  }
  if (colour.iccSegments <= 0) return false;
  size_t total = 0;
  for (int i = 0; i < colour.iccSegments; ++i) {
    if (colour.iccSegment[i] == nullptr) return false;  // a missing part: no profile
    total += colour.iccSegmentBytes[i];
  }
  if (total > kMaxIccProfileBytes) return false;
  bytes->reserve(total);
  for (int i = 0; i < colour.iccSegments; ++i)
    bytes->insert(bytes->end(), colour.iccSegment[i], colour.iccSegment[i] + colour.iccSegmentBytes[i]);
  return true;
}

bool IccProfileFor(const EmbeddedColour &colour, ColourProfile *profile) {
  std::vector<uint8_t> bytes;
  if (colour.channels == PictureChannels::kOther || !ProfileBytes(colour, &bytes)) return false;
  if (!ReadIccProfile(bytes.data(), bytes.size(), profile)) return false;
  return profile->grey == (colour.channels == PictureChannels::kGrey);
}

// PNG's gAMA, with cHRM's primaries (sRGB's when it has none) for a colour picture.
bool PngProfileFor(const EmbeddedColour &colour, ColourProfile *profile) {
  if (colour.pngGamma == 0 || colour.channels == PictureChannels::kOther) return false;
  ToneCurve curve;
  if (!PowerCurve(kPngUnit / colour.pngGamma, &curve)) return false;
  profile->grey = colour.channels == PictureChannels::kGrey;
  for (ToneCurve &c : profile->curves) c = curve;
  const Matrix3 &srgb = SrgbToXyz();
  memcpy(profile->toXyz, srgb, sizeof(profile->toXyz));
  if (colour.hasChromaticities && !profile->grey) {
    const uint32_t *v = colour.chromaticities;
    const double white[2] = {v[0] / kPngUnit, v[1] / kPngUnit};
    const double primaries[3][2] = {{v[2] / kPngUnit, v[3] / kPngUnit}, {v[4] / kPngUnit, v[5] / kPngUnit},
                                    {v[6] / kPngUnit, v[7] / kPngUnit}};
    Matrix3 toXyz;
    if (ColorantsFromChromaticities(primaries, white, toXyz)) memcpy(profile->toXyz, toXyz, sizeof(toXyz));
  }
  return true;
}

// A BMP's calibrated RGB: the endpoints are the primaries' XYZ, the gammas their curves' exponents.
bool BmpProfileFor(const EmbeddedColour &colour, ColourProfile *profile) {
  if (!colour.calibrated || colour.channels != PictureChannels::kRgb) return false;
  profile->grey = false;
  for (int c = 0; c < 3; ++c) {
    if (!PowerCurve(colour.gammas[c] / 65536.0, &profile->curves[c])) return false;
    for (int r = 0; r < 3; ++r) profile->toXyz[r][c] = colour.endpoints[3 * c + r] / double(1 << 30);
  }
  return AdaptColorantsToD50(profile->toXyz);
}

}  // namespace

void NoteJpegSegment(EmbeddedColour *colour, const uint8_t *body, size_t length) {
  if (length < kIccPartHeaderBytes || memcmp(body, kIccMarker, sizeof(kIccMarker)) != 0) return;
  int number = body[sizeof(kIccMarker)], count = body[sizeof(kIccMarker) + 1];
  if (colour->iccSegments < 0) return;
  if (number < 1 || number > count || (colour->iccSegments != 0 && colour->iccSegments != count) ||
      colour->iccSegment[number - 1] != nullptr) {
    colour->iccSegments = -1;  // parts that contradict each other: no profile
    return;
  }
  colour->iccSegments = count;
  colour->iccSegment[number - 1] = body + kIccPartHeaderBytes;
  colour->iccSegmentBytes[number - 1] = uint32_t(length - kIccPartHeaderBytes);
}

bool IsPngColourChunk(uint32_t type) { return type == kIccp || type == kSrgb || type == kGama || type == kChrm; }

void NotePngColourChunk(EmbeddedColour *colour, uint32_t type, const uint8_t *body, size_t length) {
  if (type == kIccp && colour->profile == nullptr) {
    // A name of 1 to 79 bytes, a 0, the compression method (0: zlib), the compressed profile.
    const uint8_t *end = static_cast<const uint8_t *>(memchr(body, 0, length < kMaxProfileNameBytes + 1
                                                                          ? length
                                                                          : kMaxProfileNameBytes + 1));
    if (end == nullptr || end == body) return;
    size_t at = size_t(end - body) + 1;
    if (!InRange(length, at, 1) || body[at] != 0) return;
    colour->profile = body + at + 1;
    colour->profileBytes = length - at - 1;
    colour->profileCompressed = true;
  } else if (type == kSrgb && length == 1) {
    colour->srgb = true;
  } else if (type == kGama && length == 4 && colour->pngGamma == 0) {
    colour->pngGamma = ReadBe32(body);
  } else if (type == kChrm && length == 32 && !colour->hasChromaticities) {
    colour->hasChromaticities = true;
    for (int i = 0; i < 8; ++i) colour->chromaticities[i] = ReadBe32(body + 4 * i);
  }
}

void NoteBmpColourSpace(EmbeddedColour *colour, const uint8_t *data, size_t size) {
  if (!InRange(size, kBmpInfoHeader, 4)) return;
  size_t header = ReadLe32(data + kBmpInfoHeader);
  if (header < kV4HeaderBytes || !InRange(size, kBmpInfoHeader, kV4HeaderBytes)) return;
  const uint8_t *info = data + kBmpInfoHeader;
  uint32_t space = ReadLe32(info + kColourSpaceField);
  if (space == kBmpSrgb || space == kBmpWindows) {
    colour->srgb = true;
  } else if (space == kCalibratedRgb) {
    for (int i = 0; i < 9; ++i) colour->endpoints[i] = int32_t(ReadLe32(info + kEndpointsField + 4 * i));
    for (int i = 0; i < 3; ++i) colour->gammas[i] = ReadLe32(info + kGammaField + 4 * i);
    colour->calibrated = true;
  } else if (space == kBmpEmbedded && header >= kV5HeaderBytes && InRange(size, kBmpInfoHeader, kV5HeaderBytes)) {
    // The profile's offset counts from the start of the info header.
    size_t offset = ReadLe32(info + kProfileDataField), bytes = ReadLe32(info + kProfileSizeField);
    if (InRange(size - kBmpInfoHeader, offset, bytes)) {
      colour->profile = info + offset;
      colour->profileBytes = bytes;
    }
  }
}

bool EmbeddedProfile(const EmbeddedColour &colour, ColourProfile *profile) {
  if (IccProfileFor(colour, profile)) return true;
  if (colour.srgb) return false;
  return PngProfileFor(colour, profile) || BmpProfileFor(colour, profile);
}

}  // namespace imgctl
