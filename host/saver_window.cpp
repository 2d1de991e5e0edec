// The saver window: registers the class, creates the full-screen or preview window, filters
// its messages before the slide show sees them, and runs the message loop.
#include "host/saver_window.h"

#include "host/host_state.h"
#include "host/password_hooks.h"
#include "slideshow/slide_run.h"

const char kSaverClassName[] = "WindowsScreenSaverClass";
const char kFullScreenTitle[] = "Screen Saver";
const char kPreviewTitle[] = "Preview";

SaverWindowCalls g_windowCalls = {SlideSaverProc, LoadPasswordHook, UnloadPasswordHook, Sleep};

namespace {

const UINT kSaverClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;  // 0x2B
const DWORD kFullScreenStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;  // 0x96000000
const DWORD kPreviewStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;                       // 0x52000000
// The class asks for icon 100; the program's only icon is group 1, so the class gets none.
const int kClassIconId = 100;
const char kImmLibrary[] = "IMM32.DLL";
const char kImmAssociateContextName[] = "ImmAssociateContext";
const char kAutoPlayMessageName[] = "QueryCancelAutoPlay";

// The form of the window to create.
struct SaverWindowForm {
  DWORD exStyle;
  DWORD style;
  const char *title;
  int x, y, width, height;
};

LRESULT PassOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return g_windowCalls.slideSaverProc(window, message, wParam, lParam);
}

void HideCursor() {
  if (!g_host.isPreview) SetCursor(NULL);
}

// Detaches the input method, when IMM32.DLL is already in the process (it is never loaded here).
void DetachInputMethod(HWND window) {
  g_host.imeModule = GetModuleHandleA(kImmLibrary);
  if (g_host.imeModule == NULL) return;
  FARPROC entry = GetProcAddress(g_host.imeModule, kImmAssociateContextName);
  // Through the generic function type, which converts to any other without a warning.
  g_host.imeAssociateContext = reinterpret_cast<ImmAssociateContextProc>(reinterpret_cast<void (*)()>(entry));
  if (g_host.imeAssociateContext == NULL) return;
  g_host.savedImeContext = g_host.imeAssociateContext(window, NULL);
}

void RestoreInputMethod(HWND window) {
  if (g_host.imeModule && g_host.imeAssociateContext && g_host.savedImeContext)
    g_host.imeAssociateContext(window, g_host.savedImeContext);
}

LRESULT OnSaverCreate(HWND window, WPARAM wParam, LPARAM lParam) {
  DetachInputMethod(window);
  GetCursorPos(&g_host.cursorAnchor);
  HideCursor();
  return PassOn(window, WM_CREATE, wParam, lParam);
}

LRESULT OnSaverDestroy(HWND window, WPARAM wParam, LPARAM lParam) {
  RestoreInputMethod(window);
  PostQuitMessage(0);
  return PassOn(window, WM_DESTROY, wParam, lParam);
}

LRESULT OnSaverPaint(HWND window, WPARAM wParam, LPARAM lParam) {
  // Once a close is allowed the slide show paints no more.
  if (g_host.closeAllowed) return DefWindowProcA(window, WM_PAINT, wParam, lParam);
  HideCursor();
  return PassOn(window, WM_PAINT, wParam, lParam);
}

// A preview hands help and context-menu requests to the settings page that holds it.
LRESULT OnSaverHelpRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!g_host.isPreview) return PassOn(window, message, wParam, lParam);
  HWND parent = GetParent(window);
  if (parent != NULL && IsWindow(parent)) PostMessageA(parent, message, reinterpret_cast<WPARAM>(parent), lParam);
  return 1;
}

LRESULT OnSaverInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_host.closeAllowed) return DefWindowProcA(window, message, wParam, lParam);
  return PassOn(window, message, wParam, lParam);
}

// Full screen keeps the task switcher and a second screen-saver start away (exact values).
LRESULT OnSaverSysCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  if (!g_host.isPreview && (wParam == SC_NEXTWINDOW || wParam == SC_PREVWINDOW || wParam == SC_SCREENSAVE)) return 0;
  return PassOn(window, WM_SYSCOMMAND, wParam, lParam);
}

LRESULT OnSaverTimer(HWND window, WPARAM wParam, LPARAM lParam) {
  if (g_host.closeAllowed) return 0;
  g_windowCalls.yieldTimeSlice(0);  // give the rest of the time slice away before each tick
  return PassOn(window, WM_TIMER, wParam, lParam);
}

void FillSaverClass(WNDCLASSA *windowClass) {
  ZeroMemory(windowClass, sizeof(*windowClass));
  windowClass->style = kSaverClassStyle;
  windowClass->lpfnWndProc = SaverWindowProc;
  windowClass->hInstance = g_host.instance;
  windowClass->hIcon = LoadIconA(g_host.instance, MAKEINTRESOURCEA(kClassIconId));
  windowClass->hCursor = NULL;
  windowClass->hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass->lpszClassName = kSaverClassName;
}

void TakePreviewForm(HWND parent, SaverWindowForm *form) {
  RECT client = {0, 0, 0, 0};
  GetClientRect(parent, &client);
  form->exStyle = 0;
  form->style = kPreviewStyle;
  form->title = kPreviewTitle;
  form->x = 0;
  form->y = 0;
  form->width = client.right;
  form->height = client.bottom;
  g_host.isPreview = 1;
}

void TakeFullScreenForm(SaverWindowForm *form) {
  RECT screen = {0, 0, 0, 0};
  HDC dc = GetDC(NULL);
  GetClipBox(dc, &screen);
  ReleaseDC(NULL, dc);
  form->exStyle = WS_EX_TOPMOST;
  form->style = kFullScreenStyle;
  form->title = kFullScreenTitle;
  form->x = screen.left;
  form->y = screen.top;
  form->width = screen.right - screen.left;
  form->height = screen.bottom - screen.top;
}

// One full-screen saver at a time: an existing one is brought to the front instead.
BOOL BringRunningSaverToFront() {
  HWND running = FindWindowA(kSaverClassName, kFullScreenTitle);
  if (running == NULL || !IsWindow(running)) return FALSE;
  SetForegroundWindow(running);
  return TRUE;
}

int RunMessageLoop() {
  MSG message;
  ZeroMemory(&message, sizeof(message));
  // GetMessageA gives -1 only for invalid arguments; stopping there too keeps the loop finite.
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);  // the quit code
}

}  // namespace

int RunSaverWindow(HWND parent) {
  WNDCLASSA windowClass;
  FillSaverClass(&windowClass);
  SaverWindowForm form;
  if (parent != NULL) {
    TakePreviewForm(parent, &form);
  } else {
    TakeFullScreenForm(&form);
    if (BringRunningSaverToFront()) return 0;
    g_windowCalls.loadPasswordHook();
  }
  g_host.queryCancelAutoPlayMessage = g_host.isWin9x ? RegisterWindowMessageA(kAutoPlayMessageName) : 0;
  if (RegisterClassA(&windowClass))
    g_host.saverWindow = CreateWindowExA(form.exStyle, kSaverClassName, form.title, form.style, form.x, form.y,
                                         form.width, form.height, parent, NULL, g_host.instance, NULL);
  int result = kExitNoWindow;
  if (g_host.saverWindow != NULL) {
    if (parent == NULL) SetForegroundWindow(g_host.saverWindow);
    result = RunMessageLoop();
  }
  g_windowCalls.unloadPasswordHook();
  return result;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: return OnSaverCreate(window, wParam, lParam);
    case WM_DESTROY: return OnSaverDestroy(window, wParam, lParam);
    case WM_SETTEXT: return 0;  // the title never changes
    case WM_PAINT: return OnSaverPaint(window, wParam, lParam);
    case WM_HELP:
    case WM_CONTEXTMENU: return OnSaverHelpRequest(window, message, wParam, lParam);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: return OnSaverInput(window, message, wParam, lParam);
    case WM_SYSCOMMAND: return OnSaverSysCommand(window, wParam, lParam);
    case WM_TIMER: return OnSaverTimer(window, wParam, lParam);
  }
  return PassOn(window, message, wParam, lParam);
}
