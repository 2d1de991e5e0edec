// imgctl.dll by ordinal under Wine: exports, the information record, resizing and its refusals,
// drawing into a memory DC with clipping, dead handles, hostile files, and (x86) the caller's x87 control word.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/support/imgctl_ordinals.h"

namespace {

constexpr uint32_t kSentinel = 0x00A5B6C7;

ImgHandle LoadTest(const char *name) { return Imgctl().load(ImgctlTestFile(name).c_str()); }

TEST(ImgctlApi, ExportsTheSixOperationsByOrdinalOnly) {
  const ImgctlOrdinals &o = Imgctl();
  ASSERT_NE(o.dll, nullptr);
  EXPECT_NE(o.load, nullptr);
  EXPECT_NE(o.free, nullptr);
  EXPECT_NE(o.getInfo, nullptr);
  EXPECT_NE(o.prepare, nullptr);
  EXPECT_NE(o.draw, nullptr);
  EXPECT_NE(o.resize, nullptr);
  EXPECT_EQ(GetProcAddress(o.dll, "ImgLoad"), nullptr);
  EXPECT_EQ(GetProcAddress(o.dll, MAKEINTRESOURCEA(7)), nullptr);
}

TEST(ImgctlApi, InformationRecordHoldsWidthAndHeightAtBytesFourAndEight) {
  ImgHandle picture = LoadTest("bmp_24.bmp");
  ASSERT_NE(picture, 0u);
  EXPECT_EQ(Imgctl().prepare(picture), 1);
  uint8_t info[40];
  memset(info, 0xEE, sizeof info);
  EXPECT_EQ(Imgctl().getInfo(picture, reinterpret_cast<ImgPictureInfo *>(info)), 1);
  int32_t fields[10];
  memcpy(fields, info, sizeof fields);
  EXPECT_EQ(fields[0], 40);  // biSize
  EXPECT_EQ(fields[1], 37);  // width, bytes 4 to 7
  EXPECT_EQ(fields[2], 23);  // height, bytes 8 to 11
  // The rest is a proper header for 32-bit pixels: no byte is left as it was.
  EXPECT_EQ(fields[3], 32 << 16 | 1);  // biPlanes 1, biBitCount 32
  EXPECT_EQ(fields[4], 0);             // BI_RGB
  EXPECT_EQ(fields[5], 37 * 23 * 4);   // biSizeImage
  for (int i = 6; i < 10; ++i) EXPECT_EQ(fields[i], 0) << i;
  Imgctl().free(picture);
}

TEST(ImgctlApi, LoadDecidesByContentNotByName) {
  // A PNG named .jpg and a BMP named .gif load; a text file named .png does not.
  char temp[MAX_PATH], png[MAX_PATH], bmp[MAX_PATH], text[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  snprintf(png, sizeof png, "%simgctl_really_png.jpg", temp);
  snprintf(bmp, sizeof bmp, "%simgctl_really_bmp.gif", temp);
  snprintf(text, sizeof text, "%simgctl_text.png", temp);
  ASSERT_TRUE(CopyFileA(ImgctlTestFile("png_rgb8.png").c_str(), png, FALSE));
  ASSERT_TRUE(CopyFileA(ImgctlTestFile("bmp_8.bmp").c_str(), bmp, FALSE));
  ASSERT_TRUE(CopyFileA(ImgctlTestFile("make_pictures.py").c_str(), text, FALSE));
  ImgHandle a = Imgctl().load(png), b = Imgctl().load(bmp);
  EXPECT_NE(a, 0u);
  EXPECT_NE(b, 0u);
  EXPECT_EQ(Imgctl().load(text), 0u);
  Imgctl().free(a);
  Imgctl().free(b);
  DeleteFileA(png);
  DeleteFileA(bmp);
  DeleteFileA(text);
}

TEST(ImgctlApi, MissingFilesAndNullPathGiveZero) {
  EXPECT_EQ(Imgctl().load(nullptr), 0u);
  EXPECT_EQ(Imgctl().load(""), 0u);
  EXPECT_EQ(Imgctl().load("C:\\no\\such\\folder\\picture.jpg"), 0u);
  EXPECT_EQ(Imgctl().load(ImgctlTestFile("").c_str()), 0u);  // a folder
}

TEST(ImgctlApi, ResizeMakesThePictureMeasureTheNewSize) {
  ImgHandle picture = LoadTest("png_rgb8.png");
  ASSERT_NE(picture, 0u);
  std::vector<uint32_t> whole = DrawWholePicture(picture, 37, 23);
  struct { int32_t width, height; } sizes[] = {{10, 7}, {74, 46}, {1, 1}, {37, 1}, {1, 23}, {37, 23}};
  for (const auto &size : sizes) {
    EXPECT_EQ(Imgctl().resize(picture, size.width, size.height), 1);
    ImgPictureInfo info = {};
    Imgctl().getInfo(picture, &info);
    EXPECT_EQ(info.biWidth, size.width);
    EXPECT_EQ(info.biHeight, size.height);
    MemoryCanvas canvas(size.width + 2, size.height + 2, kSentinel);
    Imgctl().draw(canvas.dc, 0, 0, size.width + 2, size.height + 2, picture, 0, 0, size.width + 2, size.height + 2,
                  SRCCOPY, 1);
    // Exactly width x height pixels land: the column and row past them keep the sentinel.
    EXPECT_NE(canvas.Pixel(size.width - 1, size.height - 1), kSentinel);
    EXPECT_EQ(canvas.Pixel(size.width, 0), kSentinel);
    EXPECT_EQ(canvas.Pixel(0, size.height), kSentinel);
  }
  // Back at the stored size, the pixels are the decoded ones again (decoded afresh from the file).
  EXPECT_EQ(DrawWholePicture(picture, 37, 23), whole);
  Imgctl().free(picture);
}

TEST(ImgctlApi, BadResizeSizesAreRefusedWithoutTouchingThePicture) {
  ImgHandle picture = LoadTest("bmp_24.bmp");
  ASSERT_NE(picture, 0u);
  Imgctl().resize(picture, 20, 12);
  std::vector<uint32_t> before = DrawWholePicture(picture, 20, 12);
  struct { int32_t width, height; } refused[] = {{0, 12},      {20, 0},      {0, 0},         {-20, 12},
                                                 {20, -12},    {-1, -1},     {32768, 1},     {1, 32768},
                                                 {8192, 4097}, {32767, 32767}, {INT32_MIN, 5}, {INT32_MAX, INT32_MAX}};
  for (const auto &size : refused) {
    EXPECT_EQ(Imgctl().resize(picture, size.width, size.height), 0) << size.width << "x" << size.height;
    ImgPictureInfo info = {};
    Imgctl().getInfo(picture, &info);
    EXPECT_EQ(info.biWidth, 20);
    EXPECT_EQ(info.biHeight, 12);
  }
  EXPECT_EQ(DrawWholePicture(picture, 20, 12), before);
  // The largest allowed size is accepted (and not decoded until drawn).
  EXPECT_EQ(Imgctl().resize(picture, 8192, 4096), 1);
  Imgctl().free(picture);
}

TEST(ImgctlApi, DrawCopiesTheSourceRectangleToTheDestinationClippedToThePicture) {
  ImgHandle picture = LoadTest("png_rgb8.png");
  ASSERT_NE(picture, 0u);
  std::vector<uint32_t> whole = DrawWholePicture(picture, 37, 23);
  auto source = [&](int x, int y) { return whole[size_t(y) * 37 + size_t(x)]; };
  struct Case {
    const char *what;
    int destX, destY, width, height, sourceX, sourceY;
    int drawnX, drawnY, drawnWidth, drawnHeight, fromX, fromY;  // what must land where
  } cases[] = {
      {"inside", 20, 10, 10, 8, 5, 3, 20, 10, 10, 8, 5, 3},
      {"past the right and bottom", 2, 4, 20, 20, 30, 15, 2, 4, 7, 8, 30, 15},
      {"starting left of and above", 10, 10, 12, 9, -4, -3, 14, 13, 8, 6, 0, 0},
      {"whole", 0, 0, 37, 23, 0, 0, 0, 0, 37, 23, 0, 0},
      {"one pixel", 63, 47, 1, 1, 36, 22, 63, 47, 1, 1, 36, 22},
      {"off the canvas", 60, 40, 37, 23, 0, 0, 60, 40, 4, 8, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    MemoryCanvas canvas(64, 48, kSentinel);
    Imgctl().draw(canvas.dc, c.destX, c.destY, c.width, c.height, picture, c.sourceX, c.sourceY, c.width, c.height,
                  SRCCOPY, 1);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) {
        bool inside = x >= c.drawnX && x < c.drawnX + c.drawnWidth && y >= c.drawnY && y < c.drawnY + c.drawnHeight;
        uint32_t expected = inside ? source(c.fromX + x - c.drawnX, c.fromY + y - c.drawnY) : kSentinel;
        ASSERT_EQ(canvas.Pixel(x, y), expected) << x << "," << y;
      }
  }
  // Rectangles wholly outside the picture, or empty, draw nothing.
  MemoryCanvas canvas(64, 48, kSentinel);
  EXPECT_EQ(Imgctl().draw(canvas.dc, 0, 0, 10, 10, picture, 37, 0, 10, 10, SRCCOPY, 1), 0);
  EXPECT_EQ(Imgctl().draw(canvas.dc, 0, 0, 10, 10, picture, -10, 0, 10, 10, SRCCOPY, 1), 0);
  EXPECT_EQ(Imgctl().draw(canvas.dc, 0, 0, 0, 0, picture, 0, 0, 0, 0, SRCCOPY, 1), 0);
  EXPECT_EQ(Imgctl().draw(canvas.dc, 0, 0, -5, 5, picture, 0, 0, -5, 5, SRCCOPY, 1), 0);
  EXPECT_EQ(Imgctl().draw(canvas.dc, INT32_MAX, 0, 5, 5, picture, INT32_MIN, 0, 5, 5, SRCCOPY, 1), 0);
  EXPECT_EQ(canvas.Pixel(0, 0), kSentinel);
  // A null device context is the caller's fault: refused, no crash.
  Imgctl().draw(nullptr, 0, 0, 10, 10, picture, 0, 0, 10, 10, SRCCOPY, 1);
  Imgctl().free(picture);
}

TEST(ImgctlApi, DeadAndMadeUpHandlesAreIgnoredByEveryOperation) {
  ImgHandle picture = LoadTest("gif_256.gif");
  ASSERT_NE(picture, 0u);
  EXPECT_EQ(Imgctl().free(picture), 1);
  ImgHandle reused = LoadTest("gif_256.gif");  // may take the freed slot
  ASSERT_NE(reused, 0u);
  EXPECT_NE(reused, picture);
  MemoryCanvas canvas(8, 8, kSentinel);
  for (ImgHandle dead : {picture, ImgHandle(0), ImgHandle(0xFFFFFFFF), ImgHandle(12345), reused + 1}) {
    ImgPictureInfo info;
    memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(Imgctl().prepare(dead), 0);
    EXPECT_EQ(Imgctl().getInfo(dead, &info), 0);
    EXPECT_EQ(info.biWidth, 0x5A5A5A5A);  // untouched
    EXPECT_EQ(Imgctl().resize(dead, 5, 5), 0);
    EXPECT_EQ(Imgctl().draw(canvas.dc, 0, 0, 8, 8, dead, 0, 0, 8, 8, SRCCOPY, 1), 0);
    EXPECT_EQ(Imgctl().free(dead), 0);
  }
  EXPECT_EQ(canvas.Pixel(0, 0), kSentinel);
  EXPECT_EQ(Imgctl().getInfo(reused, nullptr), 0);
  ImgPictureInfo info = {};
  EXPECT_EQ(Imgctl().getInfo(reused, &info), 1);  // the live one is unharmed
  EXPECT_EQ(info.biWidth, 37);
  Imgctl().free(reused);
}

// Hostile files: those whose size is past the bounds (or zero) are refused at load; every other
// one either gives 0 or a picture that answers every operation.
TEST(ImgctlApi, HostileFilesGiveZeroOrADefinedPictureAndNeverACrash) {
  const char *refused[] = {"huge_65535.bmp",  "huge_65535.png",   "huge_65535.gif",        "huge_65535.jpg",
                           "huge_negative.bmp", "huge_1x100000000.png", "huge_30000x30000.png", "zero_width.bmp",
                           "zero_size.png",   "zero_size.gif",    "zero_height.jpg",       "not_a_picture.jpg",
                           "empty.png",       "rle_topdown.bmp"};
  for (const char *name : refused) EXPECT_EQ(LoadTest((std::string("bad/") + name).c_str()), 0u) << name;

  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(ImgctlTestFile("bad\\*").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  int loaded = 0, files = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    ++files;
    SCOPED_TRACE(found.cFileName);
    ImgHandle picture = LoadTest((std::string("bad\\") + found.cFileName).c_str());
    if (picture == 0) continue;
    ++loaded;
    Imgctl().prepare(picture);
    ImgPictureInfo info = {};
    ASSERT_EQ(Imgctl().getInfo(picture, &info), 1);
    ASSERT_GE(info.biWidth, 1);
    ASSERT_GE(info.biHeight, 1);
    MemoryCanvas canvas(32, 32, kSentinel);
    Imgctl().draw(canvas.dc, 0, 0, 32, 32, picture, 0, 0, 32, 32, SRCCOPY, 1);
    EXPECT_NE(canvas.Pixel(0, 0), kSentinel);  // something defined was drawn
    Imgctl().resize(picture, 13, 7);
    Imgctl().draw(canvas.dc, 0, 0, 13, 7, picture, 0, 0, 13, 7, SRCCOPY, 1);
    EXPECT_EQ(Imgctl().free(picture), 1);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  EXPECT_GT(files, 40);
  EXPECT_GT(loaded, 10);  // the cut-short and corrupted ones mostly still load
}

#if defined(__i386__)
// Windows keeps the stack of a 32-bit program aligned to 4 bytes only: a caller built with MSVC,
// or the system calling a window procedure, may call the library with the stack off the 16-byte
// boundary that GCC's code keeps and the library's SSE2 kernels need for their stack operands.
// The pixels drawn from such a stack are those drawn from an aligned one.
void CallOnMisalignedStack(void (*body)(void *), void *context) {
  __asm__ __volatile__(
      "pushl %%ebp\n\t"
      "movl %%esp, %%ebp\n\t"
      "andl $-16, %%esp\n\t"
      "subl $8, %%esp\n\t"
      "pushl %%edx\n\t"  // the stack pointer is 4 past a 16-byte boundary at the call
      "call *%%eax\n\t"
      "movl %%ebp, %%esp\n\t"
      "popl %%ebp"
      : "+a"(body), "+d"(context)
      :
      : "ecx", "memory", "cc");
}

// A JPEG drawn whole (8x8 inverse DCTs, upsampling, colour conversion), shrunk (4x4 inverse DCTs,
// horizontal and vertical shrinking) and enlarged.
void DrawPhotoThreeWays(void *pixels) {
  ImgHandle picture = LoadTest("photo.jpg");
  ImgPictureInfo info = {};
  Imgctl().getInfo(picture, &info);
  std::vector<uint32_t> &out = *static_cast<std::vector<uint32_t> *>(pixels);
  out = DrawWholePicture(picture, info.biWidth, info.biHeight);
  const int32_t sizes[2][2] = {{173, 97}, {900, 700}};
  for (const int32_t *size : sizes) {
    Imgctl().resize(picture, size[0], size[1]);
    std::vector<uint32_t> resized = DrawWholePicture(picture, size[0], size[1]);
    out.insert(out.end(), resized.begin(), resized.end());
  }
  Imgctl().free(picture);
}

TEST(ImgctlApi, DrawsTheSamePixelsWhenCalledOnAStackAlignedToFourBytes) {
  std::vector<uint32_t> aligned, misaligned;
  DrawPhotoThreeWays(&aligned);
  ASSERT_GT(aligned.size(), 900u * 700u);
  CallOnMisalignedStack(DrawPhotoThreeWays, &misaligned);
  EXPECT_EQ(misaligned, aligned);
}

uint16_t X87ControlWord() {
  uint16_t word;
  __asm__ __volatile__("fnstcw %0" : "=m"(word));
  return word;
}
void SetX87ControlWord(uint16_t word) { __asm__ __volatile__("fldcw %0" : : "m"(word)); }

// The x87 control word belongs to the caller: mingw's start-up leaves 64-bit precision, Direct3D
// sets 24-bit, a program may round toward zero. The library computes its resampling taps in
// double whatever the caller set (the x86-64 build's SSE2 arithmetic always does), and gives the
// caller's word back on return.
TEST(ImgctlApi, PixelsDoNotDependOnTheCallersX87ControlWord) {
  const uint16_t caller = X87ControlWord();
  auto fitted = [&](uint16_t word) {
    SetX87ControlWord(word);
    ImgHandle picture = LoadTest("photo.jpg");  // decoded at 1/2, then shrunk with block-mean taps
    Imgctl().resize(picture, 173, 97);
    std::vector<uint32_t> pixels = DrawWholePicture(picture, 173, 97);
    Imgctl().free(picture);
    const uint16_t after = X87ControlWord();
    SetX87ControlWord(caller);
    EXPECT_EQ(after, word);
    return pixels;
  };
  const std::vector<uint32_t> standard = fitted(0x027F);  // Windows' own: 53 bits, to nearest
  EXPECT_EQ(fitted(0x037F), standard);                    // 64 bits
  EXPECT_EQ(fitted(0x007F), standard);                    // 24 bits
  EXPECT_EQ(fitted(0x0E7F), standard);                    // 53 bits, toward zero
}
#endif

}  // namespace
