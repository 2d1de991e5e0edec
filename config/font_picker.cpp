// The text-font picker: the font common dialog on the settings' LOGFONT.
#include "config/font_picker.h"

#include "config/system_dialogs.h"

// The record of the single-byte form is 60 bytes on the 32-bit platform.
#ifndef _WIN64
static_assert(sizeof(CHOOSEFONTA) == 60, "CHOOSEFONTA of the 32-bit platform");
#endif

void PrepareFontChoice(CHOOSEFONTA *choice, HWND owner, LOGFONTA *font) {
  ZeroMemory(choice, sizeof(*choice));
  choice->lStructSize = sizeof(*choice);
  choice->hwndOwner = owner;
  choice->lpLogFont = font;
  choice->Flags = kFontChoiceFlags;
  choice->rgbColors = kFontDialogColor;
}

void ChooseTextFont(HWND owner, LOGFONTA *font) {
  CHOOSEFONTA choice;
  PrepareFontChoice(&choice, owner, font);
  // The dialog writes a confirmed font into *font itself; a cancel leaves it unchanged.
  CallChooseFont(&choice);
}

static_assert(kFontChoiceFlags == 0x20141, "the font dialog's flags");
