// Test access to imgctl.dll through its ordinals, as the program imports it, and to the test pictures.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "imgctl/imgctl.h"

#include "imgctl/native/file_bytes.h"

// The six operations, looked up with GetProcAddress(dll, MAKEINTRESOURCE(ordinal)).
struct ImgctlOrdinals {
  HMODULE dll = nullptr;
  ImgHandle(IMGCTL_API *load)(const char *) = nullptr;                              // 4
  int(IMGCTL_API *free)(ImgHandle) = nullptr;                                       // 5
  int(IMGCTL_API *getInfo)(ImgHandle, ImgPictureInfo *) = nullptr;                  // 6
  int(IMGCTL_API *prepare)(ImgHandle) = nullptr;                                    // 16
  int(IMGCTL_API *draw)(HDC, INT32, INT32, INT32, INT32, ImgHandle, INT32, INT32, INT32, INT32, DWORD,
                        INT32) = nullptr;                                           // 45
  int(IMGCTL_API *resize)(ImgHandle, INT32, INT32) = nullptr;                       // 47
};

// Loads imgctl.dll beside the test program once and resolves the ordinals (null members when missing).
const ImgctlOrdinals &Imgctl();

// The Windows path of a file under tests/data/imgctl (through Wine's Z: drive).
std::string ImgctlTestFile(const std::string &name);

// A top-down 32-bit DIB section selected into a memory DC, filled with a sentinel colour.
struct MemoryCanvas {
  MemoryCanvas(int width, int height, uint32_t fill);
  ~MemoryCanvas();
  uint32_t Pixel(int x, int y) const { GdiFlush(); return bits[size_t(y) * size_t(width) + size_t(x)] & 0xFFFFFF; }
  int width, height;
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  uint32_t *bits = nullptr;
};

// Draws the whole picture (width x height) with ordinal 45 and returns its pixels (0xRRGGBB).
std::vector<uint32_t> DrawWholePicture(ImgHandle picture, int width, int height);
