// Scratch folders for tests, through the wide-character calls with the \\?\ prefix so that
// paths beyond MAX_PATH can be made and removed.
#include "tests/support/scratch_folder.h"

#include <windows.h>

static std::wstring LongPath(const std::string &path) {
  int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, NULL, 0);
  std::wstring wide(static_cast<size_t>(length > 0 ? length : 1), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
  wide.resize(wcslen(wide.c_str()));
  return L"\\\\?\\" + wide;
}

bool MakeFolder(const std::string &path) {
  size_t from = 3;  // past "C:\"
  for (;;) {
    size_t separator = path.find('\\', from);
    std::string part = path.substr(0, separator);
    if (!CreateDirectoryW(LongPath(part).c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (separator == std::string::npos || separator + 1 >= path.size()) return true;
    from = separator + 1;
  }
}

bool MakeFile(const std::string &path) {
  HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

static void RemoveTree(const std::wstring &folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileW(child.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

void RemoveFolder(const std::string &path) { RemoveTree(LongPath(path)); }
