// Stand-in for the settings page that holds a screen-saver preview: a plain 320 x 240 window at
// (100, 100) that writes its handle in decimal to the file named by its first argument, and
// destroys itself (and with it the preview inside) once the file named by the second argument exists.
#include <windows.h>

static const UINT_PTR kPollTimer = 1;
static const UINT kPollMilliseconds = 100;
static char g_stopFile[MAX_PATH];

static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (GetFileAttributesA(g_stopFile) != INVALID_FILE_ATTRIBUTES) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc < 3) return 2;
  lstrcpynA(g_stopFile, __argv[2], sizeof(g_stopFile));
  WNDCLASSA windowClass;
  ZeroMemory(&windowClass, sizeof(windowClass));
  windowClass.lpfnWndProc = ParentProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = "LumetaPreviewParent";
  if (!RegisterClassA(&windowClass)) return 3;
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "preview parent", WS_POPUP | WS_VISIBLE, 100, 100, 320,
                                240, NULL, NULL, instance, NULL);
  if (window == NULL) return 4;
  char text[32];
  wsprintfA(text, "%u", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)));
  HANDLE file = CreateFileA(__argv[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 5;
  DWORD written = 0;
  WriteFile(file, text, static_cast<DWORD>(lstrlenA(text)), &written, NULL);
  CloseHandle(file);
  SetTimer(window, kPollTimer, kPollMilliseconds, NULL);
  MSG message;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
