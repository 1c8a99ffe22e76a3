#pragma once
// HttpSession: one connection to the HttpServer. It reads a request at a
// time (bounded, with a timeout), answers it from the board's latest
// snapshot, and for /api/events keeps writing events until the peer goes.
// Runs on the server's io_context thread only.

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <memory>
#include <optional>
#include <string>

#include "web/http_server.h"

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(boost::asio::ip::tcp::socket socket, const SnapshotBoard& board, const HttpServer::Limits& limits);
  void Start();
  // Whether it waits for a request: the first to go when the cap is reached.
  bool Waiting() const { return mWaiting; }
  void Close();

 private:
  using Request = boost::beast::http::request<boost::beast::http::empty_body>;
  struct Answer;

  void Read();
  void OnRead(boost::beast::error_code error);
  Answer Route(const Request& request) const;
  void Send(unsigned status, const char* contentType, std::string body, bool keepAlive, bool head);
  void StartStream();
  void StreamTick();
  void StreamWrite(std::string text);

  boost::beast::tcp_stream mStream;
  const SnapshotBoard& mBoard;
  const HttpServer::Limits& mLimits;
  boost::beast::flat_buffer mBuffer;
  std::optional<boost::beast::http::request_parser<boost::beast::http::empty_body>> mParser;
  boost::asio::steady_timer mTimer;
  bool mWaiting = false;
  std::uint64_t mStreamed = 0;  // the board's sequence last sent on the stream
  std::chrono::steady_clock::time_point mLastWrite;
};
