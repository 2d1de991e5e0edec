// Loading from bytes: limits, resize refusals, decode scales, BMP run-length and palette faults,
// and every cut-short prefix of every test picture (under the sanitizers, natively).
#include "imgctl/core/picture.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "imgctl/core/limits.h"

namespace imgctl {
namespace {

const std::string kPictures = std::string(IMGCTL_REPO_ROOT) + "/tests/data/imgctl/";

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::vector<uint8_t> bytes;
  FILE *file = fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  int c;
  while ((c = fgetc(file)) != EOF) bytes.push_back(uint8_t(c));
  fclose(file);
  return bytes;
}

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

std::vector<uint32_t> Decode(const std::vector<uint8_t> &file) {
  Picture picture;
  if (!OpenPicture(file, &picture)) return {};
  return PicturePixels(&picture);
}

TEST(OpenPicture, RefusesSizesPastTheLimitsBeforeDecoding) {
  EXPECT_TRUE(SizeWithinLimits(8192, 4096));
  EXPECT_TRUE(SizeWithinLimits(32767, 1024));
  EXPECT_FALSE(SizeWithinLimits(8192, 4097));
  EXPECT_FALSE(SizeWithinLimits(32768, 1));
  EXPECT_FALSE(SizeWithinLimits(0, 5));
  EXPECT_FALSE(SizeWithinLimits(5, -1));
  Picture picture;
  EXPECT_FALSE(OpenPicture(Bmp(8193, 4096, 24, 0, {}, {}), &picture));
  EXPECT_TRUE(OpenPicture(Bmp(8192, 4096, 24, 0, {}, {}), &picture));  // headers only: nothing allocated yet
  EXPECT_EQ(picture.pixels.capacity(), 0u);
}

TEST(ResizePicture, RefusesBadSizesAndKeepsThePicture) {
  Picture picture;
  ASSERT_TRUE(OpenPicture(ReadFile(kPictures + "bmp_24.bmp"), &picture));
  ASSERT_TRUE(ResizePicture(&picture, 10, 6));
  const std::vector<uint32_t> before = PicturePixels(&picture);
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
    std::vector<uint32_t> expected;  // top row first
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
    std::vector<uint32_t> pixels = Decode(Bmp(c.width, c.height, c.bits, c.compression, palette, c.data));
    EXPECT_EQ(pixels, c.expected) << c.what;
  }
}

TEST(BmpDecoder, BitFieldsWithAnEmptyAlphaChannelAreOpaque) {
  // 32-bit bit fields with an alpha mask whose every value is 0: drawn opaque, not black.
  std::vector<uint8_t> file = Bmp(2, 1, 32, 6, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                                  {0x10, 0x20, 0x30, 0x00, 0x40, 0x50, 0x60, 0x00});
  EXPECT_EQ(Decode(file), (std::vector<uint32_t>{0xFF302010u, 0xFF605040u}));
  file[file.size() - 1] = 0x80;  // one pixel with alpha: the channel counts, composited over black
  EXPECT_EQ(Decode(file), (std::vector<uint32_t>{0xFF000000u, 0xFF302820u}));
}

TEST(Pictures, EveryCutShortPrefixAndTheHostileCorpusGiveZeroOrAPicture) {
  std::vector<std::string> files = PicturesIn(kPictures);
  std::vector<std::string> bad = PicturesIn(kPictures + "bad/");
  ASSERT_GT(files.size(), 40u);
  ASSERT_GT(bad.size(), 40u);
  size_t opened = 0;
  auto exercise = [&](const std::vector<uint8_t> &bytes) {
    Picture picture;
    if (!OpenPicture(bytes, &picture)) return;
    ++opened;
    ASSERT_EQ(PicturePixels(&picture).size(), size_t(picture.width) * size_t(picture.height));
    ASSERT_TRUE(ResizePicture(&picture, 7, 5));
    ASSERT_EQ(PicturePixels(&picture).size(), 35u);
  };
  for (const std::string &file : files) {
    std::vector<uint8_t> bytes = ReadFile(file);
    SCOPED_TRACE(file);
    size_t step = bytes.size() > 2000 ? bytes.size() / 200 : 1;
    for (size_t length = 0; length <= bytes.size(); length += step)
      exercise(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(length)));
  }
  for (const std::string &file : bad) {
    SCOPED_TRACE(file);
    exercise(ReadFile(file));
  }
  EXPECT_GT(opened, 500u);
}

}  // namespace
}  // namespace imgctl
