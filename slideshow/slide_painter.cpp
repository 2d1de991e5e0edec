// The slide painter: text line (random or ping-pong) and one picture through imgctl.dll per paint.
#include "slideshow/slide_painter.h"

#include <string.h>

#include "imgctl/imgctl.h"
#include "slideshow/image_list.h"
#include "slideshow/placement.h"
#include "slideshow/random.h"
#include "slideshow/settings.h"
#include "slideshow/slide_run.h"

static const DWORD kDrawRasterOp = SRCCOPY;
static const INT32 kDrawFlag = 1;
static const INT32 kColourMask = 0xFF;

static void MoveTextLine(const SIZE &extent) {
  if (g_settings.sMode == kTextRandom) {
    // x is drawn first, then y; a text wider than the screen gives a negative range
    // and runs off the right edge.
    g_slide.textX = RemainderOrZero(NextRandom(), static_cast<INT64>(g_slide.screenWidth) - extent.cx);
    g_slide.textY = RemainderOrZero(NextRandom(), static_cast<INT64>(g_slide.screenHeight) - extent.cy);
  } else if (g_settings.sMode == kTextPingPong) {
    // The step is the text height on both axes: a 45-degree diagonal.
    StepPingPong(&g_slide.textX, &g_slide.textMovingLeft, extent.cy, extent.cx, g_slide.screenWidth);
    StepPingPong(&g_slide.textY, &g_slide.textMovingUp, extent.cy, extent.cy, g_slide.screenHeight);
  }
  // Any other text mode keeps the start point.
}

// |value| held to limit (0 or more), with value's sign; INT32_MIN has no positive twin, hence INT64.
static LONG LimitMagnitude(LONG value, INT32 limit) {
  INT64 bound = limit > 0 ? limit : 0;
  if (value > bound) return static_cast<LONG>(bound);
  if (value < -bound) return static_cast<LONG>(-bound);
  return value;
}

void LimitFontToScreen(LOGFONTA *font, INT32 screenWidth, INT32 screenHeight) {
  // A character larger than the screen cannot be seen whole, and the platform's text rendering
  // would allocate its glyphs (gigabytes for a height of 56000) and take seconds per paint, while
  // the saver cannot answer input.
  font->lfHeight = LimitMagnitude(font->lfHeight, screenHeight);
  font->lfWidth = LimitMagnitude(font->lfWidth, screenWidth);
}

static void DrawTextLine(HDC dc) {
  int length = static_cast<int>(strnlen(g_settings.str, sizeof(g_settings.str)));
  LOGFONTA shown = g_settings.font;
  LimitFontToScreen(&shown, g_slide.screenWidth, g_slide.screenHeight);
  HFONT font = CreateFontIndirectA(&shown);
  SelectObject(dc, font);
  SIZE extent = {0, 0};
  GetTextExtentPoint32A(dc, g_settings.str, length, &extent);
  MoveTextLine(extent);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(g_settings.colorR & kColourMask, g_settings.colorG & kColourMask, g_settings.colorB & kColourMask));
  TextOutA(dc, g_slide.textX, g_slide.textY, g_settings.str, length);
  // The font selected before is not put back: the stock system font takes its place.
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  DeleteObject(font);
}

void BuildPicturePath(char *path, size_t pathSize) {
  ZeroMemory(path, pathSize);
  INT32 index = g_slide.pictureIndex;
  if (index < 0 || index >= kImageListCapacity) index = 0;
  const char *folder = PictureFolder();
  const char *name = g_imageList.names[index];
  size_t folderLength = strnlen(folder, kImageNameSize - 1);
  size_t nameLength = strnlen(name, kImageNameSize - 1);
  // Always one separator, even after a folder that ends in one (a drive's root).
  if (folderLength + 1 + nameLength + 1 > pathSize) return;
  CopyMemory(path, folder, folderLength);
  path[folderLength] = '\\';
  CopyMemory(path + folderLength + 1, name, nameLength);
}

static void AdvancePictureIndex() {
  ++g_slide.pictureIndex;
  if (g_slide.pictureIndex > g_imageList.count - 1 || g_slide.pictureIndex < 0) g_slide.pictureIndex = 0;
}

static void DrawPicture(HDC dc, ImgHandle picture) {
  ImgPrepare(picture);
  ImgPictureInfo info;
  ZeroMemory(&info, sizeof(info));
  ImgGetInfo(picture, &info);
  PicturePlacement place = PlacePicture(g_settings.gMode, g_slide.screenWidth, g_slide.screenHeight, info.biWidth,
                                        info.biHeight, g_settings.size, NextRandom);
  if (place.resize) ImgResize(picture, place.scaledWidth, place.scaledHeight);
  if (place.draw)
    ImgDraw(dc, place.destX, place.destY, place.width, place.height, picture, place.sourceX, place.sourceY, place.width,
            place.height, kDrawRasterOp, kDrawFlag);
  ImgFree(picture);
}

static void DrawNextPicture(HDC dc) {
  char path[kPicturePathSize];
  BuildPicturePath(path, sizeof(path));
  ImgHandle picture = ImgLoad(path);
  // A picture that does not load is passed over, so one bad file cannot halt the show.
  if (picture != 0) DrawPicture(dc, picture);
  AdvancePictureIndex();
}

void PaintSlide(HWND, HDC dc, PAINTSTRUCT *) {
  if (g_settings.sMode != kTextOff && g_settings.str[0] != '\0') DrawTextLine(dc);
  if (g_imageList.count != 0 && g_settings.gMode != kPictureOff) DrawNextPicture(dc);
}
