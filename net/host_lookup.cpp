#include "net/host_lookup.h"

#include <ws2tcpip.h>

#include <cstring>
#include <memory>
#include <thread>

#include "net/host_name.h"
#include "net/unique_socket.h"
#include "win32/win32_handles.h"

namespace {

// What the lookup's thread shares with the caller; the last of the two to
// let go frees it.
struct Lookup {
  WinsockSession Winsock;
  std::string Host, Port;
  UniqueKernelHandle Done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HostAddress Answer;
};

void Run(Lookup& lookup) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (const int error = getaddrinfo(lookup.Host.c_str(), lookup.Port.c_str(), &hints, &found); error != 0 || !found) {
    lookup.Answer.Error = error != 0 ? error : WSAHOST_NOT_FOUND;
  } else {
    std::memcpy(&lookup.Answer.Address, found->ai_addr, sizeof lookup.Answer.Address);
  }
  if (found) freeaddrinfo(found);
  SetEvent(lookup.Done.get());
}

}  // namespace

std::optional<HostAddress> LookUpHost(const std::string& host, int port, HANDLE stop) {
  auto lookup = std::make_shared<Lookup>();
  if (!lookup->Done) return HostAddress{{}, static_cast<int>(GetLastError())};
  lookup->Host = HostNameForLookup(host);
  lookup->Port = std::to_string(port);
  std::thread([lookup] { Run(*lookup); }).detach();
  const HANDLE events[] = {stop, lookup->Done.get()};
  if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return std::nullopt;
  return lookup->Answer;
}
