// imgctl.dll by ordinal under Wine: every type and variant decodes to ImageMagick's pixels, EXIF
// orientations turn photos upright, transparency lands on black, and the resampler's quality on a photo.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/imgctl_ordinals.h"

namespace {

struct Difference {
  int maximum = 0;
  double mean = 0;
  double psnr = 0;
};

// Compares drawn pixels (0xRRGGBB) with a reference file of B, G, R, A bytes.
Difference Compare(const std::vector<uint32_t> &drawn, const std::vector<uint8_t> &reference) {
  Difference d;
  double squares = 0, sum = 0;
  for (size_t i = 0; i < drawn.size(); ++i)
    for (int c = 0; c < 3; ++c) {
      int difference = abs(int((drawn[i] >> (8 * c)) & 0xFF) - int(reference[4 * i + size_t(c)]));
      d.maximum = std::max(d.maximum, difference);
      sum += difference;
      squares += double(difference) * difference;
    }
  d.mean = sum / (3.0 * double(drawn.size()));
  d.psnr = squares == 0 ? 99 : 10 * log10(255.0 * 255.0 / (squares / (3.0 * double(drawn.size()))));
  return d;
}

struct Variant {
  const char *file;
  int maximum;  // largest difference per channel allowed against ImageMagick
};

// Lossless types must match to rounding (16-bit samples, transparency and 5-bit fields round
// differently by a step or two);
// JPEG decoders differ in their inverse DCT and chroma upsampling.
const Variant kVariants[] = {
    {"jpeg_baseline.jpg", 40},   {"jpeg_444.jpg", 12},        {"jpeg_progressive.jpg", 40},
    {"jpeg_gray.jpg", 12},       {"png_gray1.png", 0},        {"png_gray2.png", 0},
    {"png_gray4.png", 0},        {"png_gray8.png", 0},        {"png_gray16.png", 1},
    {"png_graya8.png", 1},       {"png_graya16.png", 2},      {"png_rgb8.png", 0},
    {"png_rgb16.png", 1},        {"png_rgba8.png", 1},        {"png_rgba16.png", 2},
    {"png_palette1.png", 0},     {"png_palette2.png", 0},     {"png_palette4.png", 0},
    {"png_palette8.png", 0},     {"png_palette_alpha.png", 1}, {"png_interlaced.png", 0},
    {"png_interlaced_rgba16.png", 2}, {"gif_256.gif", 0},     {"gif_transparent.gif", 0},
    {"gif_animated.gif", 0},     {"bmp_1.bmp", 0},            {"bmp_4.bmp", 0},
    {"bmp_8.bmp", 0},            {"bmp_16_555.bmp", 1},       {"bmp_16_565.bmp", 1},
    {"bmp_24.bmp", 0},           {"bmp_32_rgb.bmp", 0},       {"bmp_32_alpha.bmp", 1},
    {"bmp_topdown.bmp", 0},      {"bmp_rle8.bmp", 0},         {"bmp_rle4.bmp", 0},
    {"bmp_os2.bmp", 0},
    // A Display P3 profile (iCCP): LittleCMS's conversion to sRGB, to the level.
    {"png_display_p3.png", 2},
};

TEST(ImgctlDecode, EveryTypeAndVariantGivesImageMagicksPixels) {
  ASSERT_NE(Imgctl().load, nullptr);
  for (const Variant &v : kVariants) {
    SCOPED_TRACE(v.file);
    ImgHandle picture = Imgctl().load(ImgctlTestFile(v.file).c_str());
    ASSERT_NE(picture, 0u);
    Imgctl().prepare(picture);
    uint8_t info[40];
    memset(info, 0xCC, sizeof info);
    Imgctl().getInfo(picture, reinterpret_cast<ImgPictureInfo *>(info));
    int32_t width, height;
    memcpy(&width, info + 4, 4);
    memcpy(&height, info + 8, 4);
    EXPECT_EQ(width, 37);
    EXPECT_EQ(height, 23);
    std::vector<uint8_t> reference = ReadFileBytes(ImgctlTestFile(std::string(v.file) + ".bgra"));
    ASSERT_EQ(reference.size(), 37u * 23u * 4u);
    Difference d = Compare(DrawWholePicture(picture, 37, 23), reference);
    EXPECT_LE(d.maximum, v.maximum) << "mean " << d.mean;
    if (v.maximum > 2) {
      EXPECT_GT(d.psnr, 30.0);
    }
    Imgctl().free(picture);
  }
}

TEST(ImgctlDecode, TransparentPixelsAreDrawnOverBlack) {
  // base_alpha fades from fully transparent at the left to opaque at the right.
  ImgHandle transparent = Imgctl().load(ImgctlTestFile("png_rgba8.png").c_str());
  ImgHandle opaque = Imgctl().load(ImgctlTestFile("png_rgb8.png").c_str());
  ASSERT_NE(transparent, 0u);
  ASSERT_NE(opaque, 0u);
  std::vector<uint32_t> faded = DrawWholePicture(transparent, 37, 23), plain = DrawWholePicture(opaque, 37, 23);
  for (int y = 0; y < 23; ++y) {
    EXPECT_EQ(faded[size_t(y) * 37], 0u) << y;
    for (int c = 0; c < 24; c += 8)
      EXPECT_NEAR(int((faded[size_t(y) * 37 + 36] >> c) & 0xFF), int((plain[size_t(y) * 37 + 36] >> c) & 0xFF), 1);
    // Half way, each channel is about half of the opaque one.
    for (int c = 0; c < 24; c += 8)
      EXPECT_NEAR(int((faded[size_t(y) * 37 + 18] >> c) & 0xFF), int((plain[size_t(y) * 37 + 18] >> c) & 0xFF) / 2, 4);
  }
  Imgctl().free(transparent);
  Imgctl().free(opaque);
}

TEST(ImgctlDecode, ExifOrientationsOneToEightTurnThePhotoUpright) {
  for (int orientation = 1; orientation <= 8; ++orientation) {
    std::string file = "jpeg_orient" + std::to_string(orientation) + ".jpg";
    SCOPED_TRACE(file);
    ImgHandle picture = Imgctl().load(ImgctlTestFile(file).c_str());
    ASSERT_NE(picture, 0u);
    ImgPictureInfo info = {};
    Imgctl().getInfo(picture, &info);
    EXPECT_EQ(info.biWidth, 24);   // the upright size, whatever the stored one
    EXPECT_EQ(info.biHeight, 16);
    std::vector<uint8_t> upright = ReadFileBytes(ImgctlTestFile("upright.png.bgra"));
    std::vector<uint32_t> pixels = DrawWholePicture(picture, 24, 16);
    Difference d = Compare(pixels, upright);
    EXPECT_LE(d.maximum, 24);
    EXPECT_LT(d.mean, 3.0);
    // ImageMagick's own turning of the same file agrees.
    EXPECT_LE(Compare(pixels, ReadFileBytes(ImgctlTestFile(file + ".bgra"))).maximum, 24);
    // Resized, the turn still applies (the upright target is decoded in the stored orientation).
    Imgctl().resize(picture, 12, 8);
    std::vector<uint32_t> small = DrawWholePicture(picture, 12, 8);
    EXPECT_GT(small[0] & 0xFF, 0xC0u);                // top left: the light block
    EXPECT_GT((small[11] >> 16) & 0xFF, 0xB0u);       // top right: the red block
    EXPECT_GT((small[7 * 12] >> 8) & 0xFF, 0xA0u);    // bottom left: the green block
    Imgctl().free(picture);
  }
}

// A picture with an embedded profile draws the same bytes on both builds, whose arithmetic differs (the
// x86-64 build's plain loop and SSE2 doubles; the i686 build's SSE2 body and x87 unit): the digest of
// the drawn pixels is the x86-64 build's.
TEST(ImgctlDecode, APictureWithAProfileDrawsTheSameBytesOnBothBuilds) {
  constexpr uint64_t kDisplayP3Digest = 0x07b75843a7271b0eull;  // FNV-1a over each pixel's B, G, R and a 0
  ImgHandle picture = Imgctl().load(ImgctlTestFile("png_display_p3.png").c_str());
  ASSERT_NE(picture, 0u);
  uint64_t digest = 14695981039346656037ull;
  for (uint32_t pixel : DrawWholePicture(picture, 37, 23))
    for (int shift = 0; shift < 32; shift += 8) digest = (digest ^ ((pixel >> shift) & 0xFF)) * 1099511628211ull;
  EXPECT_EQ(digest, kDisplayP3Digest) << std::hex << digest;
  Imgctl().free(picture);
}

TEST(ImgctlDecode, ShrinkingAPhotoComesCloseToImageMagicksLanczos) {
  ImgHandle picture = Imgctl().load(ImgctlTestFile("photo.jpg").c_str());
  ASSERT_NE(picture, 0u);
  Imgctl().resize(picture, 173, 97);
  std::vector<uint8_t> lanczos = ReadFileBytes(ImgctlTestFile("photo_lanczos_173x97.bgra"));
  ASSERT_EQ(lanczos.size(), 173u * 97u * 4u);
  Difference d = Compare(DrawWholePicture(picture, 173, 97), lanczos);
  EXPECT_GT(d.psnr, 35.0) << "mean " << d.mean << " max " << d.maximum;
  Imgctl().free(picture);
}

}  // namespace
