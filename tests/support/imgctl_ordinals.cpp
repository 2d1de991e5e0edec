// Test access to imgctl.dll through its ordinals, as the program imports it, and to the test pictures.
#include "tests/support/imgctl_ordinals.h"

#include <stdio.h>
#include "imgctl/native/file_bytes.h"

template <typename Function>
static void Resolve(HMODULE dll, int ordinal, Function *function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(dll, MAKEINTRESOURCEA(ordinal))));
}

const ImgctlOrdinals &Imgctl() {
  static ImgctlOrdinals ordinals = [] {
    ImgctlOrdinals o;
    o.dll = LoadLibraryA("imgctl.dll");
    if (o.dll == nullptr) return o;
    Resolve(o.dll, 4, &o.load);
    Resolve(o.dll, 5, &o.free);
    Resolve(o.dll, 6, &o.getInfo);
    Resolve(o.dll, 16, &o.prepare);
    Resolve(o.dll, 45, &o.draw);
    Resolve(o.dll, 47, &o.resize);
    return o;
  }();
  return ordinals;
}

std::string ImgctlTestFile(const std::string &name) {
  std::string path = std::string("Z:") + LUMETA_SOURCE_DIR + "/tests/data/imgctl/" + name;
  for (char &c : path)
    if (c == '/') c = '\\';
  return path;
}

MemoryCanvas::MemoryCanvas(int w, int h, uint32_t fill) : width(w), height(h) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void *memory = nullptr;
  dc = CreateCompatibleDC(nullptr);
  bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
  bits = static_cast<uint32_t *>(memory);
  previous = SelectObject(dc, bitmap);
  for (size_t i = 0; i < size_t(w) * size_t(h); ++i) bits[i] = fill;
}

MemoryCanvas::~MemoryCanvas() {
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

std::vector<uint32_t> DrawWholePicture(ImgHandle picture, int width, int height) {
  MemoryCanvas canvas(width, height, 0x00FF00FF);
  Imgctl().draw(canvas.dc, 0, 0, width, height, picture, 0, 0, width, height, SRCCOPY, 1);
  std::vector<uint32_t> pixels(size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels[size_t(y) * size_t(width) + size_t(x)] = canvas.Pixel(x, y);
  return pixels;
}
