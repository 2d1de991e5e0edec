// A recording stand-in for imgctl.dll: logs every call with its arguments, returns scripted
// pictures and "draws" by filling the destination rectangle with the picture's colour.
#include <string.h>

#include <deque>
#include <map>
#include <vector>

#include "tests/fakes/fake_imgctl.h"

namespace {

struct FakePicture {
  ImgHandle handle;
  INT32 width, height;
  COLORREF colour;
};

const INT32 kDefaultWidth = 64;
const INT32 kDefaultHeight = 48;
const COLORREF kDefaultColour = RGB(0, 0, 255);

std::vector<FakeImgCall> g_calls;
std::deque<FakePicture> g_script;
std::map<ImgHandle, FakePicture> g_loaded;
ImgHandle g_nextHandle = 1000;

FakeImgCall &Record(int ordinal, ImgHandle picture) {
  FakeImgCall call;
  ZeroMemory(&call, sizeof(call));
  call.ordinal = ordinal;
  call.picture = picture;
  g_calls.push_back(call);
  return g_calls.back();
}

}  // namespace

extern "C" {

ImgHandle IMGCTL_API ImgLoad(const char *path) {
  FakePicture picture = {++g_nextHandle, kDefaultWidth, kDefaultHeight, kDefaultColour};
  if (!g_script.empty()) {
    picture = g_script.front();
    g_script.pop_front();
  }
  FakeImgCall &call = Record(4, picture.handle);
  if (path) lstrcpynA(call.path, path, sizeof(call.path));
  if (picture.handle != 0) g_loaded[picture.handle] = picture;
  return picture.handle;
}

int IMGCTL_API ImgPrepare(ImgHandle picture) {
  Record(16, picture);
  return 1;
}

int IMGCTL_API ImgGetInfo(ImgHandle picture, ImgPictureInfo *info) {
  Record(6, picture);
  auto found = g_loaded.find(picture);
  if (found == g_loaded.end() || info == NULL) return 0;
  ZeroMemory(info, sizeof(*info));
  info->biSize = sizeof(*info);
  info->biWidth = found->second.width;
  info->biHeight = found->second.height;
  return 1;
}

int IMGCTL_API ImgResize(ImgHandle picture, INT32 width, INT32 height) {
  FakeImgCall &call = Record(47, picture);
  call.args[0] = width;
  call.args[1] = height;
  auto found = g_loaded.find(picture);
  if (found == g_loaded.end()) return 0;
  found->second.width = width;
  found->second.height = height;
  return 1;
}

int IMGCTL_API ImgDraw(HDC dc, INT32 destX, INT32 destY, INT32 destWidth, INT32 destHeight, ImgHandle picture,
                       INT32 sourceX, INT32 sourceY, INT32 sourceWidth, INT32 sourceHeight, DWORD rasterOp, INT32 flag) {
  FakeImgCall &call = Record(45, picture);
  call.dc = dc;
  INT32 args[10] = {destX, destY, destWidth, destHeight, sourceX, sourceY, sourceWidth, sourceHeight, 0, 0};
  CopyMemory(call.args, args, sizeof(call.args));
  call.rasterOp = rasterOp;
  call.flag = flag;
  auto found = g_loaded.find(picture);
  if (found == g_loaded.end()) return 0;
  RECT area = {destX, destY, destX + destWidth, destY + destHeight};
  HBRUSH brush = CreateSolidBrush(found->second.colour);
  FillRect(dc, &area, brush);
  DeleteObject(brush);
  return 1;
}

int IMGCTL_API ImgFree(ImgHandle picture) {
  Record(5, picture);
  return g_loaded.erase(picture) ? 1 : 0;
}

void IMGCTL_API FakeImgReset() {
  g_calls.clear();
  g_script.clear();
  g_loaded.clear();
}

void IMGCTL_API FakeImgScriptLoad(ImgHandle handle, INT32 width, INT32 height, COLORREF colour) {
  FakePicture picture = {handle, width, height, colour};
  g_script.push_back(picture);
}

int IMGCTL_API FakeImgCallCount() { return static_cast<int>(g_calls.size()); }

BOOL IMGCTL_API FakeImgGetCall(int index, FakeImgCall *call) {
  if (index < 0 || index >= static_cast<int>(g_calls.size()) || call == NULL) return FALSE;
  *call = g_calls[static_cast<size_t>(index)];
  return TRUE;
}

}  // extern "C"
