// Windows benchmark of imgctl.dll under Wine: the painter's six calls by ordinal (load, prepare, query, resize to
// fit as picture mode 4 does, draw into a screen-sized memory DC, free), timed whole, and the process's peak memory.
//   imgctl_wine_bench.exe RUNS SCREEN_W SCREEN_H FILE...   prints per file: name, median ms; then the peak
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "imgctl/imgctl.h"
#include "tests/support/imgctl_ordinals.h"

namespace {

// One paint's picture steps in mode 4: fit by the smaller ratio, centre, draw one to one.
bool ShowFitted(const ImgctlOrdinals &o, HDC dc, int screenWidth, int screenHeight, const char *path) {
  ImgHandle picture = o.load(path);
  if (picture == 0) return false;
  o.prepare(picture);
  ImgPictureInfo info = {};
  o.getInfo(picture, &info);
  double x = double(screenWidth) / info.biWidth, y = double(screenHeight) / info.biHeight;
  double ratio = x <= y ? x : y;
  int width = int(info.biWidth * ratio), height = int(info.biHeight * ratio);
  o.resize(picture, width, height);
  o.draw(dc, (screenWidth - width) / 2, (screenHeight - height) / 2, width, height, picture, 0, 0, width, height,
         SRCCOPY, 1);
  o.free(picture);
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 5) return 2;
  int runs = atoi(argv[1]), screenWidth = atoi(argv[2]), screenHeight = atoi(argv[3]);
  const ImgctlOrdinals &o = Imgctl();
  if (o.dll == nullptr) return 3;
  // A screen-sized 32-bit DIB section in a memory DC stands in for the saver window.
  MemoryCanvas canvas(screenWidth, screenHeight, 0);
  HDC dc = canvas.dc;
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
