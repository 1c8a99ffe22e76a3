#include "json_outputs.h"

#include <winsock2.h>

#include "socket_error.h"

namespace {

std::string Describe(const SocketError& e) {
  return std::to_string(e.Number) + " " + e.Description;
}

}  // namespace

// ---- udp:HOST:PORT ----

JsonUdpOutput::JsonUdpOutput(const Endpoint& endpoint, JsonLineEncoder& encoder, LogSink log)
    : mEndpoint(endpoint), mEncoder(encoder), mLog(std::move(log)) {
  mSocket = CSocket::Create(this);
  mSocket->SetProtocol(CSocket::ProtocolUdp);
  mSocket->SetRemoteHost(mEndpoint.Host);
  mSocket->SetRemotePort(mEndpoint.Port);
}

JsonUdpOutput::~JsonUdpOutput() {
  mSocket->SetOwner(nullptr);
  mSocket->CloseSocket();
}

MessageOutput::Delivery JsonUdpOutput::Take(const PreparedMessage& message) {
  if (message.FromJson) return Delivery::NotWanted;
  if (mWaiting.size() >= kMaxWaiting) {
    ++mDropped;
    return Delivery::Dropped;
  }
  mWaiting.push_back(mEncoder.Line(message));
  return Delivery::Kept;
}

void JsonUdpOutput::Flush() {
  // One datagram each; a failed send loses that object alone.
  for (const std::string& line : std::exchange(mWaiting, {})) {
    try {
      mSocket->SendData(line);
      ++mSent;
      if (!mError.empty()) {
        mError.clear();
        mLog("JSON out " + mEndpoint.Text, "sending again");
      }
    } catch (const SocketError& e) {
      ++mDropped;
      if (mError.empty()) mLog("JSON out " + mEndpoint.Text, Describe(e));
      mError = Describe(e);
    }
  }
}

// ---- tcp:HOST:PORT ----

JsonTcpOutput::JsonTcpOutput(const Endpoint& endpoint, JsonLineEncoder& encoder, LogSink log)
    : mEndpoint(endpoint),
      mEncoder(encoder),
      mLog(std::move(log)),
      mStream([this] { return mConnection.Connected(); }, encoder),
      mConnection(endpoint.Host, endpoint.Port,
                  {[this](CSocket& socket) { Up(socket); },
                   [](CSocket& socket) {
                     SocketValue discarded;  // the server is not expected to say anything
                     socket.GetData(discarded, vbByteArray);
                   },
                   [this](const std::string& why) {
                     if (mWasUp) mLog("JSON out " + mEndpoint.Text, "not connected: " + why);
                     mWasUp = false;
                   }}) {}

void JsonTcpOutput::Up(CSocket& socket) {
  mWasUp = true;
  mLog("JSON out " + mEndpoint.Text, "connected");
  // What waited goes first, in order.
  std::string waiting;
  for (const std::string& line : mWaiting) waiting += line;
  const std::size_t count = mWaiting.size();
  mWaiting.clear();
  if (!waiting.empty()) {
    socket.SendData(ByteArray(waiting.begin(), waiting.end()));
    mSent += count;
  }
}

MessageOutput::Delivery JsonTcpOutput::Take(const PreparedMessage& message) {
  if (message.FromJson) return Delivery::NotWanted;
  if (mConnection.Connected()) return mStream.Take(message);
  if (mWaiting.size() >= kMaxWaiting) {
    mWaiting.pop_front();  // the oldest makes room
    ++mDropped;
  }
  mWaiting.push_back(mEncoder.Line(message));
  return Delivery::Kept;
}

void JsonTcpOutput::Flush() {
  mStream.Flush();
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
  if (mListener) {
    mListener->SetOwner(nullptr);
    mListener->CloseSocket();
  }
}

void JsonServeOutput::Listen() {
  mListener = CSocket::Create(this);
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
    mListener->SetOwner(nullptr);
    mListener->CloseSocket();
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
