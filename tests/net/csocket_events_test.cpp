// CSocket's notifications and their failures: error events, operations
// without what they need, host lookups that fail or outlive their object,
// the support module's hidden window, and handlers that pump or raise.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/csocket.h"
#include "net/socket_support.h"
#include "support/csocket_recorder.h"
#include "support/message_pump.h"

// A host name the resolver refuses without asking any name server (a label
// of 64 characters, one past the limit): its lookup fails at once, however
// slow the network's name service happens to be.
const std::string kUnresolvable = std::string(64, 'x') + ".invalid";

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
  s->Connect(kUnresolvable, 1);
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
  EXPECT_EQ(s->RemoteHost(), kUnresolvable);
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
    if (nested == 1) PumpFor(50);  // a while of pumping, in which the second notification runs nested
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
  s->Connect(kUnresolvable, 1);
  ASSERT_TRUE(PumpUntil([&] { return events.errors == 1; }, 30000));
  s->CloseSocket();
  s.reset();
  // With no socket and no lookup left, the hidden window goes.
  EXPECT_EQ(MSocketSupport::WindowHandle(), nullptr);
}
