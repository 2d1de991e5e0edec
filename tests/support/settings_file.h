// Test helpers around the settings file in the Windows directory.
#pragma once
#include <string>

// Full path of lumeta_show.ini as the profile functions resolve it.
std::string SettingsFilePath();
// Replaces the settings file with these bytes (or deletes it for nullptr) and drops
// the profile cache so that the next read sees the file as it is now.
void WriteSettingsFile(const char *contents);
// The settings file's bytes; empty when it does not exist.
std::string ReadSettingsFile();
bool SettingsFileExists();

// Keeps the settings file of the prefix as it was before a test and puts it back after.
class SettingsFileGuard {
 public:
  SettingsFileGuard();
  ~SettingsFileGuard();

 private:
  bool existed_;
  std::string saved_;
};
