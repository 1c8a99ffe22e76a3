#include "net/csocket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/socket_support.h"
#include "support/loopback.h"
#include "support/message_pump.h"
#include "support/winsock_environment.h"

namespace {

// Records every event of the sockets it owns, in order, with its arguments.
struct Recorder : CSocketEvents {
  std::vector<std::string> events;
  std::function<void(CSocket&, std::intptr_t)> onRequest;
  std::function<void(CSocket&, std::int32_t)> onData;
  std::intptr_t lastRequest = 0;
  struct {
    std::int32_t number = 0, scode = -1, helpContext = -1;
    std::string description, source = "unset", helpFile = "unset";
    bool cancelDisplay = true;
  } error;

  void OnClose(CSocket& s) override { events.push_back("OnClose " + std::to_string(s.State())); }
  void OnConnect(CSocket& s) override { events.push_back("OnConnect " + std::to_string(s.State())); }
  void OnConnectionRequest(CSocket& s, std::intptr_t id) override {
    lastRequest = id;
    events.push_back(id == -1 ? "OnConnectionRequest -1" : "OnConnectionRequest");
    if (onRequest) onRequest(s, id);
  }
  void OnDataArrival(CSocket& s, std::int32_t total) override {
    events.push_back("OnDataArrival " + std::to_string(total));
    if (onData) onData(s, total);
  }
  void OnError(CSocket&, std::int32_t number, std::string& description, std::int32_t scode, const std::string& source,
               const std::string& helpFile, std::int32_t helpContext, bool& cancelDisplay) override {
    events.push_back("OnError " + std::to_string(number));
    error = {number, scode, helpContext, description, source, helpFile, cancelDisplay};
  }
  void OnSendComplete(CSocket&) override { events.push_back("OnSendComplete"); }
  void OnSendProgress(CSocket&, std::int32_t sent, std::int32_t remaining) override {
    events.push_back("OnSendProgress " + std::to_string(sent) + " " + std::to_string(remaining));
  }
  int Count(const std::string& event) const {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
  }
};

const auto* const kWinsock = ::testing::AddGlobalTestEnvironment(new WinsockEnvironment);

int PortOf(SOCKET s, bool peer = false) {
  sockaddr_in sa{};
  int len = sizeof sa;
  (peer ? getpeername : getsockname)(s, reinterpret_cast<sockaddr*>(&sa), &len);
  return ntohs(sa.sin_port);
}

int BoundPort(const CSocket& s) {
  return PortOf(static_cast<SOCKET>(s.SocketHandle()));
}

// A plain blocking client socket of the test, connected to 127.0.0.1:port.
struct RawClient {
  SOCKET s = INVALID_SOCKET;
  explicit RawClient(int port) {
    s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const sockaddr_in sa = Loopback(port);
    EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa), 0);
  }
  ~RawClient() { Close(); }
  void Close() {
    if (s != INVALID_SOCKET) closesocket(s);
    s = INVALID_SOCKET;
  }
  void Send(const std::string& bytes) { send(s, bytes.data(), static_cast<int>(bytes.size()), 0); }
  // Reads what is there without waiting.
  std::string ReadAvailable() {
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    std::string out;
    char buf[65536];
    for (int n; (n = recv(s, buf, sizeof buf, 0)) > 0;) out.append(buf, n);
    return out;
  }
};

// A listener on an ephemeral loopback port whose requests are accepted into
// `peer`, a second object: the pattern of a server that keeps listening.
struct Server {
  Recorder listenerEvents, peerEvents;
  std::shared_ptr<CSocket> listener = CSocket::Create(&listenerEvents);
  std::shared_ptr<CSocket> peer = CSocket::Create(&peerEvents);
  int port = 0;
  Server() {
    listener->Bind(0, "127.0.0.1");
    listener->Listen();
    port = BoundPort(*listener);
    listenerEvents.onRequest = [this](CSocket&, std::intptr_t id) { peer->Accept(id); };
  }
  bool WaitConnected() {
    return PumpUntil([&] { return peer->State() == CSocket::StateConnected; });
  }
};

std::string AsString(const SocketValue& v) {
  return std::get<std::string>(v);
}

}  // namespace

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
  PumpFor(100);
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
  PumpFor(100);
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
  PumpFor(100);
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

TEST(CSocket, NotificationWithAnErrorDestroysTheSocket) {
  Server server;
  RawClient client(server.port);
  ASSERT_TRUE(server.WaitConnected());
  // An event code the object does not know changes nothing.
  const auto handle = server.peer->SocketHandle();
  server.peer->PostSocketEvent(64, 0);
  EXPECT_EQ(server.peer->State(), CSocket::StateConnected);
  EXPECT_EQ(server.peer->SocketHandle(), handle);
  EXPECT_TRUE(server.peerEvents.events.empty());

  // A close notification carrying "connection reset": error, no OnClose.
  server.peer->PostSocketEvent(32, 10054);
  EXPECT_EQ(server.peer->State(), CSocket::StateError);
  EXPECT_EQ(server.peer->SocketHandle(), -1);
  EXPECT_EQ(server.peerEvents.events, std::vector<std::string>{"OnError 10054"});
  const auto& e = server.peerEvents.error;
  EXPECT_EQ(e.description, "Connection reset by peer.");
  EXPECT_EQ(e.scode, 0);
  EXPECT_EQ(e.source, "");
  EXPECT_EQ(e.helpFile, "");
  EXPECT_EQ(e.helpContext, 0);
  EXPECT_FALSE(e.cancelDisplay);

  // A code outside the table still reaches the owner with its own number.
  server.listener->PostSocketEvent(8, 10999);
  EXPECT_EQ(server.listenerEvents.error.number, 10999);
  EXPECT_EQ(server.listenerEvents.error.description, "Unknown error.");
  EXPECT_EQ(server.listener->State(), CSocket::StateError);
}

TEST(CSocket, OperationsWithoutWhatTheyNeedRaise) {
  const auto s = CSocket::Create();
  try {
    s->SendData(std::string("x"));
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_EQ(e.Number, 40006);
    EXPECT_EQ(e.Source, "CSocket.SendData");
    EXPECT_EQ(e.Description, "Wrong protocol or connection state for the requested transaction or request.");
  }
  try {
    s->Connect();
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_EQ(e.Number, 10049);
    EXPECT_EQ(e.Source, "CSocket.CSocket.Connect");
    EXPECT_EQ(e.Description, "Cannot assign requested address.");
  }
  EXPECT_EQ(s->State(), CSocket::StateClosed);
  s->CloseSocket();  // nothing open: nothing happens
  s->CloseSocket();
  EXPECT_EQ(s->State(), CSocket::StateClosed);
  try {
    s->Bind(0, "not an address");
    FAIL();
  } catch (const SocketError& e) {
    EXPECT_EQ(e.Source, "CSocket.Bind");
  }
}

TEST(CSocket, FailedLookupReportsAndKeepsTheSocket) {
  Recorder events;
  const auto s = CSocket::Create(&events);
  s->Connect("nonexistent.invalid", 1);
  EXPECT_EQ(s->State(), CSocket::StateResolvingHost);
  ASSERT_TRUE(PumpUntil([&] { return s->State() == CSocket::StateError; }, 30000));
  ASSERT_EQ(events.events.size(), 1u);
  EXPECT_GT(events.error.number, 0);
  EXPECT_EQ(events.events[0], "OnError " + std::to_string(events.error.number));
  EXPECT_EQ(events.error.description, GetErrorDescription(events.error.number));
  EXPECT_NE(s->SocketHandle(), -1);

  // A completion for a lookup that is not the last one started is ignored.
  std::string name = "stale.example";
  std::int32_t code = 0;
  s->PostGetHostEvent(reinterpret_cast<HANDLE>(0x1234), htonl(INADDR_LOOPBACK), name, code);
  EXPECT_EQ(s->State(), CSocket::StateError);
  EXPECT_EQ(s->RemoteHost(), "nonexistent.invalid");
  EXPECT_EQ(events.events.size(), 1u);
}

TEST(CSocket, LookupThatEndsAfterItsObjectIsGoneReachesNobody) {
  Server keeper;  // keeps the hidden window and the service alive
  Recorder events;
  auto s = CSocket::Create(&events);
  s->Connect("localhost", keeper.port);
  EXPECT_EQ(s->State(), CSocket::StateResolvingHost);
  s.reset();
  // A new object may well get the same address; the old answer is not its.
  Recorder otherEvents;
  const auto other = CSocket::Create(&otherEvents);
  // Wait until the lookup's answer has been dispatched.
  bool answered = false;
  const ULONGLONG deadline = GetTickCount64() + 10000;
  while (!answered && GetTickCount64() < deadline) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == MSocketSupport::ResolveMessage()) answered = true;
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  ASSERT_TRUE(answered);
  EXPECT_TRUE(events.events.empty());
  EXPECT_TRUE(otherEvents.events.empty());
  EXPECT_EQ(other->State(), CSocket::StateClosed);
  EXPECT_EQ(keeper.listener->State(), CSocket::StateListening);
}

TEST(CSocket, DatagramsSetTheRemoteEndAndBroadcastIsSwitched) {
  Recorder aEvents, bEvents;
  const auto a = CSocket::Create(&aEvents);
  const auto b = CSocket::Create(&bEvents);
  a->SetProtocol(CSocket::ProtocolUdp);
  b->SetProtocol(CSocket::ProtocolUdp);
  a->Bind(0, "127.0.0.1");
  b->Bind(0, "127.0.0.1");
  b->SetRemoteHost("127.0.0.1");
  b->SetRemotePort(BoundPort(*a));
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

TEST(MSocketSupport, ServiceStartsOnceAndTheWindowFollowsTheSockets) {
  const int startsBefore = MSocketSupport::ServiceStarts();
  const auto a = CSocket::Create();
  const auto b = CSocket::Create();
  EXPECT_EQ(MSocketSupport::ServiceStarts(), startsBefore + 1);
  EXPECT_EQ(MSocketSupport::WindowHandle(), nullptr);

  a->Bind(0, "127.0.0.1");
  const HWND first = MSocketSupport::WindowHandle();
  ASSERT_NE(first, nullptr);
  char title[32] = {};
  GetWindowTextA(first, title, sizeof title);
  EXPECT_STREQ(title, "SOCKET_WINDOW");
  b->Bind(0, "127.0.0.1");
  a->CloseSocket();
  EXPECT_TRUE(IsWindow(first));
  b->CloseSocket();
  EXPECT_EQ(MSocketSupport::WindowHandle(), nullptr);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_TRUE(MSocketSupport::ServiceStarted());  // objects still exist

  a->Bind(0, "127.0.0.1");
  EXPECT_NE(MSocketSupport::WindowHandle(), nullptr);
  EXPECT_FALSE(MSocketSupport::UnregisterSocket(INVALID_SOCKET));
}

TEST(CSocket, HandlerMayPumpAndDropTheLastReference) {
  Server server;
  int nested = 0;
  std::weak_ptr<CSocket> object;
  bool aliveAfterReset = false;
  server.peerEvents.onData = [&](CSocket&, std::int32_t) {
    // Pumping inside a handler lets further notifications of the same object
    // run nested; dropping the owner's reference must not end the dispatch.
    ++nested;
    if (nested == 1) PumpFor(50);
    if (!server.peer) return;
    object = server.peer;
    server.peer.reset();
    aliveAfterReset = !object.expired();
  };
  RawClient client(server.port);
  ASSERT_TRUE(PumpUntil([&] { return server.peer && server.peer->State() == CSocket::StateConnected; }));
  client.Send("one");
  client.Send("two");
  ASSERT_TRUE(PumpUntil([&] { return !server.peer; }));
  EXPECT_GE(nested, 1);
  EXPECT_TRUE(aliveAfterReset) << "the dispatch holds the object while its handler runs";
  EXPECT_TRUE(object.expired()) << "and lets it go afterwards";
  // The support module still serves the other object.
  server.listenerEvents.onRequest = [](CSocket&, std::intptr_t id) { closesocket(static_cast<SOCKET>(id)); };
  RawClient second(server.port);
  ASSERT_TRUE(PumpUntil([&] { return server.listenerEvents.Count("OnConnectionRequest") == 2; }));
}

TEST(CSocket, LookupWhoseHandlerRaisesIsStillForgotten) {
  struct Raising : CSocketEvents {
    int errors = 0;
    void OnError(CSocket&, std::int32_t, std::string&, std::int32_t, const std::string&, const std::string&,
                 std::int32_t, bool&) override {
      ++errors;
      throw std::runtime_error("the owner's handler fails");
    }
  } events;
  auto s = CSocket::Create(&events);
  s->Connect("nonexistent.invalid", 1);
  ASSERT_TRUE(PumpUntil([&] { return events.errors == 1; }, 30000));
  s->CloseSocket();
  s.reset();
  // With no socket and no lookup left, the hidden window goes.
  EXPECT_EQ(MSocketSupport::WindowHandle(), nullptr);
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
  PumpFor(200);
  EXPECT_EQ(events.Count("OnDataArrival 8"), 0) << "nothing is kept, nothing is raised";
  EXPECT_EQ(sender->BytesReceived(), 0);
  EXPECT_EQ(sender->RemotePort(), BoundPort(*destination));

  sender->SendData(std::string("line"));
  ASSERT_TRUE(PumpUntil([&] { return destination->BytesReceived() == 4; }));
  PumpFor(100);
  EXPECT_EQ(stranger->BytesReceived(), 0);
}

TEST(CSocket, WithoutReverseLookupsTheNamesAreTheAddresses) {
  Recorder aEvents, bEvents;
  const auto a = CSocket::Create(&aEvents);
  const auto b = CSocket::Create(&bEvents);
  a->SetProtocol(CSocket::ProtocolUdp);
  b->SetProtocol(CSocket::ProtocolUdp);
  a->SetReverseLookups(false);
  a->Bind(0, "127.0.0.1");
  b->Bind(0, "127.0.0.1");
  b->SetRemoteHost("127.0.0.1");
  b->SetRemotePort(BoundPort(*a));
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
