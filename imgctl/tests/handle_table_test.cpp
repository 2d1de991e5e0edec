// Picture handles: never 0, never issued again while another 32-bit value has not been.
#include "imgctl/core/handle_table.h"

#include <gtest/gtest.h>

#include <set>

#include "imgctl/tests/failing_allocations.h"

namespace imgctl {
namespace {

TEST(HandleTable, AFreedHandleStaysDeadThroughManyLoads) {
  HandleTable table;
  uint32_t first = table.Add(std::make_unique<Picture>());
  ASSERT_NE(first, 0u);
  EXPECT_NE(table.Find(first), nullptr);
  EXPECT_TRUE(table.Remove(first));
  EXPECT_EQ(table.Find(first), nullptr);
  EXPECT_FALSE(table.Remove(first));
  // A slide show: load, free, load, free... Past 65535 loads, where slots with 16-bit use counts
  // brought the first handle back, it is still dead and no handle has come twice.
  std::set<uint32_t> issued = {first};
  for (int load = 0; load < 70000; ++load) {
    uint32_t handle = table.Add(std::make_unique<Picture>());
    ASSERT_TRUE(issued.insert(handle).second) << load;
    EXPECT_EQ(table.Find(first), nullptr);
    ASSERT_TRUE(table.Remove(handle));
  }
  for (uint32_t junk : {0u, 0xFFFFFFFFu, 0x10000u, first + 1}) EXPECT_EQ(table.Find(junk), nullptr);
}

TEST(HandleTable, TheCountWrapsPastZero) {
  HandleTable table(0xFFFFFFFEu);
  EXPECT_EQ(table.Add(std::make_unique<Picture>()), 0xFFFFFFFEu);
  EXPECT_EQ(table.Add(std::make_unique<Picture>()), 0xFFFFFFFFu);
  EXPECT_EQ(table.Add(std::make_unique<Picture>()), 1u);  // 0 is never a handle
  EXPECT_NE(table.Find(0xFFFFFFFEu), nullptr);
}

// Ordinal 5 runs inside the caller's paint: with no memory left it still frees, and throws nothing.
TEST(HandleTable, FreeingNeedsNoMemory) {
  HandleTable table;
  uint32_t handle = table.Add(std::make_unique<Picture>());
  imgctl_test::FailAllocations(1, true);
  bool removed = table.Remove(handle);
  imgctl_test::FailAllocations(0);
  EXPECT_TRUE(removed);
  EXPECT_EQ(table.Find(handle), nullptr);
}

TEST(HandleTable, RefusesWhenFull) {
  HandleTable table;
  for (size_t i = 0; i < HandleTable::kMaxLive; ++i) ASSERT_NE(table.Add(std::make_unique<Picture>()), 0u);
  EXPECT_EQ(table.Add(std::make_unique<Picture>()), 0u);
}

}  // namespace
}  // namespace imgctl
