// Paint benchmark under Wine: whole paints of the slide painter, the saver's start, its CPU use
// between ticks and its peak memory, each beside the picture library's own decode of the same file.
//
//   paint_bench paint <picture> <width> <height> <mode> <rounds>
//       in this process: the painter's whole paint (load, decode, resize, draw) into a screen-sized
//       bitmap, alternated with the library's plain decode at full size; prints the medians.
//   paint_bench decode-peak <picture>
//       decodes the picture once at full size and prints this process's peak working set.
//   paint_bench saver <lumeta_show.scr> <picture folder> <rounds>
//       starts the saver (/s, fitted pictures, no text) on the display: the time from process start
//       to the first picture on screen, its CPU time between two ticks, its peak working set.
// Every result line is "key=value" pairs for the script that builds the table.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imgctl/imgctl.h"
#include "slideshow/image_list.h"
#include "slideshow/settings.h"
#include "slideshow/slide_painter.h"
#include "slideshow/slide_run.h"
#include "tests/support/clock.h"
#include "tests/support/imgctl_ordinals.h"
#include "tests/support/process.h"

namespace {

const int kSaverInterval = 4000;        // TIME of the saver runs: ticks far enough apart to measure between
const DWORD kIdleSettle = 600;          // after the first picture, before the idle window opens
const DWORD kIdleWindow = 2000;         // the idle window, well before the first tick
const DWORD kStartTimeout = 30000;      // a saver that shows nothing by then has failed
const char kSettingsSectionName[] = "Screen Saver.lumeta_show";
const char kSettingsFileName[] = "lumeta_show.ini";

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The library's own decode of the whole picture at its stored size: load, then draw one pixel,
// which makes the library decode every pixel first.
bool DecodeOnce(const char *path, HDC dc) {
  ImgHandle picture = ImgLoad(path);
  if (picture == 0) return false;
  ImgPrepare(picture);
  ImgPictureInfo info;
  ZeroMemory(&info, sizeof(info));
  ImgGetInfo(picture, &info);
  ImgDraw(dc, 0, 0, 1, 1, picture, 0, 0, 1, 1, SRCCOPY, 1);
  ImgFree(picture);
  return info.biWidth > 0;
}

// Splits a Windows path into its folder and its file name.
void SplitPath(const char *path, std::string *folder, std::string *name) {
  std::string whole(path);
  size_t slash = whole.find_last_of("\\/");
  *folder = slash == std::string::npos ? std::string(".") : whole.substr(0, slash);
  *name = slash == std::string::npos ? whole : whole.substr(slash + 1);
}

int RunPaint(const char *path, int width, int height, int mode, int rounds) {
  std::string folder, name;
  SplitPath(path, &folder, &name);
  // The painter's inputs, as the saver's start would leave them: one picture, no text line.
  ZeroMemory(&g_settings, sizeof(g_settings));
  lstrcpynA(g_settings.pass, folder.c_str(), sizeof(g_settings.pass));
  g_settings.gMode = mode;
  g_settings.sMode = kTextOff;
  g_settings.size = 100;
  ZeroMemory(&g_imageList, sizeof(g_imageList));
  lstrcpynA(g_imageList.names[0], name.c_str(), sizeof(g_imageList.names[0]));
  g_imageList.count = 1;
  ZeroMemory(&g_slide, sizeof(g_slide));
  g_slide.screenWidth = width;
  g_slide.screenHeight = height;

  MemoryCanvas canvas(width, height, 0);
  if (canvas.bitmap == NULL) return 3;
  PAINTSTRUCT paint;
  ZeroMemory(&paint, sizeof(paint));
  if (!DecodeOnce(path, canvas.dc)) {
    std::printf("error=load path=%s\n", path);
    return 4;
  }
  PaintSlide(NULL, canvas.dc, &paint);  // warm-up: file cache, first-use costs
  std::vector<double> paints, decodes;
  for (int round = 0; round < rounds; ++round) {
    // Alternate the order, so that neither side always runs on a warmer cache.
    for (int side = 0; side < 2; ++side) {
      bool paintFirst = (round % 2) == 0;
      double start = NowMs();
      if ((side == 0) == paintFirst) {
        PaintSlide(NULL, canvas.dc, &paint);
        paints.push_back(NowMs() - start);
      } else {
        DecodeOnce(path, canvas.dc);
        decodes.push_back(NowMs() - start);
      }
    }
  }
  double paintMs = Median(paints), decodeMs = Median(decodes);
  std::printf("kind=paint picture=%s screen=%dx%d mode=%d paint_ms=%.1f decode_ms=%.1f ratio=%.2f\n", name.c_str(),
              width, height, mode, paintMs, decodeMs, decodeMs > 0 ? paintMs / decodeMs : 0);
  return 0;
}

int RunDecodePeak(const char *path) {
  MemoryCanvas canvas(1, 1, 0);
  double start = NowMs();
  if (!DecodeOnce(path, canvas.dc)) return 4;
  double decodeMs = NowMs() - start;
  PROCESS_MEMORY_COUNTERS memory;
  ZeroMemory(&memory, sizeof(memory));
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("kind=decode_peak peak_kb=%lu decode_ms=%.1f\n", static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024),
              decodeMs);
  return 0;
}

void WriteSetting(const char *key, const char *value) {
  WritePrivateProfileStringA(kSettingsSectionName, key, value, kSettingsFileName);
}

// The saver's settings for the runs: fitted pictures from the folder, no text line, long ticks.
void WriteSaverSettings(const char *folder) {
  char number[16];
  WriteSetting("PASS", folder);
  wsprintfA(number, "%d", kSaverInterval);
  WriteSetting("TIME", number);
  WriteSetting("COUNT", "10");
  WriteSetting("S-MODE", "0");
  WriteSetting("F-MODE", "0");
  WriteSetting("G-MODE", "4");
  WritePrivateProfileStringA(NULL, NULL, NULL, kSettingsFileName);  // flush the profile cache
}

ULONGLONG ProcessCpuMs(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  ULARGE_INTEGER k, u;
  k.LowPart = kernel.dwLowDateTime;
  k.HighPart = kernel.dwHighDateTime;
  u.LowPart = user.dwLowDateTime;
  u.HighPart = user.dwHighDateTime;
  return (k.QuadPart + u.QuadPart) / 10000;  // 100 ns units
}

// True once any of five points of the screen is no longer black: the first picture is up.
bool PictureOnScreen(HDC screen, int width, int height) {
  const int points[5][2] = {{width / 2, height / 2}, {width / 3, height / 2}, {2 * width / 3, height / 2},
                            {width / 2, height / 3}, {width / 2, 2 * height / 3}};
  for (const auto &point : points) {
    COLORREF colour = GetPixel(screen, point[0], point[1]);
    if (colour != CLR_INVALID && (colour & 0xFFFFFF) != 0) return true;
  }
  return false;
}

// A black full-screen window of the bench's own under the saver, so that what the previous run left
// on the display does not count as the first picture. It never takes the activation, which would
// end the saver.
HWND ShowCurtain(int width, int height) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = "LumetaBenchCurtain";
    registered = RegisterClassA(&windowClass) != 0;
  }
  HWND curtain = CreateWindowExA(WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, "LumetaBenchCurtain", "curtain",
                                 WS_POPUP, 0, 0, width, height, NULL, NULL, GetModuleHandleA(NULL), NULL);
  if (curtain == NULL) return NULL;
  ShowWindow(curtain, SW_SHOWNOACTIVATE);
  UpdateWindow(curtain);
  double until = NowMs() + 300;
  MSG message;
  while (NowMs() < until) {
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    Sleep(10);
  }
  return curtain;
}

void EndSaver(HANDLE process) {
  HWND window = FindWindowA("WindowsScreenSaverClass", "Screen Saver");
  if (window) PostMessageA(window, WM_CLOSE, 0, 0);
  if (WaitForExit(process, 5000) == kStillRunning) {
    TerminateProcess(process, 1);
    WaitForExit(process, 5000);
  }
}

int RunSaver(const char *program, const char *folder, int rounds) {
  WriteSaverSettings(folder);
  HDC screen = GetDC(NULL);
  int width = GetDeviceCaps(screen, HORZRES), height = GetDeviceCaps(screen, VERTRES);
  std::vector<double> starts, idleCpu, peaks;
  for (int round = 0; round < rounds; ++round) {
    HWND curtain = ShowCurtain(width, height);
    if (PictureOnScreen(screen, width, height)) {
      std::printf("error=screen_not_black\n");
      return 7;
    }
    double begin = NowMs();
    HANDLE process = StartProgram(program, "/s");
    if (process == NULL) {
      std::printf("error=start program=%s\n", program);
      return 5;
    }
    bool shown = false;
    while (NowMs() - begin < kStartTimeout) {
      if (PictureOnScreen(screen, width, height)) {
        shown = true;
        break;
      }
      if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) break;
      Sleep(1);
    }
    double firstPicture = NowMs();
    if (curtain) DestroyWindow(curtain);
    if (!shown) {
      std::printf("error=no_picture folder=%s\n", folder);
      EndSaver(process);
      return 6;
    }
    starts.push_back(firstPicture - begin);
    // Between ticks: from a moment after the first picture to well before the first tick.
    Sleep(kIdleSettle);
    ULONGLONG cpuBefore = ProcessCpuMs(process);
    double idleBegin = NowMs();
    Sleep(kIdleWindow);
    ULONGLONG cpuAfter = ProcessCpuMs(process);
    idleCpu.push_back(static_cast<double>(cpuAfter - cpuBefore) * 1000.0 / (NowMs() - idleBegin));
    // Past the first tick, so that the peak covers a second paint.
    double tickDue = begin + kSaverInterval + 1500;
    while (NowMs() < tickDue) Sleep(50);
    PROCESS_MEMORY_COUNTERS memory;
    ZeroMemory(&memory, sizeof(memory));
    GetProcessMemoryInfo(process, &memory, sizeof(memory));
    peaks.push_back(static_cast<double>(memory.PeakWorkingSetSize) / 1024.0);
    EndSaver(process);
  }
  ReleaseDC(NULL, screen);
  std::printf("kind=saver screen=%dx%d start_ms=%.0f idle_cpu_ms_per_s=%.2f peak_kb=%.0f\n", width, height,
              Median(starts), Median(idleCpu), Median(peaks));
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  std::setvbuf(stdout, NULL, _IONBF, 0);
  if (argc >= 7 && std::strcmp(argv[1], "paint") == 0)
    return RunPaint(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
  if (argc >= 3 && std::strcmp(argv[1], "decode-peak") == 0) return RunDecodePeak(argv[2]);
  if (argc >= 5 && std::strcmp(argv[1], "saver") == 0) return RunSaver(argv[2], argv[3], std::atoi(argv[4]));
  std::fprintf(stderr,
               "usage: paint_bench paint <picture> <width> <height> <mode> <rounds>\n"
               "       paint_bench decode-peak <picture>\n"
               "       paint_bench saver <lumeta_show.scr> <picture folder> <rounds>\n");
  return 2;
}
