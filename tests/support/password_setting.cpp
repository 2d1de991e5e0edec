// Test helpers around the user's "ScreenSaveUsePassword" value under "Control Panel\Desktop".
#include "tests/support/password_setting.h"

static const char kDesktopKey[] = "Control Panel\\Desktop";
static const char kValueName[] = "ScreenSaveUsePassword";

void WriteUsePassword(DWORD type, const void *bytes, DWORD size) {
  HKEY key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, kDesktopKey, &key) != ERROR_SUCCESS) return;
  RegSetValueExA(key, kValueName, 0, type, static_cast<const BYTE *>(bytes), size);
  RegCloseKey(key);
}

void DeleteUsePassword() {
  HKEY key;
  if (RegOpenKeyA(HKEY_CURRENT_USER, kDesktopKey, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, kValueName);
  RegCloseKey(key);
}

UsePasswordGuard::UsePasswordGuard() : existed_(false), type_(0) {
  HKEY key;
  if (RegOpenKeyA(HKEY_CURRENT_USER, kDesktopKey, &key) != ERROR_SUCCESS) return;
  DWORD size = 0;
  if (RegQueryValueExA(key, kValueName, NULL, &type_, NULL, &size) == ERROR_SUCCESS) {
    saved_.resize(size);
    existed_ = RegQueryValueExA(key, kValueName, NULL, &type_, saved_.data(), &size) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
}

UsePasswordGuard::~UsePasswordGuard() {
  if (existed_)
    WriteUsePassword(type_, saved_.data(), static_cast<DWORD>(saved_.size()));
  else
    DeleteUsePassword();
}
