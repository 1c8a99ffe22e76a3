#pragma once
// HostNameForLookup: a host name as the user typed it (UTF-8, from the
// settings or the command line) in the form the name lookups take. The
// system's lookups (gethostbyname, getaddrinfo) read their bytes in the
// system's code page, not as UTF-8; a name in other letters ("räksmörgås.lan",
// or letters typed full width) is held by the name service in its
// international form (IDNA: "xn--" labels). An ASCII name stays as it is.

#include <string>

// The international form of `utf8`; the name as it is when it is ASCII or
// has no such form (the lookup then finds nothing, as for any unknown name).
std::string HostNameForLookup(const std::string& utf8);
