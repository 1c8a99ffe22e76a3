#pragma once
// The decoder simulator's datagrams: JSON objects of a replayed capture, to
// one host and port. Owns its Winsock session and socket.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string>

#include "net/unique_socket.h"

class UdpSender {
 public:
  // Looks the host up once; Ready() says whether that and the socket worked.
  UdpSender(const std::string& host, long port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return;
    std::memcpy(&mTo, found->ai_addr, sizeof mTo);
    freeaddrinfo(found);
    mSocket.reset(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  }
  bool Ready() const { return static_cast<bool>(mSocket); }
  bool Send(const std::string& bytes) {
    return sendto(mSocket.get(), bytes.data(), static_cast<int>(bytes.size()), 0,
                  reinterpret_cast<const sockaddr*>(&mTo), sizeof mTo) == static_cast<int>(bytes.size());
  }

 private:
  WinsockSession mWinsock;  // outlives the socket
  UniqueSocket mSocket;
  sockaddr_in mTo{};
};
