#include "outputs/json_outputs.h"

#include <winsock2.h>

#include "net/socket_error.h"

namespace {

std::string Describe(const SocketError& e) {
  return std::to_string(e.Number) + " " + e.Description;
}

}  // namespace

// ---- udp:HOST:PORT ----

JsonUdpOutput::JsonUdpOutput(const Endpoint& endpoint, JsonLineEncoder& encoder, LogSink log,
                             BoundedQueue::Limits limits)
    : mEndpoint(endpoint),
      mEncoder(encoder),
      mLog(std::move(log)),
      mWaiting(limits, BoundedQueue::WhenFull::DropNewest) {}

MessageOutput::Delivery JsonUdpOutput::Take(const PreparedMessage& message) {
  if (message.FromJson) return Delivery::NotWanted;
  return mWaiting.Push(mEncoder.Line(message)) ? Delivery::Kept : Delivery::Dropped;
}

std::string JsonUdpOutput::State() const {
  if (!mError.empty()) return "error: " + mError;
  return mLookingUp ? "looking up " + mEndpoint.Host : "sending";
}

void JsonUdpOutput::SendWaiting() {
  while (!mWaiting.Empty() && !mLookingUp) {
    if (!mSocket) {
      mSocket = OwnedSocket(this);
      mSocket->SetProtocol(CSocket::ProtocolUdp);
      mSocket->SetReverseLookups(false);
      mSocket->SetDiscardIncoming(true);
      mSocket->SetRemotePort(mEndpoint.Port);
    }
    // Until the name is looked up, one line goes into the socket, which
    // sends it once the answer comes (OnSendProgress); the rest wait here,
    // so that no two lines ever share a datagram.
    const bool lookUp = mSocket->RemoteHostIP().empty();
    const std::string line = mWaiting.Front();
    mWaiting.PopFront();
    try {
      if (lookUp) mSocket->SetRemoteHost(mEndpoint.Host);
      mLookingUp = lookUp && mSocket->RemoteHostIP().empty();
      mSocket->SendData(line);
      if (!mLookingUp) Sent();
    } catch (const SocketError& e) {
      mLookingUp = false;
      Failed(Describe(e));
    }
  }
}

void JsonUdpOutput::Sent() {
  ++mSent;
  if (!mError.empty()) {
    mError.clear();
    mLog("JSON out " + mEndpoint.Text, "sending again");
  }
}

void JsonUdpOutput::Failed(const std::string& why) {
  // The line is lost and counted; the next one goes through a new socket,
  // which looks the name up again.
  mWaiting.CountDropped(1);
  if (mError.empty()) mLog("JSON out " + mEndpoint.Text, why);
  mError = why;
  mSocket.Close();
}

void JsonUdpOutput::OnSendProgress(CSocket&, std::int32_t, std::int32_t bytesRemaining) {
  // The line that waited for the lookup is gone; the others follow.
  if (!mLookingUp || bytesRemaining != 0) return;
  mLookingUp = false;
  Sent();
  SendWaiting();
}

void JsonUdpOutput::OnError(CSocket&, std::int32_t number, std::string& description, std::int32_t, const std::string&,
                            const std::string&, std::int32_t, bool&) {
  // The lookup failed, or the line that waited for it could not be sent.
  if (!mLookingUp) return;
  mLookingUp = false;
  Failed(std::to_string(number) + " " + description);
}

void JsonUdpOutput::Finish() {
  mWaiting.CountDropped(mWaiting.Size() + (mLookingUp ? 1 : 0));
  mWaiting.Clear();
  mLookingUp = false;
}

// ---- tcp:HOST:PORT ----

JsonTcpOutput::JsonTcpOutput(const Endpoint& endpoint, JsonLineEncoder& encoder, LogSink log,
                             BoundedQueue::Limits limits)
    : mEndpoint(endpoint),
      mEncoder(encoder),
      mLog(std::move(log)),
      mWaiting(limits, BoundedQueue::WhenFull::DropOldest),
      mStream([this] { return mConnection.Current(); }, encoder),
      mConnection(endpoint.Host, endpoint.Port,
                  {[this](CSocket& socket) { Up(socket); },
                   {},
                   [this](const std::string& why) {
                     // The lines the connection took and the server never
                     // acknowledged are lost with it.
                     mStream.Close();
                     if (mWasUp) mLog("JSON out " + mEndpoint.Text, "not connected: " + why);
                     mWasUp = false;
                   }}) {}

void JsonTcpOutput::Up(CSocket& socket) {
  mWasUp = true;
  mLog("JSON out " + mEndpoint.Text, "connected");
  if (mWaiting.Empty()) return;
  // What waited goes first, in order. The lines are let go only once the
  // socket has taken them; a send that fails leaves them waiting for the
  // next connection (or for newer lines to push them out, counted).
  std::string waiting;
  waiting.reserve(mWaiting.Bytes());
  for (const std::string& line : mWaiting.Items()) waiting += line;
  try {
    socket.SendData(ByteArray(waiting.begin(), waiting.end()));
  } catch (const SocketError& e) {
    mLog("JSON out " + mEndpoint.Text, "the lines kept meanwhile wait on: " + Describe(e));
    return;
  }
  mSent += mWaiting.Size();
  mWaiting.Clear();
}

MessageOutput::Delivery JsonTcpOutput::Take(const PreparedMessage& message) {
  if (message.FromJson) return Delivery::NotWanted;
  if (mConnection.Connected()) return mStream.Take(message);
  return mWaiting.Push(mEncoder.Line(message)) ? Delivery::Kept : Delivery::Dropped;
}

void JsonTcpOutput::Flush() {
  mStream.Flush();
}

void JsonTcpOutput::Finish() {
  mWaiting.CountDropped(mWaiting.Size());
  mWaiting.Clear();
  mStream.Close();
}

// ---- serve:[ADDRESS:]PORT ----

JsonServeOutput::JsonServeOutput(const Endpoint& endpoint, MessageRouter& router, JsonLineEncoder& encoder, LogSink log)
    : mEndpoint(endpoint), mLog(std::move(log)), mReaders(router, kMaxReaders, [&encoder](CSocket* socket) {
        return std::make_unique<JsonStreamOutput>([socket] { return socket; }, encoder);
      }) {
  Listen();
}

JsonServeOutput::~JsonServeOutput() {
  mReaders.CloseAll();
}

void JsonServeOutput::Listen() {
  mListener = OwnedSocket(this);
  mListener->Bind(mEndpoint.Port, mEndpoint.Host.empty() ? "0.0.0.0" : mEndpoint.Host);
  mListener->Listen();
}

void JsonServeOutput::OnConnectionRequest(CSocket&, std::intptr_t requestID) {
  try {
    if (mReaders.Accept(requestID)) mLog("JSON out " + mEndpoint.Text, "a reader connected");
  } catch (const SocketError& e) {
    mError = Describe(e);
  }
}

void JsonServeOutput::Tick(double) {
  mReaders.Reap();
  if (mListener->State() == CSocket::StateListening) return;
  // The listener failed: listen again, once a second.
  try {
    mListener.Close();
    Listen();
    mError.clear();
  } catch (const SocketError& e) {
    mError = Describe(e);
  }
}

std::string JsonServeOutput::State() const {
  if (!mError.empty()) return "error: " + mError;
  return "listening, " + std::to_string(mReaders.Count()) + (mReaders.Count() == 1 ? " reader" : " readers");
}

std::uint64_t JsonServeOutput::Count() const {
  return mReaders.TotalSent();
}

std::uint64_t JsonServeOutput::Lost() const {
  return mReaders.TotalDropped();
}
