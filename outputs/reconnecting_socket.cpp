#include "outputs/reconnecting_socket.h"

#include "router/message_router.h"

ReconnectingSocket::ReconnectingSocket(std::string host, std::int32_t port, Events events)
    : mHost(std::move(host)), mPort(port), mEvents(std::move(events)) {
  Connect();
}

void ReconnectingSocket::Connect() {
  mSocket = OwnedSocket(this);
  // Nobody reads the local host's name: the connect notification need not
  // wait for the name service.
  mSocket->SetReverseLookups(false);
  // Without a reader, what the host sends is dropped as it arrives.
  if (!mEvents.Data) mSocket->SetDiscardIncoming(true);
  try {
    mSocket->Connect(mHost, mPort);
  } catch (const SocketError& e) {
    Lose(std::to_string(e.Number) + " " + e.Description);
  }
}

void ReconnectingSocket::Lose(const std::string& why) {
  mError = why;
  mRetryAt = mPolicy.Failed(UnixSecondsNow());
  // Told while the socket can still say what it held when it ended.
  if (mEvents.Down) mEvents.Down(why);
  mSocket.Close();
}

void ReconnectingSocket::OnConnect(CSocket& socket) {
  socket.SendWithoutDelay();
  mPolicy.Connected(UnixSecondsNow());
  mError.clear();
  if (mEvents.Up) mEvents.Up(socket);
}

void ReconnectingSocket::Tick(double now) {
  if (!mSocket && now >= mRetryAt) Connect();
}

CSocket* ReconnectingSocket::Connected() const {
  return mSocket && mSocket->State() == CSocket::StateConnected ? mSocket.get() : nullptr;
}

std::string ReconnectingSocket::State() const {
  if (Connected()) return "connected";
  if (mSocket) return "connecting";
  return RetryingState(mRetryAt, mError);
}

std::string RetryingState(double retryAt, const std::string& why) {
  const auto seconds = static_cast<long long>(retryAt - UnixSecondsNow() + 0.5);
  return "retrying in " + std::to_string(seconds < 0 ? 0 : seconds) + " s: " + why;
}
