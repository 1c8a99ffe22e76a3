#pragma once
// PeerWatch: how a TCP connection tells a living peer from one that
// vanished without a word (power lost, link dropped, cable pulled: no FIN,
// no RST ever comes). Every connected TCP socket of the program goes
// through WatchForVanishedPeer once, where it is accepted or connected.
// Two bounds:
// - Idle: keepalive probes after kKeepAliveIdleMs of silence, every
//   kKeepAliveIntervalMs; the system ends the connection when they go
//   unanswered (10 probes on Windows, 9 under Linux: about 40 s).
// - Writing: data left unacknowledged for kUnacknowledgedLimitSeconds ends
//   the connection. Windows does it itself (TCP_MAXRT); where the system
//   ignores that option (Wine maps it to nothing), CSocket reads the
//   connection's progress (ReadTcpProgress) once a second and ends it the
//   same way. A slow reader that advertises a full window is acknowledged
//   all along and never cut.

#include <windows.h>
#include <winsock2.h>

#include <cstddef>
#include <optional>
#include <string>

inline constexpr unsigned long kKeepAliveIdleMs = 20000;
inline constexpr unsigned long kKeepAliveIntervalMs = 2000;
inline constexpr int kUnacknowledgedLimitSeconds = 30;

// Turns the keepalive and the bound on unacknowledged data on. Returns
// whether the keepalive took; the bound is best effort.
bool WatchForVanishedPeer(SOCKET s);

// What the system knows of a connection's outgoing data.
struct TcpProgress {
  // Bytes handed to the system that the peer has not acknowledged.
  std::size_t Unacknowledged = 0;
  // Whether the system is retransmitting for want of an acknowledgement.
  bool Retransmitting = false;
};

// The system's table of TCP connections, read once for several sockets:
// under Wine on Linux the kernel's (/proc/net/tcp); on Windows, where no
// such table is read, each socket is asked on its own (SIO_TCP_INFO).
class TcpProgressTable {
 public:
  static TcpProgressTable Read();
  // The connection's progress, or nothing when the system does not tell.
  std::optional<TcpProgress> Find(SOCKET s) const;
  // One line of the kernel's table, for `local` and `remote` (as
  // sockaddr_in holds them), or nothing when the line is another's.
  static std::optional<TcpProgress> ParseLine(const std::string& line, const sockaddr_in& local,
                                              const sockaddr_in& remote);

 private:
  std::string mKernelTable;  // empty where there is none
};
