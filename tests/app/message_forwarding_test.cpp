// What the program makes of the texts that reach it: records for the client
// port, the display, the debug log's entries, and the record viewer's
// reading of a whole feed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "pipeline/forwarding.h"
#include "support/debug_log_dir.h"
#include "support/decoder_texts.h"
#include "support/program_fixture.h"
#include "ui/app_ids.h"

namespace fs = std::filesystem;
using namespace app;

using Forwarding = InTempDir;

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
  PumpFor(200);  // a while in which a third record would arrive, were there one
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
  PumpFor(300);  // the message from before the client came is not sent late
  EXPECT_EQ(client.Poll(), 0u);
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("BA0286", "AFTER"));
  ASSERT_TRUE(client.WaitRecords(1));
  EXPECT_NE(client.records[0].Frame.find("AFTER"), std::string::npos);
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
  std::string line = words;
  for (int i = 0; i < 5; ++i) line += " " + words;
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("BA0286", line));
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
