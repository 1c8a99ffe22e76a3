// The waiting texts' limits: exactly at a limit everything stays, one byte
// or one item past it a whole item goes, the newest or the oldest, and each
// one is counted.

#include "common/bounded_queue.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Items(const BoundedQueue& q) {
  std::string out;
  for (const std::string& item : q.Items()) out += item + " ";
  return out;
}

}  // namespace

TEST(BoundedQueue, ItemsUpToExactlyTheByteLimitAllStay) {
  BoundedQueue q({10, 100}, BoundedQueue::WhenFull::DropNewest);
  EXPECT_TRUE(q.Push("aaaa"));
  EXPECT_TRUE(q.Push("bbbbbb"));
  EXPECT_EQ(q.Bytes(), 10u);
  EXPECT_EQ(q.Dropped(), 0u);
  EXPECT_EQ(Items(q), "aaaa bbbbbb ");
}

TEST(BoundedQueue, OneBytePastTheLimitDropsTheNewestWhole) {
  BoundedQueue q({10, 100}, BoundedQueue::WhenFull::DropNewest);
  EXPECT_TRUE(q.Push("aaaa"));
  EXPECT_FALSE(q.Push("bbbbbbb"));
  EXPECT_EQ(q.Dropped(), 1u);
  EXPECT_EQ(q.Bytes(), 4u);
  EXPECT_TRUE(q.Push("cccccc")) << "what fits still comes in";
  EXPECT_EQ(Items(q), "aaaa cccccc ");
}

TEST(BoundedQueue, OneBytePastTheLimitDropsTheOldestWhole) {
  BoundedQueue q({10, 100}, BoundedQueue::WhenFull::DropOldest);
  q.Push("aaa");
  q.Push("bbb");
  q.Push("cccc");
  EXPECT_EQ(q.Bytes(), 10u);
  EXPECT_EQ(q.Dropped(), 0u);
  EXPECT_TRUE(q.Push("d"));
  EXPECT_EQ(Items(q), "bbb cccc d ");
  EXPECT_EQ(q.Dropped(), 1u);
  EXPECT_TRUE(q.Push("eeeeeee"));
  EXPECT_EQ(Items(q), "d eeeeeee ");
  EXPECT_EQ(q.Dropped(), 3u);
}

TEST(BoundedQueue, ItemLargerThanTheWholeLimitIsDroppedAsItComes) {
  for (const auto whenFull : {BoundedQueue::WhenFull::DropNewest, BoundedQueue::WhenFull::DropOldest}) {
    BoundedQueue q({10, 100}, whenFull);
    q.Push("aaa");
    EXPECT_TRUE(q.Push(std::string(7, 'x'))) << "exactly the room left";
    q.Clear();
    q.Push("aaa");
    EXPECT_FALSE(q.Push(std::string(11, 'x')));
    EXPECT_EQ(Items(q), "aaa ") << "nothing older gives way for it";
    EXPECT_EQ(q.Dropped(), 1u);
  }
}

TEST(BoundedQueue, TheItemLimitCountsLikeTheByteLimit) {
  BoundedQueue newest({1000, 3}, BoundedQueue::WhenFull::DropNewest);
  BoundedQueue oldest({1000, 3}, BoundedQueue::WhenFull::DropOldest);
  for (const char* item : {"1", "2", "3", "4"}) {
    newest.Push(item);
    oldest.Push(item);
  }
  EXPECT_EQ(Items(newest), "1 2 3 ");
  EXPECT_EQ(Items(oldest), "2 3 4 ");
  EXPECT_EQ(newest.Dropped(), 1u);
  EXPECT_EQ(oldest.Dropped(), 1u);
}

TEST(BoundedQueue, TakingEverythingMakesRoomAgain) {
  BoundedQueue q({4, 100}, BoundedQueue::WhenFull::DropNewest);
  q.Push("abcd");
  const auto taken = q.TakeAll();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(q.Bytes(), 0u);
  EXPECT_TRUE(q.Push("efgh"));
  q.PopFront();
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(q.Bytes(), 0u);
}
