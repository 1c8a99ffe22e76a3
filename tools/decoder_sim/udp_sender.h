#pragma once
// The decoder simulator's datagrams: JSON objects of a replayed capture, to
// one host and port. Owns its Winsock session and socket.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string>

// Sends datagrams to one host and port.
class UdpSender {
 public:
  UdpSender(const std::string& host, long port) {
    WSADATA data;
    mStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (!mStarted || getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return;
    std::memcpy(&mTo, found->ai_addr, sizeof mTo);
    freeaddrinfo(found);
    mSocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  }
  ~UdpSender() {
    if (mSocket != INVALID_SOCKET) closesocket(mSocket);
    if (mStarted) WSACleanup();
  }
  bool Ready() const { return mSocket != INVALID_SOCKET; }
  bool Send(const std::string& bytes) {
    return sendto(mSocket, bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&mTo),
                  sizeof mTo) == static_cast<int>(bytes.size());
  }

 private:
  bool mStarted = false;
  SOCKET mSocket = INVALID_SOCKET;
  sockaddr_in mTo{};
};
