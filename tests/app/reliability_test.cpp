// The program under faults and odd input: dying decoders, a port taken by
// another program, a log it cannot write, texts of every size, an exit
// while the decoders publish, and what stays on the heap. Real processes on
// loopback, bounded in count and time.

#include <windows.h>
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/decoder_texts.h"
#include "support/program_fixture.h"
#include "support/temp_working_dir.h"
#include "ui/app_ids.h"
#include "win32/heap_walk.h"

using namespace app;

namespace {

using Reliability = InTempWorkingDir;

// Bytes in blocks in use on every heap of this process.
std::size_t HeapBytesInUse() {
  std::size_t bytes = 0;
  ForEachHeapBlockInUse([&](std::size_t size) { bytes += size; });
  return bytes;
}

}  // namespace

TEST_F(Reliability, DecoderTextsLeaveNothingBehindOnTheHeap) {
  // 3,000 texts of about 1 KB from one decoder, with nobody connected: each
  // is received, shown and let go. A program that kept anything of each
  // would hold 3 MB more at the end.
  const std::wstring feed = WriteFeed({Downlink("SEQ {seq} " + std::string(1000, 'h'))});
  DecoderSimulator sim(L"--feed " + feed + L" --services SkySpy --count 3000 --wait-links 1 --quiet", true);
  ASSERT_TRUE(sim.Ready());
  Program p;
  const std::size_t input = 0;  // SkySpy
  sim.Start();
  ASSERT_TRUE(PumpUntil([&] { return p.bridge.Router().Counters(input).Received >= 100; }, 10000));
  const std::size_t before = HeapBytesInUse();  // the buffers that are reused have grown by now
  ASSERT_TRUE(PumpUntil([&] { return p.bridge.Router().Counters(input).Received >= 3000; }, 60000));
  EXPECT_EQ(sim.Wait(), 0);
  // The last text shown (the display is paced) and let go.
  EXPECT_TRUE(PumpUntil([&] { return p.Display().find("SEQ 002999") != std::string::npos; }));
  const std::size_t after = HeapBytesInUse();
  EXPECT_LT(after, before + 300 * 1024) << "grew by " << after - before << " bytes over 2,900 texts";
}

TEST_F(Reliability, DecoderThatDiesIsNoticedAndLinkedAgainByItself) {
  Settings settings = TestSettings();
  settings.RelinkSeconds = 1;
  settings.DebugLog = true;
  Program p(settings);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  {
    DecoderSimulator sim(L"--services POSFIX --count 100000 --interval 20 --wait-links 1 --quiet");
    ASSERT_TRUE(sim.Ready());
    ASSERT_TRUE(PumpUntil([&] { return p.Checked(kCmdPosfix); }, 5000));
    ASSERT_TRUE(client.WaitRecords(5));
  }  // killed in the middle of its stream: it ends no conversation
  EXPECT_TRUE(PumpUntil([&] { return !p.Checked(kCmdPosfix); }, 5000));
  const std::size_t before = client.Poll();
  DecoderSimulator sim(L"--services POSFIX --count 5 --wait-links 1 --linger 500 --quiet");
  ASSERT_TRUE(sim.Ready());
  ASSERT_TRUE(client.WaitRecords(before + 5));
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_TRUE(client.reader.Error().empty());
  // Not there at start-up, then linked, gone, linked: one log entry each.
  const std::string log = ReadFile("xmlfile.log");
  const std::string head = "DES: ZADEDEV\r\n\r\nMSG: \r\n";
  std::vector<std::string> changes;
  for (std::size_t at = 0; (at = log.find(head, at)) != std::string::npos; ++at) {
    const std::size_t from = at + head.size();
    changes.push_back(log.substr(from, log.find("\r\n", from) - from));
  }
  ASSERT_EQ(changes.size(), 4u);
  EXPECT_EQ(changes[0], "16394-No DDE server answered for this application and topic.");
  EXPECT_EQ(changes[1], "0-");
  EXPECT_EQ(changes[2], "16398-The DDE server has ended.");
  EXPECT_EQ(changes[3], "0-");
}

TEST_F(Reliability, SupervisionAndRelinkingGoOnWhileDecodersFlood) {
  // Decoders that publish without pause never let the queue empty, and the
  // system makes no WM_TIMER of its own until it does: a decoder started
  // meanwhile must still be linked, a client that leaves must still free the
  // port, and a decoder that ends right after its last text must not lose
  // the texts that still wait behind the others' when its window is gone.
  Settings settings = TestSettings();
  settings.RelinkSeconds = 1;
  settings.DebugLog = true;  // each text takes the bridge longer than its decoder: a backlog builds
  Program p(settings);
  auto first = std::make_unique<StreamClient>(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  const std::wstring feed = WriteFeed({Downlink("SEQ {seq}")});
  DecoderSimulator flood(L"--feed " + feed +
                         L" --services SkySpy,WinACARS,ANAD --count 100000000 --wait-links 3 --quiet");
  ASSERT_TRUE(flood.Ready());
  ASSERT_TRUE(first->WaitRecords(500, 20000));
  constexpr int kLateTexts = 3000;
  DecoderSimulator late(L"--feed " + feed + L" --services POSFIX --count " + std::to_wstring(kLateTexts) +
                        L" --wait-links 1 --wait-timeout 6000 --linger 0 --quiet");
  ASSERT_TRUE(late.Ready());
  EXPECT_TRUE(PumpUntil([&] { return p.Checked(kCmdPosfix); }, 6000));
  first.reset();
  EXPECT_TRUE(p.WaitPanel1("Waiting for Client", 3000)) << p.Panel(1);
  StreamClient second(p.port);
  EXPECT_TRUE(second.WaitRecords(100, 5000));
  EXPECT_EQ(late.Wait(20000), 0);
  const std::size_t posfix = p.bridge.Links().RouterInput(DecoderLinks::PosfixIn);
  EXPECT_TRUE(PumpUntil([&] { return p.bridge.Router().Counters(posfix).Received >= kLateTexts; }, 10000))
      << p.bridge.Router().Counters(posfix).Received << " of the late decoder's texts";
  EXPECT_TRUE(PumpUntil([&] { return !p.Checked(kCmdPosfix); }, 5000)) << "the ended decoder still linked";
  EXPECT_EQ(p.bridge.Router().Counters(posfix).Received, static_cast<std::uint64_t>(kLateTexts));
  EXPECT_TRUE(flood.Running()) << "the flood ended before the checks (exit code " << flood.Wait(0)
                               << "): they prove nothing";
}

TEST_F(Reliability, PortTakenMeanwhileIsRetriedUntilFree) {
  Program p;
  const SOCKET first = ConnectLoopback(p.port);
  ASSERT_NE(first, INVALID_SOCKET);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  // While the client is served nobody listens; another program takes the port.
  SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(static_cast<u_short>(p.port));
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&any), sizeof any), 0) << WSAGetLastError();
  ASSERT_EQ(listen(holder, 1), 0);
  closesocket(first);
  ASSERT_TRUE(p.WaitPanel1("Server disabled"));
  PumpFor(1000);  // the state timer ticks five times: still retrying, still running
  EXPECT_EQ(p.Panel(1), "Server disabled");
  EXPECT_NE(p.Panel(5).find("10048"), std::string::npos) << p.Panel(5);
  closesocket(holder);
  ASSERT_TRUE(p.WaitPanel1("Waiting for Client"));
  EXPECT_EQ(p.Panel(5), "");
  StreamClient client(p.port);
  EXPECT_TRUE(p.WaitPanel1("Client connected"));
}

TEST_F(Reliability, LogHeldByAnotherProgramIsNeverCut) {
  { std::ofstream("xmlfile.log", std::ios::binary) << "kept\r\n"; }
  Program p;
  p.Click(kCmdDebugLog);
  HANDLE other = CreateFileW(L"xmlfile.log", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("SEQ 000001 WHILE HELD"));
  ASSERT_TRUE(client.WaitRecords(1));
  EXPECT_NE(p.Panel(5).find("xmlfile.log"), std::string::npos) << p.Panel(5);
  CloseHandle(other);
  EXPECT_EQ(ReadFile("xmlfile.log"), "kept\r\n");
  p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("SEQ 000002 AFTER"));
  ASSERT_TRUE(client.WaitRecords(2));
  const std::string log = ReadFile("xmlfile.log");
  EXPECT_EQ(log.rfind("kept\r\nDES: SkySpyIn ", 0), 0u);
  EXPECT_NE(log.find("SEQ 000002 AFTER"), std::string::npos);
}

TEST_F(Reliability, TextsOfEverySizeAndShape) {
  // Over DDE: texts of 32,767, 32,768 and a million characters, one of only
  // line breaks and one of repeated labels, then an ordinary message.
  const std::vector<std::string> overDde = {
      Downlink(std::string(32767 - 180, 'c')),
      Downlink(std::string(32768, 'd')),
      Downlink(std::string(1000000, 'e')),
      "\r\n\r\n\r\n\r\n\r\r\r\n\n\n\n",
      "Message label: H1 Message label: SQ Block id: 1 Block id: A Msg. no: Msg. no: 1234 Flight id: Flight id: "
      "Message content:-\r\nMessage content:-\r\n------------------------[------------------------[\r\n",
      Downlink("SEQ 000042 STILL GOING"),
  };
  const std::wstring feed = WriteFeed(overDde);
  DecoderSimulator sim(L"--services ANAD --feed " + feed + L" --wait-links 1 --quiet", true);
  ASSERT_TRUE(sim.Ready());
  Program p;
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  sim.Start();
  ASSERT_TRUE(client.WaitRecords(overDde.size(), 60000)) << client.records.size();
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_TRUE(client.reader.Error().empty());
  EXPECT_EQ(SequenceOf(client.records.back()), 42);
  EXPECT_EQ(client.records[1].Frame.size(), 7 + 1 + 7 + 2 + 1 + 4 + 6 + 32768 + 2u);
  EXPECT_EQ(client.records[2].Header.Length, static_cast<std::int32_t>(7 + 1 + 7 + 2 + 1 + 4 + 6 + 1000000 + 2));

  // Through the box itself, texts of exact lengths and with NUL bytes (DDE
  // text ends at its first NUL): only the empty and the 10-character text
  // are no messages.
  const std::vector<std::string> direct = {"",
                                           std::string(10, 'a'),
                                           std::string(11, 'b'),
                                           "no labels at all in this text, just words",
                                           "Message content:-",
                                           Downlink(std::string("A\0B\0C", 5)),
                                           Downlink("SEQ 000043 STILL GOING")};
  for (const std::string& text : direct) p.bridge.Links().Box(DecoderLinks::AirNavIn).SetText(text);
  ASSERT_TRUE(client.WaitRecords(overDde.size() + direct.size() - 2));
  PumpFor(200);  // a while in which a record too many would arrive, were there one
  EXPECT_EQ(client.Poll(), overDde.size() + direct.size() - 2);
  EXPECT_NE(client.records[client.records.size() - 2].Frame.find(std::string("A\0B\0C", 5)), std::string::npos);
  EXPECT_EQ(SequenceOf(client.records.back()), 43);
}

TEST_F(Reliability, ExitFromTheTrayWhileADecoderPublishesEndsCleanly) {
  // The real program in its own process, its log off, all four decoders
  // publishing without pause until it has gone.
  DecoderSimulator sim(L"--count 1000000 --wait-links 4 --quiet");
  ASSERT_TRUE(sim.Ready());
  const int port = FreeTcpPort();
  ChildProcess program(L"app\\TolvanDDE.exe", L"--port " + std::to_wstring(port));
  ASSERT_TRUE(program.Started());
  StreamClient client(port);
  ASSERT_TRUE(client.WaitRecords(5, 20000)) << client.records.size();

  const HWND window = MainWindowOf(program.Id());
  ASSERT_NE(window, nullptr);
  // The tray menu's Exit, as the popup menu delivers it.
  PostMessageW(window, WM_COMMAND, kTrayExit, 0);
  EXPECT_EQ(program.Wait(30000), 0);
  EXPECT_FALSE(std::filesystem::exists("xmlfile.log")) << "written while the log was off";
  EXPECT_TRUE(client.reader.Error().empty());
}

TEST_F(Reliability, TwoHundredThousandTextsThroughTheFourLinksArriveWholeAndInOrder) {
  // More than a decoder under Wine can post (65,535): four decoders, closed
  // and started again halfway as their users would, 25,000 texts each time;
  // every record whole, none lost, each decoder's in the order it published.
  constexpr int kPerDecoder = 25000;
  const char* const services[] = {"SkySpy", "WinACARS", "ANAD", "POSFIX"};
  Settings settings = TestSettings();
  settings.RelinkSeconds = 1;
  Program p(settings);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  for (int round = 0; round < 2; ++round) {
    std::vector<std::unique_ptr<DecoderSimulator>> sims;
    for (int i = 0; i < 4; ++i) {
      const std::string name = "long" + std::to_string(round) + std::to_string(i) + ".feed";
      std::ofstream(name, std::ios::binary)
          << Downlink("LR00" + std::to_string(round) + std::to_string(i),
                      "SEQ {seq} " + std::string(100 + 50 * i, 'a' + static_cast<char>(i)))
          << "%%\r\n";
      sims.push_back(std::make_unique<DecoderSimulator>(
          L"--feed " + std::wstring(name.begin(), name.end()) + L" --services " +
          std::wstring(services[i], services[i] + std::strlen(services[i])) + L" --count " +
          std::to_wstring(kPerDecoder) + L" --wait-links 1 --wait-timeout 15000 --linger 1000 --quiet"));
      ASSERT_TRUE(sims.back()->Ready());
    }
    ASSERT_TRUE(client.WaitRecords(4u * kPerDecoder * (round + 1), 300000)) << client.records.size() << " records";
    for (auto& sim : sims) EXPECT_EQ(sim->Wait(), 0);
  }
  PumpFor(300);  // a while in which a record too many would arrive, were there one
  EXPECT_EQ(client.Poll(), 8u * kPerDecoder);
  EXPECT_TRUE(client.reader.Error().empty());
  EXPECT_EQ(client.reader.Buffered(), 0u);

  int next[2][4] = {};
  for (const Record& r : client.records) {
    const auto fields = ParseFrameText(r.Frame);
    ASSERT_TRUE(fields);
    const int round = fields->FlightId[4] - '0';
    const int decoder = fields->FlightId[5] - '0';
    ASSERT_TRUE(round >= 0 && round < 2 && decoder >= 0 && decoder < 4) << fields->FlightId;
    ASSERT_EQ(SequenceOf(r), next[round][decoder]) << "round " << round << ", decoder " << decoder;
    if (round == 1) {
      EXPECT_EQ(next[0][decoder], kPerDecoder) << "the second run's texts after the first's";
    }
    EXPECT_EQ(fields->Text.size(), 11u + 100 + 50 * decoder + 2);
    ++next[round][decoder];
  }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(next[1][i], kPerDecoder);
  const Statistics stats = p.bridge.CurrentStatistics();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(stats.Sources[i].NotRead, 0u) << i;
}
