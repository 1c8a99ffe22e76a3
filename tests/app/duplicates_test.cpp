// Duplicate suppression through the real window: two decoder simulators on
// "one frequency", and a decoder beside a JSON feed in the flat and the
// HFDL layouts, each message reaching the client once.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "support/decoder_texts.h"
#include "support/program_fixture.h"
#include "support/temp_working_dir.h"
#include "ui/app_ids.h"

using namespace app;

namespace {

using Duplicates = InTempWorkingDir;

std::string Downlink(char blockId, const std::string& content) {
  return ::Downlink("BA0286", content, blockId);
}

// A feed file of its own for each simulator; its path quoted.
std::wstring Feed(const char* name, const std::vector<std::string>& texts) {
  std::ofstream out(name, std::ios::binary);
  for (const auto& t : texts) out << t << "%%\r\n";
  return L"\"" + std::filesystem::absolute(name).wstring() + L"\"";
}

void Link(Program& p, UINT command) {
  if (!p.Checked(command)) p.Click(command);
}

std::uint64_t Received(Program& p, std::size_t input) {
  return p.bridge.Router().Counters(input).Received;
}

// The texts and block ids of what the client got.
std::multiset<std::string> Arrived(const StreamClient& client) {
  std::multiset<std::string> out;
  for (const Record& r : client.records) {
    const auto f = ParseFrameText(r.Frame);
    EXPECT_TRUE(f.has_value());
    if (f) out.insert(f->BlockId + " " + f->Text.substr(0, f->Text.find('\r')));
  }
  return out;
}

}  // namespace

TEST_F(Duplicates, TwoDecodersOnOneFrequencyReachTheClientOnce) {
  Settings settings = TestSettings();
  settings.DedupSeconds = 60;
  settings.DebugLog = true;
  Program p(settings);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));

  // The second decoder hears every message the first one does; every other
  // one of its texts has another block id, so it is another message.
  DecoderSimulator skyspy(L"--services SkySpy --feed " + Feed("a.feed", {Downlink('4', "TWIN {seq}")}) +
                          L" --count 10 --wait-links 1 --quiet");
  DecoderSimulator posfix(L"--services POSFIX --feed " +
                          Feed("b.feed", {Downlink('4', "TWIN {seq}"), Downlink('5', "TWIN {seq}")}) +
                          L" --count 10 --wait-links 1 --quiet");
  ASSERT_TRUE(skyspy.Ready());
  ASSERT_TRUE(posfix.Ready());
  Link(p, kCmdSkySpy);
  Link(p, kCmdPosfix);
  ASSERT_TRUE(PumpUntil([&] { return Received(p, 0) + Received(p, 3) == 20; }, 30000))
      << Received(p, 0) << " + " << Received(p, 3);
  EXPECT_EQ(skyspy.Wait(), 0);
  EXPECT_EQ(posfix.Wait(), 0);
  ASSERT_TRUE(client.WaitRecords(15));
  EXPECT_EQ(client.Poll(), 15u);

  std::multiset<std::string> expected;
  for (int i = 0; i < 10; ++i) {
    char seq[8];
    snprintf(seq, sizeof seq, "%06d", i);
    expected.insert(std::string("4 TWIN ") + seq);
    if (i % 2 == 1) expected.insert(std::string("5 TWIN ") + seq);
  }
  EXPECT_EQ(Arrived(client), expected);

  const Statistics stats = p.bridge.CurrentStatistics();
  EXPECT_EQ(stats.Sources[0].Duplicates + stats.Sources[3].Duplicates, 5u);
  EXPECT_EQ(stats.Sources[0].Forwarded + stats.Sources[3].Forwarded, 15u);
  EXPECT_EQ(stats.Sources[3].Filtered, 0u);
  const std::string log = ReadFile("xmlfile.log");
  std::size_t logged = 0;
  for (auto at = log.find("duplicate Message from "); at != std::string::npos;
       at = log.find("duplicate Message from ", at + 1)) {
    ++logged;
  }
  EXPECT_EQ(logged, 5u);
}

// A DDE decoder prints a line end after the message's last line; an SDR
// decoder's JSON has none. Whichever comes first goes; the other is left out.
TEST_F(Duplicates, ADecoderAndAJsonFeedOfTheSameMessages) {
  const int udpPort = FreeTcpPort();
  Settings settings = TestSettings();
  settings.DedupSeconds = 60;
  settings.JsonIn = ParseSettings({"--json-in", "udp:127.0.0.1:" + std::to_string(udpPort)}).JsonIn;
  Program p(settings);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  const std::size_t json = 4;

  SOCKET udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const sockaddr_in to = Loopback(udpPort);
  auto datagram = [&](const std::string& bytes) {
    sendto(udp, bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  };
  auto hfdl = [](const std::string& hfnpdu) {
    return R"({"hfdl":{"app":{"name":"dumphfdl","ver":"1.6.1"},"t":{"sec":1765190400,"usec":0},"freq":8927000,)"
           R"("lpdu":{"type":{"id":13,"name":"Unnumbered data"},"hfnpdu":)" +
           hfnpdu + "}}}\n";
  };
  auto hfdlAcars = [&](char blockId, int seq) {
    return hfdl(R"({"type":{"id":255,"name":"Enveloped data"},"acars":{"err":false,"crc_ok":true,"more":false,)"
                R"("reg":".G-EUPT","mode":"2","label":"H1","blk_id":")" +
                std::string(1, blockId) + R"(","ack":"!","flight":"BA0286","msg_num":"M01","msg_num_seq":"A",)" +
                R"("msg_text":"TWIN 00000)" + std::to_string(seq) + R"(\r\nFL370"}})");
  };

  // The JSON feed first: three messages in the flat layout.
  for (int i = 0; i < 3; ++i) {
    datagram(R"({"mode":"2","label":"H1","block_id":"4","tail":"G-EUPT","flight":"BA0286","msgno":"M01A",)"
             R"("text":"TWIN 00000)" +
             std::to_string(i) + R"(\r\nFL370"})" + "\n");
  }
  ASSERT_TRUE(PumpUntil([&] { return Received(p, json) == 3; }));

  // The decoder then: the same three over DDE.
  DecoderSimulator sim(L"--services SkySpy --feed " + Feed("a.feed", {Downlink('4', "TWIN {seq}\r\nFL370")}) +
                       L" --count 3 --wait-links 1 --quiet");
  ASSERT_TRUE(sim.Ready());
  Link(p, kCmdSkySpy);
  ASSERT_TRUE(PumpUntil([&] { return Received(p, 0) == 3; }, 20000));
  EXPECT_EQ(sim.Wait(), 0);

  // Then HFDL: the first message again (a duplicate), one with another
  // block id (not one), and frames without ACARS (skipped).
  datagram(hfdlAcars('4', 0));
  datagram(hfdlAcars('5', 0));
  datagram(hfdl(R"({"type":{"id":209,"name":"Performance data"},"flight_id":"BA0286"})"));
  datagram(R"({"hfdl":{"t":{"sec":1765190400,"usec":0},"spdu":{"src":{"type":"Ground station","id":2}}}})"
           "\n");
  ASSERT_TRUE(PumpUntil([&] { return Received(p, json) == 5 && p.bridge.Router().Counters(json).Skipped == 2; }));
  ASSERT_TRUE(client.WaitRecords(4));
  EXPECT_EQ(client.Poll(), 4u);
  EXPECT_EQ(Arrived(client),
            (std::multiset<std::string>{"4 TWIN 000000", "4 TWIN 000001", "4 TWIN 000002", "5 TWIN 000000"}));
  for (const Record& r : client.records) EXPECT_EQ(r.Header.Source, 3) << "all from the JSON feed";

  const Statistics stats = p.bridge.CurrentStatistics();
  EXPECT_EQ(stats.Sources[0].Received, 3u);
  EXPECT_EQ(stats.Sources[0].Duplicates, 3u);
  EXPECT_EQ(stats.Sources[0].Forwarded, 0u);
  EXPECT_EQ(stats.Sources[json].Duplicates, 1u);
  EXPECT_EQ(stats.Sources[json].Forwarded, 4u);
  EXPECT_EQ(stats.Sources[json].Filtered, 2u) << "the frames without ACARS";
  closesocket(udp);
}

// The window runs on the program's clock: a message repeated by two
// decoders goes out again once a second has passed since it first went.
TEST_F(Duplicates, AfterTheWindowTheSameMessageGoesAgain) {
  Settings settings = TestSettings();
  settings.DedupSeconds = 1;
  Program p(settings);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  const ULONGLONG start = GetTickCount64();
  int sent = 0;
  ASSERT_TRUE(PumpUntil(
      [&] {
        p.bridge.Links()
            .Box(sent++ % 2 == 0 ? DecoderLinks::SkySpyIn : DecoderLinks::PosfixIn)
            .SetText(Downlink('4', "REPEATED"));
        PumpFor(20);
        return client.Poll() >= 2;
      },
      10000));
  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_GE(elapsed, 980u) << "not before the window ended";
  EXPECT_EQ(client.records.size(), 2u);
  const Statistics stats = p.bridge.CurrentStatistics();
  // Every text but the two that went is a duplicate, however few a busy
  // machine managed to send within the window.
  EXPECT_GE(sent, 3);
  EXPECT_EQ(stats.Sources[0].Duplicates + stats.Sources[3].Duplicates, static_cast<std::uint64_t>(sent - 2));
  EXPECT_EQ(stats.Sources[0].Forwarded + stats.Sources[3].Forwarded, 2u);
}
