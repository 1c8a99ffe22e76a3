// The links to the decoder programs over their life: linked by the Source
// menu or by themselves when a decoder starts later, unlinked by hand, and
// noticed when a decoder ends or is killed. Real decoder simulator
// processes, the program in this process, a client of its port.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pipeline/forwarding.h"
#include "support/debug_log_dir.h"
#include "support/decoder_texts.h"
#include "support/program_fixture.h"
#include "ui/app_ids.h"

using namespace app;

using DecoderSources = InTempDir;

TEST_F(DecoderSources, LinkedByTheSourceMenuAndUnlinkedAgain) {
  Program p;
  for (UINT command : {kCmdSkySpy, kCmdAirmaster, kCmdAirNav, kCmdPosfix}) EXPECT_FALSE(p.Checked(command));
  p.Click(kCmdDebugLog);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));

  // A decoder that runs, linked and at once unlinked: its texts go nowhere.
  {
    DecoderSimulator sim(L"--services ANAD --count 3 --linger 300 --quiet", true);
    ASSERT_TRUE(sim.Ready());
    p.Click(kCmdAirNav);
    EXPECT_TRUE(p.Checked(kCmdAirNav));
    p.Click(kCmdAirNav);
    EXPECT_FALSE(p.Checked(kCmdAirNav));
    sim.Start();
    EXPECT_EQ(sim.Wait(), 0);
    PumpFor(500);  // a while in which its texts would arrive, were they forwarded
    EXPECT_EQ(client.Poll(), 0u);
    EXPECT_EQ(p.bridge.CurrentStatistics().Sources[2].Received, 0u);
  }
  // Linked: its texts flow; when it ends, the item is unchecked at once.
  {
    DecoderSimulator sim(L"--services ANAD --count 3 --wait-links 1 --linger 300 --quiet");
    ASSERT_TRUE(sim.Ready());
    p.Click(kCmdAirNav);
    EXPECT_TRUE(p.Checked(kCmdAirNav));
    ASSERT_TRUE(client.WaitRecords(3));
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_TRUE(PumpUntil([&] { return !p.Checked(kCmdAirNav); }, 3000));
    for (const Record& r : client.records) EXPECT_EQ(r.Header.Source, 3);
  }
  p.Click(kCmdSkySpy);  // no SkySpy running
  EXPECT_FALSE(p.Checked(kCmdSkySpy));

  // The Source entries of the log: "0-" twice for the opens, the decoder's
  // end, and an error number and text for the decoder that is not running.
  const std::string log = ReadLog();
  std::vector<std::string> sourceEntries;
  for (std::size_t at = 0; (at = log.find("DES: AirNav\r\n", at)) != std::string::npos; ++at) {
    sourceEntries.push_back(log.substr(at, log.find(kSeparator, at) - at));
  }
  ASSERT_EQ(sourceEntries.size(), 3u);
  EXPECT_EQ(sourceEntries[0], "DES: AirNav\r\n\r\nMSG: \r\n0-\r\n");
  EXPECT_EQ(sourceEntries[1], "DES: AirNav\r\n\r\nMSG: \r\n0-\r\n");
  EXPECT_EQ(sourceEntries[2], "DES: AirNav\r\n\r\nMSG: \r\n16398-The DDE server has ended.\r\n");
  const auto sky = log.find("DES: SkySpy:\r\n\r\nMSG: \r\n");
  ASSERT_NE(sky, std::string::npos);
  const std::string skyResult = log.substr(sky + 24, log.find("\r\n", sky + 24) - sky - 24);
  EXPECT_NE(skyResult.rfind("0-", 0), 0u) << skyResult;
  EXPECT_NE(skyResult.find('-'), std::string::npos);
  // The change handler wrote its entry for each text received.
  EXPECT_NE(log.find("DES: AirNavIn "), std::string::npos);
}

TEST_F(DecoderSources, ADecoderStartedLaterIsLinkedByItselfUnlessUnlinkedByHand) {
  Settings settings = TestSettings();
  settings.RelinkSeconds = 1;
  Program p(settings);
  for (UINT command : {kCmdSkySpy, kCmdAirmaster, kCmdAirNav, kCmdPosfix}) EXPECT_FALSE(p.Checked(command));
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));

  // Neither was running at start-up: both are linked within the retry
  // interval once their decoder runs.
  DecoderSimulator sim(L"--services SkySpy,WinACARS --count 100000 --interval 50 --quiet");
  ASSERT_TRUE(sim.Ready());
  ASSERT_TRUE(PumpUntil([&] { return p.Checked(kCmdSkySpy) && p.Checked(kCmdAirmaster); }, 3000));
  auto airmasterRecords = [&] {
    client.Poll();
    return std::count_if(client.records.begin(), client.records.end(),
                         [](const Record& r) { return r.Header.Source == 1; });
  };
  ASSERT_TRUE(PumpUntil([&] { return airmasterRecords() > 0; }));

  // Airmaster unlinked by hand stays unlinked while its decoder publishes.
  p.Click(kCmdAirmaster);
  EXPECT_FALSE(p.Checked(kCmdAirmaster));
  // A text routed after the click: once it is in, so is every Airmaster
  // record routed before it.
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("AFTER THE CLICK"));
  ASSERT_TRUE(PumpUntil([&] {
    client.Poll();
    return std::any_of(client.records.begin(), client.records.end(),
                       [](const Record& r) { return r.Frame.find("AFTER THE CLICK") != std::string::npos; });
  }));
  const auto before = airmasterRecords();
  PumpFor(2500);  // the relink timer ticks twice, each time finding Airmaster's decoder running
  EXPECT_FALSE(p.Checked(kCmdAirmaster));
  EXPECT_EQ(airmasterRecords(), before);
  EXPECT_TRUE(p.Checked(kCmdSkySpy));

  // Clicked again, it is linked.
  p.Click(kCmdAirmaster);
  EXPECT_TRUE(p.Checked(kCmdAirmaster));
  EXPECT_TRUE(PumpUntil([&] { return airmasterRecords() > before; }));
}

TEST_F(DecoderSources, ADecoderClosedNormallyOrKilledIsLinkedAgainWhenItRunsAgain) {
  // The way users end a decoder most: it closes (its DDE instance ends the
  // conversations), and is started again, three times in a row.
  Settings settings = TestSettings();
  settings.RelinkSeconds = 1;
  Program p(settings);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  std::size_t expected = 0;
  for (int run = 0; run < 3; ++run) {
    DecoderSimulator sim(L"--wait-links 4 --wait-timeout 15000 --count 34 --quiet");
    ASSERT_TRUE(sim.Ready());
    EXPECT_EQ(sim.Wait(20000), 0) << "run " << run << ": the four links did not come about";
    expected += 32;  // the sample feed's two HF fillers are not forwarded
    ASSERT_TRUE(client.WaitRecords(expected)) << "run " << run << ": " << client.records.size();
    EXPECT_TRUE(PumpUntil([&] { return !p.Checked(kCmdSkySpy) && !p.Checked(kCmdPosfix); }, 3000));
  }
  // Killed in the middle of its feed, then started again.
  {
    DecoderSimulator sim(L"--count 100000 --interval 20 --wait-links 4 --quiet");
    ASSERT_TRUE(sim.Ready());
    ASSERT_TRUE(client.WaitRecords(expected + 5, 10000));
  }
  EXPECT_TRUE(PumpUntil([&] { return !p.Checked(kCmdAirNav); }, 5000));
  expected = client.Poll();
  DecoderSimulator sim(L"--wait-links 4 --wait-timeout 15000 --count 34 --quiet");
  ASSERT_TRUE(sim.Ready());
  EXPECT_EQ(sim.Wait(20000), 0);
  EXPECT_TRUE(client.WaitRecords(expected + 32));
  // Unlinked by hand: stays so through a normal end and a new start.
  {
    DecoderSimulator sim(L"--services WinACARS --count 100000 --interval 50 --quiet");
    ASSERT_TRUE(sim.Ready());
    ASSERT_TRUE(PumpUntil([&] { return p.Checked(kCmdAirmaster); }, 5000));
    p.Click(kCmdAirmaster);
    EXPECT_FALSE(p.Checked(kCmdAirmaster));
  }
  DecoderSimulator later(L"--services WinACARS --count 100000 --interval 50 --quiet");
  ASSERT_TRUE(later.Ready());
  PumpFor(2500);  // the relink timer ticks twice, each time finding the decoder running
  EXPECT_FALSE(p.Checked(kCmdAirmaster));
}
