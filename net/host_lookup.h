#pragma once
// LookUpHost: finds a host's IPv4 address for a thread that must stay able
// to stop. The name service may take many seconds to answer, and a lookup
// cannot be cancelled; so it runs on a thread of its own, and the caller
// waits for the answer or for its stop event, whichever comes first. A
// lookup left behind finishes by itself and throws its answer away: it
// holds everything it uses, Winsock included.

#include <windows.h>
#include <winsock2.h>

#include <optional>
#include <string>

struct HostAddress {
  sockaddr_in Address{};  // set when Error is 0
  int Error = 0;          // the name service's error
};

// The address of `host` with `port`; nothing when `stop` was set first.
std::optional<HostAddress> LookUpHost(const std::string& host, int port, HANDLE stop);
