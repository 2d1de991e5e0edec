// Reports a child window of a given parent, for end-to-end scripts: the screen-saver preview is a
// child in another process, which Wine does not show on the X display, so scripts ask here instead.
// Usage: window_probe <parent handle, decimal> <class> <title>
// Prints "found <x> <y> <width> <height> <visible> <parent width> <parent height>" (client
// coordinates of the parent) and exits 0, or prints "none" and exits 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: window_probe <parent> <class> <title>\n");
    return 2;
  }
  HWND parent = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(argv[1], NULL, 10)));
  HWND child = IsWindow(parent) ? FindWindowExA(parent, NULL, argv[2], argv[3]) : NULL;
  if (child == NULL) {
    std::printf("none\n");
    return 1;
  }
  RECT box;
  GetWindowRect(child, &box);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT *>(&box), 2);
  RECT area;
  GetClientRect(parent, &area);
  std::printf("found %ld %ld %ld %ld %d %ld %ld\n", box.left, box.top, box.right - box.left, box.bottom - box.top,
              IsWindowVisible(child) ? 1 : 0, area.right, area.bottom);
  return 0;
}
