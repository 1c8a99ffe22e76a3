// CSocket over UDP on loopback: the remote end a datagram sets, broadcast,
// datagrams too large to send, a socket that discards what arrives, and
// names without reverse lookups.

#include <gtest/gtest.h>

#include <string>

#include "net/csocket.h"
#include "support/csocket_recorder.h"
#include "support/message_pump.h"

TEST(CSocket, DatagramsSetTheRemoteEndAndBroadcastIsSwitched) {
  DatagramPair pair;
  const auto& a = pair.a;
  const auto& b = pair.b;
  b->SendData(std::string("ping"));
  ASSERT_TRUE(PumpUntil([&] { return a->BytesReceived() == 4; }));
  EXPECT_EQ(a->RemotePort(), BoundPort(*b));
  EXPECT_EQ(a->RemoteHostIP(), "127.0.0.1");
  EXPECT_FALSE(a->RemoteHost().empty());
  a->SendData(std::string("pong"));  // goes back to the sender
  ASSERT_TRUE(PumpUntil([&] { return b->BytesReceived() == 4; }));
  SocketValue v;
  b->GetData(v);
  EXPECT_EQ(AsString(v), "pong");

  const auto c = CSocket::Create();
  c->SetProtocol(CSocket::ProtocolUdp);
  auto broadcastOption = [&] {
    BOOL on = FALSE;
    int len = sizeof on;
    getsockopt(static_cast<SOCKET>(c->SocketHandle()), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<char*>(&on), &len);
    return on != FALSE;
  };
  c->SetRemoteHost("192.168.1.255");
  EXPECT_TRUE(c->Broadcast());
  EXPECT_TRUE(broadcastOption());
  c->SetRemoteHost("192.168.1.7");
  EXPECT_FALSE(c->Broadcast());
  EXPECT_FALSE(broadcastOption());
  c->SetRemoteHost("some.host");
  EXPECT_EQ(c->RemoteHost(), "some.host");
  EXPECT_EQ(c->RemoteHostIP(), "192.168.1.7");
}

TEST(CSocket, DatagramThatCannotBeSentIsNotKept) {
  Recorder events;
  const auto receiver = CSocket::Create(&events);
  receiver->SetProtocol(CSocket::ProtocolUdp);
  receiver->Bind(0, "127.0.0.1");
  const auto sender = CSocket::Create();
  sender->SetProtocol(CSocket::ProtocolUdp);
  sender->SetRemoteHost("127.0.0.1");
  sender->SetRemotePort(BoundPort(*receiver));
  EXPECT_THROW(sender->SendData(std::string(70000, 'x')), SocketError) << "larger than a datagram";
  EXPECT_EQ(sender->PendingSendBytes(), 0u);
  sender->SendData(std::string("next"));
  ASSERT_TRUE(PumpUntil([&] { return receiver->BytesReceived() >= 4; }));
  SocketValue v;
  receiver->GetData(v);
  EXPECT_EQ(AsString(v), "next");
}

TEST(CSocket, SocketThatDiscardsWhatArrivesKeepsItsRemoteEnd) {
  Recorder destinationEvents, strangerEvents, events;
  const auto destination = CSocket::Create(&destinationEvents);
  destination->SetProtocol(CSocket::ProtocolUdp);
  destination->Bind(0, "127.0.0.1");
  const auto sender = CSocket::Create(&events);
  sender->SetProtocol(CSocket::ProtocolUdp);
  sender->SetDiscardIncoming(true);
  sender->Bind(0, "127.0.0.1");
  sender->SetRemoteHost("127.0.0.1");
  sender->SetRemotePort(BoundPort(*destination));

  const auto stranger = CSocket::Create(&strangerEvents);
  stranger->SetProtocol(CSocket::ProtocolUdp);
  stranger->Bind(0, "127.0.0.1");
  stranger->SetRemoteHost("127.0.0.1");
  stranger->SetRemotePort(BoundPort(*sender));
  for (int i = 0; i < 20; ++i) stranger->SendData(std::string("redirect"));
  PumpFor(200);  // a while in which the datagrams would show, were they kept
  EXPECT_EQ(events.Count("OnDataArrival 8"), 0) << "nothing is kept, nothing is raised";
  EXPECT_EQ(sender->BytesReceived(), 0);
  EXPECT_EQ(sender->RemotePort(), BoundPort(*destination));

  sender->SendData(std::string("line"));
  ASSERT_TRUE(PumpUntil([&] { return destination->BytesReceived() == 4; }));
  PumpFor(100);  // nor does anything go to the stranger meanwhile
  EXPECT_EQ(stranger->BytesReceived(), 0);
}

TEST(CSocket, WithoutReverseLookupsTheNamesAreTheAddresses) {
  DatagramPair pair(false);
  const auto& a = pair.a;
  const auto& b = pair.b;
  b->SendData(std::string("ping"));
  ASSERT_TRUE(PumpUntil([&] { return a->BytesReceived() == 4; }));
  EXPECT_EQ(a->RemoteHost(), "127.0.0.1");

  Server server;
  Recorder clientEvents;
  const auto client = CSocket::Create(&clientEvents);
  client->SetReverseLookups(false);
  client->Connect("127.0.0.1", server.port);
  ASSERT_TRUE(PumpUntil([&] { return client->State() == CSocket::StateConnected; }));
  EXPECT_EQ(client->LocalHostName(), client->LocalIP());
}
