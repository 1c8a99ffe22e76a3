#include "ui/display_pacer.h"

#include <gtest/gtest.h>

#include <string>

using Step = DisplayPacer::Step;

TEST(DisplayPacer, TheFirstMessageAfterAQuietSecondIsShownAtOnce) {
  DisplayPacer pacer;
  EXPECT_EQ(pacer.Arrived(0), Step::ShowNow);  // even on a clock that starts at 0
  pacer.Shown(0);
  EXPECT_EQ(pacer.Arrived(5000), Step::ShowNow);
}

TEST(DisplayPacer, ABurstWaitsForAQuietMomentAndIsShownOnceASecondMeanwhile) {
  DisplayPacer pacer;
  ASSERT_EQ(pacer.Arrived(1000), Step::ShowNow);
  pacer.Shown(1000);
  EXPECT_EQ(pacer.Arrived(1005), Step::StartTimer);
  EXPECT_EQ(pacer.Arrived(1010), Step::TimerRunning);
  // Messages keep coming: the quiet timer's ticks do not redraw...
  EXPECT_FALSE(pacer.Due(1010 + DisplayPacer::kQuietMs - 1));
  for (std::uint64_t t = 1015; t < 2000; t += 5) {
    EXPECT_EQ(pacer.Arrived(t), Step::TimerRunning);
    EXPECT_FALSE(pacer.Due(t + 1)) << t;
  }
  // ...until a second has passed since the last redraw.
  EXPECT_TRUE(pacer.Due(2000));
  pacer.Shown(2000);
  // A pause of kQuietMs redraws at the timer's next tick.
  EXPECT_EQ(pacer.Arrived(2003), Step::StartTimer);
  EXPECT_FALSE(pacer.Due(2003 + DisplayPacer::kQuietMs - 1));
  EXPECT_TRUE(pacer.Due(2003 + DisplayPacer::kQuietMs));
}

TEST(DisplayPacer, TheTipWaitsForAPauseOrTenSecondsUnderLoad) {
  DisplayPacer pacer;
  EXPECT_TRUE(pacer.TipDue(55000));  // nothing arrived yet
  pacer.Arrived(60000);
  EXPECT_FALSE(pacer.TipDue(60001));
  EXPECT_TRUE(pacer.TipDue(60000 + DisplayPacer::kQuietMs));
  // Under load the tip comes every ten seconds, no more often.
  for (std::uint64_t t = 60100; t < 70100; t += 10) pacer.Arrived(t);
  EXPECT_TRUE(pacer.TipDue(70100));
  pacer.Arrived(70105);
  EXPECT_FALSE(pacer.TipDue(70106));
}

TEST(DisplayText, LongTextsAreCutAndLongRunsBroken) {
  EXPECT_EQ(DisplayText("AB CD\r\nEF"), "AB CD\r\nEF");
  const std::string run(130, 'x');
  EXPECT_EQ(DisplayText(run), std::string(64, 'x') + "\r\n" + std::string(64, 'x') + "\r\n" + "xx");
  const std::string words(kMaxShownChars + 1, ' ');
  EXPECT_EQ(DisplayText(words), std::string(kMaxShownChars, ' ') + "\r\n...");
  EXPECT_EQ(DisplayText(std::string(kMaxShownChars, ' ')), std::string(kMaxShownChars, ' '));
}
