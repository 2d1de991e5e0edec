// The text-colour picker: the colour common dialog on COLOR_R, COLOR_G and COLOR_B.
#include "config/color_picker.h"

#include "config/system_dialogs.h"

// The record of the single-byte form is 36 bytes on the 32-bit platform.
#ifndef _WIN64
static_assert(sizeof(CHOOSECOLORA) == 36, "CHOOSECOLORA of the 32-bit platform");
#endif

COLORREF PackTextColor(INT32 red, INT32 green, INT32 blue) {
  return RGB(static_cast<BYTE>(red), static_cast<BYTE>(green), static_cast<BYTE>(blue));
}

void PrepareColorChoice(CHOOSECOLORA *choice, COLORREF *customColors, HWND owner, INT32 red, INT32 green,
                        INT32 blue) {
  for (int i = 0; i < kCustomColorCount; ++i) customColors[i] = kInitialCustomColor;
  ZeroMemory(choice, sizeof(*choice));
  choice->lStructSize = sizeof(*choice);
  choice->hwndOwner = owner;
  choice->rgbResult = PackTextColor(red, green, blue);
  choice->lpCustColors = customColors;
  choice->Flags = CC_RGBINIT;
}

void ChooseTextColor(HWND owner, INT32 *red, INT32 *green, INT32 *blue) {
  COLORREF customColors[kCustomColorCount];
  CHOOSECOLORA choice;
  PrepareColorChoice(&choice, customColors, owner, *red, *green, *blue);
  if (CallChooseColor(&choice)) {
    *red = GetRValue(choice.rgbResult);
    *green = GetGValue(choice.rgbResult);
    *blue = GetBValue(choice.rgbResult);
  }
  SetFocus(owner);
}
