// The six exported operations (placeholder: loads nothing).
#include "imgctl/imgctl.h"

extern "C" {
ImgHandle IMGCTL_API ImgLoad(const char *) { return 0; }
int IMGCTL_API ImgPrepare(ImgHandle) { return 0; }
int IMGCTL_API ImgGetInfo(ImgHandle, ImgPictureInfo *) { return 0; }
int IMGCTL_API ImgResize(ImgHandle, INT32, INT32) { return 0; }
int IMGCTL_API ImgDraw(HDC, INT32, INT32, INT32, INT32, ImgHandle, INT32, INT32, INT32, INT32, DWORD, INT32) {
  return 0;
}
int IMGCTL_API ImgFree(ImgHandle) { return 0; }
}
