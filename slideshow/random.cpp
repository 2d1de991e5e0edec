// NextRandom: a linear congruential sequence that starts at 1 and is never seeded.
#include "slideshow/random.h"

#include <stdint.h>

static uint32_t g_randomState = 1;

int NextRandom() {
  g_randomState = g_randomState * 214013u + 2531011u;  // modulo 2^32 by unsigned wrap
  return static_cast<int>((g_randomState >> 16) & 0x7FFF);
}
