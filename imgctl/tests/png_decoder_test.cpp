// Conformance and bad-input tests of our PNG decoder against ImageMagick's decode.
#include "imgctl/core/png_decoder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "test_pictures.h"

using imgctl::kPngDecoder;
using namespace imgctl_test;

namespace {

constexpr int kW = 97, kH = 61;

// A plasma picture with a horizontal alpha ramp, as a 16-bit PAM source.
std::string Source() {
  static const std::string path = [] {
    std::string p = ScratchDir() + "/png_source.png";
    EXPECT_TRUE(RunCommand("convert -seed 11 -size " + std::to_string(kW) + "x" + std::to_string(kH) +
                    " plasma:fractal \\( -size " + std::to_string(kH) + "x" + std::to_string(kW) +
                    " gradient: -rotate 90 \\) -alpha off -compose CopyOpacity -composite -depth 16 " + p));
    return p;
  }();
  return path;
}

struct PngCase {
  const char *name;
  const char *options;  // ImageMagick options between the source and the output
  int colourType;       // what the file must turn out to be
  int depth;
  bool tRNS;
};

const PngCase kCases[] = {
    {"grey1", "-alpha off -colorspace Gray -define png:color-type=0 -define png:bit-depth=1", 0, 1, false},
    {"grey2", "-alpha off -colorspace Gray -define png:color-type=0 -define png:bit-depth=2", 0, 2, false},
    {"grey4", "-alpha off -colorspace Gray -define png:color-type=0 -define png:bit-depth=4", 0, 4, false},
    {"grey8", "-alpha off -colorspace Gray -define png:color-type=0 -define png:bit-depth=8", 0, 8, false},
    {"grey16", "-alpha off -colorspace Gray -define png:color-type=0 -define png:bit-depth=16", 0, 16, false},
    {"rgb8", "-alpha off -define png:color-type=2 -define png:bit-depth=8", 2, 8, false},
    {"rgb16", "-alpha off -define png:color-type=2 -define png:bit-depth=16", 2, 16, false},
    {"palette8", "-alpha off -colors 200 -define png:color-type=3 -define png:bit-depth=8", 3, 8, false},
    {"grey_alpha8", "-colorspace Gray -define png:color-type=4 -define png:bit-depth=8", 4, 8, false},
    {"grey_alpha16", "-colorspace Gray -define png:color-type=4 -define png:bit-depth=16", 4, 16, false},
    {"rgba8", "-define png:color-type=6 -define png:bit-depth=8", 6, 8, false},
    {"rgba16", "-define png:color-type=6 -define png:bit-depth=16", 6, 16, false},
    {"grey8_trns", "-alpha off -colorspace Gray -depth 8 -fill black -draw 'rectangle 5,5 40,30' -transparent black "
                   "-define png:color-type=0 -define png:bit-depth=8", 0, 8, true},
    {"rgb8_trns", "-alpha off -depth 8 -fill black -draw 'rectangle 5,5 40,30' -transparent black "
                  "-define png:color-type=2 -define png:bit-depth=8", 2, 8, true},
    {"rgb16_trns", "-alpha off -fill black -draw 'rectangle 5,5 40,30' -transparent black "
                   "-define png:color-type=2 -define png:bit-depth=16", 2, 16, true},
};

bool HasChunk(const std::vector<uint8_t> &png, const char *type) {
  for (size_t i = 8; i + 8 <= png.size();) {
    uint32_t len = (uint32_t(png[i]) << 24) | (png[i + 1] << 16) | (png[i + 2] << 8) | png[i + 3];
    if (memcmp(&png[i + 4], type, 4) == 0) return true;
    i += 12 + len;
  }
  return false;
}

class PngConformance : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngConformance, MatchesImageMagickExactlyPlainAndInterlaced) {
  const PngCase &c = GetParam();
  for (bool interlaced : {false, true}) {
    std::string name = ScratchDir() + "/" + c.name + (interlaced ? "_i" : "");
    ASSERT_TRUE(RunCommand("convert " + Source() + " " + c.options + (interlaced ? " -interlace PNG" : "") + " PNG:" +
                    name + ".png"));
    ASSERT_TRUE(RunCommand("convert " + name + ".png -depth 8 RGBA:" + name + ".rgba"));
    std::vector<uint8_t> png = ReadFileBytes(name + ".png");
    ASSERT_GT(png.size(), 33u);
    // The file is what the case says it is.
    ASSERT_EQ(png[24], c.depth) << c.name;
    ASSERT_EQ(png[25], c.colourType) << c.name;
    ASSERT_EQ(png[28], interlaced ? 1 : 0) << c.name;
    ASSERT_EQ(HasChunk(png, "tRNS"), c.tRNS) << c.name;
    Picture expected;
    ASSERT_TRUE(ReadRgba(name + ".rgba", kW, kH, &expected));
    PictureSink sink;
    EXPECT_TRUE(DecodeToPicture(kPngDecoder, png, 1, &sink));
    EXPECT_FALSE(sink.orderBroken);
    EXPECT_EQ(sink.rows, kH);
    Difference d = Compare(sink.picture, expected, true);
    EXPECT_EQ(d.maxAbs, 0) << c.name << (interlaced ? " interlaced" : "");
  }
}

INSTANTIATE_TEST_SUITE_P(EveryType, PngConformance, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PngCase> &i) { return std::string(i.param.name); });

// Interlaced pictures smaller than the 8x8 Adam7 grid leave some passes empty.
TEST(PngDecoder, TinyInterlacedPictures) {
  for (const char *size : {"1x1", "2x1", "1x5", "3x3", "9x2"}) {
    std::string name = ScratchDir() + "/tiny_" + size;
    ASSERT_TRUE(RunCommand("convert " + Source() + " -resize " + size + "! -define png:color-type=6 -interlace PNG PNG:" +
                    name + ".png"));
    ASSERT_TRUE(RunCommand("convert " + name + ".png -depth 8 RGBA:" + name + ".rgba"));
    PictureSink sink;
    EXPECT_TRUE(DecodeToPicture(kPngDecoder, ReadFileBytes(name + ".png"), 1, &sink)) << size;
    Picture expected;
    ASSERT_TRUE(ReadRgba(name + ".rgba", sink.picture.width, sink.picture.height, &expected)) << size;
    EXPECT_EQ(Compare(sink.picture, expected, true).maxAbs, 0) << size;
  }
}


// Low-depth palettes (ImageMagick does not write them here): made by hand, every pixel's
// index from a fixed pattern, plain and Adam7, some entries made transparent by tRNS; the
// reference is ImageMagick's decode of the same file.
std::vector<uint8_t> MakeIndexedPng(int w, int h, int depth, bool interlaced, bool trns);

TEST(PngDecoder, LowDepthPalettesMatchImageMagick) {
  for (int depth : {1, 2, 4})
    for (bool interlaced : {false, true})
      for (bool trns : {false, true}) {
        std::string name = ScratchDir() + "/indexed" + std::to_string(depth) + (interlaced ? "i" : "") + (trns ? "t" : "");
        std::vector<uint8_t> png = MakeIndexedPng(kW, kH, depth, interlaced, trns);
        ASSERT_TRUE(WriteFile(name + ".png", png));
        ASSERT_TRUE(RunCommand("convert " + name + ".png -depth 8 RGBA:" + name + ".rgba"));
        Picture expected;
        ASSERT_TRUE(ReadRgba(name + ".rgba", kW, kH, &expected));
        PictureSink sink;
        EXPECT_TRUE(DecodeToPicture(kPngDecoder, png, 1, &sink));
        EXPECT_EQ(Compare(sink.picture, expected, true).maxAbs, 0) << name;
      }
}

// ---------------------------------------------------------------------------------------------
// Hand-made files for the cases encoders do not write

void PutBe32(std::vector<uint8_t> &v, uint32_t x) {
  v.insert(v.end(), {uint8_t(x >> 24), uint8_t(x >> 16), uint8_t(x >> 8), uint8_t(x)});
}

void PutChunk(std::vector<uint8_t> &png, const char *type, const std::vector<uint8_t> &body) {
  PutBe32(png, static_cast<uint32_t>(body.size()));
  size_t at = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), body.begin(), body.end());
  PutBe32(png, static_cast<uint32_t>(crc32(0, &png[at], static_cast<uInt>(body.size() + 4))));
}

// A PNG of the given header fields over raw (filter byte + row) data.
std::vector<uint8_t> MakePng(uint32_t w, uint32_t h, int depth, int type, const std::vector<uint8_t> &raw,
                             const std::vector<uint8_t> &plte = {}) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  PutBe32(ihdr, w);
  PutBe32(ihdr, h);
  ihdr.insert(ihdr.end(), {uint8_t(depth), uint8_t(type), 0, 0, 0});
  PutChunk(png, "IHDR", ihdr);
  if (!plte.empty()) PutChunk(png, "PLTE", plte);
  uLongf n = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> z(n);
  compress(z.data(), &n, raw.data(), static_cast<uLong>(raw.size()));
  z.resize(n);
  PutChunk(png, "IDAT", z);
  PutChunk(png, "IEND", {});
  return png;
}

std::vector<uint8_t> MakeIndexedPng(int w, int h, int depth, bool interlaced, bool trns) {
  static const int kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  const int colours = 1 << depth;
  auto index = [&](int x, int y) { return ((x * 7) ^ (y * 13) ^ (x * y)) % colours; };
  std::vector<uint8_t> raw;
  auto putRows = [&](int x0, int y0, int dx, int dy) {
    for (int y = y0; y < h; y += dy) {
      if (x0 >= w) break;
      raw.push_back(0);
      int bits = 0, acc = 0;
      for (int x = x0; x < w; x += dx) {
        acc = (acc << depth) | index(x, y);
        bits += depth;
        if (bits == 8) raw.push_back(static_cast<uint8_t>(acc)), bits = 0, acc = 0;
      }
      if (bits) raw.push_back(static_cast<uint8_t>(acc << (8 - bits)));
    }
  };
  if (interlaced)
    for (const auto &p : kPass) putRows(p[0], p[1], p[2], p[3]);
  else
    putRows(0, 0, 1, 1);
  std::vector<uint8_t> plte;
  for (int i = 0; i < colours; ++i) plte.insert(plte.end(), {uint8_t(37 * i + 5), uint8_t(255 - 29 * i), uint8_t(90 + 11 * i)});
  std::vector<uint8_t> png = MakePng(static_cast<uint32_t>(w), static_cast<uint32_t>(h), depth, 3, raw, plte);
  png[28] = interlaced ? 1 : 0;
  uLong crc = crc32(0, &png[12], 17);
  png[29] = uint8_t(crc >> 24), png[30] = uint8_t(crc >> 16), png[31] = uint8_t(crc >> 8), png[32] = uint8_t(crc);
  if (trns) {
    // tRNS goes after PLTE, before IDAT: splice it in.
    std::vector<uint8_t> chunk;
    std::vector<uint8_t> alpha = {0, 128};
    PutChunk(chunk, "tRNS", alpha);
    size_t plteEnd = 33 + 12 + plte.size();
    png.insert(png.begin() + static_cast<long>(plteEnd), chunk.begin(), chunk.end());
  }
  return png;
}

TEST(PngDecoder, PaletteIndexPastThePaletteIsOpaqueBlack) {
  std::vector<uint8_t> png = MakePng(3, 1, 8, 3, {0, 0, 1, 7}, {10, 20, 30, 40, 50, 60});
  PictureSink sink;
  EXPECT_TRUE(DecodeToPicture(kPngDecoder, png, 1, &sink));
  EXPECT_EQ(sink.picture.pixels, (std::vector<uint32_t>{0xFF0A141Eu, 0xFF28323Cu, 0xFF000000u}));
}

TEST(PngDecoder, DamageIsReportedAndRowsBeforeItStand) {
  // Four grey rows; the third has filter type 9.
  std::vector<uint8_t> raw = {0, 1, 2, 0, 3, 4, 9, 5, 6, 0, 7, 8};
  PictureSink sink;
  EXPECT_FALSE(DecodeToPicture(kPngDecoder, MakePng(2, 4, 8, 0, raw), 1, &sink));
  EXPECT_EQ(sink.rows, 2);
  // A palette picture without a palette, a bad IHDR CRC, a bad IDAT CRC.
  PictureSink s2;
  EXPECT_FALSE(DecodeToPicture(kPngDecoder, MakePng(2, 1, 8, 3, {0, 0, 0}), 1, &s2));
  std::vector<uint8_t> good = MakePng(2, 1, 8, 0, {0, 5, 6});
  std::vector<uint8_t> badHeader = good;
  badHeader[29] ^= 1;
  imgctl::ImageHeader h;
  EXPECT_TRUE(imgctl::ProbePng(good.data(), good.size(), &h));
  EXPECT_FALSE(imgctl::ProbePng(badHeader.data(), badHeader.size(), &h));
  std::vector<uint8_t> badData = good;
  badData[8 + 25 + 10] ^= 0x40;  // inside the IDAT body
  PictureSink s3;
  EXPECT_FALSE(DecodeToPicture(kPngDecoder, badData, 1, &s3));
  // Bad header fields.
  for (auto fields : std::vector<std::vector<int>>{{16, 3}, {3, 2}, {8, 5}, {8, 1}, {0, 0}})
    EXPECT_FALSE(imgctl::ProbePng(MakePng(2, 1, fields[0], fields[1], {0, 1, 2}).data(), 60, &h));
  EXPECT_FALSE(imgctl::ProbePng(MakePng(0, 1, 8, 0, {0}).data(), 60, &h));
}

TEST(PngDecoder, HugeHeaderOverTinyDataFailsQuickly) {
  for (int interlace : {0, 1}) {
    std::vector<uint8_t> png = MakePng(1, 100000000, 8, 0, {0, 1, 0, 2});
    png[28] = static_cast<uint8_t>(interlace);
    uLong crc = crc32(0, &png[12], 17);
    png[29] = uint8_t(crc >> 24), png[30] = uint8_t(crc >> 16), png[31] = uint8_t(crc >> 8), png[32] = uint8_t(crc);
    PictureSink sink;
    EXPECT_FALSE(DecodeToPicture(kPngDecoder, png, 1, &sink));
    EXPECT_LE(sink.rows, interlace ? 100000000 : 2);
  }
  std::vector<uint8_t> wide = MakePng(0x7FFFFFFF, 0x7FFFFFFF, 16, 6, {0});
  imgctl::ImageHeader h;
  EXPECT_TRUE(imgctl::ProbePng(wide.data(), wide.size(), &h));
  PictureSink sink;
  EXPECT_FALSE(DecodeToPicture(kPngDecoder, wide, 1, &sink));
}

TEST(PngDecoder, TruncatedAndCorruptedFilesNeverCrash) {
  std::string name = ScratchDir() + "/damage";
  for (const char *variant : {"", "-interlace PNG"}) {
    ASSERT_TRUE(RunCommand("convert " + Source() + " -define png:color-type=6 " + variant + " PNG:" + name + ".png"));
    std::vector<uint8_t> whole = ReadFileBytes(name + ".png");
    int lastRows = -1;
    for (size_t cut = 0; cut < whole.size(); cut += 61) {
      std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<long>(cut));
      PictureSink sink;
      bool ok = DecodeToPicture(kPngDecoder, part, 1, &sink);
      // Success only when every row is there (the file may lack only its tail).
      if (ok) {
        EXPECT_EQ(sink.rows, kH) << cut;
      }
      if (cut < whole.size() * 9 / 10) {
        EXPECT_FALSE(ok) << cut;
      }
      EXPECT_FALSE(sink.orderBroken);
      if (!*variant) {
        EXPECT_GE(sink.rows, lastRows);
        lastRows = sink.rows;
      }
    }
    srand(77);
    for (int trial = 0; trial < 200; ++trial) {
      std::vector<uint8_t> bad = whole;
      bad[static_cast<size_t>(rand()) % bad.size()] ^= static_cast<uint8_t>(1 + rand() % 255);
      PictureSink sink;
      DecodeToPicture(kPngDecoder, bad, 1, &sink);
      EXPECT_FALSE(sink.orderBroken);
    }
  }
}

}  // namespace
