#pragma once
// OwnedSocket: a CSocket that reports to its owner for as long as this
// object holds it. Closing it (Close, assignment, destruction) detaches the
// owner before the socket is closed, so no event can reach an owner that is
// gone. An event being dispatched holds a reference of its own: the socket
// outlives a Close from inside its own handler.

#include <memory>
#include <utility>

#include "net/csocket.h"

class OwnedSocket {
 public:
  OwnedSocket() = default;
  explicit OwnedSocket(CSocketEvents* owner) : mSocket(CSocket::Create(owner)) {}
  ~OwnedSocket() { Close(); }
  OwnedSocket(OwnedSocket&& other) noexcept : mSocket(std::move(other.mSocket)) {}
  OwnedSocket& operator=(OwnedSocket&& other) noexcept {
    if (this != &other) {
      Close();
      mSocket = std::move(other.mSocket);
    }
    return *this;
  }
  OwnedSocket(const OwnedSocket&) = delete;
  OwnedSocket& operator=(const OwnedSocket&) = delete;

  // Detaches the owner and closes the socket; nothing when there is none.
  void Close() noexcept {
    if (!mSocket) return;
    const std::shared_ptr<CSocket> socket = std::move(mSocket);
    socket->SetOwner(nullptr);
    try {
      socket->CloseSocket();
    } catch (...) {
      // A socket that cannot be closed cleanly is given up all the same.
    }
  }

  CSocket* get() const { return mSocket.get(); }
  CSocket* operator->() const { return mSocket.get(); }
  CSocket& operator*() const { return *mSocket; }
  explicit operator bool() const { return mSocket != nullptr; }

 private:
  std::shared_ptr<CSocket> mSocket;
};
