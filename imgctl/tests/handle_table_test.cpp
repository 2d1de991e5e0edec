// Picture handles: never 0, dead once freed even when the slot is used again.
#include "imgctl/core/handle_table.h"

#include <gtest/gtest.h>

namespace imgctl {
namespace {

TEST(HandleTable, FreedHandlesStayDeadWhenTheirSlotIsReused) {
  HandleTable table;
  uint32_t first = table.Add(std::make_unique<Picture>());
  ASSERT_NE(first, 0u);
  EXPECT_NE(table.Find(first), nullptr);
  EXPECT_TRUE(table.Remove(first));
  EXPECT_EQ(table.Find(first), nullptr);
  EXPECT_FALSE(table.Remove(first));
  uint32_t second = table.Add(std::make_unique<Picture>());
  EXPECT_NE(second, first);
  EXPECT_EQ(second & 0xFFFF, first & 0xFFFF);  // same slot, new use count
  EXPECT_EQ(table.Find(first), nullptr);
  EXPECT_NE(table.Find(second), nullptr);
  for (uint32_t junk : {0u, 0xFFFFFFFFu, 0x10000u, second + 1, second ^ 0x10000u}) EXPECT_EQ(table.Find(junk), nullptr);
}

TEST(HandleTable, RefusesWhenFull) {
  HandleTable table;
  for (uint32_t i = 0; i < HandleTable::kMaxSlots; ++i) ASSERT_NE(table.Add(std::make_unique<Picture>()), 0u);
  EXPECT_EQ(table.Add(std::make_unique<Picture>()), 0u);
}

}  // namespace
}  // namespace imgctl
