// The counters behind the statistics window: minutes of an hour, and the
// text the window and the tray tip show.

#include <gtest/gtest.h>

#include <numeric>

#include "stats/minute_counts.h"
#include "stats/statistics.h"

TEST(MinuteCounts, CountsEachMinuteOfTheLastHourAndForgetsOlderOnes) {
  MinuteCounts counts;
  const double t0 = 1765190400;                    // a whole minute
  for (int i = 0; i < 5; ++i) counts.Add(t0 + i);  // minute 0
  counts.Add(t0 + 61);                             // minute 1
  counts.Add(t0 + 59 * 60 + 30);                   // minute 59
  auto last = counts.Last(t0 + 59 * 60 + 31);
  EXPECT_EQ(last[0], 5u);
  EXPECT_EQ(last[1], 1u);
  EXPECT_EQ(last[59], 1u);
  EXPECT_EQ(std::accumulate(last.begin(), last.end(), 0u), 7u);

  // An hour later minute 0 has gone; its slot is reused by minute 60.
  counts.Add(t0 + 60 * 60 + 1);
  last = counts.Last(t0 + 60 * 60 + 2);
  EXPECT_EQ(last[0], 1u) << "minute 1 is now the oldest";
  EXPECT_EQ(last[59], 1u);
  EXPECT_EQ(std::accumulate(last.begin(), last.end(), 0u), 3u);
  // Nothing for two hours: all zero.
  last = counts.Last(t0 + 3 * 3600);
  EXPECT_EQ(std::accumulate(last.begin(), last.end(), 0u), 0u);
}

// Months of running, and clocks past 2038 (Unix seconds beyond 31 bits).
TEST(MinuteCounts, AHundredDaysOnAndPast2038) {
  MinuteCounts counts;
  const double t0 = 2200000020;  // 2039, a whole minute
  counts.Add(t0);
  const double later = t0 + 100 * 86400;
  for (int i = 0; i < 1000; ++i) counts.Add(later + i * 0.05);  // 1,000 in one minute
  const auto last = counts.Last(later + 59);
  EXPECT_EQ(last[59], 1000u);
  EXPECT_EQ(std::accumulate(last.begin(), last.end(), 0u), 1000u) << "the minute 100 days ago is gone";
}

TEST(Statistics, TableAndTrayTotals) {
  Statistics s;
  s.Sources.push_back({"SkySpy", true, false, 120, 110, 10, 3, 1000.0, {}, 0});
  s.Sources.push_back({"AirNav", false, false, 0, 0, 0, 0, std::nullopt, {}, 0});
  s.Sources.push_back({"Posfix", true, true, 5, 5, 0, 0, 1000.0 - 3600, {}, 4321});
  s.Clients.push_back({"127.0.0.1:50123", 1000.0 - 600, 110, 3});
  const auto lines = StatisticsTable(s, 1000.0 + 30);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[1].substr(0, 14), "SkySpy        ");
  EXPECT_NE(lines[1].find("linked"), std::string::npos);
  EXPECT_NE(lines[1].find(" 120 "), std::string::npos);
  EXPECT_NE(lines[1].find("30 s ago"), std::string::npos);
  EXPECT_NE(lines[2].find("unlinked"), std::string::npos);
  EXPECT_NE(lines[2].find("never"), std::string::npos);
  EXPECT_NE(lines[3].find("silent"), std::string::npos);
  EXPECT_NE(lines[3].find("60 min ago"), std::string::npos);
  EXPECT_NE(lines[0].find("Not read"), std::string::npos);
  EXPECT_NE(lines[3].find(" 4321  "), std::string::npos) << "texts the link lost have a column of their own";
  EXPECT_NE(lines[6].find("127.0.0.1:50123"), std::string::npos);
  EXPECT_NE(lines[6].find("10 min ago"), std::string::npos);
  EXPECT_EQ(TrayTotals(s, 63), "115 forwarded, 3 dropped, 4321 not read, 1 client");
  EXPECT_EQ(TrayTotals(s, 10).size(), 10u);
  s.Clients.clear();
  EXPECT_EQ(StatisticsTable(s, 0)[6], "(none connected)");
}

TEST(Statistics, DuplicatesHaveAColumnAndAreNotLost) {
  Statistics s;
  s.Sources.push_back({"SkySpy", true, false, 120, 110, 0, 0, 1000.0, {}, 0, 0});
  s.Sources.push_back({"udp:5550", true, false, 40, 2, 0, 0, 1000.0, {}, 0, 38});
  const auto lines = StatisticsTable(s, 1000.0);
  EXPECT_NE(lines[0].find("Duplicates"), std::string::npos);
  const auto column = lines[0].find("Duplicates") + std::string("Duplicates").size();
  EXPECT_EQ(lines[2].substr(column - 3, 3), " 38") << "under its heading";
  EXPECT_EQ(lines[1].substr(column - 2, 2), " 0");
  EXPECT_EQ(TrayTotals(s, 63), "112 forwarded, 0 clients") << "a duplicate is neither dropped nor unread";
}

TEST(Statistics, EachKindOfLossHasOneWordAndTheTrayTipKeepsToItsLength) {
  Statistics s;
  s.Sources.push_back({"SkySpy", true, false, 0, 1234567, 0, 89, 1000.0, {}, 4567});
  s.Clients.resize(10);
  s.Feeds.push_back({"udp:127.0.0.1:5550", false, "sending", 7, 2});
  s.Feeds.push_back({"udp:5551", true, "listening", 9, 5});
  const std::string tip = "1234567 forwarded, 89 dropped, 4567 not read, 10 clients";
  const struct {
    std::size_t Max;
    std::string Tip;
  } kTips[] = {{63, tip}, {tip.size(), tip}, {tip.size() - 1, tip.substr(0, tip.size() - 1)}};
  for (const auto& t : kTips) EXPECT_EQ(TrayTotals(s, t.Max), t.Tip) << t.Max;

  const auto lines = StatisticsTable(s, 1000.0);
  const auto& heading = lines[lines.size() - 3];
  const auto dropped = heading.find("Dropped") + std::string("Dropped").size();
  const auto notRead = heading.find("Not read") + std::string("Not read").size();
  EXPECT_EQ(lines[lines.size() - 2].substr(dropped - 2, 2), " 2") << "an output drops";
  EXPECT_EQ(lines[lines.size() - 2].substr(notRead - 2, 2), "  ");
  EXPECT_EQ(lines[lines.size() - 1].substr(notRead - 2, 2), " 5") << "an input does not read";
  EXPECT_EQ(lines[lines.size() - 1].substr(dropped - 2, 2), "  ");
  for (const auto& line : lines) EXPECT_EQ(line.find("Lost"), std::string::npos) << line;
}

TEST(Statistics, TheTablesAsTabSeparatedTextHoldEveryCellWhole) {
  Statistics s;
  s.Sources.push_back({"A source with a long name", true, false, 3, 2, 1, 0, std::nullopt, {}, 4});
  s.Feeds.push_back({"udp:5551", true, "listening", 9, 5});
  EXPECT_EQ(StatisticsTabSeparated(s, 1000.0),
            "Source\tState\tReceived\tForwarded\tFiltered\tDuplicates\tDropped\tNot read\tLast message\r\n"
            "A source with a long name\tlinked\t3\t2\t1\t0\t0\t4\tnever\r\n"
            "\r\n"
            "Client\tConnected\tSent\tDropped\r\n"
            "(none connected)\r\n"
            "\r\n"
            "JSON feed\t\tObjects\tDropped\tNot read\tState\r\n"
            "udp:5551\tin\t9\t\t5\tlistening\r\n");
  EXPECT_EQ(StatisticsTable(s, 1000.0)[1].substr(0, 15), "A source with  ") << "the window's column is cut";
}
