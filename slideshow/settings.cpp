// The settings store: the 26 keys of the settings file, loaded into and saved from SaverSettings.
#include "slideshow/settings.h"

#include <stddef.h>

const char kSettingsFile[] = "lumeta_show.ini";
const char kSettingsSection[] = "Screen Saver.lumeta_show";

SaverSettings g_settings;

namespace {

enum KeyKind { kString, kInt32, kByte };

struct SettingsKey {
  const char *name;
  KeyKind kind;
  size_t offset;      // of the field in SaverSettings
  size_t width;       // of a string field, the buffer size
  INT32 intDefault;
  const char *textDefault;
};

#define FIELD(member) offsetof(SaverSettings, member)
#define FONT_FIELD(member) (offsetof(SaverSettings, font) + offsetof(LOGFONTA, member))

// "ＭＳ 明朝" in Shift-JIS.
const char kMinchoFace[] = "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9";

// The keys in the order in which they are read and written.
const SettingsKey kKeys[] = {
    {"STR", kString, FIELD(str), sizeof(SaverSettings::str), 0, "Maro-Works"},
    {"PASS", kString, FIELD(pass), sizeof(SaverSettings::pass), 0, "d:\\My Documents\\My Pictures"},
    {"TIME", kInt32, FIELD(time), 0, 3000, NULL},
    {"COUNT", kInt32, FIELD(count), 0, 10, NULL},
    {"SIZE", kInt32, FIELD(size), 0, 100, NULL},
    {"S-MODE", kInt32, FIELD(sMode), 0, 0, NULL},
    {"F-MODE", kInt32, FIELD(fMode), 0, 0, NULL},
    {"G-MODE", kInt32, FIELD(gMode), 0, 0, NULL},
    {"J-MODE", kInt32, FIELD(jMode), 0, 0, NULL},
    {"lfHeight", kInt32, FONT_FIELD(lfHeight), 0, -48, NULL},
    {"lfWidth", kInt32, FONT_FIELD(lfWidth), 0, 0, NULL},
    {"lfEscapement", kInt32, FONT_FIELD(lfEscapement), 0, 0, NULL},
    {"lfOrientation", kInt32, FONT_FIELD(lfOrientation), 0, 0, NULL},
    {"lfWeight", kInt32, FONT_FIELD(lfWeight), 0, FW_NORMAL, NULL},
    {"lfItalic", kByte, FONT_FIELD(lfItalic), 0, 0, NULL},
    {"lfUnderline", kByte, FONT_FIELD(lfUnderline), 0, 0, NULL},
    {"lfStrikeOut", kByte, FONT_FIELD(lfStrikeOut), 0, 0, NULL},
    {"lfCharSet", kByte, FONT_FIELD(lfCharSet), 0, SHIFTJIS_CHARSET, NULL},
    {"lfOutPrecision", kByte, FONT_FIELD(lfOutPrecision), 0, OUT_STROKE_PRECIS, NULL},
    {"lfClipPrecision", kByte, FONT_FIELD(lfClipPrecision), 0, CLIP_STROKE_PRECIS, NULL},
    {"lfQuality", kByte, FONT_FIELD(lfQuality), 0, DRAFT_QUALITY, NULL},
    {"lfPitchAndFamily", kByte, FONT_FIELD(lfPitchAndFamily), 0, FIXED_PITCH | FF_ROMAN, NULL},
    {"lfFaceName", kString, FONT_FIELD(lfFaceName), sizeof(LOGFONTA::lfFaceName), 0, kMinchoFace},
    {"COLOR_R", kInt32, FIELD(colorR), 0, 255, NULL},
    {"COLOR_G", kInt32, FIELD(colorG), 0, 255, NULL},
    {"COLOR_B", kInt32, FIELD(colorB), 0, 255, NULL},
};

#undef FIELD
#undef FONT_FIELD

// The text buffer of one written value.
const size_t kValueBufferSize = 512;

BYTE *FieldAt(const SettingsKey &key) { return reinterpret_cast<BYTE *>(&g_settings) + key.offset; }

}  // namespace

void LoadSettings() {
  for (const SettingsKey &key : kKeys) {
    BYTE *field = FieldAt(key);
    switch (key.kind) {
      case kString:
        GetPrivateProfileStringA(kSettingsSection, key.name, key.textDefault, reinterpret_cast<char *>(field),
                                 static_cast<DWORD>(key.width), kSettingsFile);
        break;
      case kInt32: {
        // The reader's unsigned result carries a signed value ("-48").
        INT32 value = static_cast<INT32>(GetPrivateProfileIntA(kSettingsSection, key.name, key.intDefault, kSettingsFile));
        CopyMemory(field, &value, sizeof(value));
        break;
      }
      case kByte:
        *field = static_cast<BYTE>(GetPrivateProfileIntA(kSettingsSection, key.name, key.intDefault, kSettingsFile));
        break;
    }
  }
}

BOOL SaveSettings() {
  BOOL allWritten = TRUE;
  for (const SettingsKey &key : kKeys) {
    const BYTE *field = FieldAt(key);
    char value[kValueBufferSize];
    ZeroMemory(value, sizeof(value));
    switch (key.kind) {
      case kString:
        // The fields are NUL-terminated within their width; copy no further than that.
        lstrcpynA(value, reinterpret_cast<const char *>(field), static_cast<int>(key.width));
        break;
      case kInt32: {
        INT32 number;
        CopyMemory(&number, field, sizeof(number));
        wsprintfA(value, "%d", number);
        break;
      }
      case kByte:
        wsprintfA(value, "%d", static_cast<int>(*field));
        break;
    }
    if (!WritePrivateProfileStringA(kSettingsSection, key.name, value, kSettingsFile)) allWritten = FALSE;
  }
  return allWritten;
}
