// Embedded colour profiles converted to sRGB, against LittleCMS (through ImageMagick's -profile) as the reference:
// one row per profile and format; sRGB-tagged files give the bytes of the untagged file; JPEG profile parts.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imgctl/core/bmp_decoder.h"
#include "imgctl/core/colour_profile.h"
#include "imgctl/core/colour_transform.h"
#include "imgctl/core/embedded_colour.h"
#include "imgctl/core/icc_profile.h"
#include "imgctl/core/jpeg_decoder.h"
#include "imgctl/core/picture.h"
#include "imgctl/core/png_decoder.h"
#include "test_pictures.h"

using namespace imgctl_test;

namespace {

const std::string kColord = "/usr/share/color/icc/colord/";
constexpr int kW = 97;
using Bytes = std::vector<uint8_t>;

void Put32(Bytes &b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
void Put16(Bytes &b, uint32_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
void PutLe32(Bytes &b, uint32_t v) {
  for (int s = 0; s < 32; s += 8) b.push_back(uint8_t(v >> s));
}
void PutS15(Bytes &b, double v) { Put32(b, uint32_t(int32_t(lround(v * 65536)))); }

// A version 4 matrix/TRC profile (grey when toXyz is null) whose curves are one parametric curve.
Bytes WriteProfile(const imgctl::Matrix3 *toXyz, int function, const std::vector<double> &parameters) {
  std::vector<std::pair<const char *, Bytes>> tags;
  Bytes text;  // multiLocalizedUnicodeType, one English record
  Put32(text, 0x6D6C7563);
  Put32(text, 0);
  Put32(text, 1);
  Put32(text, 12);
  Put32(text, 0x656E5553);
  Put32(text, 8);
  Put32(text, 28);
  Put32(text, 0x00540065);  // "Te"
  tags.push_back({"desc", text});
  tags.push_back({"cprt", text});
  auto xyz = [](double x, double y, double z) {
    Bytes b;
    Put32(b, 0x58595A20);
    Put32(b, 0);
    PutS15(b, x);
    PutS15(b, y);
    PutS15(b, z);
    return b;
  };
  tags.push_back({"wtpt", xyz(imgctl::kD50[0], imgctl::kD50[1], imgctl::kD50[2])});
  Bytes curve;
  Put32(curve, 0x70617261);
  Put32(curve, 0);
  Put16(curve, uint32_t(function));
  Put16(curve, 0);
  for (double p : parameters) PutS15(curve, p);
  if (toXyz) {
    const char *names[3][2] = {{"rXYZ", "rTRC"}, {"gXYZ", "gTRC"}, {"bXYZ", "bTRC"}};
    for (int c = 0; c < 3; ++c) {
      tags.push_back({names[c][0], xyz((*toXyz)[0][c], (*toXyz)[1][c], (*toXyz)[2][c])});
      tags.push_back({names[c][1], curve});
    }
  } else {
    tags.push_back({"kTRC", curve});
  }
  Bytes body;
  size_t offset = 128 + 4 + 12 * tags.size();
  Bytes table;
  Put32(table, uint32_t(tags.size()));
  for (auto &tag : tags) {
    while (tag.second.size() % 4) tag.second.push_back(0);
    table.insert(table.end(), tag.first, tag.first + 4);
    Put32(table, uint32_t(offset + body.size()));
    Put32(table, uint32_t(tag.second.size()));
    body.insert(body.end(), tag.second.begin(), tag.second.end());
  }
  Bytes header;
  Put32(header, uint32_t(128 + table.size() + body.size()));
  Put32(header, 0);
  Put32(header, 0x04300000);
  header.insert(header.end(), {'m', 'n', 't', 'r'});
  if (toXyz) header.insert(header.end(), {'R', 'G', 'B', ' '});
  else header.insert(header.end(), {'G', 'R', 'A', 'Y'});
  header.insert(header.end(), {'X', 'Y', 'Z', ' '});
  header.insert(header.end(), 12, 0);  // date
  header.insert(header.end(), {'a', 'c', 's', 'p'});
  header.resize(68, 0);
  PutS15(header, imgctl::kD50[0]);
  PutS15(header, imgctl::kD50[1]);
  PutS15(header, imgctl::kD50[2]);
  header.resize(128, 0);
  header.insert(header.end(), table.begin(), table.end());
  header.insert(header.end(), body.begin(), body.end());
  return header;
}

// Display P3 as phones write it: DCI-P3 primaries, D65 white, sRGB's curve.
Bytes DisplayP3() {
  const double primaries[3][2] = {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}};
  const double d65[2] = {0.3127, 0.3290};
  imgctl::Matrix3 toXyz;
  EXPECT_TRUE(imgctl::ColorantsFromChromaticities(primaries, d65, toXyz));
  return WriteProfile(&toXyz, 3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045});
}

// sRGB's primaries with a pure 1.8 power curve: what PNG's gAMA 1/1.8 without cHRM says.
Bytes Gamma18() { return WriteProfile(&imgctl::SrgbToXyz(), 0, {1.8}); }
Bytes Grey18() { return WriteProfile(nullptr, 0, {1.8}); }

// A PNG keeping only the chunks that make its pixels, with `extra` chunks (type + body) after IHDR.
Bytes PngWith(const Bytes &png, const std::vector<std::pair<std::string, Bytes>> &extra) {
  Bytes out(png.begin(), png.begin() + 8);
  for (size_t i = 8; i + 12 <= png.size();) {
    uint32_t len = uint32_t(png[i]) << 24 | png[i + 1] << 16 | png[i + 2] << 8 | png[i + 3];
    std::string type(png.begin() + long(i) + 4, png.begin() + long(i) + 8);
    if (type == "IHDR" || type == "PLTE" || type == "IDAT" || type == "IEND" || type == "tRNS")
      out.insert(out.end(), png.begin() + long(i), png.begin() + long(i + 12 + len));
    if (type == "IHDR")
      for (const auto &chunk : extra) {
        Bytes c;
        Put32(c, uint32_t(chunk.second.size()));
        c.insert(c.end(), chunk.first.begin(), chunk.first.end());
        c.insert(c.end(), chunk.second.begin(), chunk.second.end());
        Put32(c, uint32_t(crc32(0, c.data() + 4, uInt(c.size() - 4))));
        out.insert(out.end(), c.begin(), c.end());
      }
    i += 12 + len;
  }
  return out;
}

Bytes Iccp(const Bytes &profile) {
  Bytes chunk = {'t', 'e', 's', 't', 0, 0};
  uLongf size = compressBound(uLong(profile.size()));
  Bytes packed(size);
  EXPECT_EQ(compress(packed.data(), &size, profile.data(), uLong(profile.size())), Z_OK);
  chunk.insert(chunk.end(), packed.begin(), packed.begin() + long(size));
  return chunk;
}

Bytes Be32Chunk(uint32_t v) {
  Bytes b;
  Put32(b, v);
  return b;
}

// The profile in three APP2 parts after SOI, stored in the order 2, 3, 1 (readers must sort them).
Bytes JpegWith(const Bytes &jpeg, const Bytes &profile) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  size_t part = profile.size() / 3 + 1;
  for (int n : {2, 3, 1}) {
    size_t from = size_t(n - 1) * part, to = std::min(profile.size(), from + part);
    Bytes segment = {0xFF, 0xE2};
    Put16(segment, uint32_t(2 + 14 + (to - from)));
    const char marker[] = "ICC_PROFILE";
    segment.insert(segment.end(), marker, marker + 12);
    segment.push_back(uint8_t(n));
    segment.push_back(3);
    segment.insert(segment.end(), profile.begin() + long(from), profile.begin() + long(to));
    out.insert(out.end(), segment.begin(), segment.end());
  }
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// A 24-bit BMP with a version 5 header: the embedded profile `profile`, or calibrated RGB.
Bytes BmpWith(const Picture &picture, const Bytes &profile, const imgctl::Matrix3 *endpoints, double gamma) {
  size_t stride = (size_t(picture.width) * 3 + 3) / 4 * 4, pixels = stride * size_t(picture.height);
  Bytes b = {'B', 'M'};
  PutLe32(b, uint32_t(14 + 124 + pixels + profile.size()));
  PutLe32(b, 0);
  PutLe32(b, 14 + 124);
  PutLe32(b, 124);
  PutLe32(b, uint32_t(picture.width));
  PutLe32(b, uint32_t(picture.height));
  PutLe32(b, 1 | 24 << 16);
  PutLe32(b, 0);
  PutLe32(b, uint32_t(pixels));
  for (int i = 0; i < 8; ++i) PutLe32(b, 0);  // resolution, colours, masks
  PutLe32(b, endpoints ? 0 : 0x4D424544);      // LCS_CALIBRATED_RGB or PROFILE_EMBEDDED
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) PutLe32(b, endpoints ? uint32_t(lround((*endpoints)[r][c] * (1 << 30))) : 0);
  for (int c = 0; c < 3; ++c) PutLe32(b, endpoints ? uint32_t(lround(gamma * 65536)) : 0);
  PutLe32(b, 4);
  PutLe32(b, profile.empty() ? 0 : uint32_t(124 + pixels));
  PutLe32(b, uint32_t(profile.size()));
  PutLe32(b, 0);
  for (int y = picture.height - 1; y >= 0; --y) {
    for (int x = 0; x < picture.width; ++x) {
      uint32_t p = picture.pixels[size_t(y) * size_t(picture.width) + size_t(x)];
      b.insert(b.end(), {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16)});
    }
    b.resize(b.size() + stride - size_t(picture.width) * 3, 0);
  }
  b.insert(b.end(), profile.begin(), profile.end());
  return b;
}

// The pipeline's full-size picture (load, decode, colours, no resize).
Picture Shown(const Bytes &file) {
  imgctl::Picture picture;
  Picture out;
  if (!imgctl::OpenPicture(imgctl::FileBytes(file.begin(), file.end()), &picture)) return out;
  const imgctl::Pixels &pixels = imgctl::PicturePixels(&picture);
  out.width = picture.width;
  out.height = picture.height;
  out.pixels.assign(pixels.begin(), pixels.end());
  return out;
}

// LittleCMS's conversion of `decoded` from `profile` to sRGB (relative colorimetric) through ImageMagick.
Picture Reference(const Picture &decoded, const Bytes &profile, const std::string &name) {
  std::string base = ScratchDir() + "/" + name;
  // A grey profile goes with a grey picture (PGM), an RGB one with PPM.
  bool grey = profile.size() > 20 && memcmp(&profile[16], "GRAY", 4) == 0;
  Bytes ppm;
  std::string head = std::string(grey ? "P5\n" : "P6\n") + std::to_string(decoded.width) + " " +
                     std::to_string(decoded.height) + "\n255\n";
  ppm.insert(ppm.end(), head.begin(), head.end());
  for (uint32_t p : decoded.pixels) {
    if (grey) ppm.push_back(uint8_t(p));
    else ppm.insert(ppm.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
  }
  EXPECT_TRUE(WriteFile(base + ".ppm", ppm) && WriteFile(base + ".icc", profile));
  EXPECT_TRUE(RunCommand("convert " + base + ".ppm -profile " + base + ".icc -intent relative -profile " + kColord +
                         "sRGB.icc -depth 8 -alpha opaque RGBA:" + base + ".rgba"));
  Picture reference;
  EXPECT_TRUE(ReadRgba(base + ".rgba", decoded.width, decoded.height, &reference));
  return reference;
}

Picture Decoded(const imgctl::Decoder &decoder, const Bytes &file) {
  PictureSink sink;
  EXPECT_TRUE(DecodeToPicture(decoder, file, 1, &sink));
  return sink.picture;
}

// Colourful, with the strongest primaries and the darkest tones: plasma over ramps to black.
std::string Source() {
  static const std::string path = [] {
    std::string p = ScratchDir() + "/colour_source.ppm";
    std::string w = std::to_string(kW), strip = std::to_string(kW) + "x8";
    EXPECT_TRUE(RunCommand("convert -seed 5 -size " + w + "x29 plasma:fractal -size " + strip + " gradient:red-black "
                           "gradient:lime-black gradient:blue-black gradient:black-white -size " + strip +
                           " xc:magenta -append -depth 8 " + p));
    return p;
  }();
  return path;
}

enum class Container { kJpeg, kPng, kBmp };

struct ProfileCase {
  const char *name;
  Container container;
  const char *colordProfile;  // a profile of Debian's colord-data, or null
  Bytes (*written)();         // a profile the test writes, or null
};

Bytes ProfileOf(const ProfileCase &c) {
  return c.colordProfile ? ReadFileBytes(kColord + c.colordProfile) : c.written();
}

const ProfileCase kConverted[] = {
    {"adobe_rgb_jpeg", Container::kJpeg, "AdobeRGB1998.icc", nullptr},
    {"adobe_rgb_png", Container::kPng, "AdobeRGB1998.icc", nullptr},
    {"prophoto_rgb_jpeg", Container::kJpeg, "ProPhotoRGB.icc", nullptr},
    {"prophoto_rgb_png", Container::kPng, "ProPhotoRGB.icc", nullptr},
    {"wide_gamut_rgb_jpeg", Container::kJpeg, "WideGamutRGB.icc", nullptr},
    {"wide_gamut_rgb_png", Container::kPng, "WideGamutRGB.icc", nullptr},
    {"display_p3_jpeg", Container::kJpeg, nullptr, DisplayP3},
    {"display_p3_png", Container::kPng, nullptr, DisplayP3},
    {"rec709_sampled_curve_png", Container::kPng, "Rec709.icc", nullptr},
    {"adobe_rgb_bmp_embedded", Container::kBmp, "AdobeRGB1998.icc", nullptr},
};

class ProfileConversion : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileConversion, MatchesLittleCmsAtFullSize) {
  const ProfileCase &c = GetParam();
  Bytes profile = ProfileOf(c);
  ASSERT_FALSE(profile.empty()) << c.name;
  std::string base = ScratchDir() + "/" + c.name;
  Bytes tagged;
  Picture decoded;  // the decoder's own pixels, before any conversion
  if (c.container == Container::kJpeg) {
    ASSERT_TRUE(RunCommand("convert " + Source() + " -strip -quality 92 " + base + ".jpg"));
    Bytes plain = ReadFileBytes(base + ".jpg");
    tagged = JpegWith(plain, profile);
    decoded = Decoded(imgctl::kJpegDecoder, plain);
  } else {
    ASSERT_TRUE(RunCommand("convert " + Source() + " -strip " + base + ".png"));
    Bytes plain = ReadFileBytes(base + ".png");
    decoded = Decoded(imgctl::kPngDecoder, plain);
    tagged = c.container == Container::kPng ? PngWith(plain, {{"iCCP", Iccp(profile)}})
                                            : BmpWith(decoded, profile, nullptr, 0);
  }
  Picture shown = Shown(tagged);
  Picture reference = Reference(decoded, profile, c.name);
  Difference d = Compare(shown, reference);
  EXPECT_LE(d.meanAbs, 1.0) << c.name;
  EXPECT_LE(d.maxAbs, 3) << c.name;
  // The profile did something: these spaces are far from sRGB.
  EXPECT_GT(Compare(shown, decoded).maxAbs, 10) << c.name;
}

INSTANTIATE_TEST_SUITE_P(EveryProfile, ProfileConversion, ::testing::ValuesIn(kConverted),
                         [](const ::testing::TestParamInfo<ProfileCase> &i) { return std::string(i.param.name); });

// PNG's own colour chunks without iCCP, a BMP's calibrated colour space and a grey profile, each
// against the profile that says the same.
TEST(ColourChunks, GammaChromaticitiesCalibratedAndGreyMatchLittleCms) {
  ASSERT_TRUE(RunCommand("convert " + Source() + " -strip " + ScratchDir() + "/chunks.png"));
  ASSERT_TRUE(RunCommand("convert " + Source() + " -colorspace Gray -strip -quality 92 " + ScratchDir() + "/grey.jpg"));
  Bytes png = ReadFileBytes(ScratchDir() + "/chunks.png"), greyJpeg = ReadFileBytes(ScratchDir() + "/grey.jpg");
  Picture decoded = Decoded(imgctl::kPngDecoder, png), greyDecoded = Decoded(imgctl::kJpegDecoder, greyJpeg);
  const double p3[3][2] = {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}}, d65[2] = {0.3127, 0.3290};
  imgctl::Matrix3 p3ToXyz;
  ASSERT_TRUE(imgctl::ColorantsFromChromaticities(p3, d65, p3ToXyz));
  Bytes chrm;
  for (uint32_t v : {31270u, 32900u, 68000u, 32000u, 26500u, 69000u, 15000u, 6000u}) Put32(chrm, v);
  struct Row {
    const char *name;
    Bytes file;
    Picture decoded;
    Bytes profile;
  } rows[] = {
      {"png_gama_1_8", PngWith(png, {{"gAMA", Be32Chunk(55556)}}), decoded, Gamma18()},
      {"png_gama_1_8_chrm_p3", PngWith(png, {{"gAMA", Be32Chunk(55556)}, {"cHRM", chrm}}), decoded,
       WriteProfile(&p3ToXyz, 0, {1.8})},
      {"bmp_calibrated_p3_1_8", BmpWith(decoded, {}, &p3ToXyz, 1.8), decoded, WriteProfile(&p3ToXyz, 0, {1.8})},
      {"jpeg_grey_1_8", JpegWith(greyJpeg, Grey18()), greyDecoded, Grey18()},
  };
  for (Row &row : rows) {
    Picture shown = Shown(row.file);
    Difference d = Compare(shown, Reference(row.decoded, row.profile, row.name));
    EXPECT_LE(d.meanAbs, 1.0) << row.name;
    EXPECT_LE(d.maxAbs, 3) << row.name;
    EXPECT_GT(Compare(shown, row.decoded).maxAbs, 10) << row.name;
  }
}

// Untagged pictures and pictures whose profile or chunks say sRGB keep the decoder's bytes exactly.
TEST(ColourChunks, SrgbByContentsKeepsTheDecodedBytes) {
  ASSERT_TRUE(RunCommand("convert " + Source() + " -strip " + ScratchDir() + "/srgb.png"));
  ASSERT_TRUE(RunCommand("convert " + Source() + " -strip -quality 92 " + ScratchDir() + "/srgb.jpg"));
  Bytes png = ReadFileBytes(ScratchDir() + "/srgb.png"), jpeg = ReadFileBytes(ScratchDir() + "/srgb.jpg");
  Picture pngDecoded = Decoded(imgctl::kPngDecoder, png), jpegDecoded = Decoded(imgctl::kJpegDecoder, jpeg);
  Bytes srgb = ReadFileBytes(kColord + "sRGB.icc");
  ASSERT_FALSE(srgb.empty());
  // sRGB's colorants with sRGB's curve written as a parametric curve of our own.
  Bytes ownSrgb = WriteProfile(&imgctl::SrgbToXyz(), 3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045});
  Bytes chrm;
  for (uint32_t v : {31270u, 32900u, 64000u, 33000u, 30000u, 60000u, 15000u, 6000u}) Put32(chrm, v);
  struct Row {
    const char *name;
    Bytes file;
    const Picture *decoded;
  } rows[] = {
      {"png_untagged", PngWith(png, {}), &pngDecoded},
      {"png_srgb_chunk", PngWith(png, {{"sRGB", {0}}, {"gAMA", Be32Chunk(55556)}}), &pngDecoded},
      {"png_gama_2_2_chrm_srgb", PngWith(png, {{"gAMA", Be32Chunk(45455)}, {"cHRM", chrm}}), &pngDecoded},
      {"png_iccp_colord_srgb", PngWith(png, {{"iCCP", Iccp(srgb)}}), &pngDecoded},
      {"jpeg_untagged", jpeg, &jpegDecoded},
      {"jpeg_colord_srgb", JpegWith(jpeg, srgb), &jpegDecoded},
      {"jpeg_own_srgb", JpegWith(jpeg, ownSrgb), &jpegDecoded},
  };
  for (const Row &row : rows) {
    Picture shown = Shown(row.file);
    EXPECT_EQ(shown.pixels, row.decoded->pixels) << row.name;
  }
}

// A profile split over APP2 segments is read in any order; a missing, repeated or contradicting part
// means no profile.
TEST(JpegProfileParts, AnyOrderButWhole) {
  Bytes profile = ReadFileBytes(kColord + "AdobeRGB1998.icc");
  ASSERT_FALSE(profile.empty());
  auto segment = [&](int number, int count) {
    size_t part = profile.size() / 3 + 1, from = std::min(profile.size(), size_t(number - 1) * part);
    size_t to = std::min(profile.size(), from + part);
    Bytes s = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, uint8_t(number), uint8_t(count)};
    s.insert(s.end(), profile.begin() + long(from), profile.begin() + long(to));
    return s;
  };
  struct Row {
    const char *name;
    std::vector<std::pair<int, int>> parts;  // number, count
    bool read;
  } rows[] = {
      {"in order", {{1, 3}, {2, 3}, {3, 3}}, true},
      {"reversed", {{3, 3}, {2, 3}, {1, 3}}, true},
      {"missing", {{1, 3}, {3, 3}}, false},
      {"repeated", {{1, 3}, {2, 3}, {2, 3}, {3, 3}}, false},
      {"counts differ", {{1, 3}, {2, 4}, {3, 3}}, false},
      {"number 0", {{0, 3}, {1, 3}, {2, 3}, {3, 3}}, false},
      {"number past count", {{1, 3}, {2, 3}, {3, 3}, {4, 3}}, false},
  };
  for (const Row &row : rows) {
    std::vector<Bytes> segments;
    for (auto part : row.parts) segments.push_back(segment(part.first, part.second));
    imgctl::EmbeddedColour colour;
    for (const Bytes &s : segments) imgctl::NoteJpegSegment(&colour, s.data(), s.size());
    imgctl::ColourProfile read;
    EXPECT_EQ(imgctl::EmbeddedProfile(colour, &read), row.read) << row.name;
  }
}

}  // namespace
