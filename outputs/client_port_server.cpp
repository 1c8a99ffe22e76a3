#include "outputs/client_port_server.h"

#include "net/socket_error.h"

std::string ClientsConnectedText(std::size_t count) {
  if (count == 0) return kWaitingForClient;
  return std::to_string(count) + (count == 1 ? " client connected" : " clients connected");
}

ClientPortServer::ClientPortServer(MessageRouter& router, const Settings& settings, Events& events, Reporter& reporter)
    : mRouter(router), mSettings(settings), mEvents(events), mReporter(reporter) {
  ServeOneOrSeveral(mSettings.MaxClients);
}

void ClientPortServer::ServeOneOrSeveral(std::int32_t maxClients) {
  if (maxClients > 1) {
    mPool = std::make_unique<ClientPool>(mRouter, static_cast<std::size_t>(maxClients), [](CSocket* socket) {
      return std::make_unique<ClientPortOutput>([socket] { return socket; });
    });
  } else {
    mRouter.AddOutput(mClientOutput);
  }
}

void ClientPortServer::ServeAtOnce(std::int32_t maxClients) {
  if (mPool && maxClients > 1) {
    mPool->SetMaxClients(static_cast<std::size_t>(maxClients));
    return;
  }
  if (!mPool && maxClients <= 1) return;
  const bool listening = wns.get() != nullptr;
  Close();
  if (mPool) {
    mPool.reset();
  } else {
    mRouter.RemoveOutput(mClientOutput);
  }
  ServeOneOrSeveral(maxClients);
  if (listening) Listen();
}

ClientPortServer::~ClientPortServer() {
  if (!mPool) mRouter.RemoveOutput(mClientOutput);
}

void ClientPortServer::Listen() {
  wns = OwnedSocket(this);
  // Clients are not expected to send anything; what they send is dropped so
  // that it cannot fill the program's memory.
  wns->SetDiscardIncoming(true);
  wns->SetLocalPort(mSettings.Port);
  if (!mSettings.Bind.empty()) wns->Bind(mSettings.Port, mSettings.Bind);
  wns->Listen();
}

void ClientPortServer::tmr_state_Timer() {
  try {
    Supervise();
  } catch (...) {
    mReporter.Report({ReportKey::Kind::Relisten}, DescribeError("tmr_state_Timer", std::current_exception()));
  }
}

void ClientPortServer::Supervise() {
  if (!wns) return;
  switch (wns->State()) {
    case CSocket::StateClosed:
      mEvents.ConnectionState(kServerDisabled);
      Relisten();
      break;
    case CSocket::StateListening:
      if (mPool) {
        mPool->Reap();
        mEvents.ConnectionState(ClientsConnectedText(mPool->Count()));
      } else {
        mEvents.ConnectionState(kWaitingForClient);
      }
      break;
    case CSocket::StateConnected:
      mEvents.ConnectionState(kClientConnected);
      break;
    case CSocket::StateError:
      mEvents.ConnectionState(kReconnect);
      Relisten();
      break;
    default:
      break;
  }
}

void ClientPortServer::Relisten() {
  CloseClientSocket();
  // Every local address again, as at start-up, not only the one the last
  // client came through.
  wns->Bind(0, mSettings.Bind.empty() ? "0.0.0.0" : mSettings.Bind);
  wns->Listen();
  // Listening again clears what an earlier re-listen reported, and leaves
  // any other report where the user can read it.
  mReporter.Cleared({ReportKey::Kind::Relisten});
}

void ClientPortServer::CloseClientSocket() {
  if (!wns) return;
  // The single client's records that its socket still holds are lost with
  // it: counted before the socket forgets them.
  if (!mPool) mClientOutput.Close();
  wns->CloseSocket();
}

void ClientPortServer::Close() {
  if (mPool) mPool->CloseAll();
  CloseClientSocket();
}

void ClientPortServer::wns_OnConnectionRequest(std::intptr_t requestID) {
  if (mPool) {
    // Several clients: the server goes on listening.
    mPool->Accept(requestID);
    mEvents.ConnectionState(ClientsConnectedText(mPool->Count()));
    return;
  }
  CloseClientSocket();
  wns->Accept(requestID);
  wns->SendWithoutDelay();
  mClientBase = {UnixSecondsNow(), mClientOutput.Kept(), mClientOutput.Dropped()};
  mEvents.ConnectionState(kConnect);
}

void ClientPortServer::OnConnectionRequest(CSocket&, std::intptr_t requestID) {
  try {
    wns_OnConnectionRequest(requestID);
  } catch (...) {
    mReporter.Report({}, DescribeError("wns_OnConnectionRequest", std::current_exception()));
  }
}

void ClientPortServer::AddRows(Statistics& s) const {
  if (mPool) {
    for (const auto& c : mPool->Clients()) s.Clients.push_back({c.Address, c.ConnectedSince, c.Sent, c.Dropped});
  } else if (wns && wns->State() == CSocket::StateConnected) {
    s.Clients.push_back({wns->RemoteHostIP() + ":" + std::to_string(wns->RemotePort()), mClientBase.Since,
                         mClientOutput.Kept() - mClientBase.Sent, mClientOutput.Dropped() - mClientBase.Dropped});
  }
}

std::pair<std::uint64_t, std::uint64_t> ClientPortServer::Totals() const {
  if (mPool) return {mPool->TotalSent(), mPool->TotalDropped()};
  return {mClientOutput.Kept(), mClientOutput.Dropped()};
}
