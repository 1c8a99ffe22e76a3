#pragma once
// HttpServer: the status page, the metrics and the health check over HTTP
// (Boost.Beast on Boost.Asio), on a thread of its own. It serves what the
// bridge last published on the SnapshotBoard and never touches anything
// else of the program.
//
// Safe for a port others can reach: GET and HEAD only (405 for the rest),
// fixed paths only (404), the request's line and headers bounded (431 past
// the bound, 400 for what is not HTTP or has a body), an idle timeout on
// every read and write, and a cap on the connections open at once: a
// connection beyond it closes the one that has waited longest for a
// request (the oldest connection when none waits), so idle or slow clients
// can never keep the page from answering.
//
// Paths: "/" the page, "/metrics", "/health", "/api/status", and
// "/api/events", a stream of server-sent events carrying /api/status each
// time the board changes.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "web/status_snapshot.h"

class HttpServer {
 public:
  struct Limits {
    std::size_t MaxConnections = 32;
    std::size_t HeaderBytes = 8192;                  // request line and headers together
    std::chrono::milliseconds Idle{15000};           // waiting for a request, or for a write to go on
    std::chrono::milliseconds StreamPoll{500};       // how often a stream looks for a new snapshot
    std::chrono::milliseconds StreamComment{15000};  // an event stream with nothing new says so this often
  };

  // Listens on `address`:`port` (port 0: any free one) and serves from its
  // own thread. A port that is taken, or an address that is not this PC's,
  // raises std::runtime_error with a text for the user.
  HttpServer(const SnapshotBoard& board, const std::string& address, std::uint16_t port, Limits limits);
  HttpServer(const SnapshotBoard& board, const std::string& address, std::uint16_t port)
      : HttpServer(board, address, port, Limits{}) {}
  // Closes every connection (event streams too) and ends the thread.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  std::uint16_t Port() const { return mPort; }

  class Impl;

 private:
  std::unique_ptr<Impl> mImpl;
  std::uint16_t mPort = 0;
};
