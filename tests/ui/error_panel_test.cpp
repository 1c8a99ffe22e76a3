#include "ui/error_panel.h"

#include <gtest/gtest.h>

namespace {
const ReportKey kRelisten{ReportKey::Kind::Relisten};
ReportKey Silence(std::size_t input) {
  return {ReportKey::Kind::Silence, input};
}
}  // namespace

TEST(ErrorPanel, AConditionThatEndsClearsItsOwnReportOnly) {
  ErrorPanel panel;
  EXPECT_EQ(panel.Shown(), "");
  panel.Report(Silence(0), "SkySpy: no message for 30 minutes");
  panel.Report(Silence(1), "Airmaster: no message for 30 minutes");
  // The other input's recovery leaves the report shown where it is.
  EXPECT_FALSE(panel.Clear(Silence(0)));
  EXPECT_EQ(panel.Shown(), "Airmaster: no message for 30 minutes");
  // A condition that was never reported changes nothing.
  EXPECT_FALSE(panel.Clear(kRelisten));
  EXPECT_TRUE(panel.Clear(Silence(1)));
  EXPECT_EQ(panel.Shown(), "");
}

TEST(ErrorPanel, WhenTheShownReportEndsTheNewestStandingOneTakesItsPlace) {
  ErrorPanel panel;
  panel.Report(kRelisten, "tmr_state_Timer: 10048 Address in use");
  panel.Report(Silence(2), "AirNav: no message for 5 minutes");
  EXPECT_EQ(panel.Shown(), "AirNav: no message for 5 minutes");
  EXPECT_TRUE(panel.Clear(Silence(2)));
  EXPECT_EQ(panel.Shown(), "tmr_state_Timer: 10048 Address in use");
  // The same key reported again shows its newest text.
  panel.Report(kRelisten, "tmr_state_Timer: 10049 Cannot assign");
  EXPECT_EQ(panel.Shown(), "tmr_state_Timer: 10049 Cannot assign");
}

TEST(ErrorPanel, AOneOffFaultIsReplacedByAnyNewerReport) {
  ErrorPanel panel;
  panel.Report({}, "SkySpyIn : unexpected error");
  panel.Report({}, "wns_OnDataArrival: 10054 Connection reset");
  EXPECT_EQ(panel.Shown(), "wns_OnDataArrival: 10054 Connection reset");
  panel.Report(Silence(0), "SkySpy: no message for 30 minutes");
  // Once the silence ends, the old fault does not come back.
  EXPECT_TRUE(panel.Clear(Silence(0)));
  EXPECT_EQ(panel.Shown(), "");
}
