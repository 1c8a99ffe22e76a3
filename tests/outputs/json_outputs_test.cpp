// The JSON outputs on their own: a router without a window, real sockets on
// loopback. A UDP output sends each line as a datagram of its own to the
// destination it was given, whoever writes to its socket; a TCP output
// accounts for every line, sent or dropped.

#include "outputs/json_outputs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/decoder_texts.h"
#include "support/loopback.h"
#include "support/message_pump.h"
#include "support/test_router.h"
#include "support/winsock_environment.h"

namespace {

Endpoint OutEndpoint(const std::string& text) {
  return ParseSettings({"--json-out", text}).JsonOut.at(0);
}

// The datagrams that wait on `s` now, each whole; `from` gets the sender
// of the last one.
std::vector<std::string> Datagrams(SOCKET s, sockaddr_in* from = nullptr) {
  std::vector<std::string> out;
  static char buf[65536];
  sockaddr_in sender{};
  int length = sizeof sender;
  for (int n; (n = recvfrom(s, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&sender), &length)) >= 0;
       length = sizeof sender) {
    out.emplace_back(buf, static_cast<std::size_t>(n));
    if (from) *from = sender;
  }
  return out;
}

// Collects datagrams while pumping until `count` have come.
bool WaitDatagrams(SOCKET s, std::vector<std::string>& got, std::size_t count, DWORD ms = 10000,
                   sockaddr_in* from = nullptr) {
  return PumpUntil(
      [&] {
        for (auto& d : Datagrams(s, from)) got.push_back(std::move(d));
        return got.size() >= count;
      },
      ms);
}

struct JsonOutputs : ::testing::Test {
  QuietRouterEvents events;
  MessageRouter router{events};
  std::size_t input = router.AddInput("SkySpy", DecoderSource::SkySpy);
  Settings settings;
  JsonLineEncoder encoder{settings, "1.0"};
  std::vector<std::string> logs;
  JsonFeed::LogSink log = [this](const std::string& d, const std::string& m) { logs.push_back(d + ": " + m); };
  void Send(const std::string& content) { router.Submit(Downlink(content), input); }
};

}  // namespace

TEST_F(JsonOutputs, UdpOutputSendsOnlyToItsDestinationWhoeverWritesToIt) {
  const int port = FreeTcpPort();
  SOCKET destination = UdpSocket(port);
  JsonUdpOutput output(OutEndpoint("udp:127.0.0.1:" + std::to_string(port)), encoder, log);
  router.AddOutput(output);
  Send("FIRST");
  std::vector<std::string> got;
  sockaddr_in source{};
  ASSERT_TRUE(WaitDatagrams(destination, got, 1, 10000, &source));

  // Someone else writes to the output's own port, again and again.
  SOCKET stranger = UdpSocket(0);
  for (int i = 0; i < 50; ++i) {
    sendto(stranger, "hello", 5, 0, reinterpret_cast<const sockaddr*>(&source), sizeof source);
  }
  PumpFor(200);  // a while in which the output's socket takes the stranger's datagrams
  for (int i = 0; i < 5; ++i) Send("AFTER " + std::to_string(i));
  ASSERT_TRUE(WaitDatagrams(destination, got, 6)) << got.size();
  PumpFor(100);  // a while in which a datagram to the stranger would arrive, were there one
  EXPECT_TRUE(Datagrams(stranger).empty()) << "nothing goes to whoever wrote last";
  EXPECT_EQ(got.size(), 6u);
  EXPECT_EQ(output.Count(), 6u);
  EXPECT_EQ(output.Lost(), 0u);
  router.RemoveOutput(output);
  closesocket(stranger);
  closesocket(destination);
}

TEST_F(JsonOutputs, UdpOutputToAHostNameSendsEachLineAsADatagramOfItsOwn) {
  const int port = FreeTcpPort();
  SOCKET destination = UdpSocket(port);
  JsonUdpOutput output(OutEndpoint("udp:localhost:" + std::to_string(port)), encoder, log);
  router.AddOutput(output);
  for (int i = 0; i < 3; ++i) Send("LINE " + std::to_string(i));
  std::vector<std::string> got;
  ASSERT_TRUE(WaitDatagrams(destination, got, 3)) << got.size();
  for (int i = 0; i < 400; ++i) Send("BURST " + std::to_string(i));
  ASSERT_TRUE(WaitDatagrams(destination, got, 403)) << got.size() << " datagrams, " << output.Count() << " sent";
  PumpFor(100);  // a while in which a datagram too many would arrive, were there one
  got.insert(got.end(), Datagrams(destination).begin(), Datagrams(destination).end());
  ASSERT_EQ(got.size(), 403u);
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].find('\n'), got[i].size() - 1) << "one line in datagram " << i;
    const std::string want = i < 3 ? "LINE " + std::to_string(i) : "BURST " + std::to_string(i - 3);
    EXPECT_NE(got[i].find("\"text\":\"" + want + "\""), std::string::npos) << got[i];
  }
  EXPECT_EQ(output.Count(), 403u);
  EXPECT_EQ(output.Lost(), 0u);
  router.RemoveOutput(output);
  closesocket(destination);
}

TEST_F(JsonOutputs, UdpLineTooLargeForADatagramIsDroppedAndTheNextGoesOut) {
  const int port = FreeTcpPort();
  SOCKET destination = UdpSocket(port);
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    Datagrams(destination);
    JsonUdpOutput output(OutEndpoint("udp:" + host + ":" + std::to_string(port)), encoder, log);
    router.AddOutput(output);
    Send("BEFORE");
    std::vector<std::string> got;
    ASSERT_TRUE(WaitDatagrams(destination, got, 1));
    Send(std::string(70000, 'x'));  // more than a datagram holds
    Send("AFTER");
    ASSERT_TRUE(WaitDatagrams(destination, got, 2)) << got.size();
    PumpFor(100);  // a while in which the line too large would arrive, were it sent
    EXPECT_EQ(got.size(), 2u);
    EXPECT_NE(got.back().find("AFTER"), std::string::npos);
    EXPECT_EQ(output.Count(), 2u);
    EXPECT_EQ(output.Lost(), 1u);
    router.RemoveOutput(output);
  }
  closesocket(destination);
}

TEST_F(JsonOutputs, TcpOutputAccountsForTheWaitingLinesWhenTheirSendFails) {
  const int port = FreeTcpPort();
  // Lines that come while there is no server wait.
  JsonTcpOutput output(OutEndpoint("tcp:127.0.0.1:" + std::to_string(port)), encoder, log);
  router.AddOutput(output);
  ASSERT_TRUE(PumpUntil([&] { return output.State().rfind("retrying", 0) == 0; }));
  for (int i = 0; i < 10; ++i) Send("WAITING " + std::to_string(i));

  // A server that resets the connection as soon as it has it: the waiting
  // lines' send fails.
  SOCKET listener = Listener(port);
  ASSERT_NE(listener, INVALID_SOCKET);
  SOCKET accepted = INVALID_SOCKET;
  // Not pumping: the output sees its connection only after the reset.
  ASSERT_TRUE(WaitWithoutPumping(
      [&] {
        output.Tick(UnixSecondsNow());
        fd_set set;
        FD_ZERO(&set);
        FD_SET(listener, &set);
        timeval none{0, 0};
        if (select(0, &set, nullptr, nullptr, &none) != 1) return false;
        accepted = accept(listener, nullptr, nullptr);
        return accepted != INVALID_SOCKET;
      },
      15000));
  const linger reset{1, 0};
  setsockopt(accepted, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
  closesocket(accepted);
  // The output sees its connection, and then that it is gone.
  EXPECT_TRUE(PumpUntil([&] { return output.State().rfind("retrying", 0) == 0; })) << output.State();

  // Each line ends up sent or counted as dropped, never neither.
  SOCKET reader = INVALID_SOCKET;
  std::string received;
  ASSERT_TRUE(PumpUntil(
      [&] {
        output.Tick(UnixSecondsNow());
        if (reader == INVALID_SOCKET) reader = accept(listener, nullptr, nullptr);
        if (reader != INVALID_SOCKET) received += ReadAvailable(NonBlocking(reader));
        return output.Count() + output.Lost() == 10;
      },
      20000))
      << output.Count() << " sent, " << output.Lost() << " lost";
  router.RemoveOutput(output);
  if (reader != INVALID_SOCKET) closesocket(reader);
  closesocket(listener);
}

TEST_F(JsonOutputs, TcpOutputKeepsTheNewestLinesWhileDownAndCountsTheOthers) {
  const int port = FreeTcpPort();
  JsonTcpOutput output(OutEndpoint("tcp:127.0.0.1:" + std::to_string(port)), encoder, log, {4 * 1024 * 1024, 3});
  router.AddOutput(output);
  ASSERT_TRUE(PumpUntil([&] { return output.State().rfind("retrying", 0) == 0; }));
  for (int i = 0; i < 5; ++i) Send("DOWN " + std::to_string(i));
  EXPECT_EQ(output.Lost(), 2u);

  SOCKET listener = Listener(port);
  ASSERT_NE(listener, INVALID_SOCKET);
  SOCKET reader = INVALID_SOCKET;
  std::string received;
  ASSERT_TRUE(PumpUntil(
      [&] {
        output.Tick(UnixSecondsNow());
        if (reader == INVALID_SOCKET) reader = accept(listener, nullptr, nullptr);
        if (reader == INVALID_SOCKET) return false;
        received += ReadAvailable(NonBlocking(reader));
        return std::count(received.begin(), received.end(), '\n') == 3;
      },
      20000));
  EXPECT_EQ(received.find("DOWN 0"), std::string::npos);
  EXPECT_EQ(received.find("DOWN 1"), std::string::npos);
  EXPECT_LT(received.find("DOWN 2"), received.find("DOWN 3"));
  EXPECT_LT(received.find("DOWN 3"), received.find("DOWN 4"));
  EXPECT_EQ(output.Count(), 3u);
  EXPECT_EQ(output.Lost(), 2u);
  router.RemoveOutput(output);
  closesocket(reader);
  closesocket(listener);
}
