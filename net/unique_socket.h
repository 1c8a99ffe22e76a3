#pragma once
// UniqueSocket: a move-only owner of a plain Winsock socket that is not a
// CSocket's (such as a reader thread's), closed exactly once.

#include <windows.h>
#include <winsock2.h>

#include "win32/win32_handles.h"

struct SocketTraits {
  static SOCKET Invalid() { return INVALID_SOCKET; }
  static bool Close(SOCKET s) { return closesocket(s) == 0; }
};
using UniqueSocket = UniqueHandle<SOCKET, SocketTraits>;

// Winsock started for as long as the object lives: for code that uses plain
// sockets beside (or without) CSocket. The service counts its starts.
class WinsockSession {
 public:
  WinsockSession() {
    WSADATA data{};
    mStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockSession() {
    if (mStarted) WSACleanup();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;

 private:
  bool mStarted = false;
};
