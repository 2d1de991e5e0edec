// Windows benchmark of imgctl.dll under Wine: the painter's six calls by ordinal (load, prepare, query, resize to
// fit as picture mode 4 does, draw into a screen-sized memory DC, free), timed whole, and the process's peak memory.
//   imgctl_wine_bench.exe RUNS SCREEN_W SCREEN_H FILE...   prints per file: name, median ms; then the peak
//   imgctl_wine_bench.exe digest SCREEN_W SCREEN_H FILE... prints per file: name, a hash of the screen after one
//                                                          paint (to compare the pixels of the x86 and x64 builds)
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "imgctl/imgctl.h"
#include "tests/support/imgctl_ordinals.h"

namespace {

// One paint's picture steps in mode 4: fit by the smaller ratio, centre, draw one to one. The fitted size is
// worked out in integers, so that the x86 and x64 drivers ask for the same size (the painter's double arithmetic
// may differ by a pixel between the x87 and SSE2 units).
bool ShowFitted(const ImgctlOrdinals &o, HDC dc, int screenWidth, int screenHeight, const char *path) {
  ImgHandle picture = o.load(path);
  if (picture == 0) return false;
  o.prepare(picture);
  ImgPictureInfo info = {};
  o.getInfo(picture, &info);
  const int64_t w = info.biWidth, h = info.biHeight;
  int width = screenWidth, height = int(h * screenWidth / w);
  if (int64_t(screenWidth) * h > int64_t(screenHeight) * w) {
    width = int(w * screenHeight / h);
    height = screenHeight;
  }
  o.resize(picture, width, height);
  o.draw(dc, (screenWidth - width) / 2, (screenHeight - height) / 2, width, height, picture, 0, 0, width, height,
         SRCCOPY, 1);
  o.free(picture);
  return true;
}

// 64-bit FNV-1a of the canvas's pixels.
uint64_t CanvasHash(const MemoryCanvas &canvas) {
  GdiFlush();
  uint64_t hash = 14695981039346656037ull;
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(canvas.bits);
  for (size_t i = 0; i < size_t(canvas.width) * size_t(canvas.height) * 4; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 5) return 2;
  const bool digest = strcmp(argv[1], "digest") == 0;
  int runs = atoi(argv[1]), screenWidth = atoi(argv[2]), screenHeight = atoi(argv[3]);
  const ImgctlOrdinals &o = Imgctl();
  if (o.dll == nullptr) return 3;
  // A screen-sized 32-bit DIB section in a memory DC stands in for the saver window.
  MemoryCanvas canvas(screenWidth, screenHeight, 0);
  HDC dc = canvas.dc;
  if (digest) {
    for (int i = 4; i < argc; ++i) {
      memset(canvas.bits, 0, size_t(screenWidth) * size_t(screenHeight) * 4);
      bool ok = ShowFitted(o, dc, screenWidth, screenHeight, argv[i]);
      printf("%s\t%016llx\n", argv[i], ok ? static_cast<unsigned long long>(CanvasHash(canvas)) : 0ull);
    }
    return 0;
  }
  for (int i = 4; i < argc; ++i) {
    std::vector<double> times;
    bool ok = ShowFitted(o, dc, screenWidth, screenHeight, argv[i]);  // warm-up
    for (int r = 0; r < runs && ok; ++r) {
      LARGE_INTEGER start, end, frequency;
      QueryPerformanceFrequency(&frequency);
      QueryPerformanceCounter(&start);
      ok = ShowFitted(o, dc, screenWidth, screenHeight, argv[i]);
      QueryPerformanceCounter(&end);
      times.push_back(double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
    }
    std::sort(times.begin(), times.end());
    printf("%s\t%.1f\n", argv[i], ok && !times.empty() ? times[times.size() / 2] : -1.0);
  }
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  printf("peak\t%.1f\t%.1f\n", double(counters.PeakWorkingSetSize) / 1048576.0,
         double(counters.PeakPagefileUsage) / 1048576.0);
  return 0;
}
