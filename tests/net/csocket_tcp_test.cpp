// CSocket over TCP on loopback: listening, accepting, connecting by address
// and by name, sending values and large buffers, closing from either end.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/csocket.h"
#include "support/csocket_recorder.h"
#include "support/message_pump.h"

TEST(CSocket, NewObjectIsEmpty) {
  const auto s = CSocket::Create();
  EXPECT_EQ(s->State(), 0);
  EXPECT_EQ(s->SocketHandle(), -1);
  EXPECT_EQ(s->Protocol(), 0);
  EXPECT_EQ(s->LocalPort(), 0);
  EXPECT_EQ(s->RemotePort(), 0);
  EXPECT_EQ(s->LocalIP(), "");
  EXPECT_EQ(s->RemoteHost(), "");
  EXPECT_EQ(s->RemoteHostIP(), "");
  EXPECT_EQ(s->BytesReceived(), 0);
}

TEST(CSocket, ListensOnItsPortAndASecondListenerIsRefused) {
  const int port = FreeTcpPort();
  const auto s = CSocket::Create();
  s->SetLocalPort(port);
  s->Listen();
  EXPECT_EQ(s->State(), CSocket::StateListening);
  EXPECT_TRUE(s->Bound());
  EXPECT_EQ(BoundPort(*s), port);
  // Protocol cannot change while there is a socket.
  s->SetProtocol(CSocket::ProtocolUdp);
  EXPECT_EQ(s->Protocol(), CSocket::ProtocolTcp);

  const auto second = CSocket::Create();
  second->SetLocalPort(port);
  try {
    second->Listen();
    FAIL() << "second listener accepted";
  } catch (const SocketError& e) {
    EXPECT_EQ(e.Number, 10048);
    EXPECT_EQ(e.Source, "CSocket.Listen");
    EXPECT_EQ(e.Description, "Address already in use.");
  }
  EXPECT_EQ(second->State(), CSocket::StateClosed);
}

TEST(CSocket, ClosesTheListenerAndAcceptsTheClientOnTheSameObject) {
  Recorder events;
  const auto s = CSocket::Create(&events);
  events.onRequest = [](CSocket& self, std::intptr_t id) {
    self.CloseSocket();
    EXPECT_EQ(self.State(), CSocket::StateClosed);
    self.Accept(id);
  };
  const int port = FreeTcpPort();
  s->SetLocalPort(port);
  s->Listen();
  RawClient client(port);
  ASSERT_TRUE(PumpUntil([&] { return s->State() == CSocket::StateConnected; }));
  EXPECT_EQ(events.events, std::vector<std::string>{"OnConnectionRequest"});
  EXPECT_EQ(s->SocketHandle(), events.lastRequest);
  EXPECT_EQ(s->LocalPort(), port);
  EXPECT_EQ(s->LocalIP(), "127.0.0.1");
  EXPECT_EQ(s->LocalHostName(), "127.0.0.1");
  EXPECT_EQ(s->RemotePort(), PortOf(client.s));
  EXPECT_EQ(s->RemoteHostIP(), "127.0.0.1");
  EXPECT_EQ(s->RemoteHost(), s->RemoteHostIP());
}

TEST(CSocket, ConnectsByAddressAndByNameAndSendsValuesInOrder) {
  Server server;
  Recorder clientEvents;
  const auto byAddress = CSocket::Create(&clientEvents);
  byAddress->Connect("127.0.0.1", server.port);
  EXPECT_EQ(byAddress->State(), CSocket::StateConnecting);
  ASSERT_TRUE(PumpUntil([&] { return byAddress->State() == CSocket::StateConnected; }));
  EXPECT_EQ(clientEvents.events, std::vector<std::string>{"OnConnect 7"});
  EXPECT_EQ(byAddress->LocalIP(), "127.0.0.1");
  ASSERT_TRUE(server.WaitConnected());

  // Header-like bytes, then a string, without pumping in between.
  ByteArray header(16);
  for (std::size_t i = 0; i < header.size(); ++i) header[i] = static_cast<std::uint8_t>(i * 7);
  clientEvents.events.clear();
  byAddress->SendData(header);
  byAddress->SendData(std::string("abc"));
  EXPECT_EQ(clientEvents.events, (std::vector<std::string>{"OnSendProgress 16 0", "OnSendProgress 3 0"}));
  ASSERT_TRUE(PumpUntil([&] { return server.peer->BytesReceived() >= 19 && clientEvents.Count("OnSendComplete"); }));
  PumpFor(100);  // long enough for a second completion to show, if there were one
  EXPECT_EQ(clientEvents.Count("OnSendComplete"), 1);
  EXPECT_EQ(server.peerEvents.events.back(), "OnDataArrival 19");

  SocketValue v = std::string("untouched");
  server.peer->PeekData(v, std::nullopt, 4);
  EXPECT_EQ(AsString(v), std::string("\x00\x07\x0E\x15", 4));
  EXPECT_EQ(server.peer->BytesReceived(), 19);
  server.peer->GetData(v, vbByteArray, 16);
  EXPECT_EQ(std::get<ByteArray>(v), header);
  EXPECT_EQ(server.peer->BytesReceived(), 3);
  server.peer->GetData(v, std::nullopt, 20);  // more than there is: all of it
  EXPECT_EQ(AsString(v), "abc");
  EXPECT_EQ(server.peer->BytesReceived(), 0);
  v = std::string("kept");
  server.peer->GetData(v);  // nothing buffered: the value stays
  EXPECT_EQ(AsString(v), "kept");

  // Numbers and Booleans by type code.
  byAddress->SendData(std::int32_t{1});
  byAddress->SendData(true);
  ASSERT_TRUE(PumpUntil([&] { return server.peer->BytesReceived() >= 6; }));
  server.peer->GetData(v, vbLong, 4);
  EXPECT_EQ(std::get<std::int32_t>(v), 1);
  server.peer->GetData(v, vbBoolean);
  EXPECT_EQ(std::get<bool>(v), true);

  // The second client goes through the host lookup: 4, then 6, then 7.
  Server second;
  Recorder namedEvents;
  const auto byName = CSocket::Create(&namedEvents);
  byName->Connect("localhost", second.port);
  std::vector<std::int32_t> states{byName->State()};
  ASSERT_TRUE(PumpUntil([&] {
    if (states.back() != byName->State()) states.push_back(byName->State());
    return byName->State() == CSocket::StateConnected;
  }));
  EXPECT_EQ(states, (std::vector<std::int32_t>{4, 6, 7}));
  EXPECT_EQ(byName->RemoteHostIP(), "127.0.0.1");
  EXPECT_FALSE(byName->RemoteHost().empty());
  ASSERT_TRUE(second.WaitConnected());
  byName->SendData(std::string("via name"));
  ASSERT_TRUE(PumpUntil([&] { return second.peer->BytesReceived() == 8; }));
  second.peer->GetData(v);
  EXPECT_EQ(AsString(v), "via name");
}

TEST(CSocket, LargeSendToASlowReaderArrivesWholeAndInOrder) {
  Recorder listenerEvents, events;
  const auto listener = CSocket::Create(&listenerEvents);
  const auto peer = CSocket::Create(&events);
  listener->Bind(0, "127.0.0.1");
  listener->Listen();
  listenerEvents.onRequest = [&](CSocket&, std::intptr_t id) { peer->Accept(id); };
  RawClient reader(BoundPort(*listener));
  ASSERT_TRUE(PumpUntil([&] { return peer->State() == CSocket::StateConnected; }));

  ByteArray first(16 << 20), second(1 << 20);
  for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<std::uint8_t>(i * 31 + (i >> 16));
  for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<std::uint8_t>(i * 17 + 5);
  peer->SendData(first);
  ASSERT_EQ(events.events.size(), 1u);
  EXPECT_GT(peer->PendingSendBytes(), 0u) << "the socket layer took 16 MB at once";
  EXPECT_EQ(events.events[0], "OnSendProgress " + std::to_string(first.size() - peer->PendingSendBytes()) + " " +
                                  std::to_string(peer->PendingSendBytes()));
  // A second send while bytes wait goes behind them.
  peer->SendData(second);

  std::string received;
  const std::size_t total = first.size() + second.size();
  ASSERT_TRUE(PumpUntil(
      [&] {
        received += reader.ReadAvailable();
        return received.size() >= total;
      },
      60000));
  EXPECT_TRUE(PumpUntil([&] { return events.Count("OnSendComplete") > 0; }, 10000));
  ASSERT_EQ(received.size(), total);
  EXPECT_EQ(std::memcmp(received.data(), first.data(), first.size()), 0);
  EXPECT_EQ(std::memcmp(received.data() + first.size(), second.data(), second.size()), 0);
  EXPECT_EQ(events.Count("OnSendComplete"), 1);
  EXPECT_EQ(events.events.back(), "OnSendComplete");
  EXPECT_EQ(events.events[events.events.size() - 2].substr(events.events[events.events.size() - 2].size() - 2), " 0");
}

TEST(CSocket, ClosingTakesTheOwnerAndThePeer) {
  Server server;
  RawClient client(server.port);
  ASSERT_TRUE(server.WaitConnected());
  server.peer->CloseSocket();
  EXPECT_EQ(server.peer->State(), CSocket::StateClosing);
  PumpFor(100);  // no close event while the client has not closed its end
  EXPECT_TRUE(server.peerEvents.events.empty());
  EXPECT_EQ(client.ReadAvailable(), "");  // the client sees the end of the stream
  client.Close();
  ASSERT_TRUE(PumpUntil([&] { return server.peer->State() == CSocket::StateClosed; }));
  EXPECT_EQ(server.peerEvents.events, std::vector<std::string>{"OnClose 0"});
  EXPECT_EQ(server.peer->SocketHandle(), -1);
}

TEST(CSocket, SendWithoutDelayTurnsNagleOffOnStreamsOnly) {
  const auto noDelay = [](const CSocket& socket) {
    BOOL on = FALSE;
    int length = sizeof on;
    getsockopt(static_cast<SOCKET>(socket.SocketHandle()), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&on),
               &length);
    return on != FALSE;
  };
  Server server;
  RawClient client(server.port);
  ASSERT_TRUE(server.WaitConnected());
  EXPECT_FALSE(noDelay(*server.peer));  // a socket's default
  EXPECT_TRUE(server.peer->SendWithoutDelay());
  EXPECT_TRUE(noDelay(*server.peer));

  const auto unconnected = CSocket::Create();
  EXPECT_FALSE(unconnected->SendWithoutDelay());
  const auto datagrams = CSocket::Create();
  datagrams->SetProtocol(CSocket::ProtocolUdp);
  datagrams->Bind(0, "127.0.0.1");
  EXPECT_FALSE(datagrams->SendWithoutDelay());
}

TEST(CSocket, PeerThatClosesFirstHandsOverItsLastBytes) {
  Server server;
  std::string taken;
  server.peerEvents.onData = [&](CSocket& s, std::int32_t) {
    SocketValue v;
    s.GetData(v);
    taken += AsString(v);
  };
  {
    RawClient client(server.port);
    ASSERT_TRUE(server.WaitConnected());
    client.Send("last words");
  }
  ASSERT_TRUE(PumpUntil([&] { return server.peer->State() == CSocket::StateClosed; }));
  EXPECT_EQ(taken, "last words");
  ASSERT_GE(server.peerEvents.events.size(), 2u);
  EXPECT_EQ(server.peerEvents.events.front().rfind("OnDataArrival", 0), 0u);
  EXPECT_EQ(server.peerEvents.events.back(), "OnClose 0");
}
