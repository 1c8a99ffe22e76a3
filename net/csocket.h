#pragma once
// CSocket: one IPv4 TCP or UDP socket behind an event-driven interface. The
// owner sets properties and calls methods that never wait for the network;
// progress comes back as events on the owner's CSocketEvents.
// Threading: GUI thread only. Events are raised synchronously, from inside
// the owner's own calls or from MSocketSupport's window procedure; a handler
// may call back into the object (GetData, CloseSocket, Accept, SendData) or
// pump messages, and may drop its last reference: every method that raises
// events holds a counted reference until it returns.
// Ownership: always held by std::shared_ptr (CSocket::Create); the object
// owns its socket handle from creation or Accept until DestroySocket.

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/peer_watch.h"
#include "net/socket_error.h"
#include "net/socket_value.h"

class CSocket;

// The seven events. Handlers default to doing nothing.
class CSocketEvents {
 public:
  virtual void OnClose(CSocket&) {}
  virtual void OnConnect(CSocket&) {}
  virtual void OnConnectionRequest(CSocket&, std::intptr_t /*requestID*/) {}
  virtual void OnDataArrival(CSocket&, std::int32_t /*bytesTotal*/) {}
  // Number carries the socket layer's code as it came; Description and
  // CancelDisplay may be written by the handler, and are not read back.
  virtual void OnError(CSocket&, std::int32_t /*Number*/, std::string& /*Description*/, std::int32_t /*Scode*/,
                       const std::string& /*Source*/, const std::string& /*HelpFile*/, std::int32_t /*HelpContext*/,
                       bool& /*CancelDisplay*/) {}
  virtual void OnSendComplete(CSocket&) {}
  virtual void OnSendProgress(CSocket&, std::int32_t /*bytesSent*/, std::int32_t /*bytesRemaining*/) {}

 protected:
  ~CSocketEvents() = default;
};

class CSocket : public std::enable_shared_from_this<CSocket> {
 public:
  enum : std::int32_t {
    StateClosed = 0,
    StateListening = 2,
    StateResolvingHost = 4,
    StateHostResolved = 5,
    StateConnecting = 6,
    StateConnected = 7,
    StateClosing = 8,
    StateError = 9,
  };
  enum : std::int32_t { ProtocolTcp = 0, ProtocolUdp = 1 };
  static constexpr std::intptr_t kNoSocket = -1;

  // Starts the socket service if needed; raises its start-up error.
  static std::shared_ptr<CSocket> Create(CSocketEvents* owner = nullptr);
  ~CSocket();
  CSocket(const CSocket&) = delete;
  CSocket& operator=(const CSocket&) = delete;

  void SetOwner(CSocketEvents* owner) { mOwner = owner; }

  // Methods.
  void SendData(const SocketValue& varData);
  void PeekData(SocketValue& varData, std::optional<int> varType = {}, std::optional<std::int32_t> maxLen = {});
  void Listen();
  void GetData(SocketValue& varData, std::optional<int> varType = {}, std::optional<std::int32_t> maxLen = {});
  void Connect(std::optional<std::string> strRemoteHost = {}, std::optional<std::int32_t> lngRemotePort = {});
  void CloseSocket();
  void Bind(std::int32_t lngLocalPort = 0, const std::string& strLocalIP = {});
  void Accept(std::intptr_t requestID);
  SOCKET vbSocket();
  // Turns Nagle's algorithm off on a connected TCP socket: for a program
  // that already writes in batches, holding small writes back only adds
  // latency (up to the peer's delayed acknowledgement, tens of
  // milliseconds). Returns whether the socket took the option.
  bool SendWithoutDelay();

  // Properties.
  std::int32_t State() const { return mState; }
  std::intptr_t SocketHandle() const { return static_cast<std::intptr_t>(mSocketHandle); }
  std::int32_t RemotePort() const { return mRemotePort; }
  void SetRemotePort(std::int32_t NewValue) { mRemotePort = NewValue; }
  const std::string& RemoteHostIP() const { return mRemoteHostIP; }
  const std::string& RemoteHost() const { return mRemoteHost; }
  void SetRemoteHost(const std::string& NewValue);
  std::int32_t Protocol() const { return mProtocol; }
  void SetProtocol(std::int32_t NewValue) {
    if (mSocketHandle == INVALID_SOCKET) mProtocol = NewValue;
  }
  std::int32_t LocalPort() const { return mLocalPort; }
  void SetLocalPort(std::int32_t NewValue) { mLocalPort = NewValue; }
  const std::string& LocalIP() const { return mLocalIP; }
  const std::string& LocalHostName() const { return mLocalHostName; }
  // Saturates at the largest 32-bit count; the count itself is 64-bit.
  std::int32_t BytesReceived() const { return Saturated(mBytesReceived); }
  // Bytes handed to SendData and not yet taken by the socket layer.
  std::size_t PendingSendBytes() const { return mSendBuffer.size() - mSendOffset; }
  // Bytes handed to SendData that the peer is not known to have received:
  // those still waiting here, and those the socket layer took without an
  // acknowledgement so far (as last asked; `now` asks the system again).
  // Once the connection has ended, those it held when it ended, until the
  // object connects again.
  std::size_t UnacknowledgedBytes(bool now = false);
  // Once a second, from MSocketSupport: takes in the connection's progress
  // and ends a connection whose data has waited unacknowledged too long
  // (PeerWatch), as the system ends one whose peer vanished: an error event
  // with WSAETIMEDOUT.
  void CheckPeer(const TcpProgressTable& table, double now);
  // Whether CheckPeer has anything to ask the system about.
  bool AwaitsAcknowledgement() const;
  bool Bound() const { return mBound; }
  // Whether host names are looked up for addresses (the remote end of a
  // datagram, the local end of a connection). The lookup waits for the name
  // service on the calling thread; an owner that never reads the names
  // turns it off, and the names are then the dotted addresses.
  void SetReverseLookups(bool on) { mReverseLookups = on; }
  // For a socket that only sends: what arrives is read and thrown away
  // (the remote end stays the one the owner set, and nothing piles up) and
  // no OnDataArrival is raised.
  void SetDiscardIncoming(bool on) { mDiscardIncoming = on; }
  bool Broadcast() const { return mBroadcast; }

  // Entry points for MSocketSupport, and for tests that inject notifications.
  void PostSocketEvent(std::int32_t eventCode, std::int32_t errorCode);
  void PostGetHostEvent(HANDLE lookupHandle, std::uint32_t address, std::string& hostName, std::int32_t& errorCode);

 private:
  struct Passkey {};

 public:
  explicit CSocket(Passkey);

 private:
  bool EnsureSocket();
  void GetBufferSizes();
  void DestroySocket();
  void BindSocket(std::int32_t lngLocalPort, const std::string& strLocalIP);
  void OnAcceptNotification();
  void OnConnectNotification();
  void OnCloseNotification();
  void OnWriteNotification();
  void OnReadNotification();
  void StartConnect(std::uint32_t address);
  std::int32_t RecvToBuffer();
  void SendBufferedData();
  void GetBufferedData(SocketValue& varData, bool peek, std::optional<int> varType, std::optional<std::int32_t> maxLen);
  void RaiseError(std::int32_t number, const std::string& source);
  std::string HostNameOf(const sockaddr_in& address) const;
  static std::int32_t Saturated(std::uint64_t count);

  CSocketEvents* mOwner = nullptr;

  std::int32_t mLookupPurpose = 0;  // 0 connect, 1 send the waiting datagram
  std::int32_t mProtocol = ProtocolTcp;
  std::int32_t mState = StateClosed;
  std::uint64_t mBytesReceived = 0;
  std::string mLocalHostName;
  std::string mLocalIP;
  std::int32_t mLocalPort = 0;
  std::string mRemoteHost;
  std::string mRemoteHostIP;
  std::int32_t mRemotePort = 0;
  SOCKET mSocketHandle = INVALID_SOCKET;
  HANDLE mLookupHandle = nullptr;
  ByteArray mSendBuffer;        // bytes from mSendOffset on still wait to be sent
  std::size_t mSendOffset = 0;  // bytes at the front already taken by the socket layer
  ByteArray mRecvBuffer;
  std::int32_t mRecvBufferSize = 0;
  std::int32_t mMaxDatagramSize = 0;
  bool mBound = false;
  bool mSendPending = false;
  bool mBroadcast = false;
  bool mReverseLookups = true;
  bool mDiscardIncoming = false;
  ByteArray mRecvScratch;  // reused by every receive call
  // The connection's outgoing bytes: how many the socket layer has taken,
  // how many of them the peer has acknowledged as last asked, since when
  // the system retransmits (0: it does not), and, once the connection has
  // ended, how many were unacknowledged when it did.
  std::uint64_t mBytesTaken = 0;
  std::uint64_t mBytesAcknowledged = 0;
  double mRetransmittingSince = 0;
  std::size_t mLostBytes = 0;
  void StartConnection();
  void TakeProgress(const TcpProgress& progress);
};
