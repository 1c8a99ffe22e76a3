// The JSON inputs on their own: a router without a window, real sockets on
// loopback. A feed is read while the window's thread is busy elsewhere, and
// what comes faster than the router takes is dropped as whole objects and
// counted.

#include "inputs/json_inputs.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/flood_peer.h"
#include "support/loopback.h"
#include "support/message_pump.h"
#include "support/test_router.h"
#include "support/winsock_environment.h"

namespace {

Endpoint UdpEndpoint(int port) {
  return ParseSettings({"--json-in", "udp:127.0.0.1:" + std::to_string(port)}).JsonIn.at(0);
}

// One flat object with a text of its own; every one is the same size.
std::string Object(int i) {
  const std::string n = std::to_string(100000 + i);
  return R"({"mode":"2","label":"H1","block_id":"4","tail":"N123AB","flight":"XY0123","msgno":"M01A",)"
         R"("text":"OBJECT )" +
         n + " " + std::string(200, 'x') + R"("})" + "\n";
}

// Sends objects first..first+count-1 to 127.0.0.1:port, one datagram each,
// in short bursts.
void SendObjects(int port, int first, int count) {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const sockaddr_in to = Loopback(port);
  for (int i = first; i < first + count; ++i) {
    const std::string o = Object(i);
    sendto(s, o.data(), static_cast<int>(o.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (i % 20 == 19) Sleep(10);  // the sender's pace: bursts, as a live feed sends
  }
  closesocket(s);
}

struct JsonInputs : ::testing::Test {
  QuietRouterEvents events;
  MessageRouter router{events};
  JsonFeed::LogSink log = [](const std::string&, const std::string&) {};
};

}  // namespace

TEST_F(JsonInputs, UdpFeedSentWhileTheWindowThreadIsBusyLosesNothing) {
  const int port = FreeTcpPort();
  JsonUdpInput input(UdpEndpoint(port), DecoderSource::AirNavPosfix, router, log);
  // The sender sends 2,000 objects while this thread, the router's, does
  // not look at its messages at all.
  std::thread sender([&] { SendObjects(port, 0, 2000); });
  sender.join();
  ASSERT_TRUE(PumpUntil([&] { return input.Count() + input.Lost() >= 2000; }, 20000))
      << input.Count() << " taken, " << input.Lost() << " lost";
  PumpFor(100);  // a while in which an object too many would be counted, were there one
  EXPECT_EQ(input.Count(), 2000u);
  EXPECT_EQ(input.Lost(), 0u);
  EXPECT_EQ(router.Counters(input.RouterInput()).Received, 2000u);
}

TEST_F(JsonInputs, FloodPastTheInboxLimitDropsWholeObjectsAndCountsThem) {
  const int port = FreeTcpPort();
  const std::size_t size = Object(0).size();
  JsonUdpInput input(UdpEndpoint(port), DecoderSource::AirNavPosfix, router, log, {10 * size, 1000});
  // 25 objects while this thread does not look at its messages: ten fit.
  SendObjects(port, 0, 25);
  ASSERT_TRUE(WaitWithoutPumping([&] { return input.Lost() == 15; })) << input.Lost();
  EXPECT_EQ(input.Count(), 0u) << "nothing reaches the router while its thread is busy";
  ASSERT_TRUE(PumpUntil([&] { return input.Count() == 10; }));
  PumpFor(100);  // a while in which a dropped object would show up late, were it kept
  EXPECT_EQ(input.Count(), 10u);
  EXPECT_EQ(input.Lost(), 15u);
  EXPECT_EQ(router.Counters(input.RouterInput()).Received, 10u);

  // Once the router's thread has taken them, there is room again.
  SendObjects(port, 100, 5);
  ASSERT_TRUE(PumpUntil([&] { return input.Count() == 15; }));
  EXPECT_EQ(input.Lost(), 15u);
}

TEST_F(JsonInputs, TcpInputReadsWhileTheWindowThreadIsBusyAndConnectsAgain) {
  const int port = FreeTcpPort();
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const sockaddr_in sa = Loopback(port);
  ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&sa), sizeof sa), 0);
  listen(listener, 4);
  std::vector<std::string> logs;
  JsonTcpInput input(ParseSettings({"--json-in", "tcp:localhost:" + std::to_string(port)}).JsonIn.at(0),
                     DecoderSource::AirNavPosfix, router,
                     [&](const std::string& d, const std::string& m) { logs.push_back(d + ": " + m); });
  SOCKET feed = accept(listener, nullptr, nullptr);
  ASSERT_NE(feed, INVALID_SOCKET);
  ASSERT_TRUE(WaitWithoutPumping([&] { return input.State() == "connected"; }));
  std::string stream;
  for (int i = 0; i < 500; ++i) stream += Object(i);
  ASSERT_EQ(send(feed, stream.data(), static_cast<int>(stream.size()), 0), static_cast<int>(stream.size()));
  closesocket(feed);
  // The thread notices the end while this one is still busy.
  ASSERT_TRUE(WaitWithoutPumping([&] { return input.State().rfind("retrying in ", 0) == 0; })) << input.State();
  ASSERT_TRUE(PumpUntil([&] { return input.Count() == 500; }));
  EXPECT_EQ(input.Lost(), 0u);
  ASSERT_GE(logs.size(), 2u);
  EXPECT_EQ(logs[0], "JSON in tcp:localhost:" + std::to_string(port) + ": connected");
  EXPECT_EQ(logs[1], "JSON in tcp:localhost:" + std::to_string(port) + ": not connected: closed by the other side");

  // It connects again as the policy says, and reads on.
  feed = accept(listener, nullptr, nullptr);
  ASSERT_NE(feed, INVALID_SOCKET);
  const std::string more = Object(1000);
  send(feed, more.data(), static_cast<int>(more.size()), 0);
  ASSERT_TRUE(PumpUntil([&] { return input.Count() == 501; }));
  EXPECT_EQ(input.State(), "connected");
  closesocket(feed);
  closesocket(listener);
}

// Each input's reader ends within a second of being told, however its peer
// sends: one endless line over TCP, datagrams without pause over UDP.
TEST_F(JsonInputs, EachInputStopsPromptlyWhileItsPeerFloods) {
  for (const auto kind : {FloodPeer::Kind::Tcp, FloodPeer::Kind::Udp}) {
    const bool tcp = kind == FloodPeer::Kind::Tcp;
    SCOPED_TRACE(tcp ? "tcp" : "udp");
    const int port = FreeTcpPort();
    std::optional<FloodPeer> flood;
    std::unique_ptr<JsonInput> input;
    if (tcp) {
      flood.emplace(kind, port);
      input = std::make_unique<JsonTcpInput>(
          ParseSettings({"--json-in", "tcp:127.0.0.1:" + std::to_string(port)}).JsonIn.at(0),
          DecoderSource::AirNavPosfix, router, log);
    } else {
      input = std::make_unique<JsonUdpInput>(UdpEndpoint(port), DecoderSource::AirNavPosfix, router, log);
      flood.emplace(kind, port);
    }
    // The reader is at work: a good deal has gone to it, and over UDP it has
    // skipped datagrams that are no JSON.
    ASSERT_TRUE(WaitWithoutPumping([&] { return flood->Sent() >= (4u << 20) && (tcp || input->Lost() > 100); }))
        << flood->Sent();
    ASSERT_TRUE(flood->Sending());
    const ULONGLONG start = GetTickCount64();
    input.reset();
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_LT(took, 3000u);
    EXPECT_TRUE(!tcp || WaitWithoutPumping([&] { return !flood->Sending(); }, 3000)) << "the connection is closed";
  }
}
