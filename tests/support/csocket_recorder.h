#pragma once
// Helpers of the CSocket tests: an owner that records every event of its
// sockets, a plain client of the test, and a listener whose requests are
// accepted into a second object.

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/csocket.h"
#include "support/loopback.h"
#include "support/message_pump.h"

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

// The local port of a CSocket's socket.
inline int BoundPort(const CSocket& s) {
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
  std::string ReadAvailable() { return ::ReadAvailable(NonBlocking(s)); }
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

// Two datagram sockets on loopback ports: `b` sends to `a`.
struct DatagramPair {
  Recorder aEvents, bEvents;
  std::shared_ptr<CSocket> a = CSocket::Create(&aEvents);
  std::shared_ptr<CSocket> b = CSocket::Create(&bEvents);
  explicit DatagramPair(bool reverseLookups = true) {
    a->SetProtocol(CSocket::ProtocolUdp);
    b->SetProtocol(CSocket::ProtocolUdp);
    if (!reverseLookups) a->SetReverseLookups(false);
    a->Bind(0, "127.0.0.1");
    b->Bind(0, "127.0.0.1");
    b->SetRemoteHost("127.0.0.1");
    b->SetRemotePort(BoundPort(*a));
  }
};

inline std::string AsString(const SocketValue& v) {
  return std::get<std::string>(v);
}
