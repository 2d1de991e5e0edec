// Stand-in for the settings page that holds a screen-saver preview: a plain 320 x 240 window at
// (100, 100) that writes its handle in decimal to the file named by its first argument. Once the
// file named by the second argument exists it writes what it holds (the class, title and client
// size of its first child) to the file named by the third, and destroys itself and the preview.
#include <windows.h>

static const UINT_PTR kPollTimer = 1;
static const UINT kPollMilliseconds = 100;
static char g_stopFile[MAX_PATH];
static char g_reportFile[MAX_PATH];

static void WriteTextFile(const char *path, const char *text) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text, static_cast<DWORD>(lstrlenA(text)), &written, NULL);
  CloseHandle(file);
}

static void ReportChild(HWND window) {
  char report[256] = "none";
  HWND child = GetWindow(window, GW_CHILD);
  if (child != NULL) {
    char className[64] = "";
    char title[64] = "";
    RECT client = {0, 0, 0, 0};
    GetClassNameA(child, className, sizeof(className));
    GetWindowTextA(child, title, sizeof(title));
    GetClientRect(child, &client);
    wsprintfA(report, "%s|%s|%dx%d|%s", className, title, static_cast<int>(client.right), static_cast<int>(client.bottom),
              IsWindowVisible(child) ? "visible" : "hidden");
  }
  WriteTextFile(g_reportFile, report);
}

static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (GetFileAttributesA(g_stopFile) == INVALID_FILE_ATTRIBUTES) return 0;
      KillTimer(window, kPollTimer);
      ReportChild(window);
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (__argc < 4) return 2;
  lstrcpynA(g_stopFile, __argv[2], sizeof(g_stopFile));
  lstrcpynA(g_reportFile, __argv[3], sizeof(g_reportFile));
  WNDCLASSA windowClass;
  ZeroMemory(&windowClass, sizeof(windowClass));
  windowClass.lpfnWndProc = ParentProc;
  windowClass.hInstance = instance;
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = "LumetaPreviewParent";
  if (!RegisterClassA(&windowClass)) return 3;
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "preview parent", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 100, 100, 320,
                                240, NULL, NULL, instance, NULL);
  if (window == NULL) return 4;
  char text[32];
  wsprintfA(text, "%u", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)));
  WriteTextFile(__argv[1], text);
  SetTimer(window, kPollTimer, kPollMilliseconds, NULL);
  MSG message;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
