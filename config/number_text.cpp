// The dialog's rules for turning typed text into numbers and mode values.
#include "config/number_text.h"

namespace {

const INT32 kModeBits = 0x0F;

// The white space that atoi skips: blank, tab, line feed, vertical tab, form feed, return.
bool IsAtoiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

INT32 ParseNumberText(const char *text) {
  const char *p = text;
  while (IsAtoiSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = (*p == '-');
    ++p;
  }
  // Unsigned arithmetic wraps modulo 2^32 by definition.
  UINT32 value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + static_cast<UINT32>(*p - '0');
  if (negative) value = 0u - value;
  return static_cast<INT32>(value);
}

INT32 ModeFromText(const char *text) { return static_cast<unsigned char>(text[0]) & kModeBits; }

void TrimSplitCharacter(char *text) {
  char *p = text;
  while (*p != '\0') {
    if (IsDBCSLeadByte(static_cast<BYTE>(*p))) {
      if (p[1] == '\0') {
        *p = '\0';
        return;
      }
      p += 2;
    } else {
      ++p;
    }
  }
}
