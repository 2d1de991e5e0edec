// Conformance and bad-input tests of our JPEG decoder against libjpeg-turbo's djpeg and ImageMagick.
#include "imgctl/core/jpeg_decoder.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "imgctl/core/jpeg_idct.h"
#include "imgctl/tests/scan_flood_jpeg.h"
#include "test_pictures.h"

using imgctl::kJpegDecoder;
using namespace imgctl_test;

namespace {

// A plasma picture of the given size as PPM, made once per size.
std::string SourcePicture(int w, int h) {
  std::string path = ScratchDir() + "/src_" + std::to_string(w) + "x" + std::to_string(h) + ".ppm";
  if (ReadFileBytes(path).empty()) {
    // Large pictures are an enlarged smaller plasma: much quicker to make, still photo-like.
    std::string size = std::to_string(w) + "x" + std::to_string(h);
    std::string make = w > 1000 ? "-size 1000x750 plasma:fractal -resize " + size + "!" : "-size " + size + " plasma:fractal";
    EXPECT_TRUE(RunCommand("convert -seed 7 " + make + " -depth 8 " + path));
  }
  return path;
}

// Encodes the source picture with cjpeg and the given options; returns the JPEG path.
std::string MakeJpeg(int w, int h, const std::string &options, const std::string &name) {
  std::string out = ScratchDir() + "/" + name + ".jpg";
  EXPECT_TRUE(RunCommand("cjpeg -quality 90 " + options + " " + SourcePicture(w, h) + " > " + out)) << options;
  return out;
}

Picture Djpeg(const std::string &jpeg, int scale = 1) {
  std::string out = jpeg + "." + std::to_string(scale) + ".pnm";
  EXPECT_TRUE(RunCommand("djpeg -pnm -scale 1/" + std::to_string(scale) + " " + jpeg + " > " + out));
  Picture p;
  EXPECT_TRUE(ReadPnm(out, &p));
  return p;
}

Picture Decode(const std::string &jpeg, int scale, bool expectOk = true) {
  PictureSink sink;
  bool ok = DecodeToPicture(kJpegDecoder, ReadFileBytes(jpeg), scale, &sink);
  EXPECT_EQ(ok, expectOk) << jpeg << " scale " << scale;
  EXPECT_FALSE(sink.orderBroken);
  EXPECT_EQ(sink.begins, 1);
  EXPECT_EQ(sink.rows, sink.picture.height);
  return sink.picture;
}

struct JpegCase {
  const char *name;
  const char *options;
};

// Every sampling factor, progressive scans, restart intervals, greyscale, multi-scan sequential.
const JpegCase kCases[] = {
    {"s444", "-sample 1x1"},
    {"s422", "-sample 2x1"},
    {"s440", "-sample 1x2"},
    {"s420", "-sample 2x2"},
    {"s411", "-sample 4x1"},
    {"s420_optimized", "-sample 2x2 -optimize"},
    {"s420_restart1", "-sample 2x2 -restart 1B"},
    {"s422_restart3", "-sample 2x1 -restart 3B"},
    {"mixed", "-sample 2x2,1x1,2x2"},
    {"p444", "-sample 1x1 -progressive"},
    {"p420", "-sample 2x2 -progressive"},
    {"p422_restart2", "-sample 2x1 -progressive -restart 2B"},
    {"grey", "-grayscale"},
    {"grey_progressive", "-grayscale -progressive"},
    {"multiscan", "-scans " /* sequential, one component per scan; script appended below */},
};

std::string OptionsOf(const JpegCase &c) {
  std::string o = c.options;
  if (o == "-scans ") {
    std::string script = ScratchDir() + "/sequential.scans";
    WriteFile(script, std::vector<uint8_t>{'0', ';', '\n', '1', ';', '\n', '2', ';', '\n'});
    o += script;
  }
  return o;
}

class JpegConformance : public ::testing::TestWithParam<JpegCase> {};

TEST_P(JpegConformance, MatchesDjpegAtEverySize) {
  const JpegCase &c = GetParam();
  const int sizes[][2] = {{1, 1}, {17, 9}, {203, 157}};
  for (const auto &s : sizes) {
    std::string jpeg = MakeJpeg(s[0], s[1], OptionsOf(c), std::string(c.name) + "_" + std::to_string(s[0]));
    Difference d = Compare(Decode(jpeg, 1), Djpeg(jpeg));
    EXPECT_LT(d.meanAbs, 0.5) << c.name << " " << s[0] << "x" << s[1];
    EXPECT_LE(d.maxAbs, 4) << c.name << " " << s[0] << "x" << s[1];
  }
}

// Scaled decoding approximates the box average of the full decode at least as closely as
// libjpeg-turbo's own scaled decode does (chroma subsampled in one direction only is where
// both depart from the box average most, on this strongly coloured picture).
TEST_P(JpegConformance, ScaledDecodeIsTheBoxAverage) {
  const JpegCase &c = GetParam();
  std::string jpeg = MakeJpeg(203, 157, OptionsOf(c), std::string(c.name) + "_scaled");
  Picture full = Djpeg(jpeg);
  for (int scale : {2, 4, 8}) {
    Picture ours = Decode(jpeg, scale);
    ASSERT_EQ(ours.width, (203 + scale - 1) / scale);
    ASSERT_EQ(ours.height, (157 + scale - 1) / scale);
    Picture box = BoxAverage(full, scale);
    Difference d = Compare(ours, box);
    Difference peer = Compare(Djpeg(jpeg, scale), box);
    double allowedMean = peer.meanAbs + 0.3 > 1.5 ? peer.meanAbs + 0.3 : 1.5;
    EXPECT_LE(d.meanAbs, allowedMean) << c.name << " 1/" << scale;
    EXPECT_LE(d.maxAbs, peer.maxAbs + 8) << c.name << " 1/" << scale;
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, JpegConformance, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<JpegCase> &i) { return std::string(i.param.name); });

TEST(JpegDecoder, LargeOddSizedBaselineAndProgressiveMatchDjpeg) {
  for (const char *options : {"-sample 2x2", "-sample 2x2 -progressive"}) {
    std::string jpeg = MakeJpeg(4001, 2999, options, std::string("large") + (options[11] ? "_p" : ""));
    Picture full = Djpeg(jpeg);
    Difference d = Compare(Decode(jpeg, 1), full);
    EXPECT_LT(d.meanAbs, 0.5) << options;
    EXPECT_LE(d.maxAbs, 4) << options;
    Difference half = Compare(Decode(jpeg, 2), BoxAverage(full, 2));
    EXPECT_LT(half.meanAbs, 1.0) << options;
    EXPECT_LE(half.maxAbs, 24) << options;
  }
}

TEST(JpegDecoder, CmykIsConvertedAsImageMagickDoes) {
  std::string jpeg = ScratchDir() + "/cmyk.jpg";
  std::string ref = ScratchDir() + "/cmyk_ref.ppm";
  ASSERT_TRUE(RunCommand("convert " + SourcePicture(203, 157) + " -colorspace CMYK -quality 90 " + jpeg));
  ASSERT_TRUE(RunCommand("convert " + jpeg + " -colorspace sRGB " + ref));
  Picture expected;
  ASSERT_TRUE(ReadPnm(ref, &expected));
  Difference d = Compare(Decode(jpeg, 1), expected);
  EXPECT_LT(d.meanAbs, 1.0);
  EXPECT_LE(d.maxAbs, 4);
}

// ---------------------------------------------------------------------------------------------
// Probe and EXIF orientation

std::vector<uint8_t> WithApp1(const std::vector<uint8_t> &jpeg, const std::vector<uint8_t> &payload) {
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  size_t len = payload.size() + 2;
  out.push_back(0xFF);
  out.push_back(0xE1);
  out.push_back(static_cast<uint8_t>(len >> 8));
  out.push_back(static_cast<uint8_t>(len));
  out.insert(out.end(), payload.begin(), payload.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

std::vector<uint8_t> ExifOrientation(bool bigEndian, int orientation, uint32_t ifdOffset = 8) {
  std::vector<uint8_t> e = {'E', 'x', 'i', 'f', 0, 0};
  auto u16 = [&](unsigned v) {
    if (bigEndian) e.insert(e.end(), {uint8_t(v >> 8), uint8_t(v)});
    else e.insert(e.end(), {uint8_t(v), uint8_t(v >> 8)});
  };
  auto u32 = [&](uint32_t v) {
    if (bigEndian) e.insert(e.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    else e.insert(e.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  };
  e.push_back(bigEndian ? 'M' : 'I');
  e.push_back(bigEndian ? 'M' : 'I');
  u16(42);
  u32(ifdOffset);
  u16(1);         // one entry
  u16(0x0112);    // orientation
  u16(3);         // SHORT
  u32(1);
  u16(static_cast<unsigned>(orientation));
  u16(0);
  u32(0);
  return e;
}

TEST(JpegDecoder, ProbeReadsSizeAndOrientation) {
  std::vector<uint8_t> jpeg = ReadFileBytes(MakeJpeg(17, 9, "", "probe"));
  imgctl::ImageHeader h;
  ASSERT_TRUE(imgctl::ProbeJpeg(jpeg.data(), jpeg.size(), &h));
  EXPECT_EQ(h.width, 17);
  EXPECT_EQ(h.height, 9);
  EXPECT_EQ(h.orientation, 1);
  for (int o = 1; o <= 8; ++o)
    for (bool big : {false, true}) {
      std::vector<uint8_t> tagged = WithApp1(jpeg, ExifOrientation(big, o));
      ASSERT_TRUE(imgctl::ProbeJpeg(tagged.data(), tagged.size(), &h));
      EXPECT_EQ(h.orientation, o) << big;
    }
  // Out-of-range values and offsets past the segment leave the picture as stored.
  for (auto payload : {ExifOrientation(false, 9), ExifOrientation(false, 0), ExifOrientation(true, 6, 4000),
                       ExifOrientation(false, 6, 0xFFFFFFF0u)}) {
    std::vector<uint8_t> tagged = WithApp1(jpeg, payload);
    ASSERT_TRUE(imgctl::ProbeJpeg(tagged.data(), tagged.size(), &h));
    EXPECT_EQ(h.orientation, 1);
  }
}

// ---------------------------------------------------------------------------------------------
// Bad input: every outcome defined, nothing read outside the data (run under AddressSanitizer).

TEST(JpegDecoder, TruncatedFilesDeliverWhatDecodedAndFail) {
  for (const char *options : {"-sample 2x2", "-sample 2x2 -progressive", "-sample 2x1 -restart 1B"}) {
    std::vector<uint8_t> whole = ReadFileBytes(MakeJpeg(203, 157, options, "truncate"));
    int lastRows = -1;
    for (size_t cut = 0; cut < whole.size(); cut += 97) {
      // The cut copy lives in its own allocation so that any read past its end is caught.
      std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<long>(cut));
      PictureSink sink;
      bool ok = DecodeToPicture(kJpegDecoder, part, 1, &sink);
      // Success only when every row is there (a baseline file may lack only its EOI marker).
      if (ok) {
        EXPECT_EQ(sink.rows, 157) << options << " cut " << cut;
      }
      if (cut < whole.size() * 9 / 10) {
        EXPECT_FALSE(ok) << options << " cut " << cut;
      }
      EXPECT_FALSE(sink.orderBroken);
      if (options[11] == 0 && sink.begins) {
        EXPECT_GE(sink.rows, lastRows) << "a longer baseline file never yields fewer rows";
        lastRows = sink.rows;
      }
    }
  }
}

TEST(JpegDecoder, CorruptedBytesNeverCrash) {
  std::vector<uint8_t> whole = ReadFileBytes(MakeJpeg(203, 157, "-sample 2x2 -progressive -restart 1B", "corrupt"));
  srand(1234);
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<uint8_t> bad = whole;
    int flips = 1 + rand() % 8;
    for (int i = 0; i < flips; ++i) bad[static_cast<size_t>(rand()) % bad.size()] = static_cast<uint8_t>(rand());
    for (int scale : {1, 8}) {
      PictureSink sink;
      DecodeToPicture(kJpegDecoder, bad, scale, &sink);
      EXPECT_FALSE(sink.orderBroken);
    }
  }
}

// A frame header that claims a huge picture over a few bytes of data ends quickly.
TEST(JpegDecoder, HugeDimensionsOverTinyDataFailQuickly) {
  for (const char *options : {"-sample 2x2", "-sample 2x2 -progressive"}) {
    std::vector<uint8_t> jpeg = ReadFileBytes(MakeJpeg(17, 9, options, "huge"));
    for (size_t i = 0; i + 8 < jpeg.size(); ++i)
      if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
        jpeg[i + 5] = jpeg[i + 6] = jpeg[i + 7] = jpeg[i + 8] = 0xFF;  // 65535 x 65535
        break;
      }
    imgctl::ImageHeader h;
    ASSERT_TRUE(imgctl::ProbeJpeg(jpeg.data(), jpeg.size(), &h));
    EXPECT_EQ(h.width, 65535);
    for (int scale : {8, 1}) {
      PictureSink sink;
      EXPECT_FALSE(DecodeToPicture(kJpegDecoder, jpeg, scale, &sink)) << options;
      EXPECT_LE(sink.rows, 64);
    }
  }
}

// Scans that cost work without data. Each refinement scan visits every block of its component, so
// a hundred of them pass the bound on visits and are damage at full scale, while at 1/8 the AC scans
// of a grey picture are not decoded at all; first scans skip their end-of-band runs whole and stay
// within it. Either way the picture the scans made is delivered whole.
TEST(JpegDecoder, AFloodOfScansPastTheVisitBoundIsDamage) {
  struct Case {
    const char *what;
    int scans;
    FloodScans kind;
    bool whole, wholeAtOneEighth;
  } cases[] = {
      {"ten refinement scans", 10, FloodScans::kRefine, true, true},
      {"a hundred refinement scans", 100, FloodScans::kRefine, false, true},
      {"a hundred first AC scans", 100, FloodScans::kFirst, true, true},
  };
  for (const Case &c : cases)
    for (int scale : {1, 8}) {
      PictureSink sink;
      EXPECT_EQ(DecodeToPicture(kJpegDecoder, ScanFloodJpeg(128, 96, false, c.scans, c.kind), scale, &sink),
                scale == 1 ? c.whole : c.wholeAtOneEighth)
          << c.what << " at 1/" << scale;
      EXPECT_EQ(sink.rows, 96 / scale) << c.what;
      EXPECT_EQ(sink.picture.pixels[sink.picture.pixels.size() / 2], 0xFF808080u) << c.what;  // the DC scan's grey
    }
}

TEST(JpegDecoder, RefusesWhatItDoesNotDecode) {
  std::vector<uint8_t> jpeg = ReadFileBytes(MakeJpeg(17, 9, "", "refuse"));
  imgctl::ImageHeader h;
  PictureSink sink;
  const std::vector<uint8_t> empty, notJpeg = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
  EXPECT_FALSE(imgctl::ProbeJpeg(empty.data(), 0, &h));
  EXPECT_FALSE(imgctl::ProbeJpeg(notJpeg.data(), notJpeg.size(), &h));
  EXPECT_FALSE(DecodeToPicture(kJpegDecoder, notJpeg, 1, &sink));
  for (uint8_t sof : {0xC3, 0xC9, 0xCA}) {  // lossless and arithmetic coding
    std::vector<uint8_t> other = jpeg;
    for (size_t i = 0; i + 1 < other.size(); ++i)
      if (other[i] == 0xFF && other[i + 1] == 0xC0) other[i + 1] = sof;
    PictureSink s;
    EXPECT_FALSE(DecodeToPicture(kJpegDecoder, other, 1, &s));
    EXPECT_EQ(s.rows, 0);
  }
  std::vector<uint8_t> twelveBit = jpeg;
  for (size_t i = 0; i + 4 < twelveBit.size(); ++i)
    if (twelveBit[i] == 0xFF && twelveBit[i + 1] == 0xC0) twelveBit[i + 4] = 12;
  EXPECT_FALSE(imgctl::ProbeJpeg(twelveBit.data(), twelveBit.size(), &h));
}

// ---------------------------------------------------------------------------------------------
// Inverse transforms against a floating-point reference

void ReferenceIdct(const int16_t *in, double out[64]) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      double s = 0;
      for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
          double cu = u ? 1 : sqrt(0.5), cv = v ? 1 : sqrt(0.5);
          s += cu * cv / 4 * in[v * 8 + u] * cos((2 * x + 1) * u * M_PI / 16) * cos((2 * y + 1) * v * M_PI / 16);
        }
      out[y * 8 + x] = s + 128;
    }
}

TEST(JpegIdct, EverySizeMatchesTheBoxAveragedReference) {
  srand(99);
  int worst[9] = {0};
  for (int trial = 0; trial < 2000; ++trial) {
    int16_t in[64] = {0};
    int count = 1 + rand() % 20;
    for (int i = 0; i < count; ++i) {
      int k = (trial % 3 == 0) ? rand() % 64 : rand() % 16;  // mostly low frequencies, as in photos
      in[(k / 8 % 8) * 8 + k % 8] = static_cast<int16_t>(rand() % 400 - 200);
    }
    in[0] = static_cast<int16_t>(rand() % 1600 - 800);
    double ref[64];
    ReferenceIdct(in, ref);
    for (int size : {8, 4, 2, 1}) {
      uint8_t out[64];
      imgctl::InverseDct(in, size, out, 8);
      int g = 8 / size;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
          double sum = 0;
          for (int j = 0; j < g; ++j)
            for (int i = 0; i < g; ++i) sum += ref[(y * g + j) * 8 + x * g + i];
          double want = sum / (g * g);
          want = want < 0 ? 0 : (want > 255 ? 255 : want);
          int d = static_cast<int>(fabs(out[y * 8 + x] - want) + 0.5);
          if (d > worst[size]) worst[size] = d;
        }
    }
  }
  for (int size : {8, 4, 2, 1}) EXPECT_LE(worst[size], 1) << size;
}

TEST(JpegIdct, CoefficientsUsedByReducedSizesAreExactlyThoseThatMatter) {
  for (int size : {4, 2, 1}) {
    uint64_t used = imgctl::JpegCoefficientsUsed(size);
    for (int k = 0; k < 64; ++k) {
      int16_t in[64] = {0};
      in[k] = 400;
      uint8_t out[64], base[64];
      imgctl::InverseDct(in, size, out, 8);
      int16_t zero[64] = {0};
      imgctl::InverseDct(zero, size, base, 8);
      bool changes = false;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) changes |= out[y * 8 + x] != base[y * 8 + x];
      EXPECT_EQ(changes, ((used >> k) & 1) != 0) << "size " << size << " coefficient " << k;
    }
  }
}

}  // namespace
