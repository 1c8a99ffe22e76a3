#include "replay.h"

#include <gtest/gtest.h>

#include <string>

TEST(ReplayPlan, EachDecodersTextGoesToItsServiceAndEachObjectToUdpAtItsOffset) {
  const std::string capture = R"({"input":"Airmaster","time":"2026-12-08T19:26:20.500000Z","text":"A\r\n\u20ac"})"
                              "\n"
                              R"({"input":"udp:5550","time":"2026-12-08T19:26:21.000000Z","object":{"label":"H1"}})"
                              "\r\n\n"
                              R"({"input":"SkySpy","time":"2026-12-08T19:26:22.750000Z","text":"B"})"
                              "\n"
                              R"({"input":"Airmaster","time":"2026-12-08T19:26:23.000000Z","text":"C"})";
  const ReplayPlan plan = ReadReplay(capture);
  ASSERT_EQ(plan.Steps.size(), 4u);
  EXPECT_EQ(plan.Steps[0], (ReplayStep{0, "WinACARS", "A\r\n\x80"}));  // the same bytes the decoder sent
  EXPECT_EQ(plan.Steps[1], (ReplayStep{500000, "", R"({"label":"H1"})"}));
  EXPECT_EQ(plan.Steps[2], (ReplayStep{2250000, "SkySpy", "B"}));
  EXPECT_EQ(plan.Steps[3], (ReplayStep{2500000, "WinACARS", "C"}));
  EXPECT_EQ(plan.Services, (std::vector<std::string>{"WinACARS", "SkySpy"}));
  EXPECT_EQ(plan.Objects, 1u);
  EXPECT_EQ(DueMicros(plan.Steps[2], 1), 2250000);
  EXPECT_EQ(DueMicros(plan.Steps[2], 2), 1125000);
  EXPECT_EQ(DueMicros(plan.Steps[2], 0.5), 4500000);
  EXPECT_EQ(DueMicros(plan.Steps[2], 0), 0);
}

TEST(ReplayPlan, TheFourDecodersByTheBridgesNamesAndTheirServices) {
  EXPECT_EQ(ServiceOfInput("SkySpy"), "SkySpy");
  EXPECT_EQ(ServiceOfInput("Airmaster"), "WinACARS");
  EXPECT_EQ(ServiceOfInput("AirNav"), "ANAD");
  EXPECT_EQ(ServiceOfInput("Posfix"), "POSFIX");
  EXPECT_EQ(ServiceOfInput("POSFIX"), "POSFIX");
  EXPECT_EQ(ServiceOfInput("udp:5550"), "");
}

TEST(ReplayPlan, LinesWithoutARecordAreSkippedCountedAndTheRestIsPlayed) {
  const std::string a = R"({"input":"SkySpy","time":"2026-12-08T19:26:20.500000Z","text":"A"})";
  const std::string b = R"({"input":"udp:5550","time":"2026-12-08T19:26:21.000000Z","object":{"label":"H1"}})";
  const struct {
    std::string capture;
    std::size_t steps, skipped;
    std::string first;
  } cases[] = {
      {a + "\n" + b + "\n", 2, 0, ""},
      // A power cut in the middle of a line, and the next run's lines after it.
      {a + "\n" + b.substr(0, 40) + "\n" + b + "\n", 2, 1, "line 2: not JSON"},
      // A half line at the very end.
      {a + "\n" + b.substr(0, 40), 1, 1, "line 2: not JSON"},
      {"broken\n" + a + "\n" + a + "\n", 2, 1, "line 1: not JSON"},
      {"broken\n\n{}\n" + a + "\n", 1, 2, "line 1: not JSON"},
      {R"({"input":"udp:5550","time":"2026-12-08T19:26:20.500000Z","text":"A"})"
       "\n" +
           b,
       1, 1, "line 1: a text from \"udp:5550\", which is no decoder (SkySpy, Airmaster, AirNav, Posfix)"},
  };
  for (const auto& c : cases) {
    const ReplayPlan plan = ReadReplay(c.capture);
    EXPECT_EQ(plan.Steps.size(), c.steps) << c.capture;
    EXPECT_EQ(plan.Skipped, c.skipped) << c.capture;
    EXPECT_EQ(plan.FirstSkipped, c.first) << c.capture;
  }
}
