// The hand-over between a JSON input's reader thread and the router's
// thread: one wake per batch, objects in order, a flood bounded and counted,
// and a real second thread putting while this one takes.

#include "inputs/json_inbox.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

TEST(JsonInbox, OnlyTheFirstEntryOfABatchAsksForAWake) {
  JsonInbox inbox({1000, 1000});
  EXPECT_TRUE(inbox.Put("{1}"));
  EXPECT_FALSE(inbox.Put("{2}"));
  EXPECT_FALSE(inbox.Note("connected"));
  const auto batch = inbox.Take();
  ASSERT_EQ(batch.Objects.size(), 2u);
  EXPECT_EQ(batch.Objects[0], "{1}");
  EXPECT_EQ(batch.Objects[1], "{2}");
  ASSERT_EQ(batch.Notes.size(), 1u);
  EXPECT_TRUE(inbox.Take().Empty());
  EXPECT_TRUE(inbox.Note("not connected")) << "a new batch";
}

TEST(JsonInbox, AWakeThatCouldNotBeSentIsAskedForAgain) {
  JsonInbox inbox({1000, 1000});
  EXPECT_TRUE(inbox.Put("{1}"));
  inbox.WakeFailed();
  EXPECT_TRUE(inbox.Put("{2}"));
  EXPECT_EQ(inbox.Take().Objects.size(), 2u);
}

TEST(JsonInbox, AFloodPastTheLimitDropsTheNewestWholeAndCountsThem) {
  JsonInbox inbox({12, 1000});
  EXPECT_TRUE(inbox.Put("{\"a\":1}"));  // 7 bytes
  EXPECT_FALSE(inbox.Put("{\"b\":2}")) << "one byte too many: dropped, and no second wake";
  EXPECT_FALSE(inbox.Put("{\"c\"}"));  // exactly the 5 bytes left
  EXPECT_EQ(inbox.Dropped(), 1u);
  const auto batch = inbox.Take();
  ASSERT_EQ(batch.Objects.size(), 2u);
  EXPECT_EQ(batch.Objects[1], "{\"c\"}");
  EXPECT_TRUE(inbox.Put("{\"d\":4}")) << "taking makes room";
  EXPECT_EQ(inbox.Dropped(), 1u);
}

TEST(JsonInbox, NotesAreBoundedToo) {
  JsonInbox inbox({10, 10});
  for (std::size_t i = 0; i < JsonInbox::kMaxNotes + 5; ++i) inbox.Note(std::to_string(i));
  const auto batch = inbox.Take();
  ASSERT_EQ(batch.Notes.size(), JsonInbox::kMaxNotes);
  EXPECT_EQ(batch.Notes.back(), std::to_string(JsonInbox::kMaxNotes + 4));
}

TEST(JsonInbox, ObjectsFromAnotherThreadArriveInOrderAndNoneIsLost) {
  JsonInbox inbox({1 << 20, 100000});
  constexpr int kObjects = 20000;
  std::thread reader([&] {
    for (int i = 0; i < kObjects; ++i) inbox.Put(std::to_string(i));
  });
  int next = 0;
  while (next < kObjects) {
    for (const std::string& o : inbox.Take().Objects) {
      ASSERT_EQ(o, std::to_string(next));
      ++next;
    }
    std::this_thread::yield();
  }
  reader.join();
  EXPECT_EQ(inbox.Dropped(), 0u);
}
