// imgctl.dll loaded and freed around decodes that use its worker thread: freeing it waits for nothing, and the idle
// worker lets the library go by itself.
#include <windows.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "imgctl/imgctl.h"
#include "imgctl/tests/flat_jpeg.h"

namespace {

typedef ImgHandle(IMGCTL_API *LoadEntry)(const char *);
typedef int(IMGCTL_API *FreeEntry)(ImgHandle);
typedef int(IMGCTL_API *ResizeEntry)(ImgHandle, INT32, INT32);
typedef int(IMGCTL_API *DrawEntry)(HDC, INT32, INT32, INT32, INT32, ImgHandle, INT32, INT32, INT32, INT32, DWORD,
                                   INT32);

// Longer than the worker's idle spell (10 s), with room for a busy machine.
constexpr DWORD kMostMillisecondsToLetGo = 30000;

TEST(ImgctlUnload, FreeingTheLibraryAfterTwoThreadDecodesLeavesNothingRunningInIt) {
  // 2048 x 2048: large enough that the decode hands rows to the worker.
  std::vector<uint8_t> jpeg = imgctl_test::FlatJpeg(2048, 2048, 40, 120, 200);
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  std::string path = std::string(folder) + "imgctl_unload_" + std::to_string(GetCurrentProcessId()) + ".jpg";
  FILE *file = fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(fwrite(jpeg.data(), 1, jpeg.size(), file), jpeg.size());
  fclose(file);

  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 64, 64);  // a memory DC's own bitmap is monochrome
  ReleaseDC(nullptr, screen);
  HGDIOBJ previous = SelectObject(dc, bitmap);
  for (int round = 0; round < 3; ++round) {
    HMODULE dll = LoadLibraryA("imgctl.dll");
    ASSERT_NE(dll, nullptr);
    auto load = reinterpret_cast<LoadEntry>(reinterpret_cast<void *>(GetProcAddress(dll, MAKEINTRESOURCEA(4))));
    auto release = reinterpret_cast<FreeEntry>(reinterpret_cast<void *>(GetProcAddress(dll, MAKEINTRESOURCEA(5))));
    auto draw = reinterpret_cast<DrawEntry>(reinterpret_cast<void *>(GetProcAddress(dll, MAKEINTRESOURCEA(45))));
    auto resize = reinterpret_cast<ResizeEntry>(reinterpret_cast<void *>(GetProcAddress(dll, MAKEINTRESOURCEA(47))));
    ImgHandle picture = load(path.c_str());
    ASSERT_NE(picture, 0u);
    EXPECT_NE(resize(picture, 640, 640), 0);
    EXPECT_NE(draw(dc, 0, 0, 64, 64, picture, 0, 0, 64, 64, SRCCOPY, 1), 0);
    COLORREF centre = GetPixel(dc, 32, 32);
    EXPECT_NEAR(GetRValue(centre), 40, 3);
    EXPECT_NEAR(GetBValue(centre), 200, 3);
    release(picture);
    FreeLibrary(dll);  // returns at once: the worker holds its own reference while it waits for work
  }
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
  DeleteFileA(path.c_str());
  // The worker ends after its idle spell and drops its reference as its last act.
  DWORD start = GetTickCount();
  while (GetModuleHandleA("imgctl.dll") != nullptr && GetTickCount() - start < kMostMillisecondsToLetGo) Sleep(100);
  EXPECT_EQ(GetModuleHandleA("imgctl.dll"), nullptr);
}

}  // namespace
