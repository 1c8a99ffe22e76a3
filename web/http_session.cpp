#include "web/http_session.h"

#include <boost/asio/write.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <utility>

#include "web/health.h"
#include "web/metrics_text.h"
#include "web/status_json.h"
#include "web/status_page.h"

namespace beast = boost::beast;
namespace http = beast::http;

namespace {

constexpr const char* kJson = "application/json; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
// The page's own script and style only; nothing from elsewhere, no frames.
constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; connect-src 'self'; "
    "frame-ancestors 'none'";

}  // namespace

struct HttpSession::Answer {
  unsigned Status = 200;
  const char* ContentType = kText;
  std::string Body;
  bool Stream = false;
};

HttpSession::HttpSession(boost::asio::ip::tcp::socket socket, const SnapshotBoard& board,
                         const HttpServer::Limits& limits)
    : mStream(std::move(socket)),
      mBoard(board),
      mLimits(limits),
      mBuffer(limits.HeaderBytes),
      mTimer(mStream.get_executor()) {}

void HttpSession::Start() {
  Read();
}

void HttpSession::Close() {
  mTimer.cancel();
  beast::error_code ignored;
  mStream.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
  mStream.socket().close(ignored);
}

void HttpSession::Read() {
  mParser.emplace();
  mParser->header_limit(static_cast<std::uint32_t>(mLimits.HeaderBytes));
  mParser->body_limit(0);
  mWaiting = true;
  mStream.expires_after(mLimits.Idle);
  http::async_read(mStream, mBuffer, *mParser, [self = shared_from_this()](beast::error_code error, std::size_t bytes) {
    // The parser and the buffer bound the header's parts as
    // they arrive; the whole is bounded here.
    if (!error && bytes > self->mLimits.HeaderBytes) error = http::error::header_limit;
    self->OnRead(error);
  });
}

void HttpSession::OnRead(beast::error_code error) {
  mWaiting = false;
  if (error == http::error::header_limit || error == http::error::buffer_overflow)
    return Send(431, kText, "Request header fields too large\n", false, false);
  if (error == http::error::end_of_stream || error == beast::error::timeout || error == boost::asio::error::eof ||
      error == boost::asio::error::operation_aborted || error == boost::asio::error::connection_reset) {
    return Close();
  }
  if (error) return Send(400, kText, "Bad request\n", false, false);
  const Request& request = mParser->get();
  const bool head = request.method() == http::verb::head;
  if (request.method() != http::verb::get && !head) {
    return Send(405, kText, "Only GET and HEAD\n", false, false);
  }
  Answer answer = Route(request);
  if (answer.Stream && !head) return StartStream();
  Send(answer.Status, answer.ContentType, std::move(answer.Body), request.keep_alive(), head);
}

HttpSession::Answer HttpSession::Route(const Request& request) const {
  const std::string_view target = request.target();
  const std::string_view path = target.substr(0, target.find('?'));
  const auto snapshot = mBoard.Latest();
  if (path == "/") return {200, "text/html; charset=utf-8", std::string(StatusPage())};
  if (path == "/metrics") return {200, kMetricsContentType, MetricsText(*snapshot)};
  if (path == "/api/status") return {200, kJson, StatusJson(*snapshot)};
  if (path == "/api/events") return {200, "text/event-stream", "", true};
  if (path == "/health") {
    const HealthVerdict verdict = Health(*snapshot);
    return {verdict.Ok() ? 200u : 503u, kJson, HealthJson(verdict) + "\n"};
  }
  return {404, kText, "Not found\n"};
}

void HttpSession::Send(unsigned status, const char* contentType, std::string body, bool keepAlive, bool head) {
  auto response = std::make_shared<http::response<http::string_body>>(static_cast<http::status>(status), 11);
  response->set(http::field::server, "TolvanDDE");
  response->set(http::field::content_type, contentType);
  response->set(http::field::cache_control, "no-store");
  response->set("X-Content-Type-Options", "nosniff");
  if (status == 405) response->set(http::field::allow, "GET, HEAD");
  if (std::string_view(contentType).starts_with("text/html")) {
    response->set("Content-Security-Policy", kPagePolicy);
  }
  response->keep_alive(keepAlive);
  response->body() = std::move(body);
  response->prepare_payload();
  // HEAD: the headers GET would have, without the body.
  if (head) response->body().clear();
  mStream.expires_after(mLimits.Idle);
  http::async_write(mStream, *response,
                    [self = shared_from_this(), response, keepAlive](beast::error_code error, std::size_t) {
                      if (!error && keepAlive) return self->Read();
                      self->Close();
                    });
}

void HttpSession::StartStream() {
  std::string header =
      "HTTP/1.1 200 OK\r\nServer: TolvanDDE\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
      "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n";
  mStreamed = 0;
  StreamWrite(std::move(header));
}

void HttpSession::StreamTick() {
  const std::uint64_t sequence = mBoard.Sequence();
  if (sequence != mStreamed) {
    mStreamed = sequence;
    return StreamWrite("data: " + StatusJson(*mBoard.Latest()) + "\n\n");
  }
  if (std::chrono::steady_clock::now() - mLastWrite >= mLimits.StreamComment) return StreamWrite(": quiet\n\n");
  mTimer.expires_after(mLimits.StreamPoll);
  mTimer.async_wait([self = shared_from_this()](beast::error_code error) {
    if (!error) self->StreamTick();
  });
}

void HttpSession::StreamWrite(std::string text) {
  auto buffer = std::make_shared<std::string>(std::move(text));
  mStream.expires_after(mLimits.Idle);
  boost::asio::async_write(mStream, boost::asio::buffer(*buffer),
                           [self = shared_from_this(), buffer](beast::error_code error, std::size_t) {
                             if (error) return self->Close();
                             self->mLastWrite = std::chrono::steady_clock::now();
                             self->StreamTick();
                           });
}
