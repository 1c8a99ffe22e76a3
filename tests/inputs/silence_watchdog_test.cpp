#include "inputs/silence_watchdog.h"

#include <gtest/gtest.h>

TEST(SilenceWatchdog, ReportsALinkedSilentSourceOnceUntilItSpeaks) {
  SilenceWatchdog dog(2, 30 * 60);
  dog.Linked(0, 1000);
  EXPECT_TRUE(dog.Check(1000 + 30 * 60).empty()) << "exactly the limit is not more than it";
  EXPECT_EQ(dog.Check(1000 + 30 * 60 + 1), (std::vector<std::size_t>{0}));
  EXPECT_TRUE(dog.Silent(0));
  EXPECT_TRUE(dog.Check(1000 + 90 * 60).empty()) << "reported once";
  EXPECT_FALSE(dog.Silent(1)) << "never linked, never silent";

  EXPECT_TRUE(dog.Message(0, 7000));  // the report is cleared
  EXPECT_FALSE(dog.Silent(0));
  EXPECT_FALSE(dog.Message(0, 7001));
  EXPECT_TRUE(dog.Check(7001 + 30 * 60).empty());
  EXPECT_EQ(dog.Check(7002 + 30 * 60), (std::vector<std::size_t>{0}));

  // Unlinked: nothing to watch; linked again, silence counts afresh.
  dog.Unlinked(0);
  EXPECT_FALSE(dog.Silent(0));
  EXPECT_TRUE(dog.Check(100000).empty());
  dog.Linked(0, 100000);
  EXPECT_TRUE(dog.Check(100000 + 60).empty());

  // Reported linked again while linked (a re-link that found the link
  // standing): the silence still counts from the first link.
  SilenceWatchdog relinked(1, 60);
  relinked.Linked(0, 5000);
  relinked.Linked(0, 5050);
  EXPECT_TRUE(relinked.Check(5060).empty());
  EXPECT_EQ(relinked.Check(5061), (std::vector<std::size_t>{0}));
  relinked.Linked(0, 5100);
  EXPECT_TRUE(relinked.Silent(0)) << "still reported";
  EXPECT_TRUE(relinked.Check(5200).empty()) << "reported once";

  // Linked past 2038 and silent for a hundred days.
  SilenceWatchdog longRun(1, 30 * 60);
  longRun.Linked(0, 2200000000);
  EXPECT_TRUE(longRun.Check(2200000000 + 30 * 60).empty());
  EXPECT_EQ(longRun.Check(2200000000 + 100 * 86400), (std::vector<std::size_t>{0}));

  SilenceWatchdog off(1, 0);
  off.Linked(0, 0);
  EXPECT_TRUE(off.Check(1e9).empty());
}

TEST(SilenceWatchdog, ANewLimitCountsFromTheNextCheck) {
  SilenceWatchdog dog(1, 30 * 60);
  dog.Linked(0, 1000);
  EXPECT_TRUE(dog.Check(1000 + 120).empty());
  dog.SetLimitSeconds(120);
  EXPECT_EQ(dog.Check(1000 + 121), (std::vector<std::size_t>{0}));
  dog.Message(0, 2000);
  dog.SetLimitSeconds(0);  // off
  EXPECT_TRUE(dog.Check(100000).empty());
}
