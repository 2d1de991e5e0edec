// Recovers the state of the program's NextRandom from its outputs and follows it.
#include "tests/support/random_mirror.h"

#include "slideshow/random.h"

static uint32_t Step(uint32_t state) { return state * 214013u + 2531011u; }
static int Output(uint32_t state) { return static_cast<int>((state >> 16) & 0x7FFF); }

int RandomMirror::Next() {
  state = Step(state);
  return Output(state);
}

RandomMirror SyncRandomMirror() {
  int first = NextRandom();
  int second = NextRandom();
  int third = NextRandom();
  RandomMirror mirror = {0};
  // An output holds bits 16 to 30 of the state; try every value of the other 17 bits.
  for (uint32_t hidden = 0; hidden < (1u << 17); ++hidden) {
    uint32_t state = (static_cast<uint32_t>(first) << 16) | (hidden & 0xFFFFu) | ((hidden >> 16) << 31);
    uint32_t next = Step(state);
    if (Output(next) != second) continue;
    uint32_t last = Step(next);
    if (Output(last) != third) continue;
    mirror.state = last;
    break;
  }
  return mirror;
}
