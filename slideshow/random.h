// NextRandom: the program's one random source, a fixed unseeded sequence.
#pragma once

// Returns the next value of the sequence, 0 to 32767 (41, 18467, 6334, ... from process start).
int NextRandom();
