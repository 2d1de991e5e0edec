// The picture library's targets for hostile pictures, checked from outside under Wine: each picture
// through the painter's six calls in a process of its own, timed from its start to its end, and
// with the process's address space first reserved down to a few megabytes.
//
//   hostile_check time RUNS FILE...      each file RUNS times in a fresh process ("show"): prints the
//                                        median milliseconds from CreateProcess to the end, and what
//                                        the process showed
//   hostile_check space MB FILE...       each file in a fresh process that first leaves only MB
//                                        megabytes of its address space free: prints what it showed,
//                                        a drawn picture checked against one drawn with all the space
//   hostile_check show FILE [MB [SUMS]]  in this process: load, prepare, query, resize to fit
//                                        1920 x 1080 (picture mode 4), draw into a screen-sized
//                                        memory canvas, free; the exit code says what happened, and
//                                        the file SUMS receives a checksum of the canvas
//
// Result lines are "key=value" pairs for bench/hostile/run.sh.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/clock.h"
#include "tests/support/imgctl_ordinals.h"
#include "tests/support/process.h"

namespace {

constexpr int kScreenWidth = 1920, kScreenHeight = 1080;
constexpr uint32_t kSentinel = 0x00A5B6C7;     // canvas colour no drawn picture pixel is (alpha bits apart)
constexpr DWORD kShowTimeout = 60000;          // a process still running by then has hung
constexpr SIZE_T kAllocationGrain = 64 << 10;  // VirtualAlloc reserves at 64 KiB boundaries

// What one "show" process saw, as its exit code.
enum Outcome {
  kRefused = 10,    // ordinal 4 gave 0
  kDrawn = 11,      // ordinal 45 gave 1 and the canvas shows the picture
  kNotDrawn = 12,   // ordinal 45 gave 0 and the canvas is untouched
  kMismatch = 13,   // ordinal 45's result and the canvas disagree
  kNoLibrary = 14,  // imgctl.dll or the canvas could not be had
  kDrawnWrong = 15, // ordinal 45 gave 1, but the canvas differs from a draw with all the address space
};

const char *OutcomeName(int code) {
  switch (code) {
    case kRefused: return "refused";
    case kDrawn: return "drawn";
    case kNotDrawn: return "not-drawn";
    case kMismatch: return "MISMATCH";
    case kNoLibrary: return "no-library";
    case kDrawnWrong: return "DRAWN-WRONG";
    case kStillRunning: return "HUNG";
    default: return "CRASHED";
  }
}

// Reserves all of the process's free address space but one block of `megabytes`, which is left
// free for what follows. Free regions cannot be found by their state alone: Wine shows the areas it
// keeps for the program's own allocations as reserved, so the space is taken by asking for it, in
// halving sizes down to the 64 KiB grain. Returns the megabytes reserved.
double LeaveFreeAddressSpace(SIZE_T megabytes) {
  void *left = VirtualAlloc(nullptr, megabytes << 20, MEM_RESERVE, PAGE_NOACCESS);
  SIZE_T reserved = 0;
  for (SIZE_T size = SIZE_T(1) << 30; size >= kAllocationGrain; size /= 2)
    while (VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS) != nullptr) reserved += size;
  if (left != nullptr) VirtualFree(left, 0, MEM_RELEASE);
  return double(reserved) / 1048576.0;
}

// The painter's picture steps in mode 4 on a screen-sized canvas; returns the Outcome and writes a
// checksum of the canvas to `sums` when given.
int Show(const char *path, int megabytesLeft, const char *sums) {
  const ImgctlOrdinals &o = Imgctl();
  if (o.dll == nullptr) return kNoLibrary;
  MemoryCanvas canvas(kScreenWidth, kScreenHeight, kSentinel);
  if (canvas.bits == nullptr) return kNoLibrary;
  if (megabytesLeft > 0) fprintf(stderr, "reserved %.0f MB\n", LeaveFreeAddressSpace(SIZE_T(megabytesLeft)));
  ImgHandle picture = o.load(path);
  if (picture == 0) return kRefused;
  o.prepare(picture);
  ImgPictureInfo info = {};
  o.getInfo(picture, &info);
  int width = 1, height = 1;
  if (info.biWidth > 0 && info.biHeight > 0) {
    // Picture mode 4: the smaller ratio, truncated (at least a pixel on each edge).
    double x = double(kScreenWidth) / info.biWidth, y = double(kScreenHeight) / info.biHeight;
    double ratio = x <= y ? x : y;
    width = std::max(1, int(info.biWidth * ratio));
    height = std::max(1, int(info.biHeight * ratio));
  }
  o.resize(picture, width, height);
  int left = (kScreenWidth - width) / 2, top = (kScreenHeight - height) / 2;
  int drew = o.draw(canvas.dc, left, top, width, height, picture, 0, 0, width, height, SRCCOPY, 1);
  o.free(picture);
  GdiFlush();
  bool changed = false;
  uint32_t sum = 0;
  for (int y = 0; y < kScreenHeight; ++y)
    for (int x = 0; x < kScreenWidth; ++x) {
      uint32_t pixel = canvas.bits[size_t(y) * kScreenWidth + size_t(x)] & 0xFFFFFF;
      changed = changed || pixel != kSentinel;
      sum = (sum ^ pixel) * 16777619u;  // FNV-1a over the pixels
    }
  if (sums != nullptr) {
    FILE *file = fopen(sums, "w");
    if (file != nullptr) {
      fprintf(file, "%08X\n", unsigned(sum));
      fclose(file);
    }
  }
  if (drew == 1 && changed) return kDrawn;
  if (drew == 0 && !changed) return kNotDrawn;
  return kMismatch;
}

// Runs "show FILE MB SUMS" in a fresh process; returns its exit code and the milliseconds it took.
int ShowInProcess(const std::string &file, int megabytesLeft, double *milliseconds, const std::string &sums = "") {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string arguments = "show \"" + file + "\" " + std::to_string(megabytesLeft);
  if (!sums.empty()) arguments += " \"" + sums + "\"";
  double start = NowMs();
  HANDLE process = StartProgram(self, arguments);
  if (process == nullptr) return -1;
  int code = WaitForExit(process, kShowTimeout);
  *milliseconds = NowMs() - start;
  if (code == kStillRunning) {
    TerminateProcess(process, 1);
    CloseHandle(process);
  }
  return code;
}

std::string ReadSum(const std::string &sums) {
  char line[32] = {};
  FILE *file = fopen(sums.c_str(), "r");
  if (file != nullptr) {
    if (fgets(line, sizeof line, file) == nullptr) line[0] = '\0';
    fclose(file);
  }
  DeleteFileA(sums.c_str());
  return line;
}

const char *BaseName(const std::string &path) {
  size_t slash = path.find_last_of("\\/");
  return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 3 && strcmp(argv[1], "show") == 0)
    return Show(argv[2], argc >= 4 ? atoi(argv[3]) : 0, argc >= 5 ? argv[4] : nullptr);
  if (argc >= 4 && strcmp(argv[1], "time") == 0) {
    int runs = std::max(1, atoi(argv[2]));
    for (int i = 3; i < argc; ++i) {
      std::vector<double> times;
      int code = 0;
      for (int r = 0; r < runs; ++r) {
        double ms = 0;
        code = ShowInProcess(argv[i], 0, &ms);
        times.push_back(ms);
      }
      std::sort(times.begin(), times.end());
      printf("file=%s ms=%.0f outcome=%s\n", BaseName(argv[i]), times[times.size() / 2], OutcomeName(code));
      fflush(stdout);
    }
    return 0;
  }
  if (argc >= 4 && strcmp(argv[1], "space") == 0) {
    int megabytes = atoi(argv[2]);
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    const std::string sums = std::string(folder) + "hostile_check_" + std::to_string(GetCurrentProcessId()) + ".sum";
    for (int i = 3; i < argc; ++i) {
      double ms = 0;
      int code = ShowInProcess(argv[i], megabytes, &ms, sums);
      if (code == kDrawn) {
        // What it drew, against the same picture drawn with all the address space free.
        std::string drawn = ReadSum(sums);
        if (ShowInProcess(argv[i], 0, &ms, sums) != kDrawn || ReadSum(sums) != drawn) code = kDrawnWrong;
      }
      printf("file=%s left=%d outcome=%s code=0x%X\n", BaseName(argv[i]), megabytes, OutcomeName(code), unsigned(code));
      fflush(stdout);
    }
    return 0;
  }
  fprintf(stderr, "usage: hostile_check time RUNS FILE... | space MB FILE... | show FILE [MB]\n");
  return 2;
}
