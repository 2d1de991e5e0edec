// The kept working blocks: which block a role hands out again, which it keeps, and which it frees.
#include "imgctl/core/kept_blocks.h"

#include <gtest/gtest.h>

#include <string.h>

// Allocations past what the system can give are answered with null, as the C library answers them,
// rather than ending the sanitized test run.
extern "C" const char *__asan_default_options() { return "allocator_may_return_null=1"; }

namespace imgctl {
namespace {

constexpr size_t kMiB = size_t(1) << 20;

class KeptBlocks : public ::testing::Test {
 protected:
  void SetUp() override { ReleaseKeptBlocks(); }
  void TearDown() override { ReleaseKeptBlocks(); }
};

TEST_F(KeptBlocks, TheNextPictureOfAboutTheSameSizeGetsTheSameBlock) {
  void *first = TakeBlock(BlockRole::kFileBytes, 4 * kMiB);
  ASSERT_NE(first, nullptr);
  memset(first, 0x5A, 4 * kMiB);  // the whole asked size is usable
  ReturnBlock(BlockRole::kFileBytes, first);
  EXPECT_GE(KeptBytes(), 4 * kMiB);
  // Smaller, equal, and up to a quarter larger: the kept block serves them all.
  for (size_t bytes : {3 * kMiB, 4 * kMiB, 5 * kMiB}) {
    void *again = TakeBlock(BlockRole::kFileBytes, bytes);
    EXPECT_EQ(again, first) << bytes;
    EXPECT_EQ(KeptBytes(), 0u);
    ReturnBlock(BlockRole::kFileBytes, again);
  }
}

TEST_F(KeptBlocks, RolesKeepTheirOwnBlocks) {
  void *file = TakeBlock(BlockRole::kFileBytes, 2 * kMiB);
  ReturnBlock(BlockRole::kFileBytes, file);
  void *pixels = TakeBlock(BlockRole::kPixels, 2 * kMiB);
  EXPECT_NE(pixels, file);
  ReturnBlock(BlockRole::kPixels, pixels);
  EXPECT_EQ(TakeBlock(BlockRole::kFileBytes, 2 * kMiB), file);
  EXPECT_EQ(TakeBlock(BlockRole::kPixels, 2 * kMiB), pixels);
  ReturnBlock(BlockRole::kFileBytes, file);
  ReturnBlock(BlockRole::kPixels, pixels);
}

TEST_F(KeptBlocks, ATooSmallKeptBlockMakesWayForALargerOne) {
  void *small = TakeBlock(BlockRole::kFileBytes, 1 * kMiB);
  ReturnBlock(BlockRole::kFileBytes, small);
  void *large = TakeBlock(BlockRole::kFileBytes, 8 * kMiB);
  EXPECT_EQ(KeptBytes(), 0u);  // the small one is freed, not held beside the new one
  ReturnBlock(BlockRole::kFileBytes, large);
  EXPECT_GE(KeptBytes(), 8 * kMiB);
  EXPECT_LT(KeptBytes(), 11 * kMiB);
}

TEST_F(KeptBlocks, PixelsKeepTwoBlocksForAPictureTurnedUpright) {
  void *stored = TakeBlock(BlockRole::kPixels, 3 * kMiB);
  void *upright = TakeBlock(BlockRole::kPixels, 3 * kMiB);
  ReturnBlock(BlockRole::kPixels, stored);
  ReturnBlock(BlockRole::kPixels, upright);
  void *again[2] = {TakeBlock(BlockRole::kPixels, 3 * kMiB), TakeBlock(BlockRole::kPixels, 3 * kMiB)};
  EXPECT_TRUE((again[0] == stored && again[1] == upright) || (again[0] == upright && again[1] == stored));
  // A third block of the same role is freed on return: the role keeps the two largest.
  void *third = TakeBlock(BlockRole::kPixels, 1 * kMiB);
  ReturnBlock(BlockRole::kPixels, again[0]);
  ReturnBlock(BlockRole::kPixels, again[1]);
  ReturnBlock(BlockRole::kPixels, third);
  void *largest = TakeBlock(BlockRole::kPixels, 1 * kMiB);
  EXPECT_TRUE(largest == stored || largest == upright);
  ReturnBlock(BlockRole::kPixels, largest);
}

TEST_F(KeptBlocks, SmallAndHugeBlocksAreNotKept) {
  ReturnBlock(BlockRole::kPixels, TakeBlock(BlockRole::kPixels, 4096));
  EXPECT_EQ(KeptBytes(), 0u);
  ReturnBlock(BlockRole::kFileBytes, TakeBlock(BlockRole::kFileBytes, kMaxKeptBlockBytes + 1));
  EXPECT_EQ(KeptBytes(), 0u);
  ReturnBlock(BlockRole::kFileBytes, nullptr);  // ignored
}

TEST_F(KeptBlocks, ImpossibleSizesGiveNoBlock) {
  EXPECT_EQ(TakeBlock(BlockRole::kFileBytes, SIZE_MAX), nullptr);
  EXPECT_EQ(TakeBlock(BlockRole::kFileBytes, SIZE_MAX - 8), nullptr);
  // Sizes whose headroom would pass the top of the address space are not wrapped round to small blocks.
  EXPECT_EQ(TakeBlock(BlockRole::kFileBytes, SIZE_MAX / 5 * 4 + 64), nullptr);
}

TEST_F(KeptBlocks, ReleaseFreesEverything) {
  ReturnBlock(BlockRole::kFileBytes, TakeBlock(BlockRole::kFileBytes, 2 * kMiB));
  ReturnBlock(BlockRole::kCoefficients, TakeBlock(BlockRole::kCoefficients, 2 * kMiB));
  EXPECT_GT(KeptBytes(), 0u);
  ReleaseKeptBlocks();
  EXPECT_EQ(KeptBytes(), 0u);
}

}  // namespace
}  // namespace imgctl
