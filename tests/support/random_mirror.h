// A copy of the NextRandom sequence that tests run beside the program's, to predict its values.
#pragma once
#include <stdint.h>

struct RandomMirror {
  uint32_t state;
  int Next();  // the value the program's NextRandom gives next
};

// Draws three values from the program's NextRandom and recovers its state from them, so that
// the mirror then gives exactly the values the program draws next.
RandomMirror SyncRandomMirror();
