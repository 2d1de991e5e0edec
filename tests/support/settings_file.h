// Test helper: keeps the shared settings file as it was and reads or writes it directly.
#pragma once
#include <string>

// The settings file's full path (in the Windows directory).
std::string SettingsFilePath();
// The file's bytes, or "<absent>" when there is no file.
std::string ReadSettingsFileBytes();
// Replaces the file with these bytes and makes the profile reader forget its copy.
void WriteSettingsFileBytes(const std::string &bytes);
// Deletes the file (or a folder in its place) and makes the profile reader forget its copy.
void DeleteSettingsFile();
// Puts a folder where the file belongs, so that every write of the file fails
// (a read-only file does not stop a program run by the superuser).
void ReplaceSettingsFileWithFolder();
bool SettingsFileIsFolder();
// Shorthands: replace the file with a text (nullptr deletes it); its bytes ("" when absent).
void WriteSettingsFile(const char *contents);
std::string ReadSettingsFile();
bool SettingsFileExists();
// A key's value as the profile reader sees it.
std::string ReadSettingsKey(const char *key);
int ReadSettingsInt(const char *key);

// Saves the settings file on construction and puts it back (or removes it) on destruction.
class SettingsFileGuard {
 public:
  SettingsFileGuard();
  ~SettingsFileGuard();
  SettingsFileGuard(const SettingsFileGuard &) = delete;
  SettingsFileGuard &operator=(const SettingsFileGuard &) = delete;

 private:
  std::string saved_;
};
