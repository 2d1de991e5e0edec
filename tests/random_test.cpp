// NextRandom: the fixed sequence from process start.
#include <gtest/gtest.h>

#include "slideshow/random.h"

TEST(NextRandomTest, FollowsTheFixedSequenceFromProcessStart) {
  // This program draws from the sequence nowhere else, so it starts at the first value.
  EXPECT_EQ(41, NextRandom());
  EXPECT_EQ(18467, NextRandom());
  EXPECT_EQ(6334, NextRandom());
  EXPECT_EQ(26500, NextRandom());
  // The 1000th value of the sequence (computed independently with 64-bit arithmetic).
  uint64_t state = 1;
  int expected = 0;
  for (int i = 0; i < 1000; ++i) {
    state = (state * 214013 + 2531011) % 4294967296ull;
    expected = static_cast<int>((state >> 16) & 0x7FFF);
  }
  int value = 0;
  for (int i = 4; i < 1000; ++i) {
    value = NextRandom();
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 32767);
  }
  EXPECT_EQ(expected, value);
}
