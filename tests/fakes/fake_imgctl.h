// The recording stand-in for imgctl.dll: its call record and the test's access to its controls.
#pragma once
#include <windows.h>

#include "imgctl/imgctl.h"

// One call into the library, with its arguments.
struct FakeImgCall {
  int ordinal;          // 4 load, 16 prepare, 6 info, 47 resize, 45 draw, 5 free
  char path[600];       // load: the path as passed
  ImgHandle picture;    // the handle passed (load: the handle returned)
  HDC dc;               // draw
  INT32 args[10];       // resize: width, height; draw: dest x, y, w, h, source x, y, w, h
  DWORD rasterOp;       // draw
  INT32 flag;           // draw
};

// Exported by name beside the six ordinals.
typedef void(IMGCTL_API *FakeImgResetProc)();
typedef void(IMGCTL_API *FakeImgScriptLoadProc)(ImgHandle handle, INT32 width, INT32 height, COLORREF colour);
typedef int(IMGCTL_API *FakeImgCallCountProc)();
typedef BOOL(IMGCTL_API *FakeImgGetCallProc)(int index, FakeImgCall *call);

// The controls of the fake loaded beside the test program.
struct FakeImgControls {
  FakeImgResetProc reset;               // forget the calls and the script
  FakeImgScriptLoadProc scriptLoad;     // queue the result of one load (handle 0: the load fails)
  FakeImgCallCountProc callCount;
  FakeImgGetCallProc getCall;
};

inline FakeImgControls FindFakeImgControls() {
  FakeImgControls controls = {NULL, NULL, NULL, NULL};
  HMODULE library = GetModuleHandleA("imgctl.dll");
  if (library == NULL) return controls;
  controls.reset = reinterpret_cast<FakeImgResetProc>(reinterpret_cast<void (*)()>(GetProcAddress(library, "FakeImgReset")));
  controls.scriptLoad =
      reinterpret_cast<FakeImgScriptLoadProc>(reinterpret_cast<void (*)()>(GetProcAddress(library, "FakeImgScriptLoad")));
  controls.callCount =
      reinterpret_cast<FakeImgCallCountProc>(reinterpret_cast<void (*)()>(GetProcAddress(library, "FakeImgCallCount")));
  controls.getCall = reinterpret_cast<FakeImgGetCallProc>(reinterpret_cast<void (*)()>(GetProcAddress(library, "FakeImgGetCall")));
  return controls;
}
