// Test helpers around the user's "ScreenSaveUsePassword" value under "Control Panel\Desktop".
#pragma once
#include <windows.h>

#include <vector>

// Writes the value with this registry type and these bytes.
void WriteUsePassword(DWORD type, const void *bytes, DWORD size);
void DeleteUsePassword();

// Keeps the value as it was before a test and puts it back after.
class UsePasswordGuard {
 public:
  UsePasswordGuard();
  ~UsePasswordGuard();

 private:
  bool existed_;
  DWORD type_;
  std::vector<BYTE> saved_;
};
