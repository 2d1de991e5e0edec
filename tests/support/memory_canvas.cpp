// A memory device context over a 32-bit DIB whose pixels tests read directly.
#include "tests/support/memory_canvas.h"

bool OpenCanvas(MemoryCanvas *canvas, int width, int height) {
  ZeroMemory(canvas, sizeof(*canvas));
  BITMAPINFO info;
  ZeroMemory(&info, sizeof(info));
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  canvas->dc = CreateCompatibleDC(NULL);
  void *bits = NULL;
  canvas->bitmap = CreateDIBSection(canvas->dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  if (canvas->dc == NULL || canvas->bitmap == NULL) return false;
  canvas->pixels = static_cast<DWORD *>(bits);
  canvas->previous = SelectObject(canvas->dc, canvas->bitmap);
  canvas->width = width;
  canvas->height = height;
  ZeroMemory(canvas->pixels, sizeof(DWORD) * static_cast<size_t>(width) * static_cast<size_t>(height));
  return true;
}

void CloseCanvas(MemoryCanvas *canvas) {
  if (canvas->dc && canvas->previous) SelectObject(canvas->dc, canvas->previous);
  if (canvas->bitmap) DeleteObject(canvas->bitmap);
  if (canvas->dc) DeleteDC(canvas->dc);
  ZeroMemory(canvas, sizeof(*canvas));
}
