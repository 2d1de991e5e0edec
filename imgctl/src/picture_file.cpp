// Reads a picture file whole, by its ANSI path, within the library's file-size bound.
#include "imgctl/src/picture_file.h"

#include <windows.h>

#include "imgctl/core/limits.h"

namespace imgctl {

bool ReadPictureFile(const char *path, FileBytes *bytes) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // GetFileSize rather than GetFileSizeEx: the latter is missing on the Windows 9x family.
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  bool ok = !(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && high == 0 && low <= kMaxFileBytes;
  if (ok) {
    bytes->resize(low);
    DWORD done = 0;
    while (ok && done < low) {
      DWORD got = 0;
      ok = ReadFile(file, bytes->data() + done, low - done, &got, nullptr) && got > 0;
      done += got;
    }
  }
  CloseHandle(file);
  return ok;
}

}  // namespace imgctl
