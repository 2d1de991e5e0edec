// The slide painter: the text line and the next picture of every paint.
#pragma once
#include <windows.h>

// Size of the picture path buffer: a 255-byte folder, a separator, a 255-byte name and the NUL.
const size_t kPicturePathSize = 512;

// Draws the text line and then the next picture into the paint device context.
void PaintSlide(HWND window, HDC dc, PAINTSTRUCT *paint);

// Builds folder + "\" + the name at pictureIndex into a zero-filled buffer of kPicturePathSize.
void BuildPicturePath(char *path, size_t pathSize);

// The font of the text line as drawn: the settings' font with its character height and width held
// to the screen's height and width (sign kept). The stored settings are not changed.
void LimitFontToScreen(LOGFONTA *font, INT32 screenWidth, INT32 screenHeight);
