// Loading from bytes: limits, resize refusals, decode scales, BMP run-length, palette and offset faults,
// and every cut-short prefix of every test picture (under the sanitizers, natively).
#include "imgctl/core/picture.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "imgctl/core/jpeg_decoder.h"
#include "imgctl/core/limits.h"
#include "imgctl/tests/flat_jpeg.h"
#include "imgctl/native/file_bytes.h"

namespace imgctl {
namespace {

const std::string kPictures = std::string(IMGCTL_REPO_ROOT) + "/tests/data/imgctl/";

std::vector<std::string> PicturesIn(const std::string &folder) {
  std::vector<std::string> names;
  DIR *dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (dirent *entry = readdir(dir)) {
    std::string name = entry->d_name;
    size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    if (extension == ".jpg" || extension == ".png" || extension == ".gif" || extension == ".bmp")
      names.push_back(folder + name);
  }
  closedir(dir);
  return names;
}

// A BMP file: 40-byte header, palette, pixel bytes.
std::vector<uint8_t> Bmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                         const std::vector<uint32_t> &palette, const std::vector<uint8_t> &pixels) {
  std::vector<uint8_t> file;
  auto put = [&](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) file.push_back(uint8_t(value >> (8 * i)));
  };
  uint32_t offset = 14 + 40 + uint32_t(palette.size()) * 4;
  file.push_back('B');
  file.push_back('M');
  put(offset + uint32_t(pixels.size()), 4);
  put(0, 4);
  put(offset, 4);
  put(40, 4);
  put(uint32_t(width), 4);
  put(uint32_t(height), 4);
  put(1, 2);
  put(bits, 2);
  put(compression, 4);
  put(uint32_t(pixels.size()), 4);
  put(0, 4);
  put(0, 4);
  put(uint32_t(palette.size()), 4);
  put(0, 4);
  for (uint32_t colour : palette) put(colour, 4);
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

// A test file's bytes as the library holds a file's bytes.
FileBytes Bytes(const std::vector<uint8_t> &file) { return FileBytes(file.begin(), file.end()); }

Pixels Decode(const std::vector<uint8_t> &file) {
  Picture picture;
  if (!OpenPicture(Bytes(file), &picture)) return {};
  return PicturePixels(&picture);
}

// A PNG of the given size whose data is one empty IDAT: enough for the headers.
std::vector<uint8_t> PngHeaders(uint32_t width, uint32_t height, uint8_t interlace) {
  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  auto be32 = [&](uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) file.push_back(uint8_t(value >> shift));
  };
  auto chunk = [&](const char *type, std::vector<uint8_t> body) {
    be32(uint32_t(body.size()));
    size_t start = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), body.begin(), body.end());
    be32(uint32_t(crc32(0, file.data() + start, uInt(file.size() - start))));
  };
  chunk("IHDR", {uint8_t(width >> 24), uint8_t(width >> 16), uint8_t(width >> 8), uint8_t(width),
                 uint8_t(height >> 24), uint8_t(height >> 16), uint8_t(height >> 8), uint8_t(height),
                 8, 2, 0, 0, interlace});
  chunk("IDAT", {});
  chunk("IEND", {});
  return file;
}

std::vector<uint8_t> GifHeaders(uint16_t width, uint16_t height) {
  return {'G', 'I', 'F', '8', '9', 'a', uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8),
          0, 0, 0, 0x3B};
}

// A real progressive JPEG whose frame header is made to state another size: the headers parse,
// the data runs out early.
std::vector<uint8_t> ProgressiveJpegStating(uint16_t width, uint16_t height) {
  std::vector<uint8_t> file = ReadFileBytes(kPictures + "jpeg_progressive.jpg");
  for (size_t at = 2; at + 9 < file.size(); ++at)
    if (file[at] == 0xFF && file[at + 1] == 0xC2) {
      file[at + 5] = uint8_t(height >> 8);
      file[at + 6] = uint8_t(height);
      file[at + 7] = uint8_t(width >> 8);
      file[at + 8] = uint8_t(width);
      break;
    }
  return file;
}

TEST(Limits, HeldSizesAndStoredSizes) {
  EXPECT_TRUE(SizeWithinLimits(8192, 4096));
  EXPECT_TRUE(SizeWithinLimits(32767, 1024));
  EXPECT_FALSE(SizeWithinLimits(8192, 4097));
  EXPECT_FALSE(SizeWithinLimits(32768, 1));
  EXPECT_FALSE(SizeWithinLimits(0, 5));
  EXPECT_FALSE(SizeWithinLimits(5, -1));
  EXPECT_TRUE(SourceWithinLimits(10000, 10000));
  EXPECT_TRUE(SourceWithinLimits(65535, 4096));
  EXPECT_FALSE(SourceWithinLimits(65536, 1));
  EXPECT_FALSE(SourceWithinLimits(16385, 16384));
  EXPECT_FALSE(SourceWithinLimits(0, 1));
}

// Ordinal 4's decision from the headers alone: what streams loads whatever its size within the
// stored-size bounds; what a decoder must hold whole loads only while that fits the working bound.
TEST(OpenPicture, RefusesFromHeadersWhatWouldNeedTooMuchMemory) {
  struct Case {
    const char *what;
    std::vector<uint8_t> file;
    bool loads;
  } cases[] = {
      {"100 MP baseline JPEG (streams)", imgctl_test::FlatJpeg(10000, 10000, 1, 2, 3), true},
      {"100 MP progressive JPEG (coefficients at 1/8: 3 MB)", ProgressiveJpegStating(10000, 10000), true},
      {"JPEG past 2^28 pixels", imgctl_test::FlatJpeg(16385, 16384, 1, 2, 3), false},
      {"67 MP PNG (streams)", PngHeaders(8192, 8192, 0), true},
      {"PNG past 2^26 pixels (every pixel decoded at any scale)", PngHeaders(8193, 8192, 0), false},
      {"interlaced PNG of 8000 x 8000 (256 MB whole)", PngHeaders(8000, 8000, 1), true},
      {"PNG wider than 65535", PngHeaders(65536, 1, 0), false},
      {"GIF of 4000 x 4000 (208 MB through stb)", GifHeaders(4000, 4000), true},
      {"GIF of 5000 x 5000 (325 MB through stb)", GifHeaders(5000, 5000), false},
      {"24-bit BMP of 8192 x 8192 (streams)", Bmp(8192, 8192, 24, 0, {}, {}), true},
      {"24-bit BMP of 65535 x 1025", Bmp(65535, 1025, 24, 0, {}, {}), false},
  };
  for (Case &c : cases) {
    Picture picture;
    EXPECT_EQ(OpenPicture(Bytes(c.file), &picture), c.loads) << c.what;
    EXPECT_EQ(picture.pixels.capacity(), 0u) << c.what;  // headers only: nothing decoded yet
  }
}

// A picture loaded larger than it may be held has no pixels until it is resized.
TEST(PicturePixels, NoneForAPictureTooLargeToHoldUntilResized) {
  Picture picture;
  ASSERT_TRUE(OpenPicture(Bytes(imgctl_test::FlatJpeg(8200, 4100, 200, 100, 50)), &picture));
  EXPECT_TRUE(PicturePixels(&picture).empty());
  ASSERT_TRUE(ResizePicture(&picture, 820, 410));
  EXPECT_EQ(PicturePixels(&picture).size(), size_t(820) * 410);
}

// A progressive picture whose coefficient store at the scale the target asks for passes the
// working bound is decoded at a coarser scale instead (and then enlarged to the target).
TEST(WorkingScale, CoarserWhereTheCoefficientStoreWouldPassTheBound) {
  // 4:4:4, so 8000 x 8000 holds 3 M blocks: 128 bytes each at 1/1, 106 at 1/2, 58 at 1/4, 2 at 1/8.
  Picture small, large;
  ASSERT_TRUE(OpenPicture(Bytes(ProgressiveJpegStating(4000, 3000)), &small));
  ASSERT_TRUE(OpenPicture(Bytes(ProgressiveJpegStating(8000, 8000)), &large));
  EXPECT_EQ(WorkingScale(small, 1), 1);
  EXPECT_GT(JpegWorkingBytes(large.bytes.data(), large.bytes.size(), 2), kMaxWorkingBytes);
  EXPECT_LE(JpegWorkingBytes(large.bytes.data(), large.bytes.size(), 4), kMaxWorkingBytes);
  EXPECT_EQ(WorkingScale(large, 1), 4);
  EXPECT_EQ(WorkingScale(large, 2), 4);
  EXPECT_EQ(WorkingScale(large, 8), 8);
}

TEST(ResizePicture, RefusesBadSizesAndKeepsThePicture) {
  Picture picture;
  ASSERT_TRUE(OpenPicture(Bytes(ReadFileBytes(kPictures + "bmp_24.bmp")), &picture));
  ASSERT_TRUE(ResizePicture(&picture, 10, 6));
  const Pixels before = PicturePixels(&picture);
  for (auto size : {std::pair<int32_t, int32_t>{0, 1}, {1, 0}, {-3, 4}, {40000, 2}, {8192, 8192}}) {
    EXPECT_FALSE(ResizePicture(&picture, size.first, size.second));
    EXPECT_EQ(picture.width, 10);
    EXPECT_EQ(picture.height, 6);
    EXPECT_TRUE(picture.decoded);
  }
  EXPECT_EQ(PicturePixels(&picture), before);
}

TEST(DecodeScale, PicksTheLargestDctScaleThatStillCoversTheTarget) {
  struct { int32_t width, height, targetWidth, targetHeight, scale; } cases[] = {
      {4000, 3000, 1440, 1080, 2}, {4000, 3000, 500, 375, 8}, {4000, 3000, 501, 375, 4}, {4000, 3000, 4000, 3000, 1},
      {4000, 3000, 8000, 6000, 1}, {17, 9, 3, 2, 8},          {1, 1, 1, 1, 8},          {16, 16, 2, 3, 4},
  };
  for (const auto &c : cases)
    EXPECT_EQ(DecodeScale(c.width, c.height, c.targetWidth, c.targetHeight), c.scale)
        << c.width << "x" << c.height << "->" << c.targetWidth << "x" << c.targetHeight;
}

TEST(BmpDecoder, RunLengthOverrunsAreClippedAndUnsetPixelsAreBlack) {
  const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  const uint32_t black = 0xFF000000u, red = 0xFFFF0000u, green = 0xFF00FF00u, blue = 0xFF0000FFu;
  struct Case {
    const char *what;
    int32_t width, height;
    uint16_t bits;
    uint32_t compression;
    std::vector<uint8_t> data;
    Pixels expected;  // top row first
  } cases[] = {
      {"RLE8 run past the row's end", 3, 2, 8, 1, {9, 1, 0, 0, 2, 2, 0, 1}, {green, green, black, red, red, red}},
      {"RLE8 delta past the bottom", 2, 2, 8, 1, {1, 3, 0, 2, 0, 9, 1, 1}, {black, black, blue, black}},
      {"RLE8 literal cut short", 4, 1, 8, 1, {0, 4, 1, 2}, {black, black, black, black}},
      {"RLE8 literal with padding", 3, 1, 8, 1, {0, 3, 1, 2, 3, 0, 0, 1}, {red, green, blue}},
      {"RLE8 without an end marker", 2, 1, 8, 1, {2, 3}, {blue, blue}},
      {"RLE4 alternating run", 5, 1, 4, 2, {5, 0x12, 0, 1}, {red, green, red, green, red}},
      {"RLE4 literal, odd count", 3, 1, 4, 2, {0, 3, 0x31, 0x20, 0, 1}, {blue, red, green}},
      {"RLE4 more rows than the picture", 1, 1, 4, 2, {0, 0, 0, 0, 0, 0, 1, 0x33}, {black}},
      {"8-bit index past a short palette", 2, 1, 8, 0, {3, 200, 0, 0}, {blue, black}},
      {"4-bit, cut short rows", 3, 2, 4, 0, {0x12, 0x30, 0, 0}, {black, black, black, red, green, blue}},
  };
  for (const Case &c : cases) {
    Pixels pixels = Decode(Bmp(c.width, c.height, c.bits, c.compression, palette, c.data));
    EXPECT_EQ(pixels, c.expected) << c.what;
  }
}

TEST(BmpDecoder, PixelOffsetPastTheEndGivesBlackRowsAsACutShortFileDoes) {
  // 16 pixels of 32 bits (64 bytes a row) at an offset of 0xFFFFFF00: from the fifth stored row on,
  // offset + row x 64 passes 2^32, which a 32-bit sum wraps back to the start of the file, and the
  // headers would be shown as pixels.
  std::vector<uint8_t> file = Bmp(16, 8, 32, 0, {}, std::vector<uint8_t>(16 * 8 * 4, 0x7F));
  for (int i = 0; i < 4; ++i) file[10 + size_t(i)] = uint8_t(0xFFFFFF00u >> (8 * i));
  EXPECT_EQ(Decode(file), Pixels(16 * 8, 0xFF000000u));
}

TEST(BmpDecoder, BitFieldsWithAnEmptyAlphaChannelAreOpaque) {
  // 32-bit bit fields with an alpha mask whose every value is 0: drawn opaque, not black.
  std::vector<uint8_t> file = Bmp(2, 1, 32, 6, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                                  {0x10, 0x20, 0x30, 0x00, 0x40, 0x50, 0x60, 0x00});
  EXPECT_EQ(Decode(file), (Pixels{0xFF302010u, 0xFF605040u}));
  file[file.size() - 1] = 0x80;  // one pixel with alpha: the channel counts, composited over black
  EXPECT_EQ(Decode(file), (Pixels{0xFF000000u, 0xFF302820u}));
}

TEST(Pictures, EveryCutShortPrefixAndTheHostileCorpusGiveZeroOrAPicture) {
  std::vector<std::string> files = PicturesIn(kPictures);
  std::vector<std::string> bad = PicturesIn(kPictures + "bad/");
  ASSERT_GT(files.size(), 40u);
  ASSERT_GT(bad.size(), 40u);
  size_t opened = 0;
  auto exercise = [&](const std::vector<uint8_t> &bytes) {
    Picture picture;
    if (!OpenPicture(Bytes(bytes), &picture)) return;
    ++opened;
    ASSERT_EQ(PicturePixels(&picture).size(), size_t(picture.width) * size_t(picture.height));
    ASSERT_TRUE(ResizePicture(&picture, 7, 5));
    ASSERT_EQ(PicturePixels(&picture).size(), 35u);
  };
  for (const std::string &file : files) {
    std::vector<uint8_t> bytes = ReadFileBytes(file);
    SCOPED_TRACE(file);
    size_t step = bytes.size() > 2000 ? bytes.size() / 200 : 1;
    for (size_t length = 0; length <= bytes.size(); length += step)
      exercise(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(length)));
  }
  for (const std::string &file : bad) {
    SCOPED_TRACE(file);
    exercise(ReadFileBytes(file));
  }
  EXPECT_GT(opened, 500u);
}

}  // namespace
}  // namespace imgctl
