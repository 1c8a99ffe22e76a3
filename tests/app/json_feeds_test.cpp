// The JSON feeds end to end: the program in this process, real sockets on
// loopback. Out: every message to a UDP reader, a TCP server that goes away
// and comes back, and two readers of a served port, each object matching
// the record the client port got. In: flat and nested objects over UDP and
// TCP beside the DDE decoders, garbage included.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/json_framer.h"
#include "pipeline/single_byte_text.h"
#include "support/decoder_texts.h"
#include "support/loopback.h"
#include "support/program_fixture.h"
#include "support/temp_working_dir.h"
#include "ui/app_ids.h"

using nlohmann::json;
using namespace app;

namespace {

using JsonFeeds = InTempWorkingDir;

// JSON lines from a stream or datagrams.
struct JsonReader {
  JsonReader(SOCKET socket, bool isDatagrams) : s(socket), datagrams(isDatagrams) {}
  SOCKET s;
  bool datagrams;
  JsonFramer framer;
  std::vector<json> objects;
  std::size_t Poll() {
    char buf[65536];
    for (int n; (n = recv(s, buf, sizeof buf, 0)) > 0;) {
      framer.Feed(std::string_view(buf, static_cast<std::size_t>(n)));
      if (datagrams) framer.EndOfDatagram();
    }
    while (auto o = framer.Next()) objects.push_back(json::parse(*o));
    return objects.size();
  }
  bool Wait(std::size_t n, DWORD ms = 20000) {
    return PumpUntil([&] { return Poll() >= n; }, ms);
  }
};

// The content of a JSON object's text, up to its first line break.
std::string FirstLine(const json& o) {
  const std::string text = o.at("text");
  return text.substr(0, text.find('\r'));
}

// Links a decoder by its Source menu item, unless the program has linked it
// by itself already (it looks for missing decoders every few seconds, and a
// click on a linked one would unlink it).
void Link(Program& p, UINT command) {
  if (!p.Checked(command)) p.Click(command);
}

}  // namespace

TEST_F(JsonFeeds, EveryMessageGoesToEachDestinationAndMatchesItsRecord) {
  const int udpPort = FreeTcpPort(), tcpPort = FreeTcpPort(), servePort = FreeTcpPort();
  SOCKET udp = UdpSocket(udpPort);
  SOCKET tcpListener = Listener(tcpPort);
  ASSERT_NE(tcpListener, INVALID_SOCKET);
  Settings settings = TestSettings();
  settings.JsonOut = ParseSettings({"--json-out", "udp:127.0.0.1:" + std::to_string(udpPort), "--json-out",
                                    "tcp:127.0.0.1:" + std::to_string(tcpPort), "--json-out",
                                    "serve:127.0.0.1:" + std::to_string(servePort)})
                         .JsonOut;
  settings.StationId = "XX-TEST";
  settings.Freq = 131.55;
  settings.DecoderFreq[2] = 131.725;
  Program p(settings);
  ASSERT_EQ(p.bridge.Feeds().Feeds().size(), 3u);
  StreamClient client(p.port);
  JsonReader udpReader{udp, true};
  JsonReader tcpReader{AcceptPumping(tcpListener), false};
  ASSERT_NE(tcpReader.s, INVALID_SOCKET);
  JsonReader serveA{ConnectRetrying(servePort), false}, serveB{ConnectRetrying(servePort), false};
  NonBlocking(serveA.s);
  NonBlocking(serveB.s);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  ASSERT_TRUE(PumpUntil([&] { return p.bridge.Feeds().Feeds()[2]->State() == "listening, 2 readers"; }));

  // The four decoders over DDE: 40 messages.
  const std::wstring feed = WriteFeed({Downlink("SEQ {seq} TO SKYSPY"), Downlink("SEQ {seq} \xE9T\xC9 AIRMASTER"),
                                       Downlink("SEQ {seq} ANAD"), Downlink("SEQ {seq} POSFIX")});
  {
    DecoderSimulator sim(L"--feed " + feed + L" --count 40 --wait-links 4 --quiet");
    ASSERT_TRUE(sim.Ready());
    for (UINT command : {kCmdSkySpy, kCmdAirmaster, kCmdAirNav, kCmdPosfix}) Link(p, command);
    ASSERT_TRUE(client.WaitRecords(40));
    EXPECT_EQ(sim.Wait(), 0);
  }
  ASSERT_TRUE(udpReader.Wait(40)) << udpReader.objects.size();
  ASSERT_TRUE(tcpReader.Wait(40)) << tcpReader.objects.size();
  ASSERT_TRUE(serveA.Wait(40));
  ASSERT_TRUE(serveB.Wait(40));

  // Each object stands for the record of the same message.
  std::map<std::string, Record> recordOf;
  for (const Record& r : client.records) recordOf[ParseFrameText(r.Frame)->Text.substr(0, 10)] = r;
  for (const json& o : tcpReader.objects) {
    const std::string seq = FirstLine(o).substr(0, 10);
    ASSERT_EQ(recordOf.count(seq), 1u) << seq;
    const auto fields = ParseFrameText(recordOf[seq].Frame);
    EXPECT_EQ(Utf8ToSingleByte(o["text"].get<std::string>()) + "\r\n", fields->Text) << "all but the final line end";
    EXPECT_EQ(o["tail"], "G-EUPT");
    EXPECT_EQ(o["label"], fields->Label);
    EXPECT_EQ(o["block_id"], fields->BlockId);
    EXPECT_EQ(o["msgno"], fields->MessageNumber);
    EXPECT_EQ(o["flight"], fields->FlightId);
    EXPECT_EQ(o["station_id"], "XX-TEST");
    EXPECT_EQ(o["ack"], false);
    EXPECT_TRUE(o["timestamp"].is_number());
    const int channel = o["channel"];
    EXPECT_DOUBLE_EQ(o["freq"].get<double>(), channel == 2 ? 131.725 : 131.55);
    EXPECT_EQ(o["app"]["name"], "TolvanDDE");
  }
  EXPECT_EQ(FirstLine(tcpReader.objects[1]), "SEQ 000001 \xC3\xA9T\xC3\x89 AIRMASTER")
      << "UTF-8 of the Windows-1252 text";
  for (const auto* reader : {&udpReader, &serveA, &serveB}) {
    for (std::size_t i = 0; i < 40; ++i) EXPECT_EQ(reader->objects[i], tcpReader.objects[i]) << i;
  }

  // The TCP server goes away; what comes meanwhile waits, and arrives in
  // order once it is back.
  closesocket(tcpReader.s);
  closesocket(tcpListener);
  ASSERT_TRUE(PumpUntil([&] { return p.bridge.Feeds().Feeds()[1]->State().rfind("retrying", 0) == 0; }));
  const std::string lost = p.bridge.Feeds().Feeds()[1]->State();
  for (int i = 0; i < 30; ++i)
    p.bridge.Links().Box(DecoderLinks::SkySpyIn).SetText(Downlink("WHILE DOWN " + std::to_string(100 + i)));
  // The lines wait through an attempt to connect again that fails.
  const auto why = [](const std::string& state) { return state.substr(state.find(": ")); };
  ASSERT_TRUE(PumpUntil(
      [&] {
        const std::string state = p.bridge.Feeds().Feeds()[1]->State();
        return state.rfind("retrying", 0) == 0 && why(state) != why(lost);
      },
      10000))
      << lost << " / " << p.bridge.Feeds().Feeds()[1]->State();
  tcpListener = Listener(tcpPort);
  ASSERT_NE(tcpListener, INVALID_SOCKET);
  JsonReader back{AcceptPumping(tcpListener, 70000), false};
  ASSERT_NE(back.s, INVALID_SOCKET);
  ASSERT_TRUE(back.Wait(30));
  for (int i = 0; i < 30; ++i)
    EXPECT_EQ(FirstLine(back.objects[static_cast<std::size_t>(i)]), "WHILE DOWN " + std::to_string(100 + i));
  EXPECT_EQ(p.bridge.Feeds().Feeds()[1]->State(), "connected");
  EXPECT_EQ(p.bridge.Feeds().Feeds()[1]->Count(), 70u);
  EXPECT_EQ(p.bridge.Feeds().Feeds()[1]->Lost(), 0u);
  closesocket(back.s);
  closesocket(tcpListener);
  closesocket(udp);
}

TEST_F(JsonFeeds, SdrFeedsOverUdpAndTcpGoOutAsRecordsBesideTheDecoders) {
  const int udpPort = FreeTcpPort(), tcpPort = FreeTcpPort();
  SOCKET server = Listener(tcpPort);
  ASSERT_NE(server, INVALID_SOCKET);
  Settings settings = TestSettings();
  settings.JsonIn = ParseSettings({"--json-in", "udp:127.0.0.1:" + std::to_string(udpPort), "--json-in",
                                   "tcp:127.0.0.1:" + std::to_string(tcpPort) + ",source=1"})
                        .JsonIn;
  Program p(settings);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  SOCKET feed = AcceptPumping(server);
  ASSERT_NE(feed, INVALID_SOCKET);

  // Garbage to the UDP port from another thread the whole time.
  std::atomic<bool> stop{false};
  std::atomic<long long> garbageSent{0};
  std::thread noise([&] {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const sockaddr_in to = Loopback(udpPort);
    std::mt19937 random(7);
    std::string datagram(60000, '\0');
    while (!stop && garbageSent < 50LL * 1024 * 1024) {
      for (char& c : datagram) c = static_cast<char>(random());
      if (sendto(s, datagram.data(), static_cast<int>(datagram.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to) > 0) {
        garbageSent += static_cast<long long>(datagram.size());
      }
      Sleep(1);  // a steady stream, not a flood that starves the test's own datagrams
    }
    closesocket(s);
  });

  // UDP: flat objects, several to a datagram, "\n", "\r\n" and back to back;
  // a fragment and a link-layer frame are skipped.
  SOCKET udp = UdpSocket(0);
  const sockaddr_in to = Loopback(udpPort);
  auto datagram = [&](const std::string& bytes) {
    sendto(udp, bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  };
  for (int i = 0; i < 20; ++i) {
    const std::string n = std::to_string(1000 + i);
    datagram(R"({"mode":"2","label":"H1","block_id":"4","tail":"N123AB","flight":"XY0123","msgno":"M)" + n.substr(1) +
             R"(","text":"UDP )" + n + R"(\r\n"})" + "\n" + R"({"label":"H1","assstat":"in progress","text":"PART"})" +
             "\r\n" + R"({"mode":"2","label":"SQ","text":"SQ )" + n + R"("}{"vdl2":{"avlc":{"frame_type":"S"}}})");
    PumpFor(5);  // paced like a live feed, so that no datagram is lost to a full buffer
  }
  // TCP: nested objects, sent in pieces.
  auto nested = [](int i) {
    return R"({"vdl2":{"avlc":{"acars":{"err":false,"more":false,"reg":".D-ABCD","mode":"2","label":"_d",)"
           R"("blk_id":"A","ack":"!","msg_text":"TCP )" +
           std::to_string(i) + R"("}}}})" + "\n";
  };
  std::string stream;
  for (int i = 0; i < 10; ++i) stream += nested(i);
  for (std::size_t at = 0; at < stream.size(); at += 37) {
    SendAll(feed, stream.substr(at, 37));
    PumpFor(2);  // each piece on its own, as a slow network delivers them
  }
  // And a decoder over DDE meanwhile.
  const std::wstring ddeFeed = WriteFeed({Downlink("DDE {seq}")});
  DecoderSimulator sim(L"--services POSFIX --feed " + ddeFeed + L" --count 5 --wait-links 1 --quiet");
  ASSERT_TRUE(sim.Ready());
  Link(p, kCmdPosfix);

  ASSERT_TRUE(client.WaitRecords(20 * 2 + 10 + 5, 60000)) << client.records.size();

  // The TCP server goes away and comes back: the bridge connects again.
  closesocket(feed);
  closesocket(server);
  ASSERT_TRUE(PumpUntil([&] { return p.bridge.Feeds().Feeds()[1]->State().rfind("retrying", 0) == 0; }));
  server = Listener(tcpPort);
  ASSERT_NE(server, INVALID_SOCKET);
  feed = AcceptPumping(server, 70000);
  ASSERT_NE(feed, INVALID_SOCKET);
  SendAll(feed, nested(10) + nested(11));
  ASSERT_TRUE(client.WaitRecords(57, 20000)) << client.records.size();
  stop = true;
  noise.join();
  PumpFor(500);  // a while in which a record made of garbage would arrive, were there one
  EXPECT_EQ(client.Poll(), 57u) << "the garbage made no record";
  EXPECT_TRUE(client.reader.Error().empty());

  // In order per input, each well formed.
  std::vector<std::string> udpTexts, tcpTexts, ddeTexts;
  for (const Record& r : client.records) {
    const auto f = ParseFrameText(r.Frame);
    ASSERT_TRUE(f) << ShowControls(r.Frame);
    if (f->Text.rfind("UDP ", 0) == 0) {
      udpTexts.push_back(f->Text);
      EXPECT_EQ(r.Header.Source, 3);
      EXPECT_EQ(f->Address, ".N123AB");
      EXPECT_EQ(f->FlightId, "XY0123");
    } else if (f->Text.rfind("SQ ", 0) == 0) {
      EXPECT_EQ(r.Header.Squitter, 1);
      EXPECT_EQ(f->Address, ".......");
    } else if (f->Text.rfind("TCP ", 0) == 0) {
      tcpTexts.push_back(f->Text);
      EXPECT_EQ(r.Header.Source, 1) << "source=1";
      EXPECT_EQ(r.Header.Uplink, 1);
    } else {
      ddeTexts.push_back(f->Text);
    }
  }
  ASSERT_EQ(udpTexts.size(), 20u);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(udpTexts[static_cast<std::size_t>(i)], "UDP " + std::to_string(1000 + i) + "\r\n");
  ASSERT_EQ(tcpTexts.size(), 12u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(tcpTexts[static_cast<std::size_t>(i)], "TCP " + std::to_string(i));
  EXPECT_EQ(ddeTexts.size(), 5u);
  const Statistics stats = p.bridge.CurrentStatistics();
  ASSERT_EQ(stats.Sources.size(), 6u);
  EXPECT_EQ(stats.Sources[4].Forwarded, 40u);
  EXPECT_GE(stats.Sources[4].Filtered, 40u) << "fragments, link-layer frames and garbage";
  EXPECT_EQ(stats.Sources[5].Forwarded, 12u);
  printf("garbage sent to the UDP input: %lld bytes\n", garbageSent.load());
  closesocket(feed);
  closesocket(server);
  closesocket(udp);
}

// Every field of what reaches the client port from a JSON input stands in
// its place: a field at its width goes out, one past it (or thousands past
// it) makes the object skipped and counted, as does a frame whose check
// failed.
TEST_F(JsonFeeds, AFieldPastItsPlaceOrAFailedCheckIsCountedAndNeverSent) {
  const int udpPort = FreeTcpPort();
  Settings settings = TestSettings();
  settings.JsonIn = ParseSettings({"--json-in", "udp:127.0.0.1:" + std::to_string(udpPort)}).JsonIn;
  Program p(settings);
  StreamClient client(p.port);
  ASSERT_TRUE(p.WaitPanel1("Client connected"));
  const auto flat = [](const char* field, const std::string& value, int n) {
    json o = {{"mode", "2"},       {"label", "H1"},      {"block_id", "4"},
              {"tail", ".N123AB"}, {"flight", "XY0123"}, {"msgno", "M01A"}};
    o[field] = value;
    o["text"] = "CASE " + std::to_string(n);
    return o.dump();
  };
  const auto nested = [](const char* crcOk, int n) {
    return R"({"vdl2":{"avlc":{"acars":{"err":false,"crc_ok":)" + std::string(crcOk) +
           R"(,"reg":".D-ABCD","mode":"2","label":"H1","blk_id":"4","msg_num":"M01","msg_num_seq":"A",)"
           R"("flight":"XY0123","msg_text":"CASE )" +
           std::to_string(n) + R"("}}}})";
  };
  struct Case {
    std::string Object;
    bool Sent;
  };
  const Case cases[] = {
      {flat("tail", "D-ABCDE", 0), true},
      {flat("tail", "D-ABCDEF", 1), false},
      {flat("tail", std::string(30000, 'R'), 2), false},
      {flat("flight", "XY0123", 3), true},
      {flat("flight", "XY01234", 4), false},
      {flat("msgno", "M01AB", 5), false},
      {nested("true", 6), true},
      {nested("false", 7), false},
  };
  SOCKET udp = UdpSocket(0);
  const sockaddr_in to = Loopback(udpPort);
  std::size_t sent = 0;
  for (const Case& c : cases) {
    sendto(udp, c.Object.data(), static_cast<int>(c.Object.size()), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof to);
    sent += c.Sent ? 1 : 0;
    PumpFor(5);
  }
  const std::string last = flat("label", "H2", 99);
  sendto(udp, last.data(), static_cast<int>(last.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  ASSERT_TRUE(client.WaitRecords(sent + 1)) << client.records.size();
  PumpFor(100);
  ASSERT_EQ(client.Poll(), sent + 1);
  std::size_t record = 0;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    if (!cases[i].Sent) continue;
    const auto f = ParseFrameText(client.records[record++].Frame);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Text, "CASE " + std::to_string(i));
    EXPECT_EQ(f->Address.size(), 7u);
    EXPECT_EQ(f->FlightId.size(), 6u);
  }
  EXPECT_EQ(p.bridge.Feeds().Feeds()[0]->Lost(), std::size(cases) - sent);
  EXPECT_EQ(p.bridge.CurrentStatistics().Sources.at(4).Filtered, std::size(cases) - sent);
  closesocket(udp);
}
