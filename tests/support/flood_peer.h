#pragma once
// A peer that sends without pause, from a thread of its own: one endless
// line to the first connection on its TCP port, or datagrams to a UDP
// port. It stops when told, when its connection goes, or at the latest
// `limitMs` after it started, so that a reader that never stops still lets
// the test end (and fail).

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "support/loopback.h"

class FloodPeer {
 public:
  static constexpr int kSenders = 3;

  enum class Kind { Tcp, Udp };

  // Tcp: listens on 127.0.0.1:port. Udp: sends to 127.0.0.1:port.
  FloodPeer(Kind kind, int port, DWORD limitMs = 8000)
      : mKind(kind), mPort(port), mDeadline(GetTickCount64() + limitMs) {
    if (kind == Kind::Tcp) mListener = Listener(port);
    mThread = std::thread([this] { mKind == Kind::Tcp ? FloodStream() : FloodDatagrams(); });
  }
  ~FloodPeer() {
    Stop();
    if (mListener != INVALID_SOCKET) closesocket(mListener);
  }
  FloodPeer(const FloodPeer&) = delete;
  FloodPeer& operator=(const FloodPeer&) = delete;

  void Stop() {
    mStop = true;
    if (mThread.joinable()) mThread.join();
  }
  std::uint64_t Sent() const { return mSent; }
  // Whether it is sending still (its reader has not gone, and it was not told).
  bool Sending() const { return !mDone; }

 private:
  bool Go() const { return !mStop && GetTickCount64() < mDeadline; }

  // Waits up to 50 ms for `s` to be readable (or writable).
  static bool Ready(SOCKET s, bool write) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait{0, 50000};
    return select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &wait) > 0;
  }

  // Several threads send at once, so that the reader's side never runs dry.
  void RunSenders(const std::function<void()>& send) {
    std::thread helpers[kSenders - 1];
    for (auto& helper : helpers) helper = std::thread(send);
    send();
    for (auto& helper : helpers) helper.join();
    mDone = true;
  }

  void FloodStream() {
    SOCKET s = INVALID_SOCKET;
    while (Go() && s == INVALID_SOCKET) {
      if (Ready(mListener, false)) s = accept(mListener, nullptr, nullptr);
    }
    if (s == INVALID_SOCKET) {
      mDone = true;
      return;
    }
    NonBlocking(s);
    // An object that never closes: one line without end.
    const std::string start = R"({"label":"H1","text":")";
    send(s, start.data(), static_cast<int>(start.size()), 0);
    RunSenders([this, s] {
      const std::string chunk(256 * 1024, 'x');
      while (Go()) {
        const int n = send(s, chunk.data(), static_cast<int>(chunk.size()), 0);
        if (n > 0) {
          mSent += static_cast<std::uint64_t>(n);
        } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
          return;  // the reader has gone
        } else {
          Ready(s, true);
        }
      }
    });
    closesocket(s);
  }

  void FloodDatagrams() {
    RunSenders([this] {
      SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
      const sockaddr_in to = Loopback(mPort);
      const std::string datagram(1000, 'x');
      while (Go()) {
        if (sendto(s, datagram.data(), static_cast<int>(datagram.size()), 0, reinterpret_cast<const sockaddr*>(&to),
                   sizeof to) > 0) {
          mSent += datagram.size();
        }
      }
      closesocket(s);
    });
  }

  const Kind mKind;
  const int mPort;
  const ULONGLONG mDeadline;
  SOCKET mListener = INVALID_SOCKET;
  std::atomic<bool> mStop{false}, mDone{false};
  std::atomic<std::uint64_t> mSent{0};
  std::thread mThread;
};
