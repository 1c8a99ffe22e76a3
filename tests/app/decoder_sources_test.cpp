// The whole road of a message: a decoder simulator process publishes over
// DDE, the program in this process forwards, a client of its port reads.
// Here: what the four decoders send, and how it is counted.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pipeline/forwarding.h"
#include "support/debug_log_dir.h"
#include "support/decoder_texts.h"
#include "support/program_fixture.h"
#include "ui/app_ids.h"

using namespace app;

using DecoderSources = InTempDir;

TEST_F(DecoderSources, AllFourDecodersRunningAtStartUp) {
  const std::wstring feed = WriteFeed(
      {Downlink("BA0286", "TO SKYSPY"), Squitter("FROM AIRMASTER"), kExample, Downlink("EK0205", "TO POSFIX")});
  DecoderSimulator sim(L"--feed " + feed + L" --wait-links 4 --quiet", true);
  ASSERT_TRUE(sim.Ready());

  Program p;
  for (UINT command : {kCmdSkySpy, kCmdAirmaster, kCmdAirNav, kCmdPosfix}) EXPECT_TRUE(p.Checked(command)) << command;
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  sim.Start();
  ASSERT_TRUE(client.WaitRecords(4));
  EXPECT_EQ(sim.Wait(), 0);
  PumpFor(200);  // a while in which a fifth record would arrive, were there one
  EXPECT_EQ(client.Poll(), 4u);
  EXPECT_TRUE(client.reader.Error().empty());

  std::map<std::string, std::int32_t> sourceOf;
  for (const Record& r : client.records) {
    const auto fields = ParseFrameText(r.Frame);
    ASSERT_TRUE(fields);
    sourceOf[fields->Text] = r.Header.Source;
  }
  EXPECT_EQ(sourceOf["TO SKYSPY\r\n"], 0);
  EXPECT_EQ(sourceOf["FROM AIRMASTER\r\n"], 1);
  EXPECT_EQ(sourceOf["POSITION REPORT\r\n"], 3);
  EXPECT_EQ(sourceOf["TO POSFIX\r\n"], 3);

  // The example from ANAD, byte for byte, header and frame text together.
  const std::string header("\x2D\0\0\0\0\0\0\0\0\0\0\0\x03\0\0\0", 16);
  EXPECT_NE(client.raw.find(header + kExampleFrame), std::string::npos);
  EXPECT_EQ(p.Display().empty(), false);
}

TEST_F(DecoderSources, CountersStatisticsWindowAndSilenceWatchdog) {
  Settings settings = TestSettings();
  settings.DebugLog = true;
  Program p(settings);
  DecoderSimulator sim(L"--services SkySpy --count 5 --wait-links 1 --linger 100000 --quiet");
  ASSERT_TRUE(sim.Ready());
  p.Click(kCmdSkySpy);
  ASSERT_TRUE(p.Checked(kCmdSkySpy));
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  p.bridge.Links().Box(DecoderLinks::AirNavIn).SetText("short");  // filtered
  ASSERT_TRUE(PumpUntil([&] { return p.bridge.CurrentStatistics().Sources[0].Received >= 5; }));

  const Statistics stats = p.bridge.CurrentStatistics();
  ASSERT_EQ(stats.Sources.size(), 4u);
  EXPECT_EQ(stats.Sources[0].Name, "SkySpy");
  EXPECT_TRUE(stats.Sources[0].Linked);
  EXPECT_EQ(stats.Sources[0].Received, 5u);
  EXPECT_EQ(stats.Sources[0].PerMinute.back() + stats.Sources[0].PerMinute[58], 5u);
  EXPECT_EQ(stats.Sources[2].Filtered, 1u);
  ASSERT_EQ(stats.Clients.size(), 1u);
  EXPECT_EQ(stats.Clients[0].Sent, stats.Sources[0].Forwarded);
  EXPECT_EQ(p.form.TrayTip().rfind("Zizizer ODO Rerido: ", 0), 0u);
  EXPECT_NE(p.form.TrayTip().find(" forwarded, 1 client"), std::string::npos);

  // The window opens from the View menu and from the tray menu.
  p.Click(kCmdStatistics);
  ASSERT_NE(p.form.StatisticsView(), nullptr);
  const HWND view = p.form.StatisticsView()->hwnd();
  EXPECT_TRUE(IsWindowVisible(view));
  EXPECT_TRUE(PumpUntil([&] { return !GetUpdateRect(view, nullptr, FALSE); })) << "the window has drawn itself";
  ShowWindow(view, SW_HIDE);
  p.form.MenuClick(kIndexStatistics);
  EXPECT_TRUE(IsWindowVisible(view));
  EXPECT_EQ(p.form.StatisticsView()->hwnd(), view);

  // Half an hour without a message from the linked SkySpy: reported once.
  const double now = UnixSecondsNow();
  p.bridge.Links().CheckSilence(now + 29 * 60);
  EXPECT_EQ(p.Panel(5), "");
  p.bridge.Links().CheckSilence(now + 31 * 60);
  EXPECT_EQ(p.Panel(5), "SkySpy: no message for 30 minutes");
  EXPECT_TRUE(p.bridge.CurrentStatistics().Sources[0].Silent);
  EXPECT_FALSE(p.bridge.CurrentStatistics().Sources[1].Silent) << "not linked: not watched";
  // Its next message clears the report.
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("BA0286", "BACK AGAIN"));
  EXPECT_EQ(p.Panel(5), "");
  const std::string log = ReadLog();
  EXPECT_NE(log.find("DES: Watchdog\r\n\r\nMSG: \r\nSkySpy: no message for 30 minutes"), std::string::npos);
  EXPECT_NE(log.find("SkySpy: messages again"), std::string::npos);
}

TEST_F(DecoderSources, ThousandMessagesFromFourDecodersArriveWholeAndInOrder) {
  const std::wstring feed = WriteFeed({Downlink("BA0286", "SEQ {seq} " + std::string(300, 'x')), Squitter("SEQ {seq}"),
                                       Downlink("EK0205", "SEQ {seq}\r\nSECOND LINE")});
  DecoderSimulator sim(L"--feed " + feed + L" --count 1000 --wait-links 4 --quiet", true);
  ASSERT_TRUE(sim.Ready());
  Program p;
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  sim.Start();
  ASSERT_TRUE(client.WaitRecords(1000, 120000)) << client.records.size() << " records";
  EXPECT_EQ(sim.Wait(), 0);
  PumpFor(300);  // a while in which a record too many would arrive, were there one
  EXPECT_EQ(client.Poll(), 1000u);
  EXPECT_TRUE(client.reader.Error().empty());
  EXPECT_EQ(client.reader.Buffered(), 0u);

  const std::map<int, std::int32_t> sourceOfService{{0, 0}, {1, 1}, {2, 3}, {3, 3}};
  std::set<int> seen;
  for (const Record& r : client.records) {
    const auto fields = ParseFrameText(r.Frame);
    ASSERT_TRUE(fields) << ShowControls(r.Frame);
    const auto at = fields->Text.find("SEQ ");
    ASSERT_NE(at, std::string::npos);
    const int seq = std::stoi(fields->Text.substr(at + 4, 6));
    EXPECT_TRUE(seen.insert(seq).second) << "twice: " << seq;
    EXPECT_EQ(r.Header.Source, sourceOfService.at(seq % 4)) << seq;
  }
  EXPECT_EQ(seen.size(), 1000u);
}

TEST_F(DecoderSources, EmptyTextsAreCountedAndReportedOnceALink) {
  // What a decoder sends once it can post no more values under Wine: the
  // link stays up and every value arrives empty.
  Settings settings = TestSettings();
  settings.DebugLog = true;
  Program p(settings);
  DecoderSimulator sim(L"--services POSFIX --count 2 --wait-links 1 --linger 100000 --quiet");
  ASSERT_TRUE(sim.Ready());
  p.Click(kCmdPosfix);
  ASSERT_TRUE(p.Checked(kCmdPosfix));
  ASSERT_TRUE(PumpUntil([&] { return p.bridge.CurrentStatistics().Sources[3].Received >= 2; }));

  for (int i = 0; i < 3; ++i) p.bridge.Links().Box(DecoderLinks::PosfixIn).OnAdvise(nullptr);
  Statistics stats = p.bridge.CurrentStatistics();
  EXPECT_EQ(stats.Sources[3].NotRead, 3u);
  EXPECT_EQ(stats.Sources[3].Received, 2u) << "an empty text is not a text received";
  EXPECT_EQ(stats.Sources[3].Filtered, 0u) << "nor one filtered as too short";
  EXPECT_EQ(stats.Sources[0].NotRead, 0u);
  const std::string report = "Posfix: texts arrive empty; restart the decoder program";
  EXPECT_EQ(p.Panel(5), report);
  EXPECT_NE(p.form.TrayTip().find(" 3 not read"), std::string::npos);
  std::string log = ReadLog();
  const auto first = log.find(report);
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(log.find(report, first + 1), std::string::npos) << "reported once, not for every text";

  // Linked again (the decoder restarted): reported again when it recurs.
  p.Click(kCmdPosfix);
  p.Click(kCmdPosfix);
  ASSERT_TRUE(p.Checked(kCmdPosfix));
  p.bridge.Links().Box(DecoderLinks::PosfixIn).OnAdvise(nullptr);
  log = ReadLog();
  EXPECT_NE(log.find(report, log.find(report) + 1), std::string::npos);
  EXPECT_EQ(p.bridge.CurrentStatistics().Sources[3].NotRead, 4u);
}

TEST_F(DecoderSources, EveryTextArrivesWhileOtherProgramsAreLinkedToTheSameDecoder) {
  // Two bare DDE clients linked to the decoder besides the program. Under
  // Wine the decoder's DDE library gives each text's item name one
  // reference for all its links, and the library of each client that takes
  // the text deletes one: a client that takes it after another would find
  // the name gone and its library would throw the text away.
  const std::wstring feed = WriteFeed({Downlink("BA0286", "SEQ {seq}")});
  DecoderSimulator sim(L"--services SkySpy --feed " + feed + L" --count 300 --interval 5 --wait-links 3 --quiet", true);
  ASSERT_TRUE(sim.Ready());
  std::vector<std::unique_ptr<ChildProcess>> others;
  for (const wchar_t* ready : {L"a.ready", L"b.ready"}) {
    others.push_back(std::make_unique<ChildProcess>(
        L"tools\\dde_counter.exe",
        L"--services SkySpy --count 300 --idle-exit 5000 --ready-file " + std::wstring(ready)));
    ASSERT_TRUE(PumpUntil([&] { return GetFileAttributesW(ready) != INVALID_FILE_ATTRIBUTES; }, 20000));
  }
  Program p;
  ASSERT_TRUE(p.Checked(kCmdSkySpy));
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  sim.Start();
  ASSERT_TRUE(client.WaitRecords(300, 20000)) << client.records.size() << " records";
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_EQ(p.bridge.CurrentStatistics().Sources[0].Received, 300u);
  std::set<std::string> texts;
  for (const Record& r : client.records) texts.insert(r.Frame);
  EXPECT_EQ(texts.size(), 300u);
}
