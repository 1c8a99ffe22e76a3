#pragma once
// ClientPool: the clients of the program's port when more than one may
// connect at once. The main window's socket keeps listening; each request
// is accepted into a socket of its own with an output of its own (its own
// backlog limit and drop count), or refused when the pool is full.
// GUI thread only. A client that leaves is taken off the router at once but
// destroyed only at the next Reap(): its socket or output may still be on
// the stack (a send that fails raises the close from inside the output).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <functional>

#include "net/owned_socket.h"
#include "outputs/stream_output.h"
#include "router/message_router.h"

class ClientPool : private CSocketEvents {
 public:
  struct ClientInfo {
    std::string Address;    // remote address and port
    double ConnectedSince;  // Unix seconds
    std::uint64_t Sent;
    std::uint64_t Dropped;
  };

  // Makes the output that writes to one client's socket.
  using OutputFactory = std::function<std::unique_ptr<StreamOutput>(CSocket* socket)>;

  ClientPool(MessageRouter& router, std::size_t maxClients, OutputFactory factory)
      : mRouter(router), mMaxClients(maxClients), mFactory(std::move(factory)) {}
  ~ClientPool();
  ClientPool(const ClientPool&) = delete;
  ClientPool& operator=(const ClientPool&) = delete;

  // Accepts the request into a new client, or refuses it when full.
  // Returns whether it was accepted.
  bool Accept(std::intptr_t requestID);
  std::size_t Count() const { return mClients.size(); }
  // A new limit for the next client; those connected stay.
  void SetMaxClients(std::size_t maxClients) { mMaxClients = maxClients; }
  std::size_t MaxClients() const { return mMaxClients; }
  std::uint64_t Refused() const { return mRefused; }
  // Messages sent to and dropped for every client so far, those gone too.
  std::uint64_t TotalSent() const;
  std::uint64_t TotalDropped() const;
  std::vector<ClientInfo> Clients() const;
  // Destroys the clients that have left.
  void Reap() { mLeft.clear(); }
  // Disconnects every client.
  void CloseAll();

 private:
  struct Client {
    OwnedSocket Socket;
    std::unique_ptr<StreamOutput> Output;
    double Since;
  };
  void OnClose(CSocket& socket) override { Leave(socket); }
  void OnError(CSocket& socket, std::int32_t, std::string&, std::int32_t, const std::string&, const std::string&,
               std::int32_t, bool&) override {
    Leave(socket);
  }
  void Leave(CSocket& socket);

  MessageRouter& mRouter;
  std::size_t mMaxClients;
  OutputFactory mFactory;
  std::vector<std::unique_ptr<Client>> mClients;
  std::vector<std::unique_ptr<Client>> mLeft;
  std::uint64_t mRefused = 0;
  std::uint64_t mDepartedSent = 0, mDepartedDropped = 0;
};
