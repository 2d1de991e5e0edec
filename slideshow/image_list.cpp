// The image list: searches the picture folder, type by type, into the 1024-slot name table.
#include "slideshow/image_list.h"

#include <string.h>

#include "slideshow/settings.h"

ImageList g_imageList;

namespace {

// The 6-byte search patterns of types 1 to 4, appended straight after the folder.
const char *const kTypePatterns[] = {"\\*.jpg", "\\*.bmp", "\\*.gif", "\\*.png"};
const size_t kPatternLength = 6;
const INT32 kFirstType = kFilesJpeg;
const INT32 kLastType = kFilesPng;

// Room for any folder that fits its 256-byte field plus a pattern, so that a
// folder of 250 to 255 bytes is still searched and nothing is written past the end.
const size_t kSearchPathSize = kImageNameSize + kPatternLength;

}  // namespace

const char *PictureFolder() {
  return g_settings.pass[0] != '\0' ? g_settings.pass : g_imageList.startDirectory;
}

BOOL StoreImageName(INT32 slot, const char *name, size_t nameBufferSize) {
  if (slot < 0 || slot >= kImageListCapacity) return FALSE;
  size_t length = strnlen(name, nameBufferSize);
  // A name of 256 bytes or more cannot be held whole, and a cut name would name
  // another file (or none), so it is left out of the list.
  if (length >= sizeof(g_imageList.names[slot])) return FALSE;
  ZeroMemory(g_imageList.names[slot], sizeof(g_imageList.names[slot]));
  CopyMemory(g_imageList.names[slot], name, length);
  return TRUE;
}

static void BuildSearchPath(char *path, size_t pathSize, INT32 type) {
  ZeroMemory(path, pathSize);
  const char *folder = PictureFolder();
  size_t folderLength = strnlen(folder, kImageNameSize - 1);
  CopyMemory(path, folder, folderLength);
  // No separator test: a folder ending in a backslash gives two of them.
  if (type >= kFirstType && type <= kLastType) CopyMemory(path + folderLength, kTypePatterns[type - kFirstType], kPatternLength);
}

INT32 AppendImageFiles(INT32 type, INT32 start) {
  if (start < 0) start = 0;
  char path[kSearchPathSize];
  BuildSearchPath(path, sizeof(path), type);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return start;
  INT32 count = start;
  do {
    if (count >= kImageListCapacity) break;
    if (StoreImageName(count, found.cFileName, sizeof(found.cFileName))) ++count;
    if (count >= kImageListCapacity) break;  // full: FindNextFileA is not called again
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return count;
}

void BuildImageList() {
  g_imageList.count = 0;
  if (g_settings.fMode == kFilesAll) {
    for (INT32 type = kFirstType; type <= kLastType; ++type) g_imageList.count = AppendImageFiles(type, g_imageList.count);
  } else {
    g_imageList.count = AppendImageFiles(g_settings.fMode, 0);
  }
}
