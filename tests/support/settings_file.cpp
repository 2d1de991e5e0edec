// Test helper: keeps the shared settings file as it was and reads or writes it directly.
#include "tests/support/settings_file.h"

#include <windows.h>

#include "slideshow/settings.h"

namespace {

const char kAbsent[] = "<absent>";

// The profile reader caches the file; a flush makes it look at the file again.
void ForgetCachedProfile() { WritePrivateProfileStringA(NULL, NULL, NULL, kSettingsFile); }

}  // namespace

std::string SettingsFilePath() {
  char directory[MAX_PATH];
  GetWindowsDirectoryA(directory, sizeof(directory));
  std::string path = directory;
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path + kSettingsFile;
}

std::string ReadSettingsFileBytes() {
  HANDLE file = CreateFileA(SettingsFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return kAbsent;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, NULL) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

void WriteSettingsFileBytes(const std::string &bytes) {
  RemoveDirectoryA(SettingsFilePath().c_str());
  HANDLE file = CreateFileA(SettingsFilePath().c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
    CloseHandle(file);
  }
  ForgetCachedProfile();
}

void DeleteSettingsFile() {
  DeleteFileA(SettingsFilePath().c_str());
  RemoveDirectoryA(SettingsFilePath().c_str());
  ForgetCachedProfile();
}

void ReplaceSettingsFileWithFolder() {
  DeleteSettingsFile();
  CreateDirectoryA(SettingsFilePath().c_str(), NULL);
  ForgetCachedProfile();
}

bool SettingsFileIsFolder() {
  DWORD attributes = GetFileAttributesA(SettingsFilePath().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void WriteSettingsFile(const char *contents) {
  if (contents)
    WriteSettingsFileBytes(contents);
  else
    DeleteSettingsFile();
}

std::string ReadSettingsFile() {
  std::string bytes = ReadSettingsFileBytes();
  return bytes == kAbsent ? std::string() : bytes;
}

bool SettingsFileExists() { return GetFileAttributesA(SettingsFilePath().c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadSettingsKey(const char *key) {
  char value[512];
  GetPrivateProfileStringA(kSettingsSection, key, kAbsent, value, sizeof(value), kSettingsFile);
  return value;
}

int ReadSettingsInt(const char *key) {
  return static_cast<int>(GetPrivateProfileIntA(kSettingsSection, key, -999999, kSettingsFile));
}

SettingsFileGuard::SettingsFileGuard() : saved_(ReadSettingsFileBytes()) {}

SettingsFileGuard::~SettingsFileGuard() {
  if (saved_ == kAbsent) DeleteSettingsFile();
  else WriteSettingsFileBytes(saved_);
}
