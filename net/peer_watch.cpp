#include "net/peer_watch.h"

#include <mstcpip.h>

#include <cstdio>
#include <cstdlib>

#include "common/files.h"

namespace {

// Windows' option for the bound on unacknowledged data, in seconds (the
// cross headers lack it).
constexpr int kTcpMaxRt = 5;
// Windows' own record of a connection (Windows 10 1703 and later).
constexpr DWORD kSioTcpInfo = _WSAIORW(IOC_VENDOR, 39);
struct TcpInfoV0 {
  int State;
  ULONG Mss;
  ULONG64 ConnectionTimeMs;
  BOOLEAN TimestampsEnabled;
  ULONG RttUs, MinRttUs, BytesInFlight, Cwnd, SndWnd, RcvWnd, RcvBuf;
  ULONG64 BytesOut, BytesIn;
  ULONG BytesReordered, BytesRetrans, FastRetrans, DupAcksIn, TimeoutEpisodes;
  UCHAR SynRetrans;
};
// The kernel's table, seen through Wine's path to the host's files; no
// such path exists on Windows.
constexpr const char* kKernelTcpTable = "\\\\?\\unix\\proc\\net\\tcp";

// "0100007F:1F90": the address as its four bytes lie in memory, and the port.
bool ParseEndpoint(const char*& p, unsigned long& address, unsigned& port) {
  char* end = nullptr;
  address = std::strtoul(p, &end, 16);
  if (end == p || *end != ':') return false;
  p = end + 1;
  port = static_cast<unsigned>(std::strtoul(p, &end, 16));
  if (end == p) return false;
  p = end;
  return true;
}

bool Same(const sockaddr_in& a, unsigned long address, unsigned port) {
  return a.sin_addr.s_addr == address && ntohs(a.sin_port) == port;
}

}  // namespace

bool WatchForVanishedPeer(SOCKET s) {
  tcp_keepalive values{1, kKeepAliveIdleMs, kKeepAliveIntervalMs};
  DWORD returned = 0;
  const bool keepAlive =
      WSAIoctl(s, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr) == 0;
  const int maxRt = kUnacknowledgedLimitSeconds;
  setsockopt(s, IPPROTO_TCP, kTcpMaxRt, reinterpret_cast<const char*>(&maxRt), sizeof maxRt);
  return keepAlive;
}

TcpProgressTable TcpProgressTable::Read() {
  TcpProgressTable table;
  table.mKernelTable = files::ReadAll(kKernelTcpTable).value_or(std::string());
  return table;
}

std::optional<TcpProgress> TcpProgressTable::Find(SOCKET s) const {
  if (mKernelTable.empty()) {
    DWORD version = 0;
    TcpInfoV0 info{};
    DWORD returned = 0;
    if (WSAIoctl(s, kSioTcpInfo, &version, sizeof version, &info, sizeof info, &returned, nullptr, nullptr) != 0) {
      return std::nullopt;
    }
    return TcpProgress{info.BytesInFlight, false};
  }
  sockaddr_in local{}, remote{};
  int length = sizeof local;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) return std::nullopt;
  length = sizeof remote;
  if (getpeername(s, reinterpret_cast<sockaddr*>(&remote), &length) != 0) return std::nullopt;
  std::size_t start = 0;
  while (start < mKernelTable.size()) {
    std::size_t end = mKernelTable.find('\n', start);
    if (end == std::string::npos) end = mKernelTable.size();
    if (auto found = ParseLine(mKernelTable.substr(start, end - start), local, remote)) return found;
    start = end + 1;
  }
  return std::nullopt;
}

std::optional<TcpProgress> TcpProgressTable::ParseLine(const std::string& line, const sockaddr_in& local,
                                                       const sockaddr_in& remote) {
  // "  3: 0100007F:9049 0100007F:E96C 01 00000200:00000000 01:0000001A 00000003 ..."
  // slot, local, remote, state, tx_queue:rx_queue, timer:when, retransmits.
  const char* p = line.c_str();
  char* end = nullptr;
  std::strtoul(p, &end, 10);
  if (end == p || *end != ':') return std::nullopt;
  p = end + 1;
  unsigned long localAddress = 0, remoteAddress = 0;
  unsigned localPort = 0, remotePort = 0;
  if (!ParseEndpoint(p, localAddress, localPort) || !ParseEndpoint(p, remoteAddress, remotePort)) return std::nullopt;
  if (!Same(local, localAddress, localPort) || !Same(remote, remoteAddress, remotePort)) return std::nullopt;
  unsigned state = 0, timer = 0;
  unsigned long txQueue = 0, rxQueue = 0, when = 0, retransmits = 0;
  if (std::sscanf(p, " %x %lx:%lx %x:%lx %lx", &state, &txQueue, &rxQueue, &timer, &when, &retransmits) != 6) {
    return std::nullopt;
  }
  return TcpProgress{static_cast<std::size_t>(txQueue), retransmits > 0};
}
