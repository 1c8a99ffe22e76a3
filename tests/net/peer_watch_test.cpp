// A connection can tell a living peer from a vanished one: every TCP
// connection CSocket makes or accepts has the keepalive on, the system's
// record of a connection's unacknowledged bytes is read (the kernel's
// table under Wine), and what a living peer received counts as arrived.
// The peer that really vanishes is tested in a private network namespace
// (tests/app/vanished_peer_test.sh).

#include "net/peer_watch.h"

#include <gtest/gtest.h>

#include <string>

#include "net/csocket.h"
#include "support/csocket_recorder.h"
#include "support/message_pump.h"

namespace {

bool KeepAliveOn(std::intptr_t handle) {
  BOOL on = FALSE;
  int length = sizeof on;
  getsockopt(static_cast<SOCKET>(handle), SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<char*>(&on), &length);
  return on != FALSE;
}

sockaddr_in Address(const char* dotted, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = inet_addr(dotted);
  a.sin_port = htons(static_cast<u_short>(port));
  return a;
}

}  // namespace

TEST(PeerWatch, EveryConnectionMadeOrAcceptedWatchesForAVanishedPeer) {
  Server server;
  Recorder events;
  const auto client = CSocket::Create(&events);
  client->Connect("127.0.0.1", server.port);
  ASSERT_TRUE(server.WaitConnected());
  ASSERT_TRUE(PumpUntil([&] { return client->State() == CSocket::StateConnected; }));
  EXPECT_TRUE(KeepAliveOn(client->SocketHandle())) << "connected";
  EXPECT_TRUE(KeepAliveOn(server.peer->SocketHandle())) << "accepted";
  EXPECT_FALSE(KeepAliveOn(server.listener->SocketHandle())) << "a listener has no peer";
}

TEST(PeerWatch, ReadsTheKernelLineOfItsOwnConnectionOnly) {
  const sockaddr_in local = Address("127.0.0.1", 0x9049), remote = Address("127.0.0.1", 0xE96C);
  struct Case {
    const char* line;
    bool found;
    std::size_t unacknowledged = 0;
    bool retransmitting = false;
  };
  const Case cases[] = {
      {"   1: 0100007F:9049 0100007F:E96C 01 00000200:00000000 01:0000001A 00000003     0 0 51533 1", true, 0x200,
       true},
      {"   1: 0100007F:9049 0100007F:E96C 01 00000000:00000000 00:00000000 00000000     0 0 51533 1", true, 0, false},
      {"   1: 0100007F:9049 0100007F:E96C 01 00000001:00000000 04:00000010 00000000     0 0 51533 1", true, 1, false},
      {"   2: 0100007F:E96C 0100007F:9049 01 00000200:00000000 01:0000001A 00000003     0 0 51532 1", false},
      {"   3: 0100007F:9049 0200007F:E96C 01 00000200:00000000 01:0000001A 00000003     0 0 51532 1", false},
      {"  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid", false},
      {"   1: 0100007F:9049 0100007F:E96C 01 00000200", false},
      {"", false},
  };
  for (const Case& c : cases) {
    const auto progress = TcpProgressTable::ParseLine(c.line, local, remote);
    ASSERT_EQ(progress.has_value(), c.found) << c.line;
    if (!progress) continue;
    EXPECT_EQ(progress->Unacknowledged, c.unacknowledged) << c.line;
    EXPECT_EQ(progress->Retransmitting, c.retransmitting) << c.line;
  }
}

TEST(PeerWatch, WhatALivingPeerReceivedCountsAsArrived) {
  Server server;
  RawClient client(server.port);
  ASSERT_TRUE(server.WaitConnected());
  // The system knows the connection (it lists it, or answers for it).
  const auto progress = TcpProgressTable::Read().Find(static_cast<SOCKET>(server.peer->SocketHandle()));
  ASSERT_TRUE(progress.has_value());
  EXPECT_EQ(progress->Unacknowledged, 0u);
  EXPECT_FALSE(progress->Retransmitting);
  EXPECT_FALSE(TcpProgressTable::Read().Find(static_cast<SOCKET>(server.listener->SocketHandle())).has_value());

  // The client reads nothing: its system acknowledges all the same.
  server.peer->SendData(std::string(100000, 'x'));
  EXPECT_GT(server.peer->UnacknowledgedBytes(), 0u) << "not asked yet";
  EXPECT_TRUE(PumpUntil([&] { return server.peer->UnacknowledgedBytes(true) == 0; }));
  EXPECT_FALSE(server.peer->AwaitsAcknowledgement());
  // Once the connection has ended, it still tells what it held then.
  server.peer->CloseSocket();
  client.Close();
  ASSERT_TRUE(PumpUntil([&] { return server.peer->State() == CSocket::StateClosed; }));
  EXPECT_EQ(server.peer->UnacknowledgedBytes(), 0u);
}
