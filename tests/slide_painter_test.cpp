// The painter with the real imgctl.dll: real picture files drawn into a memory device context.
#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <string>
#include <vector>

#include "slideshow/image_list.h"
#include "slideshow/settings.h"
#include "slideshow/slide_painter.h"
#include "slideshow/slide_run.h"
#include "tests/support/memory_canvas.h"
#include "tests/support/scratch_folder.h"

namespace {

const char kFolder[] = "C:\\lumeta_painter_pictures";
const int kScreenWidth = 320;
const int kScreenHeight = 240;
const DWORD kRed = 0x00FF0000;
const DWORD kBlue = 0x000000FF;
const DWORD kBlack = 0;

// Writes a 24-bit BMP: the left half red, the right half blue.
void WriteHalvesBmp(const std::string &path, int width, int height) {
  int stride = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(stride * height);
  info.biSize = sizeof(info);
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  std::vector<unsigned char> rows(static_cast<size_t>(stride * height), 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      unsigned char *p = &rows[static_cast<size_t>(y * stride + x * 3)];
      p[x < width / 2 ? 2 : 0] = 255;  // BGR: red on the left, blue on the right
    }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(&file), sizeof(file));
  out.write(reinterpret_cast<const char *>(&info), sizeof(info));
  out.write(reinterpret_cast<const char *>(rows.data()), static_cast<std::streamsize>(rows.size()));
}

class RealPainterTest : public testing::Test {
 protected:
  void SetUp() override {
    RemoveFolder(kFolder);
    ASSERT_TRUE(MakeFolder(kFolder));
    ZeroMemory(&g_settings, sizeof(g_settings));
    lstrcpynA(g_settings.pass, kFolder, sizeof(g_settings.pass));
    g_settings.size = 100;
    ZeroMemory(&g_imageList, sizeof(g_imageList));
    ZeroMemory(&g_slide, sizeof(g_slide));
    g_slide.screenWidth = kScreenWidth;
    g_slide.screenHeight = kScreenHeight;
    ASSERT_TRUE(OpenCanvas(&canvas, kScreenWidth, kScreenHeight));
    dc = canvas.dc;
    pixels = canvas.pixels;
  }
  void TearDown() override {
    CloseCanvas(&canvas);
    RemoveFolder(kFolder);
  }

  void AddPicture(const char *name, int width, int height) {
    WriteHalvesBmp(std::string(kFolder) + "\\" + name, width, height);
    lstrcpynA(g_imageList.names[g_imageList.count++], name, kImageNameSize);
  }
  void PaintOnBlack() {
    ZeroMemory(pixels, sizeof(DWORD) * kScreenWidth * kScreenHeight);
    PaintSlide(NULL, dc, NULL);
  }
  DWORD At(int x, int y) { return pixels[y * kScreenWidth + x] & 0x00FFFFFF; }

  MemoryCanvas canvas = {};
  HDC dc = NULL;
  DWORD *pixels = NULL;
};

TEST_F(RealPainterTest, ActualSizeAtTheTopLeftAndCentred) {
  AddPicture("a.bmp", 100, 60);
  g_settings.gMode = 1;
  PaintOnBlack();
  EXPECT_EQ(kRed, At(0, 0));
  EXPECT_EQ(kBlue, At(99, 59));
  EXPECT_EQ(kBlack, At(100, 30));
  EXPECT_EQ(kBlack, At(50, 60));
  g_settings.gMode = 2;  // (320 - 100) / 2 = 110, (240 - 60) / 2 = 90
  PaintOnBlack();
  EXPECT_EQ(kBlack, At(109, 100));
  EXPECT_EQ(kRed, At(110, 90));
  EXPECT_EQ(kBlue, At(209, 149));
  EXPECT_EQ(kBlack, At(210, 149));
  EXPECT_EQ(kBlack, At(150, 150));
}

TEST_F(RealPainterTest, FitAndFillScaleToTheScreen) {
  AddPicture("wide.bmp", 160, 40);
  g_settings.gMode = 4;  // ratio 2: 320 x 80 at (0, 80)
  PaintOnBlack();
  EXPECT_EQ(kBlack, At(10, 79));
  EXPECT_EQ(kRed, At(0, 80));
  EXPECT_EQ(kBlue, At(319, 159));
  EXPECT_EQ(kBlack, At(10, 160));
  g_settings.gMode = 3;  // ratio 6: 960 x 240, source from x 320: the middle third, all of it at the seam
  PaintOnBlack();
  EXPECT_EQ(kRed, At(0, 0));
  EXPECT_EQ(kRed, At(100, 239));
  EXPECT_EQ(kBlue, At(319, 0));
  EXPECT_EQ(kBlue, At(220, 120));
}

TEST_F(RealPainterTest, SizeBoundShrinksBigPicturesOnly) {
  AddPicture("big.bmp", 400, 200);  // both edges exceed 100: 200 x 100
  g_settings.gMode = 5;
  PaintOnBlack();
  int covered = 0;
  for (int y = 0; y < kScreenHeight; ++y)
    for (int x = 0; x < kScreenWidth; ++x) covered += At(x, y) != kBlack;
  EXPECT_EQ(200 * 100, covered);
}

TEST_F(RealPainterTest, UnreadableFileIsPassedOverAndTheNextOneDrawn) {
  AddPicture("good.bmp", 50, 50);
  std::ofstream(std::string(kFolder) + "\\broken.bmp", std::ios::binary) << "not a picture";
  lstrcpynA(g_imageList.names[g_imageList.count++], "broken.bmp", kImageNameSize);
  AddPicture("after.bmp", 80, 80);
  g_settings.gMode = 1;
  g_slide.pictureIndex = 1;
  PaintOnBlack();
  EXPECT_EQ(kBlack, At(0, 0)) << "nothing drawn for the broken file";
  EXPECT_EQ(2, g_slide.pictureIndex);
  PaintOnBlack();
  EXPECT_EQ(kBlue, At(79, 79)) << "the next file is drawn";
  EXPECT_EQ(0, g_slide.pictureIndex);
}

}  // namespace

TEST(LimitFontToScreenTest, HoldsCharacterHeightAndWidthToTheScreen) {
  struct Row {
    LONG height, width;
    INT32 screenWidth, screenHeight;
    LONG shownHeight, shownWidth;
  } rows[] = {
      {-48, 0, 1024, 768, -48, 0},                  // the default font: unchanged
      {-768, 1024, 1024, 768, -768, 1024},          // exactly the screen: unchanged
      {-56439, 0, 1024, 768, -768, 0},              // character height, negative
      {56439, -5000, 1024, 768, 768, -1024},        // cell height, positive; a negative width
      {LONG_MIN, LONG_MIN, 1024, 768, -768, -1024},  // no positive twin
      {LONG_MAX, LONG_MAX, 1920, 1080, 1080, 1920},
      {-48, 12, 0, -5, 0, 0},                       // no screen: the font's own size
  };
  for (const Row &row : rows) {
    LOGFONTA font = {};
    font.lfHeight = row.height;
    font.lfWidth = row.width;
    LimitFontToScreen(&font, row.screenWidth, row.screenHeight);
    EXPECT_EQ(row.shownHeight, font.lfHeight) << row.height << " on " << row.screenWidth << " x " << row.screenHeight;
    EXPECT_EQ(row.shownWidth, font.lfWidth) << row.width << " on " << row.screenWidth << " x " << row.screenHeight;
  }
}

TEST_F(RealPainterTest, HugeFontIsDrawnAtTheScreensSizeAndTheSettingsKeepIt) {
  lstrcpynA(g_settings.str, "W", sizeof(g_settings.str));
  g_settings.sMode = kTextRandom;
  g_settings.font.lfHeight = -56439;
  g_settings.font.lfWidth = LONG_MAX;
  g_settings.font.lfWeight = FW_NORMAL;
  g_settings.colorR = g_settings.colorG = g_settings.colorB = 255;
  PaintOnBlack();
  EXPECT_EQ(-56439, g_settings.font.lfHeight);
  EXPECT_EQ(LONG_MAX, g_settings.font.lfWidth);
  int lit = 0;
  for (int i = 0; i < kScreenWidth * kScreenHeight; ++i) lit += (pixels[i] & 0x00FFFFFF) != 0;
  EXPECT_GT(lit, 0) << "the text line is drawn";
}
