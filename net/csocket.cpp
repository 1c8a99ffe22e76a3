#include "net/csocket.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include "net/socket_support.h"

using namespace MSocketSupport;

namespace {

constexpr std::int32_t kEventRead = FD_READ;        // 1
constexpr std::int32_t kEventWrite = FD_WRITE;      // 2
constexpr std::int32_t kEventAccept = FD_ACCEPT;    // 8
constexpr std::int32_t kEventConnect = FD_CONNECT;  // 16
constexpr std::int32_t kEventClose = FD_CLOSE;      // 32
constexpr int kListenBacklog = 5;
// Receive size when the socket layer does not tell its buffer size.
constexpr std::int32_t kFallbackRecvSize = 8192;

SocketError LastError(const char* source) {
  return SocketError::FromCode(WSAGetLastError(), source);
}

// A dotted IPv4 address, or nullopt. The parser's failure value is the
// all-ones address, so "255.255.255.255" counts as no address.
std::optional<std::uint32_t> ParseDotted(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const unsigned long a = inet_addr(text.c_str());
  if (a == INADDR_NONE) return std::nullopt;
  return static_cast<std::uint32_t>(a);
}

std::string Dotted(std::uint32_t networkOrder) {
  in_addr a{};
  a.s_addr = networkOrder;
  return StringFromPointer(inet_ntoa(a));
}

sockaddr_in SocketAddress(std::uint32_t address, std::int32_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<u_short>(UnsignedToInteger(port)));
  sa.sin_addr.s_addr = address;
  return sa;
}

std::int32_t PortOf(const sockaddr_in& sa) {
  return IntegerToUnsigned(static_cast<std::int16_t>(ntohs(sa.sin_port)));
}

// Runs `body`; an error it raises is raised again under `source`.
template <typename Body>
void Rethrowing(const char* source, Body&& body) {
  try {
    body();
  } catch (const SocketError& e) {
    throw e.WithSource(source);
  }
}

}  // namespace

std::shared_ptr<CSocket> CSocket::Create(CSocketEvents* owner) {
  auto socket = std::make_shared<CSocket>(Passkey{});
  socket->mOwner = owner;
  return socket;
}

CSocket::CSocket(Passkey) : mMaxDatagramSize(InitWinsockService()) {}

CSocket::~CSocket() {
  try {
    if (mSocketHandle != INVALID_SOCKET) DestroySocket();
  } catch (...) {
    // A refused close has already forgotten the handle; nothing to report to.
  }
  ForgetObject(this);
  CleanupWinsockService();
}

// ---- socket life cycle ----

SOCKET CSocket::vbSocket() {
  const bool udp = mProtocol == ProtocolUdp;
  const SOCKET s = socket(AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM, udp ? IPPROTO_UDP : IPPROTO_TCP);
  if (s == INVALID_SOCKET) return INVALID_SOCKET;
  if (!RegisterSocket(s, this)) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

bool CSocket::EnsureSocket() {
  if (mSocketHandle == INVALID_SOCKET) {
    mSocketHandle = vbSocket();
    if (mSocketHandle == INVALID_SOCKET) return false;
    GetBufferSizes();
  }
  return true;
}

void CSocket::GetBufferSizes() {
  if (mProtocol != ProtocolTcp) {
    mRecvBufferSize = mMaxDatagramSize;
    return;
  }
  int size = 0;
  int length = sizeof size;
  const bool read = getsockopt(mSocketHandle, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &length) == 0;
  mRecvBufferSize = read && size > 0 ? size : kFallbackRecvSize;
}

void CSocket::DestroySocket() {
  mRecvBuffer.clear();
  if (mSocketHandle == INVALID_SOCKET) return;
  // What the connection still held is lost with it; the owner counts it.
  mLostBytes = mProtocol == ProtocolTcp ? UnacknowledgedBytes(true) : 0;
  UnregisterSocket(mSocketHandle);
  const SOCKET s = std::exchange(mSocketHandle, INVALID_SOCKET);
  mBound = false;
  mBroadcast = false;
  // Bytes still waiting were meant for this connection; kept, they would go
  // to the next one as the tail of a record it never began.
  mSendBuffer.clear();
  mSendOffset = 0;
  mSendPending = false;
  // The handle is forgotten even when the close is refused: it cannot be
  // used again, and keeping it would block every later socket of this object.
  if (closesocket(s) == SOCKET_ERROR) throw LastError("CSocket.DestroySocket");
}

// ---- notifications ----

void CSocket::PostSocketEvent(std::int32_t eventCode, std::int32_t errorCode) {
  const auto self = weak_from_this().lock();
  if (errorCode > 0) {
    mState = StateError;
    try {
      DestroySocket();
    } catch (const SocketError&) {
      // The error that came with the notification is the one to report.
    }
    RaiseError(errorCode, "");
    return;
  }
  Rethrowing("CSocket.PostSocketEvent", [&] {
    switch (eventCode) {
      case kEventRead:
        OnReadNotification();
        break;
      case kEventWrite:
        OnWriteNotification();
        break;
      case kEventAccept:
        OnAcceptNotification();
        break;
      case kEventConnect:
        OnConnectNotification();
        break;
      case kEventClose:
        OnCloseNotification();
        break;
      default:
        break;
    }
  });
}

// The host name for an address, or its dotted form when none is found or
// names are not looked up.
std::string CSocket::HostNameOf(const sockaddr_in& sa) const {
  if (!mReverseLookups) return Dotted(sa.sin_addr.s_addr);
  const hostent* h = gethostbyaddr(reinterpret_cast<const char*>(&sa.sin_addr), 4, AF_INET);
  return h && h->h_name ? StringFromPointer(h->h_name) : Dotted(sa.sin_addr.s_addr);
}

std::int32_t CSocket::Saturated(std::uint64_t count) {
  return static_cast<std::int32_t>(std::min<std::uint64_t>(count, INT32_MAX));
}

void CSocket::RaiseError(std::int32_t number, const std::string& source) {
  if (!mOwner) return;
  std::string description = GetErrorDescription(number);
  bool cancelDisplay = false;
  mOwner->OnError(*this, number, description, 0, source, std::string(), 0, cancelDisplay);
}

void CSocket::OnAcceptNotification() {
  const SOCKET s = accept(mSocketHandle, nullptr, nullptr);
  const std::intptr_t requestID = s == INVALID_SOCKET ? kNoSocket : static_cast<std::intptr_t>(s);
  if (mOwner) mOwner->OnConnectionRequest(*this, requestID);
}

void CSocket::OnConnectNotification() {
  sockaddr_in local{};
  int length = sizeof local;
  if (getsockname(mSocketHandle, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
    mLocalPort = PortOf(local);
    mLocalIP = Dotted(local.sin_addr.s_addr);
    mLocalHostName = HostNameOf(local);
  }
  StartConnection();
  mState = StateConnected;
  if (mOwner) mOwner->OnConnect(*this);
}

void CSocket::OnCloseNotification() {
  // Hand over whatever the peer sent before it closed. A receive that fails
  // here ends the draining but not the close: the connection is gone either
  // way, and stopping half-way would leave the object stuck in a dead state.
  while (mSocketHandle != INVALID_SOCKET) {
    std::int32_t n = 0;
    try {
      n = RecvToBuffer();
    } catch (const SocketError&) {
      break;
    }
    if (n <= 0) break;
    if (mOwner) mOwner->OnDataArrival(*this, Saturated(mRecvBuffer.size()));
  }
  if (mState != StateClosing) {
    mState = StateClosing;
    // One last attempt for bytes still waiting; a peer that has gone may
    // refuse them, and the close goes on regardless.
    if (PendingSendBytes() > 0 && mSocketHandle != INVALID_SOCKET) {
      try {
        SendBufferedData();
      } catch (const SocketError&) {
      }
    }
  }
  DestroySocket();
  mState = StateClosed;
  if (mOwner) mOwner->OnClose(*this);
}

void CSocket::PostGetHostEvent(HANDLE lookupHandle, std::uint32_t address, std::string& hostName,
                               std::int32_t& errorCode) {
  const auto self = weak_from_this().lock();
  if (errorCode > 0 && !ParseDotted(hostName)) {
    mState = StateError;
    RaiseError(errorCode, "");
    return;
  }
  if (lookupHandle == nullptr || lookupHandle != mLookupHandle) return;
  Rethrowing("CSocket.PostGetHostEvent", [&] {
    mState = StateHostResolved;
    mRemoteHost = hostName;
    mRemoteHostIP = Dotted(address);
    if (mLookupPurpose == 0) {
      const sockaddr_in sa = SocketAddress(address, mRemotePort);
      if (connect(mSocketHandle, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
          mState = StateConnecting;
        } else {
          RaiseError(error, "CSocket.PostGetHostEvent");
        }
      }
    } else {
      // The datagram that waited for the lookup: a failure to send it is
      // the owner's to hear, as an error event like any other of a
      // notification.
      try {
        SendBufferedData();
      } catch (const SocketError& e) {
        RaiseError(e.Number, "CSocket.SendData");
      }
    }
  });
}

// ---- connection operations ----

void CSocket::Bind(std::int32_t lngLocalPort, const std::string& strLocalIP) {
  Rethrowing("CSocket.Bind", [&] { BindSocket(lngLocalPort, strLocalIP); });
}

void CSocket::BindSocket(std::int32_t lngLocalPort, const std::string& strLocalIP) {
  if (!EnsureSocket()) return;
  if (!strLocalIP.empty()) mLocalIP = strLocalIP;
  if (lngLocalPort > 0) mLocalPort = lngLocalPort;
  std::uint32_t address = INADDR_ANY;
  if (!mLocalIP.empty()) {
    const auto parsed = ParseDotted(mLocalIP);
    // The parser sets no error code of its own; the address is unusable.
    if (!parsed) throw SocketError::FromCode(WSAEADDRNOTAVAIL, "CSocket.Bind");
    address = *parsed;
  }
  const sockaddr_in sa = SocketAddress(address, mLocalPort);
  if (bind(mSocketHandle, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR) {
    throw LastError("CSocket.Bind");
  }
  mBound = true;
}

void CSocket::Listen() {
  Rethrowing("CSocket.Listen", [&] {
    if (!EnsureSocket()) return;
    if (!mBound) BindSocket(0, std::string());
    if (listen(mSocketHandle, kListenBacklog) == SOCKET_ERROR) {
      mState = StateError;
      throw LastError("CSocket.Listen");
    }
    mState = StateListening;
  });
}

bool CSocket::SendWithoutDelay() {
  const BOOL on = TRUE;
  return mSocketHandle != INVALID_SOCKET && mProtocol == ProtocolTcp &&
         setsockopt(mSocketHandle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

void CSocket::Accept(std::intptr_t requestID) {
  Rethrowing("CSocket.Accept", [&] {
    mSocketHandle = static_cast<SOCKET>(requestID);
    if (mSocketHandle == INVALID_SOCKET) return;
    sockaddr_in sa{};
    int length = sizeof sa;
    if (getsockname(mSocketHandle, reinterpret_cast<sockaddr*>(&sa), &length) == 0) {
      mLocalPort = PortOf(sa);
      mLocalIP = Dotted(sa.sin_addr.s_addr);
      mLocalHostName = mLocalIP;
    }
    length = sizeof sa;
    if (getpeername(mSocketHandle, reinterpret_cast<sockaddr*>(&sa), &length) == 0) {
      mRemotePort = PortOf(sa);
      mRemoteHostIP = Dotted(sa.sin_addr.s_addr);
      mRemoteHost = mRemoteHostIP;
    }
    int type = 0;
    length = sizeof type;
    if (getsockopt(mSocketHandle, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) == 0) {
      mProtocol = type == SOCK_STREAM ? ProtocolTcp : ProtocolUdp;
    }
    GetBufferSizes();
    StartConnection();
    if (RegisterSocket(mSocketHandle, this)) mState = StateConnected;
  });
}

void CSocket::Connect(std::optional<std::string> strRemoteHost, std::optional<std::int32_t> lngRemotePort) {
  Rethrowing("CSocket.CSocket.Connect", [&] {
    if (!EnsureSocket()) return;
    if (strRemoteHost && !strRemoteHost->empty()) mRemoteHost = *strRemoteHost;
    if (lngRemotePort) mRemotePort = *lngRemotePort;
    if (mRemoteHost.empty()) throw SocketError::FromCode(WSAEADDRNOTAVAIL, "CSocket.Connect");
    mLookupPurpose = 0;
    const auto address = ParseDotted(mRemoteHost);
    if (!address) {
      mState = StateResolvingHost;
      mLookupHandle = nullptr;
      mLookupHandle = ResolveHost(mRemoteHost, this);
      if (!mLookupHandle) {
        const SocketError pending = PendingError();
        DestroySocket();
        throw pending;
      }
      return;
    }
    const sockaddr_in sa = SocketAddress(*address, mRemotePort);
    if (connect(mSocketHandle, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error != WSAEWOULDBLOCK) throw SocketError::FromCode(error, "CSocket.Connect");
      mState = StateConnecting;
    }
  });
}

void CSocket::CloseSocket() {
  if (mSocketHandle == INVALID_SOCKET) return;
  // A refused shutdown or close is not reported: the owner's next step (such
  // as listening again) must not be skipped, and the handle is gone anyway.
  if (mState == StateConnected) {
    mState = StateClosing;
    shutdown(mSocketHandle, SD_SEND);
    return;
  }
  try {
    DestroySocket();
  } catch (const SocketError&) {
  }
  mState = StateClosed;
}

void CSocket::SetRemoteHost(const std::string& NewValue) {
  Rethrowing("CSocket.RemoteHost", [&] {
    mRemoteHost = NewValue;
    if (!ParseDotted(NewValue)) return;
    mRemoteHostIP = NewValue;
    if (mProtocol != ProtocolUdp || !EnsureSocket()) return;
    const bool broadcastAddress = NewValue.size() >= 4 && NewValue.ends_with(".255");
    if (broadcastAddress == mBroadcast) return;
    const BOOL on = broadcastAddress ? TRUE : FALSE;
    if (setsockopt(mSocketHandle, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) ==
        SOCKET_ERROR) {
      throw LastError("CSocket.RemoteHost");
    }
    mBroadcast = broadcastAddress;
  });
}

// ---- data transfer ----

void CSocket::SendData(const SocketValue& varData) {
  const auto self = weak_from_this().lock();
  try {
    if (mProtocol != ProtocolTcp) {
      if (!EnsureSocket()) return;
    } else if (mSocketHandle == INVALID_SOCKET) {
      throw SocketError(kErrWrongProtocolOrState, "CSocket.SendData", kWrongProtocolOrStateText);
    }
    const ByteArray bytes = ValueToBytes(varData);
    const auto* text = std::get_if<std::string>(&varData);
    if ((text && text->empty()) || (bytes.empty() && PendingSendBytes() == 0)) {
      throw SocketError(kErrSubscriptOutOfRange, "CSocket.SendData", "Subscript out of range");
    }
    // New bytes go behind those still waiting, so that a slow reader gets
    // every byte in order; the front that was sent already is dropped first.
    if (mSendOffset > 0) {
      mSendBuffer.erase(mSendBuffer.begin(), mSendBuffer.begin() + static_cast<std::ptrdiff_t>(mSendOffset));
      mSendOffset = 0;
    }
    mSendBuffer.insert(mSendBuffer.end(), bytes.begin(), bytes.end());
    mSendPending = true;
    SendBufferedData();
  } catch (const SocketError& e) {
    if (e.Number == WSAENOTSOCK) {
      throw SocketError(kErrWrongProtocolOrState, "CSocket.SendData", kWrongProtocolOrStateText);
    }
    throw e.WithSource("CSocket.SendData");
  }
}

void CSocket::SendBufferedData() {
  const std::size_t length = PendingSendBytes();
  const char* data = reinterpret_cast<const char*>(mSendBuffer.data() + mSendOffset);
  // One send call takes at most INT_MAX bytes; what it leaves goes out on
  // the next write notification like any partial send.
  const int request = static_cast<int>(std::min<std::size_t>(length, 0x7FFFFFFF));
  mSendPending = true;
  int sent = 0;
  if (mProtocol == ProtocolTcp) {
    sent = send(mSocketHandle, data, request, 0);
  } else if (!mRemoteHostIP.empty()) {
    const auto address = ParseDotted(mRemoteHostIP);
    const sockaddr_in sa = SocketAddress(address.value_or(INADDR_NONE), mRemotePort);
    sent = sendto(mSocketHandle, data, request, 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  } else {
    mLookupPurpose = 1;
    mLookupHandle = ResolveHost(mRemoteHost, this);
    sent = 0;
  }
  if (sent == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (mProtocol != ProtocolTcp) {
      // A datagram goes whole or not at all: kept, it would be sent again
      // with the next one appended, as one datagram that fails again.
      mSendBuffer.clear();
      mSendOffset = 0;
    } else if (error == WSAEWOULDBLOCK) {
      return;  // the rest goes on the next write notification
    }
    throw SocketError::FromCode(error, "CSocket.SendData");
  }
  if (mProtocol == ProtocolTcp) mBytesTaken += static_cast<std::uint64_t>(sent);
  if (static_cast<std::size_t>(sent) < length) {
    mSendOffset += static_cast<std::size_t>(sent);
  } else {
    mSendBuffer.clear();
    mSendOffset = 0;
  }
  // Either way the next step comes from the message loop: the completion is
  // never reported from inside SendData, and after a partial send the socket
  // layer sends no write notification of its own (it does so only after a
  // send that would block), so the rest would wait for ever.
  if (mSocketHandle != INVALID_SOCKET && (mProtocol == ProtocolTcp || !mRemoteHostIP.empty())) {
    PostMessageA(WindowHandle(), WinsockMessage(), static_cast<WPARAM>(mSocketHandle), kEventWrite);
  }
  if (mOwner) mOwner->OnSendProgress(*this, sent, static_cast<std::int32_t>(PendingSendBytes()));
}

void CSocket::OnWriteNotification() {
  if (PendingSendBytes() > 0) {
    SendBufferedData();
  } else if (mSendPending) {
    mSendPending = false;
    if (mOwner) mOwner->OnSendComplete(*this);
  }
}

void CSocket::OnReadNotification() {
  if (mDiscardIncoming) {
    // One read per notification: the next datagram raises the next one.
    mRecvScratch.resize(static_cast<std::size_t>(std::max(mRecvBufferSize, 1)));
    recv(mSocketHandle, reinterpret_cast<char*>(mRecvScratch.data()), static_cast<int>(mRecvScratch.size()), 0);
    return;
  }
  const std::int32_t n = RecvToBuffer();
  mBytesReceived += static_cast<std::uint64_t>(std::max(n, 0));
  if (n > 0 && mOwner) mOwner->OnDataArrival(*this, Saturated(mRecvBuffer.size()));
}

std::int32_t CSocket::RecvToBuffer() {
  mRecvScratch.resize(static_cast<std::size_t>(std::max(mRecvBufferSize, 1)));
  char* buffer = reinterpret_cast<char*>(mRecvScratch.data());
  const int size = static_cast<int>(mRecvScratch.size());
  int n = 0;
  if (mProtocol == ProtocolTcp) {
    n = recv(mSocketHandle, buffer, size, 0);
  } else {
    sockaddr_in sender{};
    int length = sizeof sender;
    n = recvfrom(mSocketHandle, buffer, size, 0, reinterpret_cast<sockaddr*>(&sender), &length);
    if (n != SOCKET_ERROR) {
      mRemotePort = PortOf(sender);
      mRemoteHostIP = Dotted(sender.sin_addr.s_addr);
      mRemoteHost = HostNameOf(sender);
    }
  }
  if (n == SOCKET_ERROR) throw LastError("CSocket.RecvToBuffer");
  if (n > 0) mRecvBuffer.insert(mRecvBuffer.end(), mRecvScratch.begin(), mRecvScratch.begin() + n);
  return n;
}

void CSocket::GetData(SocketValue& varData, std::optional<int> varType, std::optional<std::int32_t> maxLen) {
  Rethrowing("CSocket.GetData", [&] { GetBufferedData(varData, false, varType, maxLen); });
}

void CSocket::PeekData(SocketValue& varData, std::optional<int> varType, std::optional<std::int32_t> maxLen) {
  Rethrowing("CSocket.PeekData", [&] { GetBufferedData(varData, true, varType, maxLen); });
}

void CSocket::GetBufferedData(SocketValue& varData, bool peek, std::optional<int> varType,
                              std::optional<std::int32_t> maxLen) {
  if (mRecvBuffer.empty()) return;
  const std::int32_t want = maxLen.value_or(0);
  const std::size_t count = want > 0 && static_cast<std::size_t>(want) <= mRecvBuffer.size()
                                ? static_cast<std::size_t>(want)
                                : mRecvBuffer.size();
  BytesToValue(std::span<const std::uint8_t>(mRecvBuffer.data(), count), varType, varData);
  if (!peek) mRecvBuffer.erase(mRecvBuffer.begin(), mRecvBuffer.begin() + static_cast<std::ptrdiff_t>(count));
  mBytesReceived = mRecvBuffer.size();
}

// ---- a peer that vanished ----

void CSocket::StartConnection() {
  mBytesTaken = 0;
  mBytesAcknowledged = 0;
  mRetransmittingSince = 0;
  mLostBytes = 0;
  if (mProtocol == ProtocolTcp) WatchForVanishedPeer(mSocketHandle);
}

void CSocket::TakeProgress(const TcpProgress& progress) {
  const std::uint64_t acknowledged = mBytesTaken - std::min<std::uint64_t>(progress.Unacknowledged, mBytesTaken);
  mBytesAcknowledged = std::max(mBytesAcknowledged, acknowledged);
}

std::size_t CSocket::UnacknowledgedBytes(bool now) {
  if (mSocketHandle == INVALID_SOCKET) return mLostBytes;
  if (now && mBytesTaken > mBytesAcknowledged) {
    // A connection the system no longer lists keeps what was last known.
    if (const auto progress = TcpProgressTable::Read().Find(mSocketHandle)) TakeProgress(*progress);
  }
  return PendingSendBytes() + static_cast<std::size_t>(mBytesTaken - mBytesAcknowledged);
}

bool CSocket::AwaitsAcknowledgement() const {
  return mState == StateConnected && mProtocol == ProtocolTcp && mSocketHandle != INVALID_SOCKET &&
         (mBytesTaken > mBytesAcknowledged || mRetransmittingSince != 0);
}

void CSocket::CheckPeer(const TcpProgressTable& table, double now) {
  if (!AwaitsAcknowledgement()) return;
  const auto progress = table.Find(mSocketHandle);
  if (!progress) {
    // The system does not tell: what it took counts as delivered.
    mBytesAcknowledged = mBytesTaken;
    mRetransmittingSince = 0;
    return;
  }
  TakeProgress(*progress);
  if (!progress->Retransmitting || progress->Unacknowledged == 0) {
    mRetransmittingSince = 0;
    return;
  }
  if (mRetransmittingSince == 0) mRetransmittingSince = now;
  if (now - mRetransmittingSince >= kUnacknowledgedLimitSeconds) PostSocketEvent(kEventClose, WSAETIMEDOUT);
}
