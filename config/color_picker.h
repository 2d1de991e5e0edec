// The text-colour picker: the colour common dialog on COLOR_R, COLOR_G and COLOR_B.
#pragma once
#include <windows.h>
#include <commdlg.h>

// Number of custom colours in the colour dialog's table.
const int kCustomColorCount = 16;
// Every custom colour starts white, as on a fresh system; nothing is kept between uses.
const COLORREF kInitialCustomColor = RGB(255, 255, 255);

// The packed colour of three components, each reduced to its low 8 bits.
COLORREF PackTextColor(INT32 red, INT32 green, INT32 blue);

// Fills the colour dialog's record for one call: owner, start colour, the given table
// (reset to the initial custom colours) and CC_RGBINIT.
void PrepareColorChoice(CHOOSECOLORA *choice, COLORREF *customColors, HWND owner, INT32 red, INT32 green,
                        INT32 blue);

// Runs the colour dialog; on confirmation stores the chosen colour's bytes (0 to 255) in
// the three fields. Gives the focus back to the owner in both cases.
void ChooseTextColor(HWND owner, INT32 *red, INT32 *green, INT32 *blue);
