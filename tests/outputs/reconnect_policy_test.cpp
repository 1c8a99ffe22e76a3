#include "outputs/reconnect_policy.h"

#include <gtest/gtest.h>

TEST(ReconnectPolicy, GrowsToAMinuteAndStartsAgainAfterAGoodMinute) {
  ReconnectPolicy p;
  double now = 1000;
  std::vector<double> waits;
  for (int i = 0; i < 9; ++i) {
    const double at = p.Failed(now);
    waits.push_back(at - now);
    now = at;
  }
  EXPECT_EQ(waits, (std::vector<double>{1, 2, 4, 8, 16, 32, 60, 60, 60}));
  p.Connected(now);
  EXPECT_EQ(p.Failed(now + 30) - (now + 30), 60) << "a short connection keeps the wait";
  p.Connected(now + 100);
  EXPECT_EQ(p.Failed(now + 161) - (now + 161), 1) << "a minute of good connection resets it";
}

TEST(ReconnectPolicy, AConnectionHeldExactlyAMinuteResetsTheWait) {
  ReconnectPolicy p;
  for (int i = 0; i < 3; ++i) p.Failed(1000);
  EXPECT_EQ(p.Delay(), 8);
  p.Connected(2000);
  EXPECT_EQ(p.Failed(2059.5), 2059.5 + 8) << "half a second short of a minute";
  EXPECT_EQ(p.Delay(), 16);
  p.Connected(3000);
  EXPECT_EQ(p.Failed(3060), 3060 + 1) << "exactly a minute";
  EXPECT_EQ(p.Delay(), 2);
  // A failure without a connection since keeps growing the wait.
  EXPECT_EQ(p.Failed(4000), 4000 + 2);
}
