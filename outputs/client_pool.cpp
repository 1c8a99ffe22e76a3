#include "outputs/client_pool.h"

#include <winsock2.h>

#include <algorithm>

ClientPool::~ClientPool() {
  CloseAll();
}

namespace {

// Whether the request holds a socket at all: a failed accept hands over
// none, and a handle that is no socket must never be closed (its number may
// belong to another socket by now).
bool IsSocket(std::intptr_t requestID) {
  if (requestID == CSocket::kNoSocket) return false;
  int type = 0;
  int length = sizeof type;
  return getsockopt(static_cast<SOCKET>(requestID), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) == 0;
}

}  // namespace

bool ClientPool::Accept(std::intptr_t requestID) {
  // Nobody to serve: no slot is taken, nobody is refused.
  if (!IsSocket(requestID)) return false;
  if (mClients.size() >= mMaxClients) {
    // Full: the client sees its connection closed at once.
    closesocket(static_cast<SOCKET>(requestID));
    ++mRefused;
    return false;
  }
  auto client = std::make_unique<Client>();
  client->Socket = OwnedSocket(this);
  // Clients are not expected to send anything; what they send is dropped.
  client->Socket->SetDiscardIncoming(true);
  client->Socket->Accept(requestID);
  // A connection the socket could not take is closed with its object and
  // takes no slot either.
  if (client->Socket->State() != CSocket::StateConnected) return false;
  client->Socket->SendWithoutDelay();
  CSocket* socket = client->Socket.get();
  client->Output = mFactory(socket);
  client->Since = UnixSecondsNow();
  mRouter.AddOutput(*client->Output);
  mClients.push_back(std::move(client));
  return true;
}

std::vector<ClientPool::ClientInfo> ClientPool::Clients() const {
  std::vector<ClientInfo> clients;
  for (const auto& c : mClients) {
    clients.push_back({c->Socket->RemoteHostIP() + ":" + std::to_string(c->Socket->RemotePort()), c->Since,
                       c->Output->Kept(), c->Output->Dropped()});
  }
  return clients;
}

std::uint64_t ClientPool::TotalSent() const {
  std::uint64_t sent = mDepartedSent;
  for (const auto& c : mClients) sent += c->Output->Kept();
  return sent;
}

std::uint64_t ClientPool::TotalDropped() const {
  std::uint64_t dropped = mDepartedDropped;
  for (const auto& c : mClients) dropped += c->Output->Dropped();
  return dropped;
}

void ClientPool::CloseAll() {
  for (auto& c : mClients) mRouter.RemoveOutput(*c->Output);
  mClients.clear();
  mLeft.clear();
}

void ClientPool::Leave(CSocket& socket) {
  const auto it =
      std::find_if(mClients.begin(), mClients.end(), [&](const auto& c) { return c->Socket.get() == &socket; });
  if (it == mClients.end()) return;
  // Closed before the socket forgets what it has not sent, and before the
  // router counts the output's losses for the last time.
  (*it)->Output->Close();
  mRouter.RemoveOutput(*(*it)->Output);
  mDepartedSent += (*it)->Output->Kept();
  mDepartedDropped += (*it)->Output->Dropped();
  (*it)->Socket.Close();
  mLeft.push_back(std::move(*it));
  mClients.erase(it);
}
