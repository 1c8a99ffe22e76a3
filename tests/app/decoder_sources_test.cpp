// The whole road of a message: a decoder simulator process publishes over
// DDE, the program in this process forwards, a client of its port reads.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "pipeline/forwarding.h"
#include "support/program_fixture.h"
#include "support/temp_working_dir.h"
#include "ui/app_ids.h"

namespace fs = std::filesystem;
using namespace app;

namespace {

const auto* const kWinsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

const std::string kSeparator = "***-------------------------------------------------***\r\n";

// The worked example of a downlink.
const std::string kExample =
    "ACARS mode: 2 Aircraft reg: .D-ABCD\r\nMessage label: H1 Block id: 3 Msg. no: M12A\r\nFlight id: XY012A\r\n"
    "Message content:-\r\nPOSITION REPORT\r\n------------------------[ 1 ]\r\n";
const std::string kExampleFrame = std::string(
    "*\x16\x16\x01"
    "2.D-ABCD\x15H13\x02M12AXY012APOSITION REPORT\r\n\x03");
const std::string kHfWithoutFlight =
    "ACARS mode: 2 Aircraft reg: .A6-EDY\r\nMessage label: HF Block id: 1 Msg. no: 0000\r\nFlight id: \r\n"
    "Message content:-\r\nHF DATA;\r\n";

std::string Squitter(const std::string& content) {
  return "ACARS mode: 2 Aircraft reg: .F-GKXA\nMessage label: SQ Block id: S\nMessage content:-\n" + content +
         "\n------------------------[ 5 ]\n";
}
std::string Downlink(const std::string& flight, const std::string& content) {
  return "ACARS mode: 2 Aircraft reg: .G-EUPT\r\nMessage label: H1 Block id: 4 Msg. no: M01A\r\nFlight id: " + flight +
         "\r\nMessage content:-\r\n" + content + "\r\n------------------------[ 2 ]\r\n";
}

class InTempDir : public InTempWorkingDir {
 protected:
  static std::string ReadLog() { return ReadFile("xmlfile.log"); }
  static std::string Entry(const std::string& des, const std::string& msg) {
    return "DES: " + des + "\r\n\r\nMSG: \r\n" + msg + "\r\n" + kSeparator;
  }
};

using DecoderSources = InTempDir;
using Forwarding = InTempDir;

std::string Frame(const Record& r) {
  return r.Frame;
}

}  // namespace

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
  PumpFor(200);
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
    PumpFor(500);
    EXPECT_EQ(client.Poll(), 0u);
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
  PumpFor(300);
  const auto before = airmasterRecords();
  PumpFor(2500);  // two more retries
  EXPECT_FALSE(p.Checked(kCmdAirmaster));
  EXPECT_EQ(airmasterRecords(), before);
  EXPECT_TRUE(p.Checked(kCmdSkySpy));

  // Clicked again, it is linked.
  p.Click(kCmdAirmaster);
  EXPECT_TRUE(p.Checked(kCmdAirmaster));
  EXPECT_TRUE(PumpUntil([&] { return airmasterRecords() > before; }));
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
  EXPECT_NE(p.form.TrayTip().find(" forwarded, 0 lost, 1 client"), std::string::npos);

  // The window opens from the View menu and from the tray menu.
  p.Click(kCmdStatistics);
  ASSERT_NE(p.form.StatisticsView(), nullptr);
  const HWND view = p.form.StatisticsView()->hwnd();
  EXPECT_TRUE(IsWindowVisible(view));
  PumpFor(200);
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
  PumpFor(300);
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

TEST_F(Forwarding, ShortTextsHfFillersAndTheLogEntries) {
  Program p;
  p.Click(kCmdDebugLog);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));

  p.bridge.Links().Box(DecoderLinks::AirNavIn).SetText("0123456789");  // 10 characters: ignored
  p.bridge.Links().Box(DecoderLinks::AirNavIn).SetText(kHfWithoutFlight);
  p.bridge.Links().Box(DecoderLinks::AirNavIn).SetText("ABCDEFGHIJK");  // 11 characters: a record of empty fields
  p.bridge.Links().Box(DecoderLinks::AirNavIn).SetText(kExample);
  ASSERT_TRUE(client.WaitRecords(2));
  PumpFor(200);
  ASSERT_EQ(client.Poll(), 2u);
  EXPECT_EQ(client.records[0].Frame, std::string("*\x16\x16\x01\x15\x02\x03"));
  EXPECT_EQ(client.records[0].Header.Uplink, 1);
  EXPECT_EQ(client.records[1].Frame, kExampleFrame);
  EXPECT_EQ(p.Display(), kExample);
  EXPECT_EQ(p.Panel(2), ".D-ABCD");
  EXPECT_EQ(p.Panel(3), "XY012A");

  const std::string expected =
      Entry("AirNavIn 10", "0123456789") +
      Entry("AirNavIn " + std::to_string(kHfWithoutFlight.size()), kHfWithoutFlight) + Entry("not send Message", "") +
      Entry("AirNavIn 11", "ABCDEFGHIJK") +
      Entry(" \r\n" + std::string("*\x16\x16\x01\x15\x02\x03") + "\r\nBytes: 7", "ABCDEFGHIJK") +
      Entry("AirNavIn " + std::to_string(kExample.size()), kExample) +
      Entry(".D-ABCD XY012A\r\n" + kExampleFrame + "\r\nBytes: 45", kExample);
  EXPECT_EQ(ShowControls(ReadLog()), ShowControls(expected));
}

TEST_F(Forwarding, AMessageRightAfterAnotherIsShownOnceTheTextsPause) {
  Program p;
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("BA0286", "FIRST AFTER A QUIET SECOND"));
  EXPECT_NE(p.Display().find("FIRST AFTER A QUIET SECOND"), std::string::npos);  // at once
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("BA0287", "SECOND RIGHT AFTER"));
  EXPECT_NE(p.Display().find("FIRST AFTER A QUIET SECOND"), std::string::npos) << "shown while texts still came";
  EXPECT_TRUE(PumpUntil([&] { return p.Display().find("SECOND RIGHT AFTER") != std::string::npos; }, 2000));
}

TEST_F(Forwarding, WithoutAClientMessagesAreShownAndDropped) {
  Program p;
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("BA0286", "BEFORE ANY CLIENT"));
  EXPECT_NE(p.Display().find("BEFORE ANY CLIENT"), std::string::npos);
  EXPECT_FALSE(fs::exists("xmlfile.log"));  // the log is off: no file
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  PumpFor(300);
  EXPECT_EQ(client.Poll(), 0u);
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("BA0286", "AFTER"));
  ASSERT_TRUE(client.WaitRecords(1));
  EXPECT_NE(Frame(client.records[0]).find("AFTER"), std::string::npos);
  EXPECT_EQ(client.records[0].Header.Source, 0);
  EXPECT_FALSE(fs::exists("xmlfile.log"));
}

TEST_F(Forwarding, AnUnwritableLogIsReportedAndForwardingGoesOn) {
  fs::create_directory("xmlfile.log");  // in the log's place: cannot be written
  Program p;
  p.Click(kCmdDebugLog);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  p.bridge.Links().Box(DecoderLinks::AM2000In).SetText(kExample);
  p.bridge.Links().Box(DecoderLinks::AM2000In).SetText(kExample);  // the same text twice: two messages
  ASSERT_TRUE(client.WaitRecords(2));
  EXPECT_EQ(client.records[1].Frame, kExampleFrame);
  EXPECT_EQ(client.records[1].Header.Source, 1);
  EXPECT_NE(p.Panel(5).find("xmlfile.log"), std::string::npos) << p.Panel(5);
  const std::string error = p.Panel(5);

  // The client leaves and the server listens again: the log's error stays
  // where the user can read it.
  closesocket(client.s);
  client.s = INVALID_SOCKET;
  ASSERT_TRUE(p.WaitPanel1("Server disabled"));
  ASSERT_TRUE(p.WaitPanel1("Waiting for Client"));
  EXPECT_EQ(p.Panel(5), error);
}

TEST_F(Forwarding, TheDisplayWrapsLongLines) {
  Program p;
  const std::string words = "POSITION REPORT FOLLOWS WITH MANY WORDS ON ONE LONG LINE THAT IS WIDER THAN THE WINDOW";
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("BA0286", words + " " + words));
  ASSERT_NE(p.Display().find(words), std::string::npos);
  // Six lines of text; the long one takes several lines of the box.
  const auto lines = SendMessageW(p.form.dspMsg(), EM_GETLINECOUNT, 0, 0);
  EXPECT_GT(lines, 8) << "a line the width of the window cuts is not wrapped";
  EXPECT_EQ(GetWindowLongW(p.form.dspMsg(), GWL_STYLE) & WS_HSCROLL, 0);
}

TEST_F(Forwarding, TheViewerPrintsTheSampleFeed) {
  DecoderSimulator sim(L"--wait-links 4 --quiet", true);
  ASSERT_TRUE(sim.Ready());
  Program p;
  const fs::path out = dir_ / "viewer.txt";
  ChildProcess viewer(L"tools\\record_viewer.exe",
                      L"--port " + std::to_wstring(p.port) + L" --limit 32 --idle-exit 20000", out.wstring());
  ASSERT_TRUE(p.WaitPanel1("Client connected", 10000));
  sim.Start();
  EXPECT_EQ(viewer.Wait(60000), 0);
  std::ifstream in(out, std::ios::binary);
  const std::string printed{std::istreambuf_iterator<char>(in), {}};
  // The sample's two HF texts without a flight id are not forwarded.
  EXPECT_NE(printed.find("totals: 32 records (SkySpy 8, Airmaster 8, AirNav/Posfix 16)"), std::string::npos) << printed;
  EXPECT_NE(printed.find("0 malformed"), std::string::npos);
  EXPECT_NE(printed.find("mode 2  reg .D-ABCD  label H1  block 3  msg M12A  flight XY012A"), std::string::npos);
  EXPECT_NE(printed.find("text POSITION REPORT<CR><LF>"), std::string::npos);
  EXPECT_NE(printed.find("squitter"), std::string::npos);
  EXPECT_NE(printed.find("uplink"), std::string::npos);
  sim.Wait();
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
  EXPECT_NE(p.form.TrayTip().find(" 3 lost"), std::string::npos);
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
  PumpFor(2500);  // two more retries
  EXPECT_FALSE(p.Checked(kCmdAirmaster));
}
