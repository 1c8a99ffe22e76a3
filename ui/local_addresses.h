#pragma once
// The IPv4 addresses of this PC, for the Options dialog's choice of the
// address to listen on.

#include <string>
#include <vector>

// Every IPv4 address of this PC's network interfaces that are up, each
// once, 127.0.0.1 among them.
std::vector<std::string> LocalIpv4Addresses();
