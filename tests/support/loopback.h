#pragma once
// Plain loopback sockets of the tests: a free port for each test, so that
// the suite runs while another program holds the usual one, and connects.

#include <winsock2.h>

#include "support/message_pump.h"

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
