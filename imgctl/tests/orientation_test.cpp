// EXIF orientation: reading the tag from JPEG bytes, and turning the stored pixels upright.
#include "imgctl/core/exif_orientation.h"
#include "imgctl/core/orientation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace imgctl {
namespace {

// The stored picture  A B C / D E F  turned upright by each orientation (rows separated by '/').
struct OrientationCase {
  int orientation;
  const char *upright;
};
const OrientationCase kOrientations[] = {
    {1, "ABC/DEF"}, {2, "CBA/FED"}, {3, "FED/CBA"}, {4, "DEF/ABC"},
    {5, "AD/BE/CF"}, {6, "DA/EB/FC"}, {7, "FC/EB/DA"}, {8, "CF/BE/AD"},
};

TEST(TurnUpright, EachOrientationPlacesThePixelsAsTheTagDescribes) {
  const Pixels stored = {'A', 'B', 'C', 'D', 'E', 'F'};
  for (const OrientationCase &c : kOrientations) {
    bool swap = c.orientation >= 5;
    Pixels upright = TurnUpright(stored, 3, 2, c.orientation);
    int width = swap ? 2 : 3;
    std::string text;
    for (size_t i = 0; i < upright.size(); ++i) {
      if (i > 0 && i % size_t(width) == 0) text += '/';
      text += char(upright[i]);
    }
    EXPECT_EQ(text, c.upright) << "orientation " << c.orientation;
  }
  EXPECT_EQ(TurnUpright(stored, 3, 2, 0), stored);
  EXPECT_EQ(TurnUpright(stored, 3, 2, 9), stored);
}

// A JPEG start with one APP1 Exif segment whose IFD0 holds `entries` (tag, type, count, value).
std::vector<uint8_t> JpegWithExif(bool bigEndian, std::vector<std::vector<uint32_t>> entries, uint32_t ifdOffset = 8,
                                  int declaredCount = -1) {
  std::vector<uint8_t> tiff;
  auto put16 = [&](uint32_t v) {
    if (bigEndian) tiff.insert(tiff.end(), {uint8_t(v >> 8), uint8_t(v)});
    else tiff.insert(tiff.end(), {uint8_t(v), uint8_t(v >> 8)});
  };
  auto put32 = [&](uint32_t v) {
    if (bigEndian) put16(v >> 16), put16(v & 0xFFFF);
    else put16(v & 0xFFFF), put16(v >> 16);
  };
  tiff.insert(tiff.end(), bigEndian ? std::initializer_list<uint8_t>{'M', 'M'} : std::initializer_list<uint8_t>{'I', 'I'});
  put16(42);
  put32(ifdOffset);
  put16(declaredCount >= 0 ? uint32_t(declaredCount) : uint32_t(entries.size()));
  for (const auto &e : entries) {
    put16(e[0]);
    put16(e[1]);
    put32(e[2]);
    put16(e[3]);
    put16(0);
  }
  put32(0);
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 0, 0};  // a 2-byte APP0 first
  size_t length = 2 + 6 + tiff.size();
  jpeg.insert(jpeg.end(), {0xFF, 0xE1, uint8_t(length >> 8), uint8_t(length)});
  jpeg.insert(jpeg.end(), {'E', 'x', 'i', 'f', 0, 0});
  jpeg.insert(jpeg.end(), tiff.begin(), tiff.end());
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  return jpeg;
}

TEST(ReadJpegOrientation, ReadsTheTagInEitherByteOrder) {
  for (bool bigEndian : {false, true})
    for (uint32_t value = 1; value <= 8; ++value) {
      auto jpeg = JpegWithExif(bigEndian, {{0x010F, 2, 4, 0}, {0x0112, 3, 1, value}});
      EXPECT_EQ(ReadJpegOrientation(jpeg.data(), jpeg.size()), int(value)) << bigEndian;
    }
}

TEST(ReadJpegOrientation, MalformedOrMissingTagsGiveOne) {
  struct Case {
    const char *what;
    std::vector<uint8_t> jpeg;
  } cases[] = {
      {"value 0", JpegWithExif(false, {{0x0112, 3, 1, 0}})},
      {"value 9", JpegWithExif(false, {{0x0112, 3, 1, 9}})},
      {"wrong type", JpegWithExif(false, {{0x0112, 4, 1, 6}})},
      {"no tag", JpegWithExif(true, {{0x010F, 2, 4, 0}})},
      {"IFD past the end", JpegWithExif(false, {{0x0112, 3, 1, 6}}, 0x7FFFFFF0)},
      {"IFD offset wraps", JpegWithExif(false, {{0x0112, 3, 1, 6}}, 0xFFFFFFFF)},
      {"entry count past the end", JpegWithExif(false, {{0x010F, 2, 4, 0}}, 8, 60000)},
  };
  for (const Case &c : cases) EXPECT_EQ(ReadJpegOrientation(c.jpeg.data(), c.jpeg.size()), 1) << c.what;

  // Cut short at every length: never read past the end, 1 unless the tag is whole.
  auto jpeg = JpegWithExif(false, {{0x0112, 3, 1, 6}});
  for (size_t length = 0; length < jpeg.size(); ++length) {
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + long(length));
    int orientation = ReadJpegOrientation(cut.data(), cut.size());
    EXPECT_TRUE(orientation == 1 || orientation == 6);
  }
  const uint8_t notJpeg[] = {'B', 'M', 0, 0};
  EXPECT_EQ(ReadJpegOrientation(notJpeg, sizeof notJpeg), 1);
}

}  // namespace
}  // namespace imgctl
