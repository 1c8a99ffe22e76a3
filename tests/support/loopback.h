#pragma once
// Plain loopback sockets of the tests: a free port for each test, so that
// the suite runs while another program holds the usual one, connects,
// listeners, datagram sockets and the read and send loops around them.

#include <winsock2.h>

#include <string>

#include "support/message_pump.h"
#include "support/winsock_environment.h"

// A TCP port on which nothing listens now: each test serves on its own, so
// that the suite runs while another program holds the usual one.
inline int FreeTcpPort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  int size = sizeof sa;
  getsockname(s, reinterpret_cast<sockaddr*>(&sa), &size);
  closesocket(s);
  return ntohs(sa.sin_port);
}

// 127.0.0.1:port.
inline sockaddr_in Loopback(int port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<u_short>(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return sa;
}

// The local port of `s`, or with `peer` the port of its other end.
inline int PortOf(SOCKET s, bool peer = false) {
  sockaddr_in sa{};
  int len = sizeof sa;
  (peer ? getpeername : getsockname)(s, reinterpret_cast<sockaddr*>(&sa), &len);
  return ntohs(sa.sin_port);
}

// Makes `s` non-blocking; returns it.
inline SOCKET NonBlocking(SOCKET s) {
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
  return s;
}

// One blocking connect to 127.0.0.1:port; INVALID_SOCKET when refused.
inline SOCKET ConnectLoopback(int port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const sockaddr_in sa = Loopback(port);
  if (connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return s;
  closesocket(s);
  return INVALID_SOCKET;
}

// Connects while pumping messages, retrying while the program is between
// two listens; INVALID_SOCKET when it never answered.
inline SOCKET ConnectRetrying(int port, DWORD ms = 5000) {
  SOCKET s = INVALID_SOCKET;
  PumpUntil(
      [&] {
        s = ConnectLoopback(port);
        if (s != INVALID_SOCKET) return true;
        PumpFor(5);
        return false;
      },
      ms);
  return s;
}

// A non-blocking TCP listener on 127.0.0.1:port, which may take the port
// again right after an earlier listener of the test closed;
// INVALID_SOCKET when the port is taken.
inline SOCKET Listener(int port, int backlog = 4) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
  const sockaddr_in sa = Loopback(port);
  if (bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 || listen(s, backlog) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return NonBlocking(s);
}

// Accepts on a non-blocking listener, pumping the program's messages
// meanwhile; the connection is non-blocking too. INVALID_SOCKET when nobody
// came within `ms`.
inline SOCKET AcceptPumping(SOCKET listener, DWORD ms = 15000) {
  SOCKET client = INVALID_SOCKET;
  PumpUntil([&] { return (client = accept(listener, nullptr, nullptr)) != INVALID_SOCKET; }, ms);
  return client == INVALID_SOCKET ? client : NonBlocking(client);
}

// A non-blocking UDP socket bound to 127.0.0.1:port (0: any port), with a
// receive buffer large enough for a burst.
inline SOCKET UdpSocket(int port) {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const sockaddr_in sa = Loopback(port);
  bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  int size = 4 << 20;
  setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size), sizeof size);
  return NonBlocking(s);
}

// What waits on a non-blocking stream socket now, without waiting.
inline std::string ReadAvailable(SOCKET s) {
  std::string out;
  char buf[65536];
  for (int n; (n = recv(s, buf, sizeof buf, 0)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  return out;
}

// Sends all of `bytes` on a non-blocking stream socket, pumping the
// program's messages while the socket is full; stops when the connection
// is gone.
inline void SendAll(SOCKET s, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const int n = send(s, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
      return;  // the connection is gone
    } else {
      PumpUntil([&] {
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        timeval none{0, 0};
        return select(0, nullptr, &writable, nullptr, &none) != 0;
      });
    }
  }
}
