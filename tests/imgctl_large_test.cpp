// imgctl.dll by ordinal under Wine with very large pictures: a 100 MP JPEG streams through the decoder and is
// shown fitted to a 1920 x 1080 screen; a picture too large to hold at its own size draws nothing until resized.
#include <windows.h>
#include <psapi.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "imgctl/tests/flat_jpeg.h"
#include "tests/support/imgctl_ordinals.h"

namespace {

constexpr uint32_t kSentinel = 0x123456;
constexpr int kScreenWidth = 1920, kScreenHeight = 1080;
// The whole test process (Wine's own share included) at its peak: far below the 400 MB a full-size
// decode of 100 MP would take alone, and so within what a 32-bit process can count on.
constexpr SIZE_T kMostPeakBytes = SIZE_T(64) << 20;

// A file in the temporary folder holding the given bytes, deleted with this record.
struct TemporaryPicture {
  explicit TemporaryPicture(const std::vector<uint8_t> &bytes) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    path = std::string(folder) + "imgctl_large_" + std::to_string(GetCurrentProcessId()) + ".jpg";
    FILE *file = fopen(path.c_str(), "wb");
    written = file != nullptr && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file != nullptr) fclose(file);
  }
  ~TemporaryPicture() { DeleteFileA(path.c_str()); }
  std::string path;
  bool written = false;
};

bool Near(uint32_t pixel, uint32_t expected, int tolerance) {
  for (int shift = 0; shift < 24; shift += 8)
    if (abs(int((pixel >> shift) & 0xFF) - int((expected >> shift) & 0xFF)) > tolerance) return false;
  return true;
}

// The painter's mode 4 with a 10000 x 10000 photo: B = 1080 / 10000, so 1080 x 1080 drawn at (420, 0).
TEST(ImgctlLarge, HundredMegapixelJpegIsShownFittedToTheScreen) {
  TemporaryPicture file(imgctl_test::FlatJpeg(10000, 10000, 51, 102, 204));
  ASSERT_TRUE(file.written);
  ImgHandle picture = Imgctl().load(file.path.c_str());
  ASSERT_NE(picture, 0u) << "a 100 MP baseline JPEG streams and must load";
  Imgctl().prepare(picture);
  ImgPictureInfo info = {};
  Imgctl().getInfo(picture, &info);
  EXPECT_EQ(info.biWidth, 10000);
  EXPECT_EQ(info.biHeight, 10000);
  const int fitted = 1080, left = (kScreenWidth - fitted) / 2;
  EXPECT_EQ(Imgctl().resize(picture, fitted, fitted), 1);
  MemoryCanvas canvas(kScreenWidth, kScreenHeight, kSentinel);
  EXPECT_EQ(Imgctl().draw(canvas.dc, left, 0, fitted, fitted, picture, 0, 0, fitted, fitted, SRCCOPY, 1), 1);
  const uint32_t colour = 51u << 16 | 102u << 8 | 204u;
  for (int y : {0, 540, 1079})
    for (int x : {left, 960, left + fitted - 1}) EXPECT_TRUE(Near(canvas.Pixel(x, y), colour, 3)) << x << "," << y;
  EXPECT_EQ(canvas.Pixel(left - 1, 540), kSentinel);
  EXPECT_EQ(canvas.Pixel(left + fitted, 540), kSentinel);
  Imgctl().free(picture);
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters));
  EXPECT_LT(counters.PeakWorkingSetSize, kMostPeakBytes) << counters.PeakWorkingSetSize / 1048576 << " MB";
}

// 8200 x 4100 is past the 2^25 pixels a picture may be held at: loaded (it streams), but drawn at
// its own size it has no pixels, so nothing lands; resized to fit, it draws.
TEST(ImgctlLarge, PictureTooLargeToHoldDrawsOnlyOnceResized) {
  TemporaryPicture file(imgctl_test::FlatJpeg(8200, 4100, 200, 100, 50));
  ASSERT_TRUE(file.written);
  ImgHandle picture = Imgctl().load(file.path.c_str());
  ASSERT_NE(picture, 0u);
  MemoryCanvas canvas(64, 64, kSentinel);
  EXPECT_EQ(Imgctl().draw(canvas.dc, 0, 0, 64, 64, picture, 0, 0, 64, 64, SRCCOPY, 1), 0);
  EXPECT_EQ(canvas.Pixel(10, 10), kSentinel);
  EXPECT_EQ(Imgctl().resize(picture, 820, 410), 1);
  EXPECT_EQ(Imgctl().draw(canvas.dc, 0, 0, 64, 64, picture, 0, 0, 64, 64, SRCCOPY, 1), 1);
  EXPECT_TRUE(Near(canvas.Pixel(10, 10), 200u << 16 | 100u << 8 | 50u, 3));
  Imgctl().free(picture);
}

}  // namespace
