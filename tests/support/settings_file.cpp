// Test helpers around the settings file in the Windows directory.
#include "tests/support/settings_file.h"

#include <windows.h>

#include <fstream>
#include <sstream>

#include "slideshow/settings.h"

std::string SettingsFilePath() {
  char folder[MAX_PATH] = {};
  GetWindowsDirectoryA(folder, sizeof(folder));
  return std::string(folder) + "\\" + kSettingsFile;
}

static void FlushProfileCache() { WritePrivateProfileStringA(NULL, NULL, NULL, kSettingsFile); }

void WriteSettingsFile(const char *contents) {
  FlushProfileCache();
  std::string path = SettingsFilePath();
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
  if (contents) {
    std::ofstream out(path, std::ios::binary);
    out << contents;
  }
  FlushProfileCache();
}

std::string ReadSettingsFile() {
  FlushProfileCache();
  std::ifstream in(SettingsFilePath(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool SettingsFileExists() { return GetFileAttributesA(SettingsFilePath().c_str()) != INVALID_FILE_ATTRIBUTES; }

SettingsFileGuard::SettingsFileGuard() : existed_(SettingsFileExists()), saved_(ReadSettingsFile()) {}

SettingsFileGuard::~SettingsFileGuard() { WriteSettingsFile(existed_ ? saved_.c_str() : nullptr); }
