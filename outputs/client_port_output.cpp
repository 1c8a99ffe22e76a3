#include "outputs/client_port_output.h"

bool ClientPortOutput::Open() const {
  // Start-up links the decoders before the socket exists: such a message is
  // only shown.
  const CSocket* socket = mSocket();
  return socket && (socket->State() == CSocket::StateConnected || socket->State() == CSocket::StateConnecting);
}

std::size_t ClientPortOutput::Unsent() const {
  const CSocket* socket = mSocket();
  return socket ? socket->PendingSendBytes() : 0;
}

void ClientPortOutput::Write(const std::string& bytes) {
  mSocket()->SendData(ByteArray(bytes.begin(), bytes.end()));
}

std::size_t ClientPortOutput::Unacknowledged(bool now) {
  CSocket* socket = mSocket();
  return socket ? socket->UnacknowledgedBytes(now) : 0;
}
