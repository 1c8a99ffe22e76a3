#pragma once
// ClientPortServer: the program's port for record clients (2201 unless set
// otherwise). `wns` listens on it and, with one client allowed, accepts the
// client into itself, as the program always has; with several allowed it
// keeps listening and a ClientPool serves them. tmr_state_Timer supervises
// it: a socket that closed or failed listens again, on every local address.
// It reports the state that status panel 1 shows. GUI thread only.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "common/reporter.h"
#include "net/owned_socket.h"
#include "outputs/client_pool.h"
#include "outputs/client_port_output.h"
#include "router/message_router.h"
#include "settings/settings.h"
#include "stats/statistics.h"

// Status panel 1: the state of the client connection.
inline constexpr const char* kServerDisabled = "Server disabled";
inline constexpr const char* kWaitingForClient = "Waiting for Client";
inline constexpr const char* kClientConnected = "Client connected";
inline constexpr const char* kReconnect = "Reconnect";
inline constexpr const char* kConnect = "Connect";
// With several clients allowed: how many are connected.
std::string ClientsConnectedText(std::size_t count);

class ClientPortServer : private CSocketEvents {
 public:
  class Events {
   public:
    // Status panel 1's text.
    virtual void ConnectionState(const std::string& text) = 0;

   protected:
    ~Events() = default;
  };

  ClientPortServer(MessageRouter& router, const Settings& settings, Events& events, Reporter& reporter);
  ~ClientPortServer();
  ClientPortServer(const ClientPortServer&) = delete;
  ClientPortServer& operator=(const ClientPortServer&) = delete;

  // Listens on the port (and the address) of the settings; a failure, such
  // as a port that another program holds, is raised to the caller.
  void Listen();
  // The supervision, every 200 ms: listens again after a close or an error.
  void tmr_state_Timer();
  // Disconnects every client and closes the port. The records the single
  // client's socket still held are counted as lost.
  void Close();
  // Serves up to `maxClients` at once from now on. Between several, the
  // connected clients stay; from one to several or back, the way they are
  // served changes, so the clients are let go and the port listens again.
  void ServeAtOnce(std::int32_t maxClients);

  CSocket* Socket() const { return wns.get(); }
  const ClientPool* Pool() const { return mPool.get(); }
  // The connected clients' rows of the statistics.
  void AddRows(Statistics& statistics) const;
  // Messages sent to and dropped for every client so far, those gone too.
  std::pair<std::uint64_t, std::uint64_t> Totals() const;

 private:
  void ServeOneOrSeveral(std::int32_t maxClients);
  void Supervise();
  void Relisten();
  void CloseClientSocket();
  void wns_OnConnectionRequest(std::intptr_t requestID);
  void OnConnectionRequest(CSocket&, std::intptr_t requestID) override;

  MessageRouter& mRouter;
  const Settings& mSettings;
  Events& mEvents;
  Reporter& mReporter;
  OwnedSocket wns;
  // One client (the socket itself is accepted into), or several.
  ClientPortOutput mClientOutput{[this] { return wns.get(); }};
  std::unique_ptr<ClientPool> mPool;
  // The single client's start and the output's counts at that moment.
  struct {
    double Since = 0;
    std::uint64_t Sent = 0, Dropped = 0;
  } mClientBase;
};
