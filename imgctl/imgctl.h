// imgctl.dll: the picture library's C interface, imported by ordinal.
#pragma once
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// One calling convention for the library and its callers, on both pointer sizes.
#define IMGCTL_API __cdecl

// An opaque picture handle: a 32-bit value on both targets; 0 means failure.
typedef UINT32 ImgHandle;

// The 40-byte record that ordinal 6 fills: a BITMAPINFOHEADER whose biWidth and
// biHeight (bytes 4 to 7 and 8 to 11) hold the picture's upright width and height.
typedef BITMAPINFOHEADER ImgPictureInfo;

ImgHandle IMGCTL_API ImgLoad(const char *path);                           // ordinal 4
int IMGCTL_API ImgPrepare(ImgHandle picture);                             // ordinal 16
int IMGCTL_API ImgGetInfo(ImgHandle picture, ImgPictureInfo *info);       // ordinal 6
int IMGCTL_API ImgResize(ImgHandle picture, INT32 width, INT32 height);   // ordinal 47
int IMGCTL_API ImgDraw(HDC dc, INT32 destX, INT32 destY, INT32 destWidth, INT32 destHeight, ImgHandle picture,
                       INT32 sourceX, INT32 sourceY, INT32 sourceWidth, INT32 sourceHeight, DWORD rasterOp,
                       INT32 flag);                                       // ordinal 45
int IMGCTL_API ImgFree(ImgHandle picture);                                // ordinal 5

#ifdef __cplusplus
}
#endif
