// The settings store against the real profile functions and a real settings file.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "slideshow/settings.h"
#include "tests/support/settings_file.h"

namespace {

const char kMincho[] = "\x82\x6C\x82\x72\x20\x96\xBE\x92\xA9";  // "ＭＳ 明朝" in Shift-JIS

class SettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    WriteSettingsFile(nullptr);
    FillMemory(&g_settings, sizeof(g_settings), 0xCD);  // nothing may survive a load
  }
  SettingsFileGuard guard_;
};

std::string Section(const std::string &body) { return "[Screen Saver.lumeta_show]\r\n" + body; }

// The keys of the file's lines, in file order.
std::vector<std::string> KeysInFile() {
  std::vector<std::string> keys;
  std::string text = ReadSettingsFile();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    size_t equals = line.find('=');
    if (equals != std::string::npos) keys.push_back(line.substr(0, equals));
    start = end + 1;
  }
  return keys;
}

std::string ValueInFile(const char *key) {
  char value[600] = {};
  WritePrivateProfileStringA(NULL, NULL, NULL, kSettingsFile);
  GetPrivateProfileStringA(kSettingsSection, key, "<missing>", value, sizeof(value), kSettingsFile);
  return value;
}

TEST_F(SettingsTest, NoFileGivesTheDefaultsAndCreatesNoFile) {
  LoadSettings();
  EXPECT_STREQ("Maro-Works", g_settings.str);
  EXPECT_STREQ("d:\\My Documents\\My Pictures", g_settings.pass);
  EXPECT_EQ(3000, g_settings.time);
  EXPECT_EQ(10, g_settings.count);
  EXPECT_EQ(100, g_settings.size);
  EXPECT_EQ(0, g_settings.sMode);
  EXPECT_EQ(0, g_settings.fMode);
  EXPECT_EQ(0, g_settings.gMode);
  EXPECT_EQ(0, g_settings.jMode);
  EXPECT_EQ(-48, g_settings.font.lfHeight);
  EXPECT_EQ(0, g_settings.font.lfWidth);
  EXPECT_EQ(0, g_settings.font.lfEscapement);
  EXPECT_EQ(0, g_settings.font.lfOrientation);
  EXPECT_EQ(400, g_settings.font.lfWeight);
  EXPECT_EQ(0, g_settings.font.lfItalic);
  EXPECT_EQ(0, g_settings.font.lfUnderline);
  EXPECT_EQ(0, g_settings.font.lfStrikeOut);
  EXPECT_EQ(128, g_settings.font.lfCharSet);
  EXPECT_EQ(3, g_settings.font.lfOutPrecision);
  EXPECT_EQ(2, g_settings.font.lfClipPrecision);
  EXPECT_EQ(1, g_settings.font.lfQuality);
  EXPECT_EQ(17, g_settings.font.lfPitchAndFamily);
  EXPECT_EQ(0, memcmp(kMincho, g_settings.font.lfFaceName, sizeof(kMincho)));  // 9 bytes and the NUL
  EXPECT_EQ(255, g_settings.colorR);
  EXPECT_EQ(255, g_settings.colorG);
  EXPECT_EQ(255, g_settings.colorB);
  EXPECT_FALSE(SettingsFileExists());
}

TEST_F(SettingsTest, ANewFileListsTheKeysInTheirOrder) {
  LoadSettings();
  EXPECT_TRUE(SaveSettings());
  std::vector<std::string> expected = {
      "STR",          "PASS",           "TIME",        "COUNT",          "SIZE",           "S-MODE",
      "F-MODE",       "G-MODE",         "J-MODE",      "lfHeight",       "lfWidth",        "lfEscapement",
      "lfOrientation", "lfWeight",      "lfItalic",    "lfUnderline",    "lfStrikeOut",    "lfCharSet",
      "lfOutPrecision", "lfClipPrecision", "lfQuality", "lfPitchAndFamily", "lfFaceName",    "COLOR_R",
      "COLOR_G",      "COLOR_B"};
  EXPECT_EQ(expected, KeysInFile());
  EXPECT_EQ("-48", ValueInFile("lfHeight"));
  EXPECT_EQ(std::string(kMincho), ValueInFile("lfFaceName"));
}

TEST_F(SettingsTest, EveryFieldSurvivesASaveAndALoad) {
  LoadSettings();
  lstrcpynA(g_settings.str, "\x8E\xCA\x90\x5E slide", sizeof(g_settings.str));  // "写真 slide"
  lstrcpynA(g_settings.pass, "C:\\photos\\", sizeof(g_settings.pass));
  g_settings.time = -250;
  g_settings.count = 0;
  g_settings.size = 2147483647;
  g_settings.sMode = 7;
  g_settings.fMode = -1;
  g_settings.gMode = 15;
  g_settings.jMode = 1;
  g_settings.font.lfHeight = -2147483647 - 1;
  g_settings.font.lfWidth = 12;
  g_settings.font.lfEscapement = 900;
  g_settings.font.lfOrientation = -900;
  g_settings.font.lfWeight = 700;
  g_settings.font.lfItalic = 1;
  g_settings.font.lfUnderline = 255;
  g_settings.font.lfStrikeOut = 128;
  g_settings.font.lfCharSet = 0;
  g_settings.font.lfOutPrecision = 4;
  g_settings.font.lfClipPrecision = 5;
  g_settings.font.lfQuality = 6;
  g_settings.font.lfPitchAndFamily = 0x31;
  lstrcpynA(g_settings.font.lfFaceName, "IPAPGothic", sizeof(g_settings.font.lfFaceName));
  g_settings.colorR = 300;
  g_settings.colorG = -1;
  g_settings.colorB = 0;
  SaverSettings saved = g_settings;
  ASSERT_TRUE(SaveSettings());
  FillMemory(&g_settings, sizeof(g_settings), 0xCD);
  LoadSettings();
  EXPECT_STREQ(saved.str, g_settings.str);
  EXPECT_STREQ(saved.pass, g_settings.pass);
  EXPECT_STREQ(saved.font.lfFaceName, g_settings.font.lfFaceName);
  // Past the strings' terminators the fields are not compared.
  lstrcpynA(saved.str, "", sizeof(saved.str));
  lstrcpynA(g_settings.str, "", sizeof(g_settings.str));
  EXPECT_EQ(0, memcmp(&saved.time, &g_settings.time, offsetof(SaverSettings, font) - offsetof(SaverSettings, time)));
  EXPECT_EQ(0, memcmp(&saved.font, &g_settings.font, offsetof(LOGFONTA, lfFaceName)));
  EXPECT_EQ(300, g_settings.colorR);
  EXPECT_EQ(-1, g_settings.colorG);
  EXPECT_EQ(0, g_settings.colorB);
  EXPECT_EQ("300", ValueInFile("COLOR_R"));
  EXPECT_EQ("-2147483648", ValueInFile("lfHeight"));
}

struct ByteCase {
  const char *stored;
  BYTE loaded;
  const char *saved;
};

void PrintTo(const ByteCase &c, std::ostream *out) { *out << c.stored << " -> " << int(c.loaded); }

class ByteFieldTest : public SettingsTest, public testing::WithParamInterface<ByteCase> {};

TEST_P(ByteFieldTest, KeepsTheLowEightBits) {
  const ByteCase &c = GetParam();
  std::string body = std::string("lfItalic=") + c.stored + "\r\nlfCharSet=" + c.stored + "\r\nlfQuality=" + c.stored + "\r\n";
  WriteSettingsFile(Section(body).c_str());
  LoadSettings();
  EXPECT_EQ(c.loaded, g_settings.font.lfItalic);
  EXPECT_EQ(c.loaded, g_settings.font.lfCharSet);
  EXPECT_EQ(c.loaded, g_settings.font.lfQuality);
  ASSERT_TRUE(SaveSettings());
  EXPECT_EQ(c.saved, ValueInFile("lfItalic"));
  EXPECT_EQ(c.saved, ValueInFile("lfCharSet"));
}

INSTANTIATE_TEST_SUITE_P(Values, ByteFieldTest,
                         testing::Values(ByteCase{"-1", 255, "255"}, ByteCase{"300", 44, "44"},
                                         ByteCase{"255", 255, "255"}, ByteCase{"256", 0, "0"},
                                         ByteCase{"-256", 0, "0"}, ByteCase{"1", 1, "1"}));

TEST_F(SettingsTest, OverlongStringsAreCutToTheirFields) {
  std::string longText(100, 'x');
  std::string longFace(50, 'f');
  std::string longFolder(400, 'p');
  WriteSettingsFile(Section("STR=" + longText + "\r\nlfFaceName=" + longFace + "\r\nPASS=" + longFolder + "\r\n").c_str());
  LoadSettings();
  EXPECT_EQ(std::string(63, 'x'), g_settings.str);
  EXPECT_EQ(std::string(31, 'f'), g_settings.font.lfFaceName);
  EXPECT_EQ(std::string(255, 'p'), g_settings.pass);
  EXPECT_EQ(3000, g_settings.time);  // the fields after them are untouched by the cut
}

TEST_F(SettingsTest, APartialFileGivesEachMissingKeyItsDefault) {
  WriteSettingsFile(Section("TIME=500\r\nG-MODE=4\r\nJ-MODE=1\r\nlfWeight=700\r\nCOLOR_B=0\r\n").c_str());
  LoadSettings();
  EXPECT_EQ(500, g_settings.time);
  EXPECT_EQ(4, g_settings.gMode);
  EXPECT_EQ(1, g_settings.jMode);
  EXPECT_EQ(700, g_settings.font.lfWeight);
  EXPECT_EQ(0, g_settings.colorB);
  EXPECT_STREQ("Maro-Works", g_settings.str);
  EXPECT_EQ(10, g_settings.count);
  EXPECT_EQ(-48, g_settings.font.lfHeight);
  EXPECT_EQ(255, g_settings.colorR);
  // J-MODE is carried back to the file as it was read.
  ASSERT_TRUE(SaveSettings());
  EXPECT_EQ("1", ValueInFile("J-MODE"));
}

TEST_F(SettingsTest, AnEmptyFolderIsKeptEmpty) {
  WriteSettingsFile(Section("PASS=\r\nSTR=\r\n").c_str());
  LoadSettings();
  EXPECT_STREQ("", g_settings.pass);
  EXPECT_STREQ("", g_settings.str);
}

struct NumberCase {
  const char *text;
  INT32 value;
};

void PrintTo(const NumberCase &c, std::ostream *out) { *out << '"' << c.text << "\" -> " << c.value; }

class NumberTextTest : public SettingsTest, public testing::WithParamInterface<NumberCase> {};

// Integer keys are read by the platform's profile reader: optional blanks and sign, then
// the leading digits (a "0x" prefix reads hexadecimal); no digits gives 0, and an empty
// value counts as missing and gives the default.
TEST_P(NumberTextTest, FollowsTheProfileReader) {
  WriteSettingsFile(Section(std::string("TIME=") + GetParam().text + "\r\n").c_str());
  LoadSettings();
  EXPECT_EQ(GetParam().value, g_settings.time);
}

INSTANTIATE_TEST_SUITE_P(Texts, NumberTextTest,
                         testing::Values(NumberCase{"abc", 0}, NumberCase{"12px", 12}, NumberCase{"-48", -48},
                                         NumberCase{"", 3000}, NumberCase{"+7", 7}, NumberCase{"0x10", 16},
                                         NumberCase{"  250", 250}, NumberCase{"--5", 0}));

}  // namespace
