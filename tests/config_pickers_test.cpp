// The dialog's text rules and the records it hands to the colour and font dialogs.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "config/color_picker.h"
#include "config/font_picker.h"
#include "config/number_text.h"

namespace {

TEST(ParseNumberTextTest, ReadsTextAsAtoiWithWrapping) {
  struct Case {
    const char *text;
    INT32 expected;
  } const cases[] = {
      {"3000", 3000},
      {" 250ms", 250},
      {"\t\n 7", 7},
      {"abc", 0},
      {"", 0},
      {"-5", -5},
      {"+12", 12},
      {"--5", 0},
      {"- 5", 0},
      {"12 34", 12},
      {"2147483647", 2147483647},
      {"2147483648", static_cast<INT32>(0x80000000u)},
      {"-2147483648", static_cast<INT32>(0x80000000u)},
      {"4294967296", 0},
      {"123456789012", static_cast<INT32>(static_cast<UINT32>(123456789012ull % 4294967296ull))},
      {"-123456789012", static_cast<INT32>(0u - static_cast<UINT32>(123456789012ull % 4294967296ull))},
  };
  for (const Case &c : cases) EXPECT_EQ(c.expected, ParseNumberText(c.text)) << '"' << c.text << '"';
}

TEST(ModeFromTextTest, KeepsTheLowFourBitsOfTheFirstByte) {
  struct Case {
    const char *text;
    INT32 expected;
  } const cases[] = {
      {"0:ALL", 0}, {"2:BMP", 2}, {"5:x", 5}, {"9", 9}, {"A", 1}, {"a", 1}, {"O", 15}, {"", 0},
      {"\x82\x6E", 2},  // a lead byte: 0x82 & 0x0F
  };
  for (const Case &c : cases) EXPECT_EQ(c.expected, ModeFromText(c.text)) << '"' << c.text << '"';
}

TEST(TrimSplitCharacterTest, DropsOnlyALeadByteWithoutItsTrailByte) {
  struct Case {
    const char *text;
    const char *expected;
  } const cases[] = {
      {"abc", "abc"},
      {"", ""},
      {"ab\x82", "ab"},                  // lead byte cut from its trail byte
      {"\x82\x6E\x82\x65", "\x82\x6E\x82\x65"},  // whole characters stay
      {"\x82\x6E" "a\x83", "\x82\x6E" "a"},
      {"\xB1\xB2", "\xB1\xB2"},          // single-byte katakana are not lead bytes
  };
  for (const Case &c : cases) {
    char buffer[16];
    lstrcpynA(buffer, c.text, sizeof(buffer));
    TrimSplitCharacter(buffer);
    EXPECT_STREQ(c.expected, buffer);
  }
}

TEST(ColorChoiceTest, StartsOnTheLowBytesOfTheStoredColourWithWhiteCustomColours) {
  COLORREF custom[kCustomColorCount];
  for (COLORREF &c : custom) c = RGB(1, 2, 3);
  CHOOSECOLORA choice;
  HWND owner = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x1234));
  PrepareColorChoice(&choice, custom, owner, 300, 20, -1);
  EXPECT_EQ(sizeof(CHOOSECOLORA), choice.lStructSize);
  EXPECT_EQ(owner, choice.hwndOwner);
  EXPECT_EQ(RGB(44, 20, 255), choice.rgbResult);
  EXPECT_EQ(static_cast<DWORD>(CC_RGBINIT), choice.Flags);
  EXPECT_EQ(custom, choice.lpCustColors);
  for (COLORREF c : custom) EXPECT_EQ(RGB(255, 255, 255), c);
  EXPECT_EQ(nullptr, choice.lpfnHook);
  EXPECT_EQ(nullptr, choice.lpTemplateName);
}

TEST(FontChoiceTest, EditsTheGivenFontInPlaceWithTheDesignFlags) {
  LOGFONTA font;
  ZeroMemory(&font, sizeof(font));
  CHOOSEFONTA choice;
  HWND owner = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x1234));
  PrepareFontChoice(&choice, owner, &font);
  EXPECT_EQ(sizeof(CHOOSEFONTA), choice.lStructSize);
  EXPECT_EQ(owner, choice.hwndOwner);
  EXPECT_EQ(&font, choice.lpLogFont);
  EXPECT_EQ(0x20141u, choice.Flags);
  EXPECT_EQ(RGB(0, 0, 0), choice.rgbColors);
  EXPECT_EQ(nullptr, choice.hDC);
}

}  // namespace
