#include "ui/local_addresses.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <algorithm>

#include "win32/win32_handles.h"

std::vector<std::string> LocalIpv4Addresses() {
  std::vector<std::string> addresses;
  // The helper library is loaded only while the dialog asks: linked to the
  // program, it would be loaded (with what it needs) for the whole run.
  const UniqueModule library(LoadLibraryW(L"iphlpapi.dll"));
  using GetAdaptersAddressesFn = ULONG(WINAPI*)(ULONG, ULONG, void*, IP_ADAPTER_ADDRESSES*, ULONG*);
  const auto getAdaptersAddresses = library ? reinterpret_cast<GetAdaptersAddressesFn>(reinterpret_cast<void*>(
                                                  GetProcAddress(library.get(), "GetAdaptersAddresses")))
                                            : nullptr;
  constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG size = static_cast<ULONG>(buffer.size());
  ULONG result = getAdaptersAddresses ? ERROR_BUFFER_OVERFLOW : ERROR_NOT_SUPPORTED;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result =
        getAdaptersAddresses(AF_INET, kFlags, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result == NO_ERROR) {
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter; adapter = adapter->Next) {
      if (adapter->OperStatus != IfOperStatusUp) continue;
      for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
        const auto* address = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
        if (address->sin_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        if (!inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) continue;
        if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) addresses.emplace_back(text);
      }
    }
  }
  // The loopback address always belongs to this PC, whatever the adapters
  // report.
  if (std::find(addresses.begin(), addresses.end(), "127.0.0.1") == addresses.end()) {
    addresses.emplace_back("127.0.0.1");
  }
  return addresses;
}
