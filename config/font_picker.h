// The text-font picker: the font common dialog on the settings' LOGFONT.
#pragma once
#include <windows.h>
#include <commdlg.h>

// Screen fonts, scalable only, starting from the given LOGFONT, with the effects.
const DWORD kFontChoiceFlags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS | CF_SCALABLEONLY;
// The colour the font dialog shows first under its effects. Its choice there is not
// used; black is the first colour of its list and keeps the sample readable.
const COLORREF kFontDialogColor = RGB(0, 0, 0);

// Fills the font dialog's record: owner, the LOGFONT to edit in place, the flags, the colour.
void PrepareFontChoice(CHOOSEFONTA *choice, HWND owner, LOGFONTA *font);

// Runs the font dialog: a confirmed choice is written into font, a cancel leaves it.
void ChooseTextFont(HWND owner, LOGFONTA *font);
