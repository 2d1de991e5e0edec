// SaverSettings: the configuration record and its settings file.
#pragma once
#include <windows.h>

struct SaverSettings {
  char str[64];     // "STR": the display text
  char pass[256];   // "PASS": the picture folder
  INT32 time;       // "TIME": slide period in milliseconds
  INT32 count;      // "COUNT": clear the window on every COUNT-th tick
  INT32 size;       // "SIZE": edge bound of picture mode 5
  INT32 sMode;      // "S-MODE": TextMode
  INT32 fMode;      // "F-MODE": FileTypeFilter
  INT32 gMode;      // "G-MODE": PictureMode
  INT32 jMode;      // "J-MODE": stored only
  LOGFONTA font;    // "lfHeight" .. "lfFaceName"
  INT32 colorR;     // "COLOR_R"
  INT32 colorG;     // "COLOR_G"
  INT32 colorB;     // "COLOR_B"
};

// TextMode (S-MODE).
enum TextMode { kTextOff = 0, kTextRandom = 1, kTextPingPong = 2 };
// FileTypeFilter (F-MODE).
enum FileTypeFilter { kFilesAll = 0, kFilesJpeg = 1, kFilesBmp = 2, kFilesGif = 3, kFilesPng = 4 };
// PictureMode (G-MODE).
enum PictureMode {
  kPictureOff = 0,
  kPictureTopLeft = 1,
  kPictureCentred = 2,
  kPictureFill = 3,
  kPictureFit = 4,
  kPictureRandom = 5
};

extern const char kSettingsFile[];     // "lumeta_show.ini"
extern const char kSettingsSection[];  // "Screen Saver.lumeta_show"

extern SaverSettings g_settings;

void LoadSettings();
// Writes every key; returns FALSE when any write failed (the keys before it stay written).
BOOL SaveSettings();
