// The connection the JSON feeds keep up, on its own with real sockets on
// loopback: it connects at once, reports when it is up and when it is lost,
// tries again on the owner's tick as the reconnect policy says, and drops
// what the other side sends unless someone reads it.

#include "outputs/reconnecting_socket.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "router/message_router.h"
#include "support/loopback.h"
#include "support/message_pump.h"

namespace {

// A server of the test on a port of its own, and what the socket reports.
struct ReconnectingSocketTest : ::testing::Test {
  int port = FreeTcpPort();
  SOCKET listener = INVALID_SOCKET;
  SOCKET accepted = INVALID_SOCKET;
  int ups = 0;
  std::vector<std::string> downs;
  std::string data;

  ReconnectingSocket::Events Counting(bool reading) {
    ReconnectingSocket::Events events;
    events.Up = [this](CSocket&) { ++ups; };
    events.Down = [this](const std::string& why) { downs.push_back(why); };
    if (reading) {
      events.Data = [this](CSocket& socket) {
        SocketValue v;
        socket.GetData(v);
        data += std::get<std::string>(v);
      };
    }
    return events;
  }
  void Listen() {
    listener = Listener(port);
    ASSERT_NE(listener, INVALID_SOCKET);
  }
  // Takes the socket's connection and waits until it has said it is up.
  void AcceptAndWaitUp(const ReconnectingSocket& socket, int upsBefore) {
    accepted = AcceptPumping(listener, 20000);
    ASSERT_NE(accepted, INVALID_SOCKET);
    ASSERT_TRUE(PumpUntil([&] { return ups == upsBefore + 1; }, 20000)) << socket.State();
  }
  void TearDown() override {
    if (accepted != INVALID_SOCKET) closesocket(accepted);
    if (listener != INVALID_SOCKET) closesocket(listener);
  }
};

bool Option(const CSocket& socket, int level, int name) {
  BOOL on = FALSE;
  int length = sizeof on;
  getsockopt(static_cast<SOCKET>(socket.SocketHandle()), level, name, reinterpret_cast<char*>(&on), &length);
  return on != FALSE;
}

}  // namespace

TEST_F(ReconnectingSocketTest, ConnectsAtOnceAndReportsUp) {
  Listen();
  ReconnectingSocket socket("127.0.0.1", port, Counting(false));
  EXPECT_EQ(socket.State(), "connecting") << "the attempt starts in the constructor";
  EXPECT_EQ(socket.Connected(), nullptr);
  AcceptAndWaitUp(socket, 0);
  EXPECT_EQ(socket.State(), "connected");
  ASSERT_NE(socket.Connected(), nullptr);
  EXPECT_EQ(socket.Connected()->RemotePort(), port);
  EXPECT_TRUE(Option(*socket.Connected(), SOL_SOCKET, SO_KEEPALIVE)) << "a peer that vanished is noticed";
  EXPECT_TRUE(Option(*socket.Connected(), IPPROTO_TCP, TCP_NODELAY));
  EXPECT_TRUE(downs.empty());
  // Ticks while it is up change nothing.
  socket.Tick(UnixSecondsNow() + 3600);
  EXPECT_EQ(socket.State(), "connected");
  EXPECT_EQ(ups, 1);
}

TEST_F(ReconnectingSocketTest, AfterThePeerClosesReportsDownAndConnectsAgainOnTheTickAfterASecond) {
  Listen();
  ReconnectingSocket socket("127.0.0.1", port, Counting(false));
  AcceptAndWaitUp(socket, 0);
  closesocket(accepted);
  accepted = INVALID_SOCKET;
  ASSERT_TRUE(PumpUntil([&] { return downs.size() == 1; }, 20000)) << socket.State();
  EXPECT_EQ(downs[0], "closed by the other side");
  EXPECT_EQ(socket.State(), "retrying in 1 s: closed by the other side");
  EXPECT_EQ(socket.Connected(), nullptr);

  // Before its time, a tick tries nothing: nobody knocks at the listener.
  socket.Tick(UnixSecondsNow());
  EXPECT_EQ(socket.State().rfind("retrying in ", 0), 0u) << socket.State();
  EXPECT_EQ(accept(listener, nullptr, nullptr), INVALID_SOCKET);
  // A tick after the second connects again.
  socket.Tick(UnixSecondsNow() + 1.5);
  EXPECT_EQ(socket.State(), "connecting");
  AcceptAndWaitUp(socket, 1);
  EXPECT_EQ(socket.State(), "connected");
  EXPECT_EQ(downs.size(), 1u);
}

TEST_F(ReconnectingSocketTest, RefusedAttemptsAreTriedAgainAfterAWaitThatDoubles) {
  // Nobody listens on the port.
  ReconnectingSocket socket("127.0.0.1", port, Counting(false));
  ASSERT_TRUE(PumpUntil([&] { return downs.size() == 1; }, 20000)) << socket.State();
  EXPECT_EQ(downs[0].rfind("10061 ", 0), 0u) << downs[0];
  EXPECT_EQ(socket.State(), "retrying in 1 s: " + downs[0]);
  socket.Tick(UnixSecondsNow());
  EXPECT_EQ(socket.State(), "retrying in 1 s: " + downs[0]) << "not yet";

  socket.Tick(UnixSecondsNow() + 1.5);
  EXPECT_EQ(socket.State(), "connecting");
  ASSERT_TRUE(PumpUntil([&] { return downs.size() == 2; }, 20000)) << socket.State();
  EXPECT_EQ(socket.State(), "retrying in 2 s: " + downs[1]);
  socket.Tick(UnixSecondsNow() + 1.5);
  EXPECT_EQ(socket.State(), "retrying in 2 s: " + downs[1]) << "the second wait is two seconds";
  socket.Tick(UnixSecondsNow() + 2.5);
  ASSERT_TRUE(PumpUntil([&] { return downs.size() == 3; }, 20000)) << socket.State();
  EXPECT_EQ(socket.State(), "retrying in 4 s: " + downs[2]);

  // Once a server is there, the next attempt gets through.
  Listen();
  socket.Tick(UnixSecondsNow() + 4.5);
  AcceptAndWaitUp(socket, 0);
  EXPECT_EQ(socket.State(), "connected");
}

TEST_F(ReconnectingSocketTest, WhatThePeerSendsIsDroppedWithoutAReader) {
  Listen();
  ReconnectingSocket socket("127.0.0.1", port, Counting(false));
  AcceptAndWaitUp(socket, 0);
  const std::string bytes(5000, 'p');
  ASSERT_EQ(send(accepted, bytes.data(), static_cast<int>(bytes.size()), 0), static_cast<int>(bytes.size()));
  // The bytes are taken off the socket and kept nowhere.
  const SOCKET own = static_cast<SOCKET>(socket.Connected()->SocketHandle());
  u_long waiting = 1;
  ASSERT_TRUE(PumpUntil(
      [&] {
        ioctlsocket(own, FIONREAD, &waiting);
        return waiting == 0;
      },
      20000))
      << waiting << " bytes wait";
  EXPECT_EQ(socket.Connected()->BytesReceived(), 0);
  EXPECT_EQ(socket.State(), "connected");
  EXPECT_TRUE(downs.empty());
}

TEST_F(ReconnectingSocketTest, WhatThePeerSendsReachesTheReader) {
  Listen();
  ReconnectingSocket socket("127.0.0.1", port, Counting(true));
  AcceptAndWaitUp(socket, 0);
  const std::string bytes = "{\"hello\":1}\n";
  ASSERT_EQ(send(accepted, bytes.data(), static_cast<int>(bytes.size()), 0), static_cast<int>(bytes.size()));
  ASSERT_TRUE(PumpUntil([&] { return data.size() >= bytes.size(); }, 20000));
  EXPECT_EQ(data, bytes);
}
