// The dialog's rules for turning typed text into numbers and mode values.
#pragma once
#include <windows.h>

// Reads text as the C library's atoi does: white space skipped, one optional sign, then
// decimal digits up to the first other character; no digits give 0. A number beyond
// 32 bits wraps modulo 2^32, whichever C library the program runs on.
INT32 ParseNumberText(const char *text);

// The value of a mode combo's text: the low four bits of its first byte (an item's
// leading digit 0 to 5, an empty text 0, any typed text 0 to 15).
INT32 ModeFromText(const char *text);

// Cuts a trailing lead byte of a double-byte character that a fixed-size copy split off
// from its trail byte, so that the text ends on a whole character.
void TrimSplitCharacter(char *text);
