// A 32-bit top-down DIB selected into a memory device context, for tests that read drawn pixels.
#pragma once
#include <windows.h>

struct MemoryCanvas {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ previous;
  DWORD *pixels;  // 0x00RRGGBB, row by row from the top
  int width, height;
};

// Creates the canvas cleared to black; false when the platform refuses.
bool OpenCanvas(MemoryCanvas *canvas, int width, int height);
void CloseCanvas(MemoryCanvas *canvas);
