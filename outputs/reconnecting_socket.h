#pragma once
// ReconnectingSocket: a TCP connection to a host that the program keeps up:
// connects at once, looks the host's name up again at every attempt (a
// host that vanished is noticed by the socket, see PeerWatch), and after a
// failure tries again as ReconnectPolicy says, on the owner's tick. Used by
// the JSON outputs that connect out. GUI thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/owned_socket.h"
#include "outputs/reconnect_policy.h"

// The state of a connection that waits to be tried again at `retryAt`
// (Unix seconds) after failing for `why`: "retrying in 4 s: why".
std::string RetryingState(double retryAt, const std::string& why);

class ReconnectingSocket : private CSocketEvents {
 public:
  struct Events {
    std::function<void(CSocket&)> Up;    // connected
    std::function<void(CSocket&)> Data;  // bytes arrived; none: they are dropped
    // Lost, or an attempt failed; why. The socket (Current) is still there.
    std::function<void(const std::string&)> Down;
  };

  ReconnectingSocket(std::string host, std::int32_t port, Events events);
  ReconnectingSocket(const ReconnectingSocket&) = delete;
  ReconnectingSocket& operator=(const ReconnectingSocket&) = delete;

  // Tries again when it is time.
  void Tick(double now);
  // The socket while it is connected, else null.
  CSocket* Connected() const;
  // The socket in whatever state, or null between attempts.
  CSocket* Current() const { return mSocket.get(); }
  // "connected", "connecting", "retrying in 4 s: 10061 Connection refused."
  std::string State() const;

 private:
  void Connect();
  void Lose(const std::string& why);
  void OnConnect(CSocket& socket) override;
  void OnClose(CSocket&) override { Lose("closed by the other side"); }
  void OnError(CSocket&, std::int32_t number, std::string& description, std::int32_t, const std::string&,
               const std::string&, std::int32_t, bool&) override {
    Lose(std::to_string(number) + " " + description);
  }
  void OnDataArrival(CSocket& socket, std::int32_t) override {
    if (mEvents.Data) mEvents.Data(socket);
  }

  std::string mHost;
  std::int32_t mPort;
  Events mEvents;
  OwnedSocket mSocket;
  ReconnectPolicy mPolicy;
  double mRetryAt = 0;
  std::string mError;
};
