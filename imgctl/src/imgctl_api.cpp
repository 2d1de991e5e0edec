// The six operations imgctl.dll exports by ordinal: load, prepare, query, resize, draw, free.
#include "imgctl/imgctl.h"

#include <memory>
#include <mutex>
#include <utility>

#include "imgctl/core/handle_table.h"
#include "imgctl/core/interrupt.h"
#include "imgctl/core/picture.h"
#include "imgctl/src/picture_draw.h"
#include "imgctl/src/picture_file.h"
#include "imgctl/src/x87_precision.h"

namespace {

// The live pictures; every operation holds the lock, so callers on several threads stay safe.
// Every operation also holds the x87 unit at double precision (X87Precision), whatever the caller set.
std::mutex g_lock;
imgctl::HandleTable g_pictures;

// A key or a mouse button waiting in the calling thread's queue. A screen saver ends on either, so
// the decode of a picture it would draw only to be dismissed stops at once, and the saver answers
// within a few milliseconds instead of at the paint's end. Asked at most every kInputCheckMilliseconds
// (GetQueueStatus is a call to the server under Wine, some 20 to 50 microseconds). Mouse movement
// is not asked about, since a small one leaves the saver running.
constexpr DWORD kInputCheckMilliseconds = 5;
bool InputWaiting() {
  static DWORD lastCheck = 0;
  DWORD now = GetTickCount();
  if (now - lastCheck < kInputCheckMilliseconds) return false;
  lastCheck = now;
  return HIWORD(GetQueueStatus(QS_KEY | QS_MOUSEBUTTON)) != 0;
}

// Windows keeps the stack of a 32-bit program aligned to 4 bytes only (a caller built with MSVC, or
// the system calling a window procedure, may leave it so), while GCC's code keeps it at 16 and the
// SSE2 kernels' stack operands need that: each operation realigns it once on entry.
#if defined(__i386__)
#define IMGCTL_ENTRY __attribute__((force_align_arg_pointer))
#else
#define IMGCTL_ENTRY
#endif

constexpr int kDone = 1;
constexpr int kFailed = 0;

}  // namespace

extern "C" {

// Ordinal 4: reads the file and its headers only; decoding waits for the first use of the pixels.
IMGCTL_ENTRY ImgHandle IMGCTL_API ImgLoad(const char *path) {
  imgctl::X87Precision precision;
  if (path == nullptr) return 0;
  try {
    imgctl::FileBytes bytes;
    if (!imgctl::ReadPictureFile(path, &bytes)) return 0;
    auto picture = std::make_unique<imgctl::Picture>();
    if (!imgctl::OpenPicture(std::move(bytes), picture.get())) return 0;
    std::lock_guard<std::mutex> hold(g_lock);
    return g_pictures.Add(std::move(picture));
  } catch (...) {  // out of memory: no picture
    return 0;
  }
}

// Ordinal 16: nothing needs doing between load and use; confirms that the handle is live.
IMGCTL_ENTRY int IMGCTL_API ImgPrepare(ImgHandle picture) {
  imgctl::X87Precision precision;
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_pictures.Find(picture) ? kDone : kFailed;
  } catch (...) {  // no exception leaves the library (the lock's, should the system refuse it)
    return kFailed;
  }
}

// Ordinal 6: a BITMAPINFOHEADER for the picture's 32-bit pixels at its current upright size.
IMGCTL_ENTRY int IMGCTL_API ImgGetInfo(ImgHandle picture, ImgPictureInfo *info) {
  imgctl::X87Precision precision;
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    const imgctl::Picture *found = g_pictures.Find(picture);
    if (found == nullptr || info == nullptr) return kFailed;
    *info = ImgPictureInfo{};
    info->biSize = sizeof(BITMAPINFOHEADER);
    info->biWidth = found->width;
    info->biHeight = found->height;
    info->biPlanes = 1;
    info->biBitCount = 32;
    info->biCompression = BI_RGB;
    info->biSizeImage = DWORD(found->width) * DWORD(found->height) * 4;
    return kDone;
  } catch (...) {
    return kFailed;
  }
}

// Ordinal 47: records the new size; the pixels are made at that size when next needed.
IMGCTL_ENTRY int IMGCTL_API ImgResize(ImgHandle picture, INT32 width, INT32 height) {
  imgctl::X87Precision precision;
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    imgctl::Picture *found = g_pictures.Find(picture);
    return found && imgctl::ResizePicture(found, width, height) ? kDone : kFailed;
  } catch (...) {
    return kFailed;
  }
}

// Ordinal 45: a one-to-one copy of a rectangle of the picture; the trailing flag is not used.
IMGCTL_ENTRY int IMGCTL_API ImgDraw(HDC dc, INT32 destX, INT32 destY, INT32 destWidth, INT32 destHeight,
                                    ImgHandle picture, INT32 sourceX, INT32 sourceY, INT32 sourceWidth,
                                    INT32 sourceHeight, DWORD rasterOp, INT32) {
  imgctl::X87Precision precision;
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    imgctl::Picture *found = g_pictures.Find(picture);
    if (found == nullptr) return kFailed;
    imgctl::InterruptScope interrupt(InputWaiting);
    // Empty when too large to hold at its current size, when memory for the decode was short, or
    // when the decode stopped for input: nothing is drawn, and the next draw decodes again.
    const imgctl::Pixels &pixels = imgctl::PicturePixels(found);
    if (pixels.size() != size_t(found->width) * size_t(found->height)) return kFailed;
    return imgctl::DrawPictureRectangle(dc, destX, destY, destWidth, destHeight, pixels.data(), found->width,
                                        found->height, sourceX, sourceY, sourceWidth, sourceHeight, rasterOp)
               ? kDone
               : kFailed;
  } catch (...) {  // no exception leaves the library
    return kFailed;
  }
}

// Ordinal 5: releases the picture and its file's bytes.
IMGCTL_ENTRY int IMGCTL_API ImgFree(ImgHandle picture) {
  imgctl::X87Precision precision;
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_pictures.Remove(picture) ? kDone : kFailed;
  } catch (...) {
    return kFailed;
  }
}

}  // extern "C"
