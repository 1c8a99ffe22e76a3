// The HTTP server on real sockets on 127.0.0.1: what each method and path
// gets, the request's bound at its value and one past it, the connection cap
// and the idle timeout, a live event stream, a taken port, and an end that
// does not wait for the stream's reader.

#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <future>
#include <vector>

#include "web/http_server.h"

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;

namespace {

StatusSnapshot Healthy(std::uint64_t received = 0) {
  StatusSnapshot s;
  s.Version = "1.31";
  s.ClientPortListening = true;
  s.Decoders = 1;
  Statistics::Source skyspy;
  skyspy.Name = "SkySpy";
  skyspy.Linked = true;
  skyspy.Received = received;
  s.Stats.Sources = {skyspy};
  return s;
}

struct HttpServerTest : ::testing::Test {
  asio::io_context io;
  SnapshotBoard board;

  tcp::socket Connect(std::uint16_t port) {
    tcp::socket socket(io);
    socket.connect({asio::ip::make_address_v4("127.0.0.1"), port});
    return socket;
  }
  // Everything the server sends until it closes the connection.
  static std::string ReadAll(tcp::socket& socket) {
    std::string answer;
    boost::system::error_code error;
    asio::read(socket, asio::dynamic_buffer(answer), error);
    return answer;
  }
  std::string Exchange(std::uint16_t port, const std::string& request) {
    tcp::socket socket = Connect(port);
    asio::write(socket, asio::buffer(request));
    return ReadAll(socket);
  }
  static std::string Get(const std::string& target, const std::string& method = "GET", const std::string& extra = "") {
    return method + " " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + extra + "\r\n";
  }
  // Whether the server has closed `socket`: a read ends at once.
  static bool Closed(tcp::socket& socket) {
    char byte;
    boost::system::error_code error;
    socket.read_some(asio::buffer(&byte, 1), error);
    return error == asio::error::eof || error == asio::error::connection_reset;
  }
};

std::string StatusLine(const std::string& answer) {
  return answer.substr(0, answer.find("\r\n"));
}

std::string Body(const std::string& answer) {
  const auto end = answer.find("\r\n\r\n");
  return end == std::string::npos ? "" : answer.substr(end + 4);
}

}  // namespace

TEST_F(HttpServerTest, AnswersEachMethodAndPath) {
  board.Publish(Healthy(7));
  HttpServer server(board, "127.0.0.1", 0);
  const struct {
    std::string Request;
    const char* Status;
    const char* Has;  // in the answer
  } cases[] = {
      {Get("/"), "HTTP/1.1 200 OK", "Content-Security-Policy"},
      {Get("/"), "HTTP/1.1 200 OK", "new EventSource"},
      {Get("/metrics"), "HTTP/1.1 200 OK", "tolvan_messages_received_total{input=\"SkySpy\"} 7\n"},
      {Get("/metrics?x=1"), "HTTP/1.1 200 OK", "text/plain; version=0.0.4"},
      {Get("/health"), "HTTP/1.1 200 OK", "{\"status\":\"ok\"}"},
      {Get("/api/status"), "HTTP/1.1 200 OK", "\"received\":7"},
      {Get("/nothing"), "HTTP/1.1 404 Not Found", "Not found"},
      {Get("/metrics/"), "HTTP/1.1 404 Not Found", "Not found"},
      {Get("/../metrics"), "HTTP/1.1 404 Not Found", "Not found"},
      {Get("/", "POST", "Content-Length: 0\r\n"), "HTTP/1.1 405 Method Not Allowed", "Allow: GET, HEAD"},
      {Get("/health", "DELETE"), "HTTP/1.1 405 Method Not Allowed", "Allow: GET, HEAD"},
      {Get("/health", "GET", "Content-Length: 3\r\n") + "abc", "HTTP/1.1 400 Bad Request", "Bad request"},
      {"HELLO\r\n\r\n", "HTTP/1.1 400 Bad Request", "Bad request"},
  };
  for (const auto& c : cases) {
    const std::string answer = Exchange(server.Port(), c.Request);
    EXPECT_EQ(StatusLine(answer), c.Status) << c.Request;
    EXPECT_NE(answer.find(c.Has), std::string::npos) << c.Request << answer;
  }
  // HEAD: GET's headers, no body.
  const std::string head = Exchange(server.Port(), Get("/metrics", "HEAD"));
  EXPECT_EQ(StatusLine(head), "HTTP/1.1 200 OK");
  EXPECT_EQ(Body(head), "");
  EXPECT_EQ(head.find("Content-Length: 0"), std::string::npos);
}

TEST_F(HttpServerTest, RequestHeaderAtItsBoundAndOnePast) {
  HttpServer::Limits limits;
  limits.HeaderBytes = 1024;
  HttpServer server(board, "127.0.0.1", 0, limits);
  // A request of `size` bytes, made long by a header field or by its line.
  const auto fields = [](std::size_t size) {
    const std::string bare = Get("/health", "GET", "X-Pad: \r\n");
    return Get("/health", "GET", "X-Pad: " + std::string(size - bare.size(), 'p') + "\r\n");
  };
  const auto line = [](std::size_t size) {
    const std::string bare = Get("/health?");
    return Get("/health?" + std::string(size - bare.size(), 'q'));
  };
  const struct {
    std::string Request;
    const char* Status;
  } cases[] = {
      {fields(1024), "HTTP/1.1 503 Service Unavailable"},
      {fields(1025), "HTTP/1.1 431 Request Header Fields Too Large"},
      {line(1024), "HTTP/1.1 503 Service Unavailable"},
      {line(1025), "HTTP/1.1 431 Request Header Fields Too Large"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusLine(Exchange(server.Port(), c.Request)), c.Status) << c.Request.substr(0, 20) << c.Request.size();
  }
}

TEST_F(HttpServerTest, IdleConnectionsAtTheCapNeverKeepTheHealthCheckWaiting) {
  HttpServer::Limits limits;
  limits.MaxConnections = 32;
  HttpServer server(board, "127.0.0.1", 0, limits);
  std::vector<tcp::socket> idle;
  for (std::size_t i = 0; i < limits.MaxConnections; ++i) idle.push_back(Connect(server.Port()));
  // At the cap all stay: the first one still gets its answer.
  asio::write(idle.front(), asio::buffer(Get("/health")));
  EXPECT_EQ(StatusLine(ReadAll(idle.front())), "HTTP/1.1 503 Service Unavailable");
  idle.erase(idle.begin());
  idle.push_back(Connect(server.Port()));  // the cap again, after the first went
  // One past: the one that has waited longest goes, and the new one is served.
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(StatusLine(Exchange(server.Port(), Get("/health"))), "HTTP/1.1 503 Service Unavailable");
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_TRUE(Closed(idle.front()));
  // Twice the cap of idle connections: the health check still answers.
  for (std::size_t i = 0; i < 2 * limits.MaxConnections; ++i) idle.push_back(Connect(server.Port()));
  EXPECT_EQ(StatusLine(Exchange(server.Port(), Get("/health"))), "HTTP/1.1 503 Service Unavailable");
}

TEST_F(HttpServerTest, AnIdleConnectionIsClosed) {
  HttpServer::Limits limits;
  limits.Idle = 300ms;
  HttpServer server(board, "127.0.0.1", 0, limits);
  tcp::socket socket = Connect(server.Port());
  asio::write(socket, asio::buffer(std::string("GET /health HTTP/1.1\r\n")));  // and nothing more
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(Closed(socket));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
}

TEST_F(HttpServerTest, TheEventStreamFollowsTheBoardAndEndsWithTheServer) {
  board.Publish(Healthy(1));
  auto server = std::make_unique<HttpServer>(board, "127.0.0.1", 0);
  tcp::socket socket = Connect(server->Port());
  asio::write(socket, asio::buffer(Get("/api/events")));
  std::string stream;
  asio::read_until(socket, asio::dynamic_buffer(stream), "\n\n");
  EXPECT_EQ(StatusLine(stream), "HTTP/1.1 200 OK");
  EXPECT_NE(stream.find("Content-Type: text/event-stream"), std::string::npos);
  asio::read_until(socket, asio::dynamic_buffer(stream), "}\n\n");
  EXPECT_NE(stream.find("data: {"), std::string::npos);
  EXPECT_NE(stream.find("\"received\":1,"), std::string::npos);
  board.Publish(Healthy(2));
  stream.clear();
  asio::read_until(socket, asio::dynamic_buffer(stream), "}\n\n");
  EXPECT_NE(stream.find("\"received\":2,"), std::string::npos) << stream;
  // The server ends with the stream open and its reader idle.
  auto ended = std::async(std::launch::async, [&] { server.reset(); });
  EXPECT_EQ(ended.wait_for(3s), std::future_status::ready);
  EXPECT_TRUE(Closed(socket));
}

TEST_F(HttpServerTest, ATakenPortOrAForeignAddressIsRefused) {
  HttpServer first(board, "127.0.0.1", 0);
  try {
    HttpServer second(board, "127.0.0.1", first.Port());
    ADD_FAILURE() << "a second server on port " << first.Port();
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(
        std::string(e.what()).rfind("The status page cannot listen on 127.0.0.1:" + std::to_string(first.Port()), 0),
        0u)
        << e.what();
  }
  EXPECT_THROW(HttpServer(board, "300.1.1.1", 0), std::runtime_error);
  // The first one still answers.
  EXPECT_EQ(StatusLine(Exchange(first.Port(), Get("/health"))), "HTTP/1.1 503 Service Unavailable");
}
